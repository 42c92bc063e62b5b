#!/usr/bin/env bash
# Runs a Windows program under Wine with a prefix shared by one test run (created on first use).
set -euo pipefail
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/ombrelta-wineprefix-$(id -u)}"
export WINEDLLOVERRIDES="mscoree,mshtml="

# Tests start in parallel: one of them creates the prefix while the others wait for it, and a
# failed creation stops the test with wineboot's own words instead of a puzzling failure later.
create_prefix() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    exec 9>"$WINEPREFIX.lock"
    flock 9
    # The log is a file, not a pipe, and the lock is not handed down: the wine server that
    # wineboot starts outlives it and must hold neither.
    if [ ! -f "$WINEPREFIX/system.reg" ] && ! wineboot -i >"$WINEPREFIX.log" 2>&1 </dev/null 9>&-; then
        echo "wine-run.sh: wineboot could not create the prefix $WINEPREFIX:" >&2
        cat "$WINEPREFIX.log" >&2
        exit 1
    fi
    exec 9>&-
}
[ -f "$WINEPREFIX/system.reg" ] || create_prefix

# The wine server and the prefix's services outlive the program; started from here they would
# inherit its output pipes and keep CTest waiting for them until the time-out.
wineserver -p >/dev/null 2>&1 </dev/null || true
if ! wineboot >/dev/null 2>&1 </dev/null; then
    echo "wine-run.sh: wineboot failed to start the prefix $WINEPREFIX" >&2
    exit 1
fi
exec wine "$@"
