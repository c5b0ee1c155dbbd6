#!/bin/sh
# Times a 600 s stereo WAV (44.1 kHz unless given) converted to mono (8 kHz unless given) by our
# stages, sox and ffmpeg. Runs are interleaved; prints the median of each and the ratios to ours.
#   bench/resample.sh [build-dir] [runs] [input-rate] [output-rate]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build}
runs=${2:-5}
rate=${3:-44100}
outrate=${4:-8000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --build "$build" --target sonvex >/dev/null
# The program converts to the stored WAV record: PCM mono, 16-bit, at the output rate.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$XDG_DATA_HOME/verrowave" "$work/out"
python3 -c 'import struct,sys; sys.stdout.buffer.write(struct.pack("<HHIIHHH",1,1,int(sys.argv[1]),2*int(sys.argv[1]),2,16,0).ljust(1024,b"\0"))' \
    "$outrate" >"$XDG_DATA_HOME/verrowave/WavCodec.wff"

# Music-like material: two tones over pink noise.
sox -n -r "$rate" -c 2 -b 16 "$work/in.wav" synth 600 pinknoise synth 600 sine 440 \
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
    rm -f "$work/out/in.wav"
    t "$work/ours" "$build/sonvex" "$work/in.wav" -format .wav -outfolder "$work/out" -convert -exit
    t "$work/sox" sox "$work/in.wav" -r "$outrate" -c 1 "$work/sox.wav"
    t "$work/ffmpeg" ffmpeg -y -v error -i "$work/in.wav" -ar "$outrate" -ac 1 "$work/ffmpeg.wav"
done

median() { cut -d' ' -f"$2" "$1" | sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
echo "runs: $runs (interleaved), input: 600 s $rate Hz stereo 16-bit -> $outrate Hz mono"
echo "median        wall s   cpu s   wall ratio to sonvex   cpu ratio to sonvex"
ow=$(median "$work/ours" 1); oc=$(median "$work/ours" 2)
for tool in ours sox ffmpeg; do
    w=$(median "$work/$tool" 1); c=$(median "$work/$tool" 2)
    printf '%-12s %7.2f %7.2f %12.2f %22.2f\n' "$tool" "$w" "$c" \
        "$(awk "BEGIN {print $w / $ow}")" "$(awk "BEGIN {print $c / $oc}")"
done
soxi "$work/out/in.wav" | grep -E 'Sample Rate|Channels|Duration'
