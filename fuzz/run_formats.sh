#!/bin/sh
# Runs the format reader fuzz targets one after the other, in one process each.
#   fuzz/run_formats.sh BUILD_DIR SECONDS [TARGET...]
# BUILD_DIR holds the targets (configured with -DSONVEX_FUZZ=ON, clang). Corpora are kept in
# BUILD_DIR/corpus/<target>, logs in BUILD_DIR/fuzz-logs/<target>.log, crashes in
# BUILD_DIR/crashes/<target>/.
set -eu
build=$1
seconds=$2
shift 2
targets=${*:-"aiff_fuzz au_fuzz raw_fuzz vox_fuzz gsm_fuzz dct_fuzz"}
mkdir -p "$build/fuzz-logs"

seed() {
    dir=$build/corpus/$1
    mkdir -p "$dir"
    [ -n "$(ls -A "$dir")" ] && return 0
    tmp=$(mktemp -d)
    if command -v sox >/dev/null 2>&1; then
        sox -n -r 8000 -c 1 "$tmp/a.raw" synth 0.05 sine 440 2>/dev/null || true
        case $1 in
        aiff_fuzz)
            sox -n -r 22050 -c 2 -b 16 "$dir/s16.aiff" synth 0.02 sine 440
            sox -n -r 8000 -c 1 -b 8 "$dir/s8.aiff" synth 0.02 sine 440 ;;
        au_fuzz)
            sox -n -r 8000 -c 1 -e mu-law "$dir/ul.au" synth 0.02 sine 440
            sox -n -r 8000 -c 2 -b 16 "$dir/s16.au" synth 0.02 sine 440 ;;
        gsm_fuzz)
            sox -n -r 8000 -c 1 -t gsm "$dir/a.gsm" synth 0.1 sine 440 ;;
        vox_fuzz)
            sox -n -r 8000 -c 1 -t vox "$dir/a.vox" synth 0.05 sine 440 ;;
        esac
    fi
    case $1 in
    raw_fuzz | vox_fuzz) head -c 600 /dev/urandom >"$dir/random" ;;
    dct_fuzz)
        # Version 3 header: flat data, 11 empty strings, one attachment, then a tiny WAV.
        printf '\003\000\000\000\000\000\004\000\000\000AAAAAAAA\002\000\000\000xyBBBB' >"$tmp/h"
        printf '\000\000\000\000\000\000\000\000\000\000\000C\000\000\000\000' >>"$tmp/h"
        printf '\001\002ab\003\000\000\000xyz\001\014\000\000\000RIFF\004\000\000\000WAVE' >>"$tmp/h"
        cp "$tmp/h" "$dir/v3" ;;
    esac
    rm -rf "$tmp"
}

for t in $targets; do
    seed "$t"
    mkdir -p "$build/crashes/$t"
    echo "== $t for $seconds s" >&2
    "$build/$t" -max_total_time="$seconds" -rss_limit_mb=1024 \
        -timeout=10 -artifact_prefix="$build/crashes/$t/" "$build/corpus/$t" \
        >"$build/fuzz-logs/$t.log" 2>&1 || echo "$t stopped with status $?" >&2
    grep -E "^(Done|#[0-9]+ +DONE)" "$build/fuzz-logs/$t.log" | tail -1 >&2 || true
done
