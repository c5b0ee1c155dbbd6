#!/bin/bash
# WAV -> MP3 through the encoder pipe (sink, pipe, "mp3el" adapter, lame) against lame fed
# the same PCM directly with the same options. Prints the median times and the overhead.
# Usage: bench/mp3_pipe.sh [BUILD_DIR] [SECONDS_OF_AUDIO] [RUNS]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
secs=${2:-120}
runs=${3:-5}
driver="$build/bench_mp3_pipe_feed"
[ -x "$driver" ] || { echo "build $driver first (cmake --build $build)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" TMPDIR="$work"
"$build/components/install-mp3el"

ffmpeg -v error -f lavfi -i "sine=f=440:d=$secs:r=44100" -f lavfi -i "anoisesrc=d=$secs:r=44100:a=0.1" \
    -filter_complex "[0][1]amix=inputs=2,aformat=channel_layouts=stereo" -ar 44100 -ac 2 \
    -c:a pcm_s16le "$work/in.wav"
ffmpeg -v error -i "$work/in.wav" -f s16le "$work/in.raw"

now() { date +%s.%N; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

opts=(-m j -b 128 -h -r -s 44.100 -S --quiet)
direct=() catpipe=() piped=()
for ((i = 0; i < runs; i++)); do
    t0=$(now)
    lame "${opts[@]}" - "$work/direct.mp3" <"$work/in.raw" 2>/dev/null
    t1=$(now)
    cat "$work/in.raw" | lame "${opts[@]}" - "$work/catpipe.mp3" 2>/dev/null
    t2=$(now)
    "$driver" "$work/in.wav" "$work/piped.mp3"
    t3=$(now)
    direct+=("$(echo "$t1 - $t0" | bc -l)")
    catpipe+=("$(echo "$t2 - $t1" | bc -l)")
    piped+=("$(echo "$t3 - $t2" | bc -l)")
done
cmp -s "$work/direct.mp3" "$work/piped.mp3" && same="identical" || same="different"
d=$(printf '%s\n' "${direct[@]}" | median)
c=$(printf '%s\n' "${catpipe[@]}" | median)
p=$(printf '%s\n' "${piped[@]}" | median)
printf 'audio: %s s stereo 44.1 kHz, %s runs, outputs %s\n' "$secs" "$runs" "$same"
printf 'lame, PCM from a file:        %.3f s (median)\n' "$d"
printf 'lame, PCM through cat | lame: %.3f s (median)\n' "$c"
printf 'through the encoder pipe:     %.3f s (median)\n' "$p"
printf 'overhead against the file:    %.1f %%\n' "$(echo "($p - $d) * 100 / $d" | bc -l)"
printf 'overhead against cat | lame:  %.1f %%\n' "$(echo "($p - $c) * 100 / $c" | bc -l)"
