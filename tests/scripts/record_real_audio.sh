#!/usr/bin/env bash
# The real program under Xvfb, clicked into a Record run, captures through PortAudio from a
# headless PulseAudio source playing tone bursts: the recording must hold the bursts as groups
# that ffprobe and ffmpeg read without a warning. $1: the build directory.
set -euo pipefail
source "$(dirname "$0")/gui_common.bash" "${1:-build}" sonotrap record Xvfb xdotool pulseaudio pactl pacat sox ffmpeg ffprobe
start_pulse mic   # the "microphone": a null sink whose monitor is the default source

bursts "$work/bursts.wav" 15 2.7 0.3  # a loud 1 kHz burst every 3 s, 45 s in all
start_xvfb
start_program "$work/run"
wait_for_startup "$work/run"
window_shown 'DirectSound error' && fail "the program found no capture device"

# Feed the bursts, then Record marker and Start, the Start as a double click: its second press
# must not stop the run again.
feed_mic "$work/bursts.wav"
click 283 457
double_click 439 457
# Capture may begin up to 1.5 s late: wait for groups, not for a fixed time.
wait_for 60 "fewer than 4 groups recorded" has_groups 4 "$work/run/Sonotrap.Log"
groups=$(ended_groups "$work/run/Sonotrap.Log")
click 439 457   # Stop: the stop sequence finishes the file and logs its length
wait_for 5 "Stop did not close the recording" grep -q "Total KBytes recorded" "$work/run/Sonotrap.Log"
stop_program

f=$(ls "$work/run"/*.mp3 | head -1) || fail "no MP3 recording"
benign="Estimating duration from bitrate"
warn=$(ffprobe -v warning -i "$f" 2>&1 | grep -v "$benign" || true)
[ -z "$warn" ] || fail "ffprobe: $warn"
warn=$(ffmpeg -nostdin -v warning -i "$f" -f s16le -ac 1 -ar 32000 "$work/decoded.raw" 2>&1 | grep -v "$benign" || true)
[ -z "$warn" ] || fail "ffmpeg: $warn"
# Each kept burst: a loud tone (the noise alone stays near -54 dBFS).
seconds=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$f")
peak=$(sox -t raw -r 32000 -e signed -b 16 -c 1 "$work/decoded.raw" -n stat 2>&1 | awk '/Maximum amplitude/ {print $3}')
awk -v p="$peak" 'BEGIN { exit !(p > 0.2) }' || fail "recording holds no burst (peak $peak)"
awk -v s="$seconds" -v g="$groups" 'BEGIN { exit !(s >= g * 1.0) }' || fail "$seconds s for $groups groups"
# Groups are separated by quiet that was not recorded: far less than the 45 s fed.
awk -v s="$seconds" 'BEGIN { exit !(s < 40) }' || fail "$seconds s kept: the quiet was recorded too"
echo "ok: $groups groups, $seconds s recorded in $(basename "$f"), peak $peak"
