# The scenarios of launcher-e2e.sh. Client points are pixels of the launcher window, named in
# ui/layout-probes.sh. Sourced by launcher-e2e.sh.

start_disabled() { client_pixel_near "${start_point[@]}" "${start_disabled_rgb[@]}" 4; }
start_enabled() { client_pixel_near "${start_point[@]}" "${start_rgb[@]}" 2; }
bar_empty() { client_pixel_near "${bar_point[@]}" "${bar_back_rgb[@]}" 2; }
bar_complete() { client_pixel_near "${bar_point[@]}" "${bar_complete_rgb[@]}" 2; }
splash_visible() { pixel_near 960 540 "${splash_rgb[@]}" 2; }
# splash_goes SEEN_NS: waits for the splash to go; true when it went within 4.5 s of its first
# sighting. A screen grab under load can see the splash late, so no lower bound is drawn from it.
splash_goes() {
    local seen=$1 deadline=$((SECONDS + 10)) shown
    while splash_visible && ((SECONDS < deadline)); do sleep 0.1; done
    shown=$((($(date +%s%N) - seen) / 1000000))
    log "splash shown for $shown ms after it was first seen"
    ((shown <= 4500))
}
# The 400 x 300 test splash lies at (760, 390) on the 1920 x 1080 screen; its 20-pixel edge is
# fully transparent.
splash_edges_transparent() {
    pixel_near 785 415 "${splash_rgb[@]}" 2 && ! pixel_near 765 395 "${splash_rgb[@]}" 60 &&
        ! pixel_near 755 540 "${splash_rgb[@]}" 60
}

# check DESCRIPTION COMMAND...: one assertion.
check() {
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}

# escape_and_exit DIR: Escape closes the launcher of DIR, which ends with 0. Focus handed over
# by a closing message box can arrive late under Wine, so Escape is pressed again while the
# window is still there.
escape_and_exit() {
    local try
    for try in 1 2 3; do
        press_escape
        wait_for 3 launcher_ended "$1" && break
        has_main_window || break
    done
    expect_exit "$1" 10
}

# drag_client X0 Y0 X1 Y1 X2 Y2: presses at the first client point, moves through the second and
# releases at the third.
drag_client() {
    xdotool mousemove $((win_x + $1)) $((win_y + $2)) mousedown 1
    sleep 0.3
    xdotool mousemove $((win_x + $3)) $((win_y + $4))
    sleep 0.3
    xdotool mousemove $((win_x + $5)) $((win_y + $6))
    sleep 0.3
    xdotool mouseup 1
    park_pointer
    sleep 0.5
}

# serve ROOT: fills a fresh server root and starts the server on it; false when it does not start.
serve() {
    make_server_root "$1"
    start_server "$1" || { fail "server did not start"; return 1; }
}

# open_launcher DIR: starts the launcher and waits for its window; false when none appears.
open_launcher() {
    start_launcher "$1"
    if ! wait_for 60 has_main_window; then
        fail "no launcher window"
        return 1
    fi
    read_window_position
    park_pointer
}

# A server root with one patch (version 1) and two game files.
make_server_root() {
    local root=$1
    mkdir -p "$root/patches" "$root/files/data" "$work/patch-src"
    printf '1\n' >"$work/patch-src/version.dat"
    printf 'patched by version 1\n' >"$work/patch-src/patched.txt"
    (cd "$work/patch-src" && zip -q -X "$root/patches/patch1.zip" version.dat patched.txt)
    printf 'hello from the server\n' >"$root/files/readme.txt"
    python3 -c 'import random, sys; random.seed(7); sys.stdout.buffer.write(random.randbytes(300000))' \
        >"$root/files/data/game.pak"
}

# wait_ready DIR: launcher of DIR open and through its checks.
open_ready_launcher() {
    open_launcher "$1" || return 1
    if ! wait_for 120 indicator_online; then
        screenshot "not-ready-$(basename "$1")"
        fail "launcher never became ready"
        return 1
    fi
}

