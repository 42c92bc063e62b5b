# The details line (details=1) and the log (log=1) of a launcher that installs three patches and
# repairs a game file slowed down by maxrate, shot at the start, the middle and the end of the
# repair. Sourced by launcher-e2e.sh after e2e-window.sh.

details_has_text() { box_shot details-now "${details_box[@]}" && has_text details-now; }
details_empty() { ! details_has_text; }

# panel_ink_rows NAME: the rows of the panel from the status line down to the bar (client rows
# 397 to 439, columns 370 to 709) that hold anything but the test skin's background, one a line.
panel_ink_rows() {
    convert "$out_dir/$1.png" -crop "340x43+370+397" +repage txt:- | python3 -c '
import re, sys
background = (32, 48, 64)
rows = set()
for line in sys.stdin:
    m = re.match(r"(\d+),(\d+): \((\d+),(\d+),(\d+)", line)
    if m and sum(abs(int(v) - b) for v, b in zip(m.group(3, 4, 5), background)) > 40:
        rows.add(397 + int(m.group(2)))
print("\n".join(str(r) for r in sorted(rows)))'
}

# lines_apart NAME: the status text's ink and the details line's ink are two bands with an empty
# row between them, the first within the status box, the second within the details box, so
# above the bar.
lines_apart() {
    panel_ink_rows "$1" | python3 -c '
import sys
rows = [int(r) for r in sys.stdin.read().split()]
bands = []
for r in rows:
    if bands and r == bands[-1][1] + 1:
        bands[-1][1] = r
    else:
        bands.append([r, r])
print("ink bands:", bands, file=sys.stderr)
ok = len(bands) == 2 and bands[0][0] >= 397 and bands[0][1] <= 420 and bands[1][0] >= 421 and bands[1][1] <= 435
sys.exit(0 if ok else 1)'
}

# Only what the run itself brings: the log, the patches' and the repaired files.
only_expected_files() {
    local listed
    listed=$(cd "$1" && find . -type f ! -path './data2/*' | sort | tr '\n' ' ')
    [ "$listed" = "./Ombrel.dat ./OmbreltaLauncher.exe ./data/big.pak ./exit-code ./ombrelta-launcher.log ./readme.txt ./version.dat " ] ||
        { log "files: $listed"; return 1; }
}

scenario_details_line() {
    local root=$work/root-details dir=$work/details
    make_three_patch_root "$root"
    mkdir -p "$root/files/data"
    python3 -c 'import random, sys; random.seed(11); sys.stdout.buffer.write(random.randbytes(1200000))' \
        >"$root/files/data/big.pak"
    start_server "$root" || { fail "server did not start"; return; }
    make_install "$dir" "$server_port" 'maxrate=200\ndetails=1\nlog=1\n'
    open_launcher "$dir" || return
    if check "details line shown while a file downloads" wait_for 60 details_has_text; then
        window_shot details-start
        sleep 2.5
        window_shot details-middle
        box_shot details-middle-version "${version_box[@]}"
        check "details line clear of the status line and the bar" lines_apart details-middle
    fi
    wait_for 60 indicator_online || { fail "launcher never became ready"; return; }
    sleep 1.5
    window_shot details-end
    box_shot details-end-version "${version_box[@]}"
    check "details line empty after Ready" details_empty
    check "version line during the repair is the patched one" same_picture details-middle-version details-end-version
    escape_and_exit "$dir"
    check "log written" grep -q "run passed" "$dir/ombrelta-launcher.log"
    check "log names the download of big.pak" grep -q "download data/big.pak from server, 1200000 bytes" \
        "$dir/ombrelta-launcher.log"
    check "nothing else in the folder" only_expected_files "$dir"
}
