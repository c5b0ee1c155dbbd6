#!/bin/sh
# Pictures of the windows for review, taken under a virtual X display: the main window with
# rows and while it plays a file, the progress window during a conversion, Program Settings and
# each encoder options dialog. Writes PNG files into the folder given (default
# build/screenshots).
# Needs the built program (build/sonvex), Xvfb, xdotool, sox and ImageMagick's import.
set -e
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-build/screenshots}")"
for tool in Xvfb xdotool sox import; do
    command -v "$tool" >/dev/null || { echo "$tool is needed (apt install xvfb xdotool sox imagemagick)"; exit 1; }
done
[ -x build/sonvex ] || { echo "build the program first (build/sonvex)"; exit 1; }
prog="$PWD/build/sonvex"
mkdir -p "$out"

work=$(mktemp -d)
export HOME="$work" XDG_CONFIG_HOME="$work/.config" XDG_DATA_HOME="$work/.local/share"
export XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb
mkdir -m 0700 "$XDG_RUNTIME_DIR"
# The sound goes nowhere: ALSA's default output writes into /dev/null, faster than real time.
cat >"$HOME/.asoundrc" <<'EOF'
pcm.!default { type file slave.pcm "sonvexnull" file "/dev/null" format "raw" }
pcm.sonvexnull { type null }
EOF
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1100x760x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $pid $xvfb 2>/dev/null; rm -rf "$work"' EXIT
while [ ! -s "$work/display" ]; do sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
# A root window in the desktop's grey, not black.
xsetroot -solid '#5a6a7a' 2>/dev/null || true

cd "$work"
mkdir music OUT
for name in "Morning Walk" "Interview - part 1" "Interview - part 2" "Choir rehearsal"; do
    sox -n -r 44100 -c 2 -b 16 "music/$name.wav" synth 20 sine 220 sine 330 gain -6
done
sox -n -r 44100 -c 2 -b 16 "music/Long concert recording.wav" synth 1200 sine 440 sine 445 gain -6
# Two hours, so that playing it lasts a few seconds even unpaced; the channels at two levels.
sox -n -r 8000 -c 2 -b 16 "music/Evening concert (live).wav" synth 7200 sine 220 sine 330 \
    remix 1v0.7 2v0.35

shot() {  # window title, file name
    id=$(xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1)
    sleep 0.5
    if import -window "$id" "$out/$2"; then echo "wrote $out/$2"; else echo "missed $2"; fi
}
focus_main() {
    xdotool search --onlyvisible --name '^Sonvex$' windowfocus --sync >/dev/null 2>&1 || true
}

"$prog" music/*.wav -outfolder "$work/OUT" -format .mp3 >/dev/null 2>&1 &
pid=$!
xdotool search --sync --onlyvisible --name '^Sonvex$' >/dev/null
sleep 7.5  # the splash closes
"$prog" -show >/dev/null 2>&1
shot Sonvex main-window.png

# Playing the second row: taken with the program held still, since it plays faster than real
# time here; then F10 stops it.
focus_main
xdotool key Page_Up Down F9
sleep 0.5
kill -STOP $pid
shot Sonvex main-window-playing.png
kill -CONT $pid
focus_main
xdotool key F10

focus_main
xdotool key ctrl+s
shot "Program Settings" program-settings.png
xdotool key Escape

for pair in ".mp3:MP3 Encoder Settings:mp3" ".ogg:Ogg Encoder Settings:ogg" \
            ".flac:Flac Encoder Settings:flac" ".aac:AAC / M4A Encoder Settings:aac" \
            ".raw:Codec Settings:raw" ".wav:Select Wave File Format:wav"; do
    fmt=${pair%%:*}; rest=${pair#*:}; title=${rest%%:*}; file=${rest#*:}
    "$prog" -format "$fmt" >/dev/null 2>&1
    focus_main
    xdotool key alt+s
    shot "$title" "options-$file.png"
    xdotool key Escape
done

# The progress window while the long recording is converted.
"$prog" -clear "$work/music/Long concert recording.wav" -format .gsm -convert >/dev/null 2>&1 &
conv=$!
shot "Saving Audio File" progress.png
import -window root "$out/desktop-during-conversion.png"
id=$(xdotool search --onlyvisible --name '^Saving Audio File$' | head -n 1)
xdotool windowfocus --sync "$id" key Escape 2>/dev/null || true
# The stopped conversion leaves a message; it is answered so that the forwarded line returns.
while kill -0 $conv 2>/dev/null; do
    xdotool search --onlyvisible --name '^Error$' windowfocus --sync key Return >/dev/null 2>&1 || true
    sleep 0.5
done
wait $conv || true
"$prog" -exit >/dev/null 2>&1 || true
wait $pid 2>/dev/null || true