scenario_missing_config() {
    local dir=$work/no-config
    make_install "$dir" 1
    rm "$dir/Ombrel.dat"
    start_launcher "$dir"
    check "missing Ombrel.dat shows the error box" wait_for 60 has_message_box "Ombrelta Launcher"
    screenshot missing-config
    check "no launcher window without Ombrel.dat" no_main_window
    dismiss_box "Ombrelta Launcher"
    expect_exit "$dir" 15 && pass "exit code 0 after the box"
}

scenario_unreachable_server() {
    local dir=$work/unreachable port
    port=$(free_port)
    make_install "$dir" "$port"
    open_launcher "$dir" || return
    check "window centred at 420,236" test "$win_x,$win_y" = "420,236"
    check "failure box" wait_for 60 has_message_box "Ombrelta Launcher"
    screenshot unreachable-box
    dismiss_box "Ombrelta Launcher"
    sleep 1
    screenshot unreachable
    check "indicator red after the failure" indicator_offline
    check "Start disabled after the failure" start_disabled
    escape_and_exit "$dir" && pass "Escape ends the launcher with 0"
}

scenario_checks_running() {
    local dir=$work/checking
    start_silent_server || { fail "silent server"; return; }
    make_install "$dir" "$server_port"
    open_launcher "$dir" || return
    sleep 1
    screenshot checking
    check "window centred at 420,236" test "$win_x,$win_y" = "420,236"
    check "Start drawn disabled while the checks run" start_disabled
    check "indicator red while the checks run" indicator_offline
    # A press on the disabled Start drags the window.
    local start_x=${start_point[0]} start_y=${start_point[1]}
    xdotool mousemove $((win_x + start_x)) $((win_y + start_y)) mousedown 1
    sleep 0.3
    xdotool mousemove $((win_x + start_x + 60)) $((win_y + start_y + 40))
    sleep 0.3
    xdotool mousemove $((win_x + start_x + 100)) $((win_y + start_y + 50)) mouseup 1
    sleep 1
    local old_x=$win_x old_y=$win_y
    read_window_position
    check "a press on the disabled Start drags the window" test "$win_x,$win_y" = "$((old_x + 100)),$((old_y + 50))"
    check "no box from a click on the disabled Start" test -z "$(message_box "Ombrelta Launcher")"
    # The worker is blocked in a receive: closing the window must still end the process at once.
    local try
    for try in 1 2 3; do
        press_escape
        wait_for 3 no_main_window && break
    done
    local gone
    gone=$(date +%s%N)
    wait_for 10 launcher_ended "$dir"
    local millis=$((($(date +%s%N) - gone) / 1000000))
    log "process ended $millis ms after its window went"
    check "process ends within a second of its window" test "$millis" -lt 1000
    expect_exit "$dir" 1 && pass "Escape during the checks ends the launcher with 0"
}

scenario_ready_and_second_instance() {
    local dir=$work/ready root=$work/root-ready
    serve "$root" || return
    make_install "$dir" "$server_port"
    open_ready_launcher "$dir" || return
    sleep 0.5
    screenshot ready
    pass "indicator green after the checks"
    check "Start enabled after Ready." start_enabled
    check "complete bar at 100" bar_complete
    check "patch applied" grep -qx 1 "$dir/version.dat"
    check "patch file extracted" test -f "$dir/patched.txt"
    check "game file downloaded" cmp -s "$root/files/data/game.pak" "$dir/data/game.pak"
    hover_client "${start_point[@]}"
    check "Start shows its hover picture" wait_for 5 client_pixel_near "${start_point[@]}" 255 255 0 2
    park_pointer
    click_client "${minimise_point[@]}"
    sleep 1
    screenshot minimised
    local second=$work/second
    make_install "$second" "$server_port"
    start_launcher "$second"
    expect_exit "$second" 30 && pass "second launcher exits with 0"
    check "first launcher restored" wait_for 10 has_main_window
    screenshot restored
    read_window_position
    click_client "${whatsapp_point[@]}"
    check "an empty link shows the warning box" wait_for 10 has_message_box "Ombrelta Launcher"
    dismiss_box "Ombrelta Launcher"
    sleep 0.5
    local exit_x=${exit_point[0]} exit_y=${exit_point[1]}
    drag_client "$exit_x" "$exit_y" "$exit_x" 150 "$exit_x" 150
    check "releasing off the pressed Exit button closes nothing" has_main_window
    drag_client "$exit_x" "$exit_y" "$exit_x" 150 $((exit_x + 8)) $((exit_y + 6))
    expect_exit "$dir" 10 && pass "moving back onto Exit before the release closes the launcher"
}

