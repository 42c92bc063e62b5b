# The demo's server folder (three patches, the last one with a delta entry, and the game files)
# and its installation folder.
# Sourced by scripts/demo.sh, which sets root, demo_dir, native_build and windows_build.
# Everything is rebuilt from scratch on each run and is the same bytes every time.

# Fixed time stamps keep the archives byte-identical from run to run.
readonly demo_stamp=202601010000

# deterministic_bytes SEED SIZE: SIZE pseudo-random bytes that depend only on SEED.
deterministic_bytes() {
    python3 -c 'import random, sys; sys.stdout.buffer.write(random.Random(sys.argv[1]).randbytes(int(sys.argv[2])))' \
        "ombrelta-demo-$1" "$2"
}

# make_patch VERSION: DIR/patches/patch-VERSION.zip with its root "version.dat" and a few files.
make_patch() {
    local version=$1 stage="$demo_dir/stage/patch-$1"
    mkdir -p "$stage/data/notes"
    printf '%s\n' "$version" >"$stage/version.dat"
    printf 'Ombrelta patch %s\r\nThe fog over Mossfield thickens.\r\n' "$version" >"$stage/data/notes/patch-$version.txt"
    case "$version" in
    1)
        mkdir -p "$stage/data/lang"
        printf 'greeting=Welcome to Ombrelta\r\nfarewell=Walk in shadow\r\n' >"$stage/data/lang/en.txt"
        ;;
    2)
        mkdir -p "$stage/data/maps"
        deterministic_bytes map 786432 >"$stage/data/maps/mossfield.map"
        ;;
    esac
    find "$stage" -exec touch -t "$demo_stamp" {} +
    (cd "$stage" && zip -q -X -r -D "$demo_dir/server/patches/patch-$version.zip" .)
}

# make_delta_patch VERSION: the next patch made by "ombrelta-patch make --delta" from the files
# of the patches before it: a new file ships whole, the changed map as a delta entry. The map's
# new version is a game file too, so a launcher without the key (or with a changed map) gets it
# from the file check.
make_delta_patch() {
    local version=$1 old="$demo_dir/stage/before-$1" new="$demo_dir/stage/after-$1" earlier
    mkdir -p "$old"
    for earlier in $(seq 1 $((version - 1))); do
        cp -r "$demo_dir/stage/patch-$earlier/." "$old/"
    done
    rm -f "$old/version.dat"
    cp -r "$old" "$new"
    printf 'Ombrelta patch %s\r\nThe map of Mossfield is redrawn.\r\n' "$version" >"$new/data/notes/patch-$version.txt"
    mkdir -p "$new/data/music"
    deterministic_bytes music 2097152 >"$new/data/music/theme.ogg"
    # A region of the map rewritten and a little inserted further on.
    python3 - "$new/data/maps/mossfield.map" <<'PY'
import random, sys
data = bytearray(open(sys.argv[1], "rb").read())
rng = random.Random("ombrelta-demo-map-3")
data[100000:108192] = rng.randbytes(8192)
data[500000:500000] = rng.randbytes(2048)
open(sys.argv[1], "wb").write(bytes(data))
PY
    find "$new" -exec touch -t "$demo_stamp" {} +
    "$native_build/tools/patch/ombrelta-patch" make --from "$old" --to "$new" --version "$version" \
        --out "$demo_dir/server/patches/patch-$version.zip" --delta | sed -n 's/^deltas: /  patch 3 with /p'
    mkdir -p "$demo_dir/server/files/data/maps"
    cp "$new/data/maps/mossfield.map" "$demo_dir/server/files/data/maps/"
}

# make_server_folder: build/demo/server with patches/ and files/.
make_server_folder() {
    rm -rf "$demo_dir/server" "$demo_dir/stage"
    mkdir -p "$demo_dir/server/patches" "$demo_dir/server/files/data/world" \
        "$demo_dir/server/files/data/config" "$demo_dir/server/files/data/lang"
    local version
    for version in 1 2; do
        make_patch "$version"
    done
    make_delta_patch 3
    rm -rf "$demo_dir/stage"

    local files="$demo_dir/server/files"
    # Large enough that the bar visibly moves while the launcher fetches it chunk by chunk.
    deterministic_bytes world 67108864 >"$files/data/world/mossfield.pak"
    printf '[video]\r\nwidth=1280\r\nheight=720\r\n[world]\r\nstart=mossfield\r\n' >"$files/data/config/game.ini"
    printf 'greeting=Welcome to Ombrelta\r\nfarewell=Walk in shadow\r\n' >"$files/data/lang/en.txt"
    cp "$windows_build/tools/fakegame/Tarvesk.exe" "$files/Tarvesk.exe"
    sign_content
}

