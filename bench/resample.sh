#!/bin/sh
# Times a 600 s 44.1 kHz stereo WAV converted to 8 kHz mono by our stages, sox and ffmpeg.
# Runs are interleaved; prints the median of each and the ratios to ours.
#   bench/resample.sh [build-dir] [runs]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build}
runs=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --build "$build" --target sonvex_core >/dev/null
${CXX:-c++} -std=c++20 -O2 -I"$root" "$here/resample_bench.cpp" "$build/libsonvex.a" \
    -o "$work/resample_bench"

# Music-like material: two tones over pink noise.
sox -n -r 44100 -c 2 -b 16 "$work/in.wav" synth 600 pinknoise synth 600 sine 440 \
    synth 600 sine mix 3000 vol 0.5

# Appends "wall cpu" seconds of one run to a file.
t() {
    out=$1
    shift
    /usr/bin/time -f '%e %U %S' -o "$work/t" "$@" >/dev/null 2>&1
    awk '{printf "%s %.2f\n", $1, $2 + $3}' "$work/t" >>"$out"
}

: >"$work/ours"; : >"$work/sox"; : >"$work/ffmpeg"
for i in $(seq "$runs"); do
    t "$work/ours" "$work/resample_bench" "$work/in.wav" "$work/ours.wav" 8000 1
    t "$work/sox" sox "$work/in.wav" -r 8000 -c 1 "$work/sox.wav"
    t "$work/ffmpeg" ffmpeg -y -v error -i "$work/in.wav" -ar 8000 -ac 1 "$work/ffmpeg.wav"
done

median() { cut -d' ' -f"$2" "$1" | sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
echo "runs: $runs (interleaved), input: 600 s 44100 Hz stereo 16-bit -> 8000 Hz mono"
echo "median        wall s   cpu s   wall ratio to sonvex   cpu ratio to sonvex"
ow=$(median "$work/ours" 1); oc=$(median "$work/ours" 2)
for tool in ours sox ffmpeg; do
    w=$(median "$work/$tool" 1); c=$(median "$work/$tool" 2)
    printf '%-12s %7.2f %7.2f %12.2f %22.2f\n' "$tool" "$w" "$c" \
        "$(echo "$w / $ow" | bc -l)" "$(echo "$c / $oc" | bc -l)"
done
soxi "$work/ours.wav" | grep -E 'Sample Rate|Channels|Duration'
