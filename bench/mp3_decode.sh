#!/usr/bin/env bash
# MP3 decoding speed: our decoder against mpg123 and ffmpeg, each writing a 16-bit WAV.
#   bench/mp3_decode.sh [runs]          (default 5 interleaved runs; medians and ratios)
# The input is 600 s of 44.1 kHz stereo, encoded by lame at 128 kbit/s from a generated
# signal. Ours is timed twice: the decoder alone through a small driver (bench/mp3_to_wav.cpp)
# and the whole conversion by the program (decoder, peak limiter, WAV writer).
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
ninja -C "$build" -j2 sonvex bench_mp3_to_wav >/dev/null
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$HOME"
cp "$build/bench_mp3_to_wav" "$work/mp3_to_wav"

mp3=$work/bench-600s-128k.mp3
if [ ! -f "$mp3" ]; then
    # Tones, a slow sweep and pink noise at moderate level: a dense spectrum throughout.
    sox -n -r 44100 -c 2 -b 16 "$work/src.wav" synth 600 pinknoise synth 600 sine mix 200-3000 \
        synth 600 sine amod 0.3 80 vol 0.35 2>/dev/null
    lame --quiet -b 128 "$work/src.wav" "$mp3"
    rm -f "$work/src.wav"
fi
echo "input: $(du -h "$mp3" | cut -f1) $(basename "$mp3")"

# Outputs go to memory when possible, so that disk writes do not blur the comparison.
out=/dev/shm
[ -d "$out" ] && [ -w "$out" ] || out=$work
# Each run records wall time and CPU time (user + system) through /usr/bin/time.
timed() {
    local f
    f=$(mktemp)
    /usr/bin/time -f "%e %U %S" -o "$f" "$@"
    awk '{printf "%s %.2f\n", $1, $2 + $3}' "$f"
    rm -f "$f"
}
declare -a w_ours w_mpg w_ff w_prog c_ours c_mpg c_ff c_prog
for ((i = 0; i < runs; i++)); do
    rm -f "$out/$(basename "$mp3" .mp3).wav"
    read -r w c < <(timed "$build/sonvex" "$mp3" -format .wav -outfolder "$out" -convert -exit </dev/null)
    w_prog+=("$w"); c_prog+=("$c")
    read -r w c < <(timed "$work/mp3_to_wav" "$mp3" "$out/sonvex-bench-ours.wav")
    w_ours+=("$w"); c_ours+=("$c")
    read -r w c < <(timed mpg123 -q -w "$out/sonvex-bench-mpg123.wav" "$mp3")
    w_mpg+=("$w"); c_mpg+=("$c")
    read -r w c < <(timed ffmpeg -v error -y -i "$mp3" "$out/sonvex-bench-ffmpeg.wav")
    w_ff+=("$w"); c_ff+=("$c")
done
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
ratio() { awk "BEGIN {print $1 / $2}"; }
wo=$(median "${w_ours[@]}"); wm=$(median "${w_mpg[@]}"); wf=$(median "${w_ff[@]}")
co=$(median "${c_ours[@]}"); cm=$(median "${c_mpg[@]}"); cf=$(median "${c_ff[@]}")
wp=$(median "${w_prog[@]}"); cp=$(median "${c_prog[@]}")
printf 'runs: %d, interleaved; medians (all runs in brackets)\n' "$runs"
printf '          wall s                      cpu s\n'
printf 'ours    %6.2f [%s]   %6.2f [%s]\n' "$wo" "${w_ours[*]}" "$co" "${c_ours[*]}"
printf 'sonvex  %6.2f [%s]   %6.2f [%s]\n' "$wp" "${w_prog[*]}" "$cp" "${c_prog[*]}"
printf 'mpg123  %6.2f [%s]   %6.2f [%s]\n' "$wm" "${w_mpg[*]}" "$cm" "${c_mpg[*]}"
printf 'ffmpeg  %6.2f [%s]   %6.2f [%s]\n' "$wf" "${w_ff[*]}" "$cf" "${c_ff[*]}"
printf 'ours/mpg123: wall %.2f, cpu %.2f   ours/ffmpeg: wall %.2f, cpu %.2f   (below 1: ours faster)\n' \
    "$(ratio "$wo" "$wm")" "$(ratio "$co" "$cm")" "$(ratio "$wo" "$wf")" "$(ratio "$co" "$cf")"
printf 'program/mpg123: wall %.2f, cpu %.2f   program/ffmpeg: wall %.2f, cpu %.2f\n' \
    "$(ratio "$wp" "$wm")" "$(ratio "$cp" "$cm")" "$(ratio "$wp" "$wf")" "$(ratio "$cp" "$cf")"
rm -f "$out"/sonvex-bench-*.wav "$out/$(basename "$mp3" .mp3).wav"