# sign_content: a fresh key pair beside the server folder (never inside it), every patch signed
# with it and the game files' signed list for the newest patch's version; the public key goes
# to the launcher's settings.
sign_content() {
    local tool="$native_build/tools/patch/ombrelta-patch" key="$demo_dir/signing-key.pem" patch
    rm -f "$key"
    "$tool" keygen --out "$key" 2>/dev/null | grep '^publickey=' >"$demo_dir/publickey.txt"
    for patch in "$demo_dir/server/patches/"*.zip; do
        "$tool" sign "$patch" --key "$key" >/dev/null
    done
    "$tool" sign-files "$demo_dir/server/files" --key "$key" --version 3 >/dev/null
}

# make_mirror: build/demo/mirror, the tree a web server serves to launchers with `mirror`: every
# patch and every game file of the server folder, laid out by "ombrelta-patch mirror".
make_mirror() {
    "$native_build/tools/patch/ombrelta-patch" mirror --root "$demo_dir/server" --out "$demo_dir/mirror" |
        sed -n 's/^mirror [^:]*: /  mirror: /p'
}

# make_install_folder: build/demo/install at version 0 with the launcher, its skin and the game.
make_install_folder() {
    local install="$demo_dir/install"
    rm -rf "$install"
    mkdir -p "$install/data2/Ombrelta"
    cp "$windows_build/app/OmbreltaLauncher.exe" "$install/"
    cp "$root/assets/skin/"*.png "$install/data2/Ombrelta/"
    cp "$windows_build/tools/fakegame/Tarvesk.exe" "$install/"
    printf '0\n' >"$install/version.dat"
    printf '%s\n' "${OMBRELTA_DEMO_GAME_SECONDS:-12}" >"$install/Tarvesk.seconds.txt"
    # The big game file as a failing disk left it: one 4 KiB spot damaged, so the check repairs
    # its one damaged 1 MiB block (blockrepair) rather than all 64 MiB.
    mkdir -p "$install/data/world"
    cp "$demo_dir/server/files/data/world/mossfield.pak" "$install/data/world/"
    head -c 4096 /dev/zero | dd of="$install/data/world/mossfield.pak" bs=4096 seek=2560 conv=notrunc status=none
}

# write_config PORT MIRROR_PORT: the plain settings beside the demo and "Ombrel.dat" in the
# installation.
write_config() {
    cat >"$demo_dir/Ombrel.txt" <<CONFIG
host=localhost
port=$1
resolve=1
facebook=http://127.0.0.1/ombrelta/facebook
discord=http://127.0.0.1/ombrelta/discord
whatsapp=http://127.0.0.1/ombrelta/whatsapp
website=http://127.0.0.1/ombrelta
pipeline=auto
hashcache=1
resume=1
retries=3
delta=1
$(cat "$demo_dir/publickey.txt")
mirror=http://127.0.0.1:$2/
details=1
log=1
blockrepair=1
CONFIG
    "$native_build/tools/config/ombrelta-config" encode "$demo_dir/Ombrel.txt" "$demo_dir/install/Ombrel.dat"
}

# report_installation: what the launcher left in the installation, against the server's files.
report_installation() {
    local install="$demo_dir/install" files="$demo_dir/server/files" path same=0 differ=0
    echo "  version.dat in the installation: $(head -n 1 "$install/version.dat" 2>/dev/null)"
    while IFS= read -r -d '' path; do
        if cmp -s "$files/$path" "$install/$path"; then
            same=$((same + 1))
        else
            differ=$((differ + 1))
            echo "  differs from the server: $path"
        fi
    done < <(cd "$files" && find . -type f -printf '%P\0')
    echo "  game files identical to the server's: $same, different or missing: $differ"
}
