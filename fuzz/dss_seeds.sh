#!/bin/sh
# Seeds for dss32_fuzz: small DSS files (SP and LP, header versions 2 and 3) with patterned
# frames.
#   fuzz/dss_seeds.sh <folder>
set -eu
mkdir -p "$1"
python3 - "$1" <<'PY'
import sys
def dss(codec, frames, version=2):
    h = bytearray(version * 512)
    h[0] = version; h[1:4] = b'dss'; h[0x2a4] = codec
    out = bytearray(h)
    for i in range(0, len(frames), 506):
        out += bytes(6) + frames[i:i + 506]
    return bytes(out)
sp = bytes((i * 37 + i // 7) % 251 for i in range(41 * 30))
lp = bytearray()
for i in range(60):
    t = i % 4
    lp.append(((i * 29) & 0x7c) | t)
    lp += bytes((i * 13 + k * 71) & 0xff for k in range([24, 20, 4, 1][t] - 1))
for name, b in (('sp2', dss(0, sp)), ('sp3', dss(0, sp, 3)), ('lp2', dss(2, bytes(lp)))):
    open(sys.argv[1] + '/' + name, 'wb').write(b)
PY
