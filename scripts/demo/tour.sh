# The demo without a desktop: the launcher on a private Xvfb, driven through scripts/lib/screen.sh,
# with screenshots of each stage. Sourced by scripts/demo.sh.

screenshot() { # screenshot NAME
    grab_screen "$shots/$1.png" && echo "  screenshot $shots/$1.png"
}

# launcher_ready: the server indicator is green, which the launcher shows once it says "Ready.".
launcher_ready() { read_window_position && indicator_online; }

big_file_size() {
    stat -c %s "$demo_dir/install/data/world/mossfield.pak" 2>/dev/null || echo 0
}

# Polls the big game file often (a plain stat is cheap) and takes a screenshot while it is
# halfway there; gives up once it is complete or after five minutes.
screenshot_while_downloading() {
    local deadline=$((SECONDS + 300)) size first=
    while ((SECONDS < deadline)); do
        size=$(big_file_size)
        if ((size > 0)) && [ -z "$first" ]; then
            first=$SECONDS
        fi
        if ((size >= 64 * 1024 * 1024)); then
            echo "  the 64 MiB game file arrived in about $((SECONDS - first)) s"
            return 0
        fi
        if ((size > 16 * 1024 * 1024)); then
            screenshot 2-downloading
            return 0
        fi
        sleep 0.1
    done
}

# Waits, bounded, for the launcher process to end; stops it when it overstays.
wait_launcher_bounded() {
    local seconds=$1
    if ! wait_for "$seconds" eval '! kill -0 "$launcher_pid" 2>/dev/null'; then
        echo "demo: the launcher is still running after $seconds s; stopping it" >&2
        kill "$launcher_pid" 2>/dev/null
    fi
    wait_launcher
}

run_headless_tour() {
    rm -rf "$shots"
    mkdir -p "$shots"
    say "Running the launcher on a private Xvfb ($DISPLAY); screenshots go to $shots"
    start_launcher
    if ! wait_for 120 read_window_position; then
        echo "demo: the launcher window did not appear" >&2
        return 1
    fi
    sleep 1
    screenshot 1-started
    screenshot_while_downloading
    if ! wait_for 600 launcher_ready; then
        screenshot 9-not-ready
        echo "demo: the launcher did not get ready (see $shots/9-not-ready.png)" >&2
        return 1
    fi
    sleep 1
    screenshot 3-ready
    hover_client "${start_point[@]}"
    sleep 0.7
    screenshot 3-ready-hover
    say "Pressing PLAY"
    click_client "${start_point[@]}"
    if ! wait_for 300 test -s "$demo_dir/install/Tarvesk.run.txt"; then
        screenshot 9-no-game
        echo "demo: the game did not start (see $shots/9-no-game.png)" >&2
        return 1
    fi
    # At once, while the splash is still up.
    screenshot 4-game-started
    echo "  the game was started with:"
    sed 's/^/    /' "$demo_dir/install/Tarvesk.run.txt"
    sleep 4
    screenshot 5-game-running
    say "Waiting for the game to end; the launcher then closes itself"
    local status=0
    wait_launcher_bounded $((${OMBRELTA_DEMO_GAME_SECONDS:-12} + 60)) || status=$?
    say "Done. Screenshots: $shots"
    ls "$shots"
    return "$status"
}
