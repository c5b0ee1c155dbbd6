#!/bin/sh
# Installs what is missing, builds, and converts the bundled sample into every output format
# this build writes, into ./sonvex-demo-out.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target sonvex
out="$PWD/sonvex-demo-out"
mkdir -p "$out"
rm -f "$out"/sonvex-chord.*
for fmt in .wav .mp3 .au .aiff .gsm .vox .raw .ogg .flac .aac .m4a; do
    if build/sonvex samples/sonvex-chord.wav -format "$fmt" -outfolder "$out" -convert -exit </dev/null 2>"$out/log$fmt.txt"; then
        echo "converted to $fmt"
    else
        echo "not converted to $fmt: $(head -n 1 "$out/log$fmt.txt")"
    fi
    rm -f "$out/log$fmt.txt"
done
ls -l "$out"