scenario_missing_game() {
    local dir=$work/no-game root=$work/root-no-game
    serve "$root" || return
    make_install "$dir" "$server_port"
    open_ready_launcher "$dir" || return
    click_client "${start_point[@]}"
    check "missing Tarvesk.exe box" wait_for 60 has_message_box "Tarvesk.exe not found"
    screenshot missing-game
    check "window stays without the game" has_main_window
    dismiss_box "Tarvesk.exe not found"
    sleep 1
    check "Start enabled again" start_enabled
    escape_and_exit "$dir" && pass "launcher ends with 0"
}

# install_game DIR SECONDS: the stand-in game beside the launcher, running SECONDS seconds.
install_game() {
    cp "$game_exe" "$1/Tarvesk.exe"
    printf '%s\n' "$2" >"$1/Tarvesk.seconds.txt"
}

check_game_command_line() {
    local dir=$1 exe_w dir_w
    exe_w=$(windows_path "$dir/Tarvesk.exe")
    dir_w=$(windows_path "$dir")
    check "game command line" test "$(sed -n 1p "$dir/Tarvesk.run.txt" | tr -d '\r')" = "\"$exe_w\" mossfield"
    check "game working directory" test "$(sed -n 2p "$dir/Tarvesk.run.txt" | tr -d '\r')" = "$dir_w"
}

scenario_game_ends() {
    local dir=$work/game root=$work/root-game
    serve "$root" || return
    make_install "$dir" "$server_port"
    install_game "$dir" 4
    open_ready_launcher "$dir" || return
    click_client "${start_point[@]}"
    check "splash appears" wait_for 60 splash_visible
    local seen
    seen=$(date +%s%N)
    screenshot splash
    check "splash centred with transparent edges" splash_edges_transparent
    check "splash goes by itself within 4.5 s of being seen" splash_goes "$seen"
    check "game started" wait_for 20 test -s "$dir/Tarvesk.run.txt"
    local game_started=$SECONDS
    check "launcher window hidden" wait_for 10 no_main_window
    check "tray icon shown" wait_for 10 has_visible_window "Wine System Tray"
    check_game_command_line "$dir"
    screenshot game-running
    # The game ends after 4 s; the launcher waits out its 10-second grace period.
    while ((SECONDS < game_started + 7)); do sleep 0.2; done
    check "launcher still waits 7 s after the start" test ! -f "$dir/exit-code"
    expect_exit "$dir" 40 && pass "launcher ends with 0 after the game"
}

scenario_close_ends_game() {
    local dir=$work/game-close root=$work/root-game-close
    serve "$root" || return
    make_install "$dir" "$server_port"
    install_game "$dir" 120
    open_ready_launcher "$dir" || return
    click_client "${start_point[@]}"
    check "game started" wait_for 60 test -s "$dir/Tarvesk.run.txt"
    check "game window" wait_for 20 has_visible_window Tarvesk
    check "launcher window hidden" wait_for 10 no_main_window
    local second=$work/second-close
    make_install "$second" "$server_port"
    start_launcher "$second"
    expect_exit "$second" 30
    check "second launcher restores the hidden one" wait_for 10 has_main_window
    read_window_position
    escape_and_exit "$dir" && pass "launcher closed while the game runs"
    check "closing the launcher ends the game" wait_for 10 no_visible_window Tarvesk
}

# Clicks on the first icon of Wine's own tray window (there is no desktop tray under Xvfb).
click_tray_icon() {
    local id
    id=$(visible_window "Wine System Tray") || return 1
    xdotool mousemove --window "$id" 10 10 click --repeat "$1" --delay 80 1
    park_pointer
}

