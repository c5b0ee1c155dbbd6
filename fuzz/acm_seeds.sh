#!/bin/sh
# Seeds for acm_fuzz: short WAV files that ffmpeg writes in each codec, turned into the
# target's input (record length, record, data).
#   fuzz/acm_seeds.sh <folder>
set -eu
out=$1
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ffmpeg -v error -f lavfi -i "sine=f=440:r=22050:d=0.3" -ac 2 "$tmp/src.wav"
i=0
for c in pcm_s24le pcm_f32le pcm_alaw pcm_mulaw adpcm_ima_wav adpcm_ms "libgsm_ms -ar 8000 -ac 1" \
    "adpcm_g726 -ar 8000 -ac 1" "libmp3lame -b:a 32k" mp2 "wmav2 -b:a 32k" "adpcm_ima_wav -ac 1"; do
    i=$((i + 1))
    # shellcheck disable=SC2086
    ffmpeg -v error -y -i "$tmp/src.wav" -c:a $c -f wav "$tmp/$i.wav"
    python3 - "$tmp/$i.wav" "$out/seed$i" <<'PY'
import struct, sys
b = open(sys.argv[1], 'rb').read()
i, fmt, data = 12, b'', b''
while i + 8 <= len(b):
    tag, n = b[i:i + 4], struct.unpack('<I', b[i + 4:i + 8])[0]
    if tag == b'fmt ': fmt = b[i + 8:i + 8 + n]
    if tag == b'data': data = b[i + 8:i + 8 + min(n, 3000)]
    i += 8 + n + (n & 1)
open(sys.argv[2], 'wb').write(struct.pack('<H', len(fmt)) + fmt + data)
PY
done
echo "$i seeds in $out"
