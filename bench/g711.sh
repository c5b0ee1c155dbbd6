#!/bin/sh
# Raw sample-codec conversions of 300 s of 44.1 kHz stereo 16-bit audio: ours against sox.
# Prints CPU times (best of 3) and our time / sox's for each conversion.
#   bench/g711.sh           (BUILD=dir to use another build tree)
. "$(dirname "$0")/common.sh"
command -v sox >/dev/null || {
    echo "sox not installed" >&2
    exit 1
}
in=$work/music.s16
sox -D -n -r 44100 -c 2 -b 16 -e signed-integer -t raw "$in" synth 300 sine 440 sine 660 \
    vol 0.7 2>/dev/null
sox -t raw -r 44100 -c 2 -e signed-integer -b 16 "$in" -t raw -e mu-law -b 8 "$work/in.ul"
S16="-t raw -r 44100 -c 2 -e signed-integer -b 16 -L"
# codec number, sox output description, name
run() {
    from_codec=$1 from_sox=$2 from_file=$3 to_codec=$4 to_sox=$5 name=$6
    to=$(best_of 3 "'$driver' raw-conv '$from_file' $from_codec '$work/ours.out' $to_codec 44100 2")
    ts=$(best_of 3 "sox -D $from_sox '$from_file' $to_sox '$work/sox.out'")
    same=identical
    if ! cmp -s "$work/ours.out" "$work/sox.out"; then
        # sox quantises from 14 (mu-law) or 13 (A-law) bits first: decisions can differ by one
        # step at segment boundaries.
        same="differ in $(cmp -l "$work/ours.out" "$work/sox.out" | wc -l) of $(wc -c <"$work/sox.out") bytes"
    fi
    echo "$name: ours ${to} s, sox ${ts} s, ratio $(ratio "$to" "$ts") (outputs $same)"
}
run 3 "$S16" "$in" 1 "-t raw -e mu-law -b 8" "16-bit LE -> G.711 mu-law"
run 3 "$S16" "$in" 2 "-t raw -e a-law -b 8" "16-bit LE -> G.711 A-law"
run 1 "-t raw -r 44100 -c 2 -e mu-law -b 8" "$work/in.ul" 3 "-t raw -e signed-integer -b 16 -L" \
    "G.711 mu-law -> 16-bit LE"
run 3 "$S16" "$in" 6 "-t raw -e signed-integer -b 16 -B" "16-bit LE -> 16-bit BE"
run 3 "$S16" "$in" 4 "-t raw -e unsigned-integer -b 8" "16-bit LE -> 8-bit unsigned"
