#!/bin/sh
# Times a whole-file WAV to WAV conversion (600 s, 44.1 kHz stereo 16-bit) against sox.
# Runs are interleaved; medians and the ratio ours/sox are printed.
# Usage: bench/wav_copy.sh [runs]   (needs build/sonvex and sox)
set -e
cd "$(dirname "$0")/.."
runs=${1:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sox -n -r 44100 -c 2 -b 16 "$work/in.wav" synth 600 pinknoise gain -6
mkdir -p "$work/out"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$HOME"
ours="" theirs=""
now() { date +%s.%N; }
for i in $(seq "$runs"); do
    rm -f "$work/out/in.wav" "$work/sox.wav"
    t0=$(now); build/sonvex "$work/in.wav" -format .wav -outfolder "$work/out" -convert -exit </dev/null; t1=$(now)
    sox "$work/in.wav" "$work/sox.wav"; t2=$(now)
    ours="$ours $(awk "BEGIN {print $t1 - $t0}")"
    theirs="$theirs $(awk "BEGIN {print $t2 - $t1}")"
done
median() { echo "$@" | tr ' ' '\n' | grep . | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
mo=$(median $ours); ms=$(median $theirs)
echo "sonvex median ${mo}s  sox median ${ms}s  ratio $(awk "BEGIN {printf \"%.3f\", $mo / $ms}")"
