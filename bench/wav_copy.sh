#!/bin/sh
# Times a whole-file WAV to WAV conversion (600 s, 44.1 kHz stereo 16-bit) against sox and
# against cp of the same file, the floor for any program that writes the whole file.
# Runs are interleaved, each after a sync so that no run pays for the writeback of another;
# medians and the ratios ours/cp, sox/cp and ours/sox are printed.
# Usage: bench/wav_copy.sh [runs]   (needs build/sonvex, or the program named by SONVEX, and sox)
set -e
cd "$(dirname "$0")/.."
runs=${1:-7}
sonvex=${SONVEX:-build/sonvex}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sox -n -r 44100 -c 2 -b 16 "$work/in.wav" synth 600 pinknoise gain -6
mkdir -p "$work/out"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$HOME"
ours="" theirs="" copies=""
now() { date +%s.%N; }
for i in $(seq "$runs"); do
    rm -f "$work/out/in.wav" "$work/sox.wav" "$work/cp.wav"
    sync
    t0=$(now); "$sonvex" "$work/in.wav" -format .wav -outfolder "$work/out" -convert -exit </dev/null; t1=$(now)
    sync
    t2=$(now); sox "$work/in.wav" "$work/sox.wav"; t3=$(now)
    sync
    t4=$(now); cp "$work/in.wav" "$work/cp.wav"; t5=$(now)
    ours="$ours $(awk "BEGIN {print $t1 - $t0}")"
    theirs="$theirs $(awk "BEGIN {print $t3 - $t2}")"
    copies="$copies $(awk "BEGIN {print $t5 - $t4}")"
done
median() { echo "$@" | tr ' ' '\n' | grep . | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
mo=$(median $ours); ms=$(median $theirs); mc=$(median $copies)
ratio() { awk "BEGIN {printf \"%.2f\", $1 / $2}"; }
echo "medians of $runs runs: sonvex ${mo}s  sox ${ms}s  cp ${mc}s"
echo "ours/cp $(ratio "$mo" "$mc")  sox/cp $(ratio "$ms" "$mc")  ours/sox $(ratio "$mo" "$ms")"
