#!/usr/bin/env bash
# End-to-end test of OmbreltaLauncher.exe under Wine and Xvfb against ombrelta-server.
# Usage: launcher-e2e.sh WINDOWS_BUILD_DIR NATIVE_BUILD_DIR OUT_DIR
# Exits 77 (skipped) when the Windows build is absent. Screenshots land in OUT_DIR.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
windows_build=$(realpath -m "$1")
native_build=$(realpath -m "$2")
out_dir=$(realpath -m "$3")

launcher_exe=$windows_build/app/OmbreltaLauncher.exe
game_exe=$windows_build/tools/fakegame/Tarvesk.exe
server_exe=$native_build/tools/server/ombrelta-server
config_exe=$native_build/tools/config/ombrelta-config

if [ ! -f "$launcher_exe" ]; then
    echo "no Windows build at $windows_build: skipped"
    exit 77
fi
for tool in "$server_exe" "$config_exe"; do
    [ -x "$tool" ] || { echo "missing $tool"; exit 1; }
done

# A display of our own, unless one was made for us.
if [ -z "${OMBRELTA_E2E_XVFB:-}" ]; then
    export OMBRELTA_E2E_XVFB=1
    exec xvfb-run -a -s "-screen 0 1920x1080x24" "$0" "$@"
fi

mkdir -p "$out_dir"
rm -rf "$out_dir"/run
work=$out_dir/run
mkdir -p "$work"
export WINEPREFIX=$out_dir/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

source "$here/e2e-lib.sh"
source "$here/e2e-skin.sh"
trap cleanup EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "creating Wine prefix"
    wineboot -i >/dev/null 2>&1
fi
wineserver -w 2>/dev/null || true
wineserver -p 2>/dev/null || true

skin_dir=$work/skin
make_test_skin "$skin_dir"
repo_skin=$(cd "$here/../../.." && pwd)/assets/skin

# The Windows path of a Linux path under Wine's Z: drive.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

source "$here/e2e-scenarios.sh"
source "$here/e2e-window.sh"
source "$here/e2e-resume.sh"
source "$here/e2e-update.sh"
source "$here/e2e-details.sh"

# OMBRELTA_E2E_ONLY=PATTERN runs only the scenarios whose names match.
run_scenario() {
    [[ "$1" == *${OMBRELTA_E2E_ONLY:-}* ]] || return 0
    log "--- $1"
    "$1"
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    wineserver -p 2>/dev/null || true
}

run_scenario scenario_missing_config
run_scenario scenario_unreachable_server
run_scenario scenario_checks_running
run_scenario scenario_ready_and_second_instance
run_scenario scenario_missing_game
run_scenario scenario_failed_verification
run_scenario scenario_paint_modes_identical
run_scenario scenario_failed_game_start
run_scenario scenario_press_released_outside
run_scenario scenario_texts_and_version_line
run_scenario scenario_resume_after_a_cut
run_scenario scenario_self_update
run_scenario scenario_check_replaces_running_launcher
run_scenario scenario_details_line
if [ -f "$game_exe" ]; then
    run_scenario scenario_game_ends
    run_scenario scenario_close_ends_game
    run_scenario scenario_tray_restore
    run_scenario scenario_tray_after_taskbar_restart
else
    log "no stand-in game at $game_exe: game scenarios skipped"
fi

if ((failures > 0)); then
    log "$failures check(s) failed; screenshots in $out_dir"
    exit 1
fi
log "all checks passed; screenshots in $out_dir"
