#!/usr/bin/env bash
# Runs a Windows program under Wine with a prefix shared by one test run (created on first use).
set -euo pipefail
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/ombrelta-wineprefix-$(id -u)}"
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
fi
exec wine "$@"
