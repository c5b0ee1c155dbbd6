#!/bin/sh
# Installs the Debian packages the build, the tests and the helper programs need.
set -e
PKGS="cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libcurl4-openssl-dev libasound2-dev pkg-config
      sox libsox-fmt-all lame mpg123 ffmpeg flac vorbis-tools faad libgsm-tools
      python3 python3-pyftpdlib xdg-utils time desktop-file-utils
      qt6-base-dev qt6-svg-dev xvfb xauth xdotool
      libavcodec-dev libavformat-dev libswresample-dev libavutil-dev libtag1-dev"
missing=""
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
