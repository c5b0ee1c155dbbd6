#!/bin/sh
# Installs a built Debian package into a fresh Debian 12 chroot with apt (its dependencies and
# recommended encoders from the archive) and converts the bundled sample into every encoder
# format with the installed program. Needs root and debootstrap.
# Usage: scripts/check-deb-chroot.sh PACKAGE.deb [MIRROR]
set -eu
deb=$(realpath "$1")
mirror=${2:-http://deb.debian.org/debian}
sample=$(realpath "$(dirname "$0")/../samples/sonvex-chord.wav")
root=$(mktemp -d)
cleanup() {
    umount "$root/proc" 2>/dev/null || true
    rm -rf "$root"
}
trap cleanup EXIT

debootstrap --variant=minbase bookworm "$root" "$mirror" >/dev/null
mount -t proc proc "$root/proc"
cp /etc/resolv.conf "$root/etc/"
cp "$deb" "$sample" "$root/root/"
chroot "$root" /bin/sh -c "apt-get update -q >/dev/null &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q /root/$(basename "$deb") >/dev/null"
chroot "$root" /bin/sh -c '
    set -e
    cd /root
    for f in .mp3 .ogg .flac .aac .wav; do
        env -i HOME=/root PATH=/usr/bin:/bin sonvex sonvex-chord.wav -format $f -outfolder out \
            -convert >/dev/null
        test -s out/sonvex-chord$f
        echo "check-deb: installed program wrote out/sonvex-chord$f"
    done'
