#!/bin/bash
# A batch on every core: 16 files of 60 s, WAV -> MP3 and MP3 -> FLAC, converted by the
# program with "ConvertThreads" at its default (one per core) and at 1, against ffmpeg run
# file by file. Prints the median wall times, the speed-ups and whether the outputs of the
# two thread settings are byte-identical.
# Usage: bench/parallel.sh [BUILD_DIR] [RUNS] [FILES] [SECONDS]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-3}
files=${3:-16}
secs=${4:-60}
program="$build/sonvex"
[ -x "$program" ] || { echo "build $program first (cmake --build $build)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" TMPDIR="$work"
unset DISPLAY WAYLAND_DISPLAY
"$build/components/install-mp3el"
"$build/components/install-flacenc"
ini="$XDG_CONFIG_HOME/verrowave/machine.ini"

mkdir -p "$work/wav" "$work/mp3"
for ((i = 0; i < files; i++)); do
    ffmpeg -v error -f lavfi -i "sine=f=$((220 + 40 * i)):d=$secs:r=44100" \
        -f lavfi -i "anoisesrc=d=$secs:r=44100:a=0.05:seed=$i" \
        -filter_complex "[0][1]amix=inputs=2,aformat=channel_layouts=stereo" -ar 44100 -ac 2 \
        -c:a pcm_s16le "$work/wav/f$i.wav"
    ffmpeg -v error -i "$work/wav/f$i.wav" -c:a libmp3lame -b:a 128k "$work/mp3/f$i.mp3"
done

now() { date +%s.%N; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
cp "$ini" "$work/machine.ini.base"
# threads N: stores "ConvertThreads" (empty: no value, the default).
threads() {
    cp "$work/machine.ini.base" "$ini"
    [ -z "$1" ] || printf '[Software\\Verrowave\\Sonvex\\Settings]\nConvertThreads=%s\n' "$1" >>"$ini"
}
# sonvex DIR INPUT_EXT FORMAT: one batch of every input of DIR into $work/out.
sonvex() {
    rm -rf "$work/out" && mkdir "$work/out"
    "$program" "$work/$1"/*"$2" -format "$3" -outfolder "$work/out" -convert -exit 2>/dev/null
}
# peer DIR INPUT_EXT FORMAT ARGS...: ffmpeg, one file after another.
peer() {
    local dir=$1 ext=$2 fmt=$3
    shift 3
    rm -rf "$work/peer" && mkdir "$work/peer"
    for f in "$work/$dir"/*"$ext"; do
        ffmpeg -v error -i "$f" "$@" "$work/peer/$(basename "$f" "$ext")$fmt"
    done
}
# case TITLE DIR INPUT_EXT FORMAT FFMPEG_ARGS...
bench_case() {
    local title=$1 dir=$2 ext=$3 fmt=$4
    shift 4
    local def=() one=() ff=()
    for ((r = 0; r < runs; r++)); do
        threads ""
        t0=$(now); sonvex "$dir" "$ext" "$fmt"; t1=$(now)
        rm -rf "$work/out-default" && mv "$work/out" "$work/out-default"
        threads 1
        t2=$(now); sonvex "$dir" "$ext" "$fmt"; t3=$(now)
        t4=$(now); peer "$dir" "$ext" "$fmt" "$@"; t5=$(now)
        def+=("$(echo "$t1 - $t0" | bc -l)")
        one+=("$(echo "$t3 - $t2" | bc -l)")
        ff+=("$(echo "$t5 - $t4" | bc -l)")
    done
    diff -rq "$work/out-default" "$work/out" >/dev/null && same="identical" || same="DIFFERENT"
    local d o f
    d=$(printf '%s\n' "${def[@]}" | median)
    o=$(printf '%s\n' "${one[@]}" | median)
    f=$(printf '%s\n' "${ff[@]}" | median)
    printf '%s (%d files of %d s, %d runs, %d cores; outputs of default and 1: %s)\n' \
        "$title" "$files" "$secs" "$runs" "$(nproc)" "$same"
    printf '  ConvertThreads default: %7.2f s\n' "$d"
    printf '  ConvertThreads=1:       %7.2f s   speed-up of the default: %.2f\n' "$o" \
        "$(echo "$o / $d" | bc -l)"
    printf '  ffmpeg file by file:    %7.2f s   speed-up of the default: %.2f\n' "$f" \
        "$(echo "$f / $d" | bc -l)"
}

bench_case "WAV -> MP3" wav .wav .mp3 -c:a libmp3lame -b:a 128k
bench_case "MP3 -> FLAC" mp3 .mp3 .flac -c:a flac
