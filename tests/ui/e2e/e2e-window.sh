# Scenarios of launcher-e2e.sh about what the window shows and how it takes the mouse: the texts
# in a fresh Wine prefix, the version line after patching, a failed game start and a press
# released outside the window, the tray icon after a taskbar restart. Sourced by launcher-e2e.sh
# after e2e-scenarios.sh.

# box_shot NAME X Y W H: a client rectangle of the main window as a picture.
box_shot() { grab_client "$out_dir/$1.png" "${@:2}"; }

different_picture() { ! same_picture "$1" "$2"; }

# The test skin's background is one colour: a rectangle with text in it has more than one.
has_text() { (($(convert "$out_dir/$1.png" -format %k info: 2>/dev/null || echo 0) > 1)); }

# A server root whose patches 1 to 3 each carry their version.
make_three_patch_root() {
    local root=$1 version src
    mkdir -p "$root/patches" "$root/files"
    printf 'three patches\n' >"$root/files/readme.txt"
    for version in 1 2 3; do
        src=$work/patch-src-$version
        mkdir -p "$src"
        printf '%s\n' "$version" >"$src/version.dat"
        (cd "$src" && zip -q -X "$root/patches/patch$version.zip" version.dat)
    done
}

# shoot_texts NAME: the version and status lines of the open launcher as NAME-version.png and
# NAME-status.png.
shoot_texts() {
    box_shot "$1-version" "${version_box[@]}"
    box_shot "$1-status" "${status_box[@]}"
}

# In a prefix made afresh with Wine's own fonts and no registry changes, the texts are drawn, and
# the version line after patching 0 -> 3 is the one of a launcher that started at 3.
scenario_texts_and_version_line() {
    local saved_prefix=$WINEPREFIX root=$work/root-three dir port
    export WINEPREFIX=$out_dir/fresh-prefix
    rm -rf "$WINEPREFIX"
    log "creating a fresh Wine prefix"
    wineboot -i >/dev/null 2>&1
    wineserver -w 2>/dev/null || true

    dir=$work/texts-failed
    port=$(free_port)
    make_install "$dir" "$port"
    if open_launcher "$dir" && wait_for 60 has_message_box "Ombrelta Launcher"; then
        dismiss_box "Ombrelta Launcher"
        sleep 1
        shoot_texts at-0
        check "version line drawn in a fresh prefix" has_text at-0-version
        check "status line drawn in a fresh prefix" has_text at-0-status
        escape_and_exit "$dir"
    fi

    make_three_patch_root "$root"
    if start_server "$root"; then
        dir=$work/texts-patched
        make_install "$dir" "$server_port"
        open_ready_launcher "$dir" && sleep 1 && shoot_texts patched && escape_and_exit "$dir"
        check "patches 1 to 3 applied" grep -qx 3 "$dir/version.dat"
        dir=$work/texts-at-3
        make_install "$dir" "$server_port"
        printf '3\n' >"$dir/version.dat"
        open_ready_launcher "$dir" && sleep 1 && shoot_texts at-3 && escape_and_exit "$dir"
        check "version line after patching equals a start at that version" same_picture patched-version at-3-version
        check "version lines differ between versions 0 and 3" different_picture at-0-version at-3-version
    else
        fail "server did not start"
    fi
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    export WINEPREFIX=$saved_prefix
}

no_box_or_splash() { ! has_message_box "$1" && ! splash_visible; }

# failed_start_shows DIR BOX: Start pressed on a ready launcher whose game cannot start; after
# the box titled BOX the status line no longer reads "Starting game..." and Start is enabled.
failed_start_shows() {
    local dir=$1 box=$2 name
    name=$(basename "$dir")
    click_client "${start_point[@]}"
    check "box \"$box\"" wait_for 60 has_message_box "$box" || return
    shoot_texts "$name-during"
    dismiss_box "$box"
    # The splash of a game that was found covers the status line for its three seconds.
    wait_for 10 no_box_or_splash "$box"
    sleep 0.5
    screenshot "$name-after"
    shoot_texts "$name-after"
    check "status line changes after the box \"$box\"" different_picture "$name-during-status" "$name-after-status"
    check "status line drawn after the box \"$box\"" has_text "$name-after-status"
    check "Start enabled after the box \"$box\"" start_enabled
}

scenario_failed_game_start() {
    local root=$work/root-failed-start dir
    serve "$root" || return
    dir=$work/game-missing
    make_install "$dir" "$server_port"
    open_ready_launcher "$dir" || return
    failed_start_shows "$dir" "Tarvesk.exe not found"
    escape_and_exit "$dir"
    # A file that is no program: the game is found but cannot be started.
    dir=$work/game-broken
    make_install "$dir" "$server_port"
    printf 'not a program\n' >"$dir/Tarvesk.exe"
    open_ready_launcher "$dir" || return
    failed_start_shows "$dir" "Ombrelta Launcher"
    check "different texts for the two failures" different_picture game-missing-after-status game-broken-after-status
    escape_and_exit "$dir"
}

exit_pixel() { client_pixel_near "${exit_point[@]}" "$@" 2; }

# A press on Exit released outside the window ends there: a later press elsewhere released over
# Exit closes nothing. Hover ends when the pointer leaves the window.
scenario_press_released_outside() {
    local dir=$work/press-outside port
    port=$(free_port)
    make_install "$dir" "$port"
    open_launcher "$dir" || return
    # The failed state leaves no box to come later; Exit and the links work in it.
    wait_for 60 has_message_box "Ombrelta Launcher" && dismiss_box "Ombrelta Launcher"
    sleep 1
    hover_client "${exit_point[@]}"
    check "Exit shows its hover picture" wait_for 5 exit_pixel 192 192 192
    park_pointer
    check "hover ends when the pointer leaves the window" wait_for 5 exit_pixel 128 128 128
    hover_client "${exit_point[@]}"
    xdotool mousedown 1
    sleep 0.3
    park_pointer
    sleep 0.3
    xdotool mouseup 1
    sleep 0.5
    check "a release outside the window ends the press" wait_for 5 exit_pixel 128 128 128
    drag_client "${whatsapp_point[@]}" 950 39 "${exit_point[@]}"
    sleep 1
    check "a later release over Exit does not close the launcher" has_main_window
    check "nor click the pressed link" test -z "$(message_box "Ombrelta Launcher")"
    escape_and_exit "$dir"
}

restart_taskbar() { wine "$windows_build/tests/ui/taskbar-restart.exe" >/dev/null 2>&1; }

# The taskbar restarts while the game runs: the tray icon comes back and still restores the window.
scenario_tray_after_taskbar_restart() {
    local dir=$work/tray-restart root=$work/root-tray-restart
    if [ ! -f "$windows_build/tests/ui/taskbar-restart.exe" ]; then
        log "no taskbar-restart.exe: skipped"
        return
    fi
    serve "$root" || return
    make_install "$dir" "$server_port"
    install_game "$dir" 120
    open_ready_launcher "$dir" || return
    click_client "${start_point[@]}"
    check "launcher window hidden" wait_for 60 no_main_window
    check "tray icon shown" wait_for 10 has_visible_window "Wine System Tray"
    check "taskbar restart acted out" restart_taskbar
    sleep 1.5
    check "tray icon back after the taskbar restart" has_visible_window "Wine System Tray"
    check "launcher stays hidden" no_main_window
    click_tray_icon 2
    check "the icon restores the launcher" wait_for 10 has_main_window
    read_window_position
    escape_and_exit "$dir"
}
