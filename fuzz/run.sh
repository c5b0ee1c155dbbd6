#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz and runs one of them.
#   fuzz/run.sh <target> <seconds> [seed-folder...]
# Extra libFuzzer flags may be given in FUZZ_ARGS (for instance FUZZ_ARGS=-max_len=8192).
# The corpus grows in fuzz/corpus/<target>; findings land in fuzz/artifacts/<target>.
# One process in the foreground (no -jobs/-workers): the machine is shared.
set -euo pipefail
if [ $# -lt 2 ]; then
    echo "usage: $0 <target> <seconds> [seed-folder...]" >&2
    exit 2
fi
target=$1
seconds=$2
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz
corpus=$root/fuzz/corpus/$target
artifacts=$root/fuzz/artifacts/$target
mkdir -p "$corpus" "$artifacts"

if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DSONVEX_FUZZ=ON \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
ninja -C "$build" -j2 "$target" >/dev/null

log=$artifacts/last-run.log
before=$(find "$artifacts" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
set +e
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ASAN_OPTIONS=detect_leaks=1 \
    "$build/$target" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" ${FUZZ_ARGS:-} \
    "$corpus" "$@" >"$log" 2>&1
status=$?
set -e
after=$(find "$artifacts" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || true)
echo "target:     $target"
echo "time:       ${seconds}s"
echo "executions: ${execs:-unknown}"
echo "corpus:     $(find "$corpus" -type f | wc -l) files"
echo "findings:   $((after - before)) new (exit status $status; log $log)"
grep -E '^==[0-9]+==ERROR|runtime error|SUMMARY' "$log" | head -5 || true
[ "$status" -eq 0 ]
