# Shared by the format benchmarks: builds the driver against the library and times commands.
# BUILD (default build) must hold a configured and built tree (libsonvex.a).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build}
work=$build/bench-data
mkdir -p "$work"
driver=$build/formats_driver
if [ ! -x "$driver" ] || [ "$root/bench/formats_driver.cpp" -nt "$driver" ] ||
    [ "$build/libsonvex.a" -nt "$driver" ]; then
    ${CXX:-g++} -O2 -std=c++20 -I"$root" "$root/bench/formats_driver.cpp" "$build/libsonvex.a" \
        -o "$driver"
fi

# best_of N CMD...: the shortest wall time of N runs, in seconds.
best_of() {
    n=$1
    shift
    best=
    i=0
    while [ $i -lt "$n" ]; do
        s=$(date +%s.%N)
        "$@"
        e=$(date +%s.%N)
        t=$(echo "$e - $s" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
        i=$((i + 1))
    done
    printf '%.3f' "$best"
}

ratio() {
    printf '%.2f' "$(echo "$1 / $2" | bc -l)"
}
