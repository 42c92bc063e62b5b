#!/usr/bin/env bash
# The project's whole test run: native, sanitizers, the Windows build under Wine, ThreadSanitizer
# and the fuzzers. Every step runs even after an earlier one failed; the exit code is non-zero
# when any of them failed. Usage: bash scripts/run-tests.sh
set -uo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)
jobs=2
fuzz_seconds=30
# Build folders are build/<preset> as in CMakePresets.json; OMBRELTA_BUILD_PREFIX=build/me- keeps
# a second run in the same tree apart from the first.
prefix=${OMBRELTA_BUILD_PREFIX:-build/}
[[ $prefix == /* ]] || prefix="$root/$prefix"
logs="${prefix}test-logs"

# A compiler cache, when installed, makes a second run (or CI after a developer's run on the same
# machine) rebuild only what changed; paths are taken relative to the tree so clones share it.
if command -v ccache >/dev/null; then
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
    export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=true
fi

declare -a summary=()
# Excerpts of failed builds, shown again after the summary, where a reader of the run's end sees them.
declare -a build_failures=()
failed=0

step_started=$SECONDS
note() {
    step_started=$SECONDS
    printf '\n=== %s ===\n' "$*"
}

record() {  # record PRESET STATUS DETAIL
    local took=$((SECONDS - step_started))
    summary+=("$(printf '%-12s %-7s %5s  %s' "$1" "$2" "$((took / 60))m$((took % 60))s" "$3")")
    [ "$2" = "PASSED" ] || [ "$2" = "SKIPPED" ] || failed=1
}

# The end-to-end tests of the native builds drive the Windows programs of this run.
configure() {  # configure PRESET
    local preset=$1
    cmake --preset "$preset" -B "$prefix$preset" -DOMBRELTA_WINDOWS_BUILD_DIR="${prefix}windows" \
        >"$logs/$preset-configure.log" 2>&1 || {
        cat "$logs/$preset-configure.log"
        return 1
    }
}

build() {  # build PRESET [targets...]
    local preset=$1
    shift
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    cmake --build "$prefix$preset" -j"$jobs" "${targets[@]}" >"$logs/$preset-build.log" 2>&1 || {
        local excerpt="$logs/$preset-build-errors.log"
        { grep -E -B2 -A8 'error|FAILED' "$logs/$preset-build.log" || tail -n 30 "$logs/$preset-build.log"; } |
            head -n 120 >"$excerpt"
        cat "$excerpt"
        build_failures+=("$excerpt")
        return 1
    }
}

# Runs CTest and keeps its own summary line for the final report.
run_ctest() {  # run_ctest PRESET [ctest args...]
    local preset=$1
    shift
    local log="$logs/$preset-ctest.log"
    ctest --test-dir "$prefix$preset" -j"$jobs" --output-on-failure "$@" 2>&1 | tee "$log"
    local status=${PIPESTATUS[0]}
    ctest_line=$(grep -E 'tests passed|No tests were found' "$log" | tail -n 1)
    # A test that passed on its second run (see wine_retry) is named in the summary.
    local retried
    retried=$(grep -E '^ +Test +#[0-9]+: .* Passed' "$log" | sed -E 's/^ +Test +#[0-9]+: ([^ ]+) .*/\1/' | paste -sd ' ' -)
    [ -z "$retried" ] || ctest_line="$ctest_line; passed on a second run: $retried"
    count_tests "$log"
    return "$status"
}

# Adds a CTest log's counts to the totals of the closing line.
tests_passed=0
tests_failed=0
count_tests() {  # count_tests LOG
    local line total failed_here
    line=$(grep -E '[0-9]+ tests failed out of [0-9]+' "$1" | tail -n 1)
    [ -n "$line" ] || return 0
    failed_here=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
    tests_failed=$((tests_failed + failed_here))
    tests_passed=$((tests_passed + total - failed_here))
}

# run_preset PRESET [--targets "TARGET..."] [ctest args...]: builds everything unless targets are named.
run_preset() {
    local preset=$1
    shift
    local targets=()
    if [ "${1:-}" = --targets ]; then
        read -r -a targets <<<"$2"
        shift 2
    fi
    if ! configure "$preset"; then
        record "$preset" FAILED "configure"
        return
    fi
    if ! build "$preset" "${targets[@]}"; then
        record "$preset" FAILED "build (see $logs/$preset-build.log)"
        return
    fi
    ctest_line=""
    if run_ctest "$preset" "$@"; then
        record "$preset" PASSED "$ctest_line"
    else
        record "$preset" FAILED "$ctest_line"
    fi
}

# One fresh Wine prefix for this run, shared by every Windows test program (cmake/wine-run.sh
# picks it up from WINEPREFIX).
prepare_wine() {
    export WINEDEBUG=-all
    export WINEPREFIX="${prefix}windows/wineprefix"
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >"$logs/wineboot.log" 2>&1 || return 1
    wineserver -w
}

# Windows programs that open windows need an X display; a private Xvfb serves when there is none
# (without one, the tests that need it fail and say so).
source scripts/lib/screen.sh
start_display() {
    [ -n "${DISPLAY:-}" ] || start_xvfb 1280x1024 "$logs/xvfb.log" || true
}

stop_display() {
    stop_xvfb
    [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null
    return 0
}

run_windows() {
    start_display
    if ! prepare_wine; then
        record windows FAILED "wineboot (see $logs/wineboot.log)"
        return
    fi
    run_preset windows --targets "all OmbreltaLauncherFullRepaint" "${wine_retry[@]}"
}

run_fuzzers() {
    configure fuzz || { record fuzz FAILED "configure"; return; }
    build fuzz || { record fuzz FAILED "build (see $logs/fuzz-build.log)"; return; }
    local count=0 bad=0 fuzzer name corpus
    for fuzzer in "$prefix"fuzz/fuzz/*_fuzzer; do
        [ -x "$fuzzer" ] || continue
        name=$(basename "$fuzzer" _fuzzer)
        # Work on a copy, so that new inputs found during the run never land in the source tree.
        corpus="${prefix}fuzz/corpus-run/$name"
        rm -rf "$corpus"
        mkdir -p "$corpus"
        [ -d "fuzz/corpus/$name" ] && cp -R "fuzz/corpus/$name/." "$corpus/"
        count=$((count + 1))
        echo "--- $name (${fuzz_seconds} s)"
        # Crash inputs go next to the log, not into the working directory.
        if ! "$fuzzer" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
            -artifact_prefix="$logs/fuzz-$name-" "$corpus" >"$logs/fuzz-$name.log" 2>&1; then
            bad=$((bad + 1))
            tail -n 60 "$logs/fuzz-$name.log"
        else
            grep -E 'stat::number_of_executed_units' "$logs/fuzz-$name.log" || true
        fi
    done
    if [ "$bad" -eq 0 ]; then
        record fuzz PASSED "$count fuzzers, ${fuzz_seconds} s each"
    else
        record fuzz FAILED "$bad of $count fuzzers failed (logs in $logs)"
    fi
}

# Wine 8.0's wineserver has been seen to crash (a segfault in its wake-up of waiting threads)
# or to lose a thread's exit under our multi-threaded tests, which then fail or hang for
# reasons outside our code. The tests that run under Wine get a second run when the first
# fails; a real fault fails both, and a second run is named in the summary.
wine_retry=(--repeat until-pass:2)

# The test programs labelled tsan and what they run.
tsan_targets="config_thread_tests protocol_thread_tests service_thread_tests e2e_tests"

main() {
    mkdir -p "$logs"
    local started=$SECONDS
    note "dependencies"
    bash scripts/install-deps.sh build test || { echo "installing dependencies failed" >&2; exit 1; }
    trap stop_display EXIT

    # Windows first: the end-to-end tests of the native build drive its programs.
    note windows && run_windows
    note native && run_preset native "${wine_retry[@]}"
    # The launcher's end-to-end run under Wine has been made once, by the native step, and so
    # have the end-to-end tests of the Windows programs: those are not sanitized.
    export GTEST_FILTER='-*Wine*'
    note native-asan && run_preset native-asan -E '^ui_e2e$'
    note native-tsan && run_preset native-tsan --targets "$tsan_targets" -L tsan
    unset GTEST_FILTER
    note fuzz && run_fuzzers

    note "summary ($(( (SECONDS - started) / 60 )) min $(( (SECONDS - started) % 60 )) s)"
    printf '%s\n' "${summary[@]}"
    echo "$tests_passed passed, $tests_failed failed"
    local excerpt
    for excerpt in "${build_failures[@]}"; do
        printf '\n--- %s\n' "$(basename "$excerpt")"
        tail -n 40 "$excerpt"
    done
    return "$failed"
}

main "$@"
