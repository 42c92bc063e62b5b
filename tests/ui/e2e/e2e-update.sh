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

main_window_count() { visible_windows "Ombrelta Launcher" | wc -l; }

# Wine shows a program's arguments (unquoted) as its process's; only the restarted launcher of
# DIR has some that start like this (and so does no grep or awk looking for them).
restarted_running() {
    local start
    start="$(windows_path "$1")\\OmbreltaLauncher.exe --after-update "
    ps -eo args | START=$start awk 'index($0, ENVIRON["START"]) == 1 { found = 1 } END { exit !found }'
}
restarted_gone() { ! restarted_running "$1"; }

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
    check "it runs with --after-update" restarted_running "$dir"
    check "version.dat at 1" grep -qx 1 "$dir/version.dat"
    check "the new launcher is in place" cmp -s "$work/update-src/OmbreltaLauncher.exe" "$dir/OmbreltaLauncher.exe"
    check "game file downloaded" cmp -s "$root/files/readme.txt" "$dir/readme.txt"
    check "the moved-aside launcher is gone once its process ended" test ! -e "$dir/OmbreltaLauncher.exe.old"
    press_escape
    check "the restarted launcher closes" wait_for 15 no_main_window
    check "the restarted launcher ends" wait_for 15 restarted_gone "$dir"

    # The next start finds nothing to patch and stays.
    printf 'left by an update\n' >"$dir/OmbreltaLauncher.exe.old"
    open_ready_launcher "$dir" || return
    check "the next start removes what an update left" test ! -e "$dir/OmbreltaLauncher.exe.old"
    check "the next start does not restart" test "$(main_window_count)" = 1
    escape_and_exit "$dir" && pass "launcher ends with 0"
}

# The Windows checker patches the folder of a launcher that runs (waiting behind its failure box).
scenario_check_replaces_running_launcher() {
    local dir=$work/update-running root=$work/root-update-running cwd=$work/check-cwd port
    local check_exe=$windows_build/tools/check/ombrelta-check.exe
    make_update_root "$root"
    start_server "$root" || { fail "server did not start"; return; }
    port=$(free_port)
    make_install "$dir" "$port"
    make_install "$cwd" "$server_port"
    open_launcher "$dir" || return
    check "the launcher waits behind its failure box" wait_for 60 has_message_box "Ombrelta Launcher"
    (cd "$cwd" && wine "$check_exe" --install-dir "$(windows_path "$dir")" --mode startup) >"$out_dir/check-running.out" 2>&1
    check "the checker names the replaced launcher last" \
        test "$(tail -n1 "$out_dir/check-running.out" | tr -d '\r')" = "$(printf 'updated\tOmbreltaLauncher.exe was replaced while it ran.')"
    check "the running launcher was moved aside" cmp -s "$launcher_exe" "$dir/OmbreltaLauncher.exe.old"
    check "the new launcher is in place" cmp -s "$work/update-src/OmbreltaLauncher.exe" "$dir/OmbreltaLauncher.exe"
    check "version.dat at 1" grep -qx 1 "$dir/version.dat"
    dismiss_box "Ombrelta Launcher"
    escape_and_exit "$dir" && pass "the moved-aside launcher still ends with 0"
}
