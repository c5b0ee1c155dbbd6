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
