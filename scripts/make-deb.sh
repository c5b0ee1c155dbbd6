#!/bin/sh
# Builds the Debian package sonvex_<version>_<arch>.deb from a configured and built build
# folder (default "build") into OUT (default "."), checks its listing, converts a file with the
# unpacked program in a scratch home, and runs lintian when it is installed.
# Usage: scripts/make-deb.sh [BUILD] [OUT]
set -eu
build=${1:-build}
out=${2:-.}
version=0.9
arch=$(dpkg --print-architecture)
stage=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$stage" "$work"' EXIT

DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
program="$stage/usr/lib/sonvex/sonvex"
dss32="$stage/usr/lib/sonvex/components/dss32"
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$program" "$dss32"
gzip -9n "$stage/usr/share/man/man1/sonvex.1"

doc="$stage/usr/share/doc/sonvex"
mkdir -p "$doc"
cat >"$doc/copyright" <<'COPYRIGHT'
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: sonvex

Files: *
Copyright: 2024 The Sonvex developers
License: MIT
 Permission is hereby granted, free of charge, to any person obtaining a copy of this
 software and associated documentation files (the "Software"), to deal in the Software
 without restriction, including without limitation the rights to use, copy, modify, merge,
 publish, distribute, sublicense, and/or sell copies of the Software, and to permit persons
 to whom the Software is furnished to do so, subject to the following conditions:
 .
 The above copyright notice and this permission notice shall be included in all copies or
 substantial portions of the Software.
 .
 THE SOFTWARE IS PROVIDED "AS IS", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR IMPLIED,
 INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF MERCHANTABILITY, FITNESS FOR A PARTICULAR
 PURPOSE AND NONINFRINGEMENT. IN NO EVENT SHALL THE AUTHORS OR COPYRIGHT HOLDERS BE LIABLE
 FOR ANY CLAIM, DAMAGES OR OTHER LIABILITY, WHETHER IN AN ACTION OF CONTRACT, TORT OR
 OTHERWISE, ARISING FROM, OUT OF OR IN CONNECTION WITH THE SOFTWARE OR THE USE OR OTHER
 DEALINGS IN THE SOFTWARE.
COPYRIGHT
cat >"$work/changelog" <<CHANGELOG
sonvex ($version) unstable; urgency=medium

  * Package built from the source tree.

 -- Sonvex developers <sonvex@lists.sonvex.org>  $(date -R -d @"${SOURCE_DATE_EPOCH:-$(date +%s)}")
CHANGELOG
gzip -9n -c "$work/changelog" >"$doc/changelog.gz"

# Shared libraries the program links: Qt 6, libcurl, FFmpeg, ALSA, TagLib and the C++ runtime.
mkdir -p "$work/debian"
printf 'Source: sonvex\n\nPackage: sonvex\nArchitecture: any\n' >"$work/debian/control"
shlibs=$(cd "$work" && dpkg-shlibdeps -O "$program" "$dss32" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
[ -n "$shlibs" ] || { echo "make-deb: dpkg-shlibdeps found no libraries" >&2; exit 1; }

find "$stage" -type d -exec chmod 0755 {} +
mkdir -p "$stage/DEBIAN"
(cd "$stage" && find usr -type f -exec md5sum {} + | sort -k2) >"$stage/DEBIAN/md5sums"
size=$(du -sk --exclude=DEBIAN "$stage" | cut -f1)
cat >"$stage/DEBIAN/control" <<CONTROL
Package: sonvex
Version: $version
Architecture: $arch
Maintainer: Sonvex developers <sonvex@lists.sonvex.org>
Installed-Size: $size
Depends: $shlibs, xdg-utils
Recommends: lame, vorbis-tools, flac, ffmpeg
Section: sound
Priority: optional
Description: audio file converter for the desktop and the command line
 Sonvex converts lists of audio files between WAV, MP3, AIFF, AU, GSM, VOX, raw,
 Ogg Vorbis, FLAC and AAC. It reads and writes WAV, AIFF, AU, GSM, VOX and raw
 audio itself, adapts rate and channels with its own converters, and runs the
 Debian encoders (lame, oggenc, flac, ffmpeg) for the compressed formats.
 .
 The same program runs as a Qt window or, without a display, from scripts with
 command-line verbs.
CONTROL

mkdir -p "$out"
deb="$out/sonvex_${version}_${arch}.deb"
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "$deb"

# The listing names what a distribution expects.
listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/sonvex ./usr/lib/sonvex/sonvex ./usr/lib/sonvex/help/index.html \
    ./usr/lib/sonvex/components/mp3el ./usr/lib/sonvex/components/install-mp3el \
    ./usr/share/applications/sonvex.desktop ./usr/share/icons/hicolor/scalable/apps/sonvex.svg \
    ./usr/share/man/man1/sonvex.1.gz ./usr/share/mime/packages/sonvex.xml \
    ./usr/share/doc/sonvex/copyright; do
    printf '%s\n' "$listing" | grep -qx "$f" || { echo "make-deb: $f missing from the package" >&2; exit 1; }
done

# The unpacked program converts a file, finding its components beside itself.
if command -v lame >/dev/null 2>&1; then
    root="$work/root"
    home="$work/home"
    mkdir -p "$root" "$home/tmp"
    dpkg-deb -x "$deb" "$root"
    printf 'RIFF\044\175\000\000WAVEfmt \020\000\000\000\001\000\001\000\100\037\000\000\200\076\000\000\002\000\020\000data\000\175\000\000' >"$home/a.wav"
    head -c 32000 /dev/zero >>"$home/a.wav"
    env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR HOME="$home" XDG_CONFIG_HOME="$home/.config" \
        XDG_DATA_HOME="$home/.local/share" TMPDIR="$home/tmp" \
        "$root/usr/bin/sonvex" "$home/a.wav" -format .mp3 -outfolder "$home" -convert -exit </dev/null
    [ -s "$home/a.mp3" ] || { echo "make-deb: the packaged program did not convert" >&2; exit 1; }
    echo "make-deb: the packaged program converts a WAV file to MP3"
fi

if command -v lintian >/dev/null 2>&1; then
    lintian --fail-on error "$deb"
fi
