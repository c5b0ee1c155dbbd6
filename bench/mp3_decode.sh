#!/usr/bin/env bash
# MP3 decoding speed: our decoder against mpg123 and ffmpeg, each writing a 16-bit WAV.
#   bench/mp3_decode.sh [runs]          (default 5 interleaved runs; medians and ratios)
# The input is 600 s of 44.1 kHz stereo, encoded by lame at 128 kbit/s from a generated
# signal. Ours runs through a small driver (bench/mp3_to_wav.cpp) built against the library.
set -euo pipefail
runs=${1:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
work=$build/mp3
mkdir -p "$work"
for p in lame mpg123 ffmpeg sox; do
    command -v "$p" >/dev/null || { echo "needs $p" >&2; exit 1; }
done

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONVEX_TESTS=OFF >/dev/null
fi
ninja -C "$build" -j2 sonvex_core >/dev/null
c++ -std=c++20 -O2 -I"$root" "$root/bench/mp3_to_wav.cpp" "$build/libsonvex.a" -lpthread \
    -o "$work/mp3_to_wav"

mp3=$work/bench-600s-128k.mp3
if [ ! -f "$mp3" ]; then
    # Tones, a slow sweep and pink noise at moderate level: a dense spectrum throughout.
    sox -n -r 44100 -c 2 -b 16 "$work/src.wav" synth 600 pinknoise synth 600 sine mix 200-3000 \
        synth 600 sine amod 0.3 80 vol 0.35 2>/dev/null
    lame --quiet -b 128 "$work/src.wav" "$mp3"
    rm -f "$work/src.wav"
fi
echo "input: $(du -h "$mp3" | cut -f1) $(basename "$mp3")"

now() { date +%s.%N; }
declare -a t_ours t_mpg t_ff
for ((i = 0; i < runs; i++)); do
    a=$(now); "$work/mp3_to_wav" "$mp3" "$work/ours.wav"; b=$(now)
    t_ours+=("$(echo "$b - $a" | bc -l)")
    a=$(now); mpg123 -q -w "$work/mpg123.wav" "$mp3"; b=$(now)
    t_mpg+=("$(echo "$b - $a" | bc -l)")
    a=$(now); ffmpeg -v error -y -i "$mp3" "$work/ffmpeg.wav"; b=$(now)
    t_ff+=("$(echo "$b - $a" | bc -l)")
done
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
mo=$(median "${t_ours[@]}"); mm=$(median "${t_mpg[@]}"); mf=$(median "${t_ff[@]}")
printf 'runs: %d (interleaved)\n' "$runs"
printf 'ours   median %6.3f s  (%s)\n' "$mo" "${t_ours[*]}"
printf 'mpg123 median %6.3f s  (%s)\n' "$mm" "${t_mpg[*]}"
printf 'ffmpeg median %6.3f s  (%s)\n' "$mf" "${t_ff[*]}"
printf 'ours/mpg123 = %.2f   ours/ffmpeg = %.2f   (below 1: ours is faster)\n' \
    "$(echo "$mo / $mm" | bc -l)" "$(echo "$mo / $mf" | bc -l)"
ls -l "$work"/*.wav | awk '{print "  " $5, $9}'
