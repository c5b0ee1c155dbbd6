# Shared by the format benchmarks: builds the driver (target bench_formats_driver) and times
# commands. BUILD (default build) must hold a configured tree.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build}
work=$build/bench-data
mkdir -p "$work"
cmake --build "$build" --target bench_formats_driver >/dev/null
driver=$build/bench_formats_driver

# best_of N 'COMMAND': the smallest CPU time (user + system, in seconds) of N runs of a shell
# command. CPU time rather than wall time keeps the figures steady on a shared machine.
best_of() {
    n=$1
    best=
    i=0
    while [ $i -lt "$n" ]; do
        /usr/bin/time -f '%U %S' -o "$work/time" sh -c "$2"
        t=$(awk '{ print $1 + $2 }' "$work/time")
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
        i=$((i + 1))
    done
    printf '%.3f' "$best"
}

ratio() {
    printf '%.2f' "$(echo "$1 / $2" | bc -l)"
}
