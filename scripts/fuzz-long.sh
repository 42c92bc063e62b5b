#!/usr/bin/env bash
# A long fuzzing run of every *_fuzzer of the fuzz preset, each on a copy of its committed corpus.
# Afterwards the inputs that reach edges the committed corpus does not (chosen with -merge=1) are
# added to fuzz/corpus/<name>/, ready to review and commit; any crash input is kept with its log.
# Usage: scripts/fuzz-long.sh [--parallel] [MINUTES]
#   MINUTES per target, 30 by default; --parallel runs all targets at once instead of in turn.
# Results: build/fuzz-long/<name>/ holds run.log, merge.log and any crash-, leak-, oom- or
# timeout- input; the closing table gives executions, edges, peak memory and findings per target.
# Exit code 1 when a target found something, 2 on a usage or build error.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)
parallel=0
if [ "${1:-}" = --parallel ]; then
    parallel=1
    shift
fi
minutes=${1:-30}
if ! [[ $minutes =~ ^[1-9][0-9]*$ ]] || [ $# -gt 1 ]; then
    echo "usage: $0 [--parallel] [MINUTES]" >&2
    exit 2
fi
prefix=${OMBRELTA_BUILD_PREFIX:-build/}
[[ $prefix == /* ]] || prefix="$root/$prefix"
out="${prefix}fuzz-long"
# Both limits of the inputs: one packet carries at most 65533 payload bytes, and the zip target's
# speed goal is set for archives up to 64 KiB.
max_len=65536

# Only the fuzz targets are built: the preset's other programs play no part here.
build_fuzzers() {
    cmake --preset fuzz -B "${prefix}fuzz" || return 1
    local targets=()
    mapfile -t targets < <(cmake --build "${prefix}fuzz" --target help | grep -oE '^[A-Za-z0-9_]+_fuzzer' | sort -u)
    [ "${#targets[@]}" -gt 0 ] && cmake --build "${prefix}fuzz" -j2 --target "${targets[@]}"
}
mkdir -p "$out"
if ! build_fuzzers >"$out/build.log" 2>&1; then
    tail -n 40 "$out/build.log"
    exit 2
fi

findings() {  # findings NAME: the inputs a run kept as evidence
    find "$out/$1" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'oom-*' -o -name 'timeout-*' \)
}

run_target() {  # run_target FUZZER
    local fuzzer=$1 name work seeds before
    name=$(basename "$fuzzer" _fuzzer)
    work="$out/$name"
    seeds="$root/fuzz/corpus/$name"
    rm -rf "$work"
    mkdir -p "$work/corpus" "$seeds"
    cp -R "$seeds/." "$work/corpus/"
    # A finding ends the run early; the input and the log stay for a look.
    "$fuzzer" -max_total_time=$((minutes * 60)) -max_len="$max_len" -print_final_stats=1 \
        -artifact_prefix="$work/" "$work/corpus" >"$work/run.log" 2>&1 || true
    before=$(find "$seeds" -type f | wc -l)
    # Only inputs that reach new edges join the committed corpus; counting hit counts as well
    # would add ten times as many for little.
    "$fuzzer" -merge=1 -use_counters=0 -max_len="$max_len" "$seeds" "$work/corpus" >"$work/merge.log" 2>&1 ||
        true
    echo $(($(find "$seeds" -type f | wc -l) - before)) >"$work/new-inputs"
}

report_target() {  # report_target NAME
    local log="$out/$1/run.log" runs edges rss seconds
    runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+)/\1/p' "$log")
    rss=$(sed -nE 's/^stat::peak_rss_mb: *([0-9]+)/\1/p' "$log")
    edges=$(grep -oE 'cov: [0-9]+' "$log" | tail -n 1 | cut -d' ' -f2)
    seconds=$(sed -nE 's/.*Done [0-9]+ runs in ([0-9]+) second.*/\1/p' "$log")
    printf '%-10s %8s %12s %9s %8s %9s %9s\n' "$1" "${seconds:-?}" "${runs:-?}" "${edges:-?}" \
        "${rss:-?}" "$(findings "$1" | wc -l)" "$(cat "$out/$1/new-inputs")"
}

fuzzers=()
for fuzzer in "${prefix}"fuzz/fuzz/*_fuzzer; do
    [ -x "$fuzzer" ] && fuzzers+=("$fuzzer")
done
for fuzzer in "${fuzzers[@]}"; do
    echo "--- $(basename "$fuzzer"), $minutes min"
    if [ "$parallel" -eq 1 ]; then
        run_target "$fuzzer" &
    else
        run_target "$fuzzer"
    fi
done
wait

printf '%-10s %8s %12s %9s %8s %9s %9s\n' target seconds executions edges "rss MB" findings "new seeds"
status=0
for fuzzer in "${fuzzers[@]}"; do
    name=$(basename "$fuzzer" _fuzzer)
    report_target "$name"
    [ -z "$(findings "$name")" ] || status=1
done
echo "Logs and findings: $out/<target>/. New seeds: git status fuzz/corpus"
exit "$status"