scenario_tray_restore() {
    local dir=$work/tray root=$work/root-tray
    serve "$root" || return
    make_install "$dir" "$server_port"
    install_game "$dir" 120
    open_ready_launcher "$dir" || return
    check "tray icon absent before the game" no_visible_window "Wine System Tray"
    click_client "${start_point[@]}"
    check "game started" wait_for 60 test -s "$dir/Tarvesk.run.txt"
    check "launcher window hidden" wait_for 10 no_main_window
    check "tray icon shown" wait_for 10 has_visible_window "Wine System Tray"
    click_tray_icon 1
    sleep 1.5
    check "a single click on the tray icon leaves the launcher hidden" no_main_window
    click_tray_icon 2
    check "a double click on the tray icon restores the launcher" wait_for 10 has_main_window
    screenshot tray-restored
    read_window_position
    escape_and_exit "$dir" && pass "launcher closed from the restored window"
    check "closing the launcher ends the game" wait_for 10 no_visible_window Tarvesk
    check "tray icon removed" wait_for 10 no_visible_window "Wine System Tray"
}

# window_shot NAME: the launcher's client area as a picture, the indicator masked out when
# MASK is set (it pulses while online).
window_shot() {
    grab_client "$out_dir/$1.png" 0 0 "${launcher_window_size[@]}"
    [ -z "${MASK:-}" ] && return
    local x=${indicator_mask[0]} y=${indicator_mask[1]}
    mogrify -fill black -draw "rectangle $x,$y $((x + indicator_mask[2] - 1)),$((y + indicator_mask[3] - 1))" \
        "$out_dir/$1.png"
}

same_picture() { [ "$(compare -metric AE "$out_dir/$1.png" "$out_dir/$2.png" null: 2>&1)" = 0 ]; }

# shoot_variant EXE NAME STATE: a frame of one launcher build in the failed or the ready state.
shoot_variant() {
    local dir=$work/paint-$2 saved=$launcher_exe saved_skin=$skin_dir
    launcher_exe=$1
    skin_dir=$repo_skin
    make_install "$dir" "$server_port"
    launcher_exe=$saved
    skin_dir=$saved_skin
    open_launcher "$dir" || return 1
    if [ "$3" = failed ]; then
        wait_for 60 has_message_box "Ombrelta Launcher" && dismiss_box "Ombrelta Launcher"
        sleep 1
        MASK= window_shot "$2"
    else
        wait_for 60 indicator_online || return 1
        sleep 1
        MASK=1 window_shot "$2"
    fi
    escape_and_exit "$dir"
}

scenario_paint_modes_identical() {
    local full=$windows_build/app/OmbreltaLauncherFullRepaint.exe
    if [ ! -f "$full" ] || [ ! -d "$repo_skin" ]; then
        log "no full-repaint build or skin: skipped"
        return
    fi
    server_port=$(free_port)
    shoot_variant "$launcher_exe" cached-failed failed && shoot_variant "$full" full-failed failed &&
        check "cached and full paint agree (failed state)" same_picture cached-failed full-failed
    local root=$work/root-paint
    serve "$root" || return
    shoot_variant "$launcher_exe" cached-ready ready && shoot_variant "$full" full-ready ready &&
        check "cached and full paint agree outside the indicator (ready)" same_picture cached-ready full-ready
}

scenario_failed_verification() {
    local dir=$work/verify-fails root=$work/root-verify-fails
    serve "$root" || return
    make_install "$dir" "$server_port"
    open_ready_launcher "$dir" || return
    # Without the server the check before the start cannot connect.
    kill "$server_pid"
    wait "$server_pid" 2>/dev/null
    click_client "${start_point[@]}"
    check "failed check before start shows the error box" wait_for 60 has_message_box "Ombrelta Launcher"
    screenshot verify-failed-box
    dismiss_box "Ombrelta Launcher"
    sleep 1
    screenshot verify-failed
    check "indicator red after the failed check" indicator_offline
    check "Start disabled after the failed check" start_disabled
    check "bar empty after the failed check" bar_empty
    escape_and_exit "$dir" && pass "launcher ends with 0"
}
