#!/usr/bin/env bash
# Runs a Windows program under Wine with a prefix shared by one test run (created on first use).
set -euo pipefail
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/ombrelta-wineprefix-$(id -u)}"
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
fi
# The wine server and the prefix's services outlive the program; started from here they would
# inherit its output pipes and keep CTest waiting for them until the time-out.
wineserver -p >/dev/null 2>&1 </dev/null || true
wineboot >/dev/null 2>&1 </dev/null || true
exec wine "$@"
