#!/bin/sh
# Decoding through the codec manager and the media decoder: 600 s of 44.1 kHz stereo as IMA
# ADPCM WAV and as WMA, converted by the program to 16-bit WAV, against
# "ffmpeg -i X -f wav -". Prints CPU times (user + system, best of 3) and ours / ffmpeg's.
#   bench/codec_decode.sh           (BUILD=dir to use another build tree)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build}
work=$build/bench-data/codec
program=$build/sonvex
[ -x "$program" ] || {
    echo "build the program first: cmake --build $build --target sonvex" >&2
    exit 1
}
mkdir -p "$work/home"
# A home of its own: no stored WAV format, no settings of the user's.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export TMPDIR="$work"
src="-f lavfi -i sine=f=440:r=44100:d=600 -f lavfi -i sine=f=1250:r=44100:d=600"
mix="-filter_complex [0][1]amerge=inputs=2"
[ -f "$work/ima.wav" ] || ffmpeg -v error $src $mix -c:a adpcm_ima_wav "$work/ima.wav"
[ -f "$work/music.wma" ] || ffmpeg -v error $src $mix -c:a wmav2 -b:a 128k "$work/music.wma"

best_of() {
    best=
    for _ in 1 2 3; do
        /usr/bin/time -f '%U %S' -o "$work/time" sh -c "$1"
        t=$(awk '{ print $1 + $2 }' "$work/time")
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
    done
    printf '%.3f' "$best"
}

for f in ima.wav music.wma; do
    ours=$(best_of "rm -rf '$work/out' && '$program' '$work/$f' -format .wav -outfolder '$work/out' -convert -exit 2>/dev/null")
    theirs=$(best_of "ffmpeg -v error -i '$work/$f' -f wav - >/dev/null")
    echo "$f: ours ${ours} s, ffmpeg ${theirs} s, ratio $(printf '%.2f' "$(echo "$ours / $theirs" | bc -l)")"
done
