#!/bin/sh
# GSM 06.10 encode and decode of 600 s of an 8 kHz speech-like signal: ours against libgsm's
# toast and untoast. Prints CPU times (best of 3) and our time / theirs.
#   bench/gsm.sh            (BUILD=dir to use another build tree)
. "$(dirname "$0")/common.sh"
command -v toast >/dev/null && command -v untoast >/dev/null || {
    echo "toast/untoast not installed" >&2
    exit 1
}
"$driver" speech "$work/speech.l" 600
to=$(best_of 3 "'$driver' gsm-enc '$work/speech.l' '$work/ours.gsm'")
tl=$(best_of 3 "toast -l -c <'$work/speech.l' >'$work/lib.gsm'")
do_=$(best_of 3 "'$driver' gsm-dec '$work/lib.gsm' '$work/ours.l'")
dl=$(best_of 3 "untoast -l -c <'$work/lib.gsm' >'$work/lib.l'")
echo "encode 600 s: ours ${to} s, toast ${tl} s, ratio $(ratio "$to" "$tl")"
echo "decode 600 s: ours ${do_} s, untoast ${dl} s, ratio $(ratio "$do_" "$dl")"
untoast -l -c <"$work/ours.gsm" >"$work/ours_lib.l"
echo "SNR dB (whole, segmental): toast/untoast $("$driver" snr "$work/speech.l" "$work/lib.l")," \
    "ours/untoast $("$driver" snr "$work/speech.l" "$work/ours_lib.l")," \
    "toast/ours $("$driver" snr "$work/speech.l" "$work/ours.l")"
