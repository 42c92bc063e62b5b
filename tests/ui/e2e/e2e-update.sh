# The launcher replaced by its own patch: it restarts into the new program. Sourced by
# launcher-e2e.sh after e2e-scenarios.sh.

# A server root whose patch 1 carries a new launcher: this build with bytes appended (Windows
# ignores data after the image, so it still runs).
make_update_root() {
    local root=$1 src=$work/update-src
    mkdir -p "$root/patches" "$root/files" "$src"
    cp "$launcher_exe" "$src/OmbreltaLauncher.exe"
    printf 'new launcher build\n' >>"$src/OmbreltaLauncher.exe"
    printf '1\n' >"$src/version.dat"
    (cd "$src" && zip -q -X "$root/patches/patch1.zip" OmbreltaLauncher.exe version.dat)
    printf 'hello from the server\n' >"$root/files/readme.txt"
}

main_window_count() { xdotool search --onlyvisible --name '^Ombrelta Launcher$' 2>/dev/null | wc -l; }

scenario_self_update() {
    local dir=$work/update root=$work/root-update
    make_update_root "$root"
    start_server "$root" || { fail "server did not start"; return; }
    make_install "$dir" "$server_port"
    start_launcher "$dir"
    expect_exit "$dir" 120 && pass "the replaced launcher ends with 0 after the patch"
    check "the restarted launcher opens its window" wait_for 60 has_main_window
    read_window_position
    check "the restarted launcher becomes ready" wait_for 120 indicator_online
    screenshot self-updated
    check "exactly one launcher window" test "$(main_window_count)" = 1
    check "version.dat at 1" grep -qx 1 "$dir/version.dat"
    check "the new launcher is in place" cmp -s "$work/update-src/OmbreltaLauncher.exe" "$dir/OmbreltaLauncher.exe"
    check "game file downloaded" cmp -s "$root/files/readme.txt" "$dir/readme.txt"
    check "the old launcher is gone after the restart" test ! -e "$dir/OmbreltaLauncher.exe.old"
    press_escape
    check "the restarted launcher closes" wait_for 15 no_main_window
    wineserver -w 2>/dev/null || true

    # The next start finds nothing to patch and stays.
    printf 'left by an update\n' >"$dir/OmbreltaLauncher.exe.old"
    open_ready_launcher "$dir" || return
    check "the next start removes what an update left" test ! -e "$dir/OmbreltaLauncher.exe.old"
    check "the next start does not restart" test "$(main_window_count)" = 1
    escape_and_exit "$dir" && pass "launcher ends with 0"
}
