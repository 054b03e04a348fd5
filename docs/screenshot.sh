#!/usr/bin/env bash
# Makes docs/screenshot.png: the real program in a Monitor run on a virtual display, listening
# to a headless sound server whose microphone plays a chord over faint noise.
# Usage: docs/screenshot.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(cd "${1:-build}" && pwd)/sonotrap
source "$root/tests/scripts/gui_common.bash"
need_tools Xvfb xdotool pulseaudio pactl pacat sox /usr/bin/import /usr/bin/convert
gui_setup shot
start_pulse mic

# A warbling chord (A3, C#5, E6) with a little noise, 30 s.
sox -n -r 32000 -c 1 -b 16 "$work/chord.wav" synth 30 sine 220 sine 554.4 sine 1318.5 sine 3000-3400 \
  remix - vol 0.35
sox -n -r 32000 -c 1 -b 16 "$work/noise.wav" synth 30 pinknoise vol 0.01
sox -m "$work/chord.wav" "$work/noise.wav" "$work/feed.wav"
feed_mic "$work/feed.wav"

start_xvfb
start_program "$work/run"
wait_for_startup "$work/run"
eval "$(xdotool getwindowgeometry --shell "$wid")"
menu=$((HEIGHT - 488))
click 430 455
sleep 3.7
/usr/bin/import -window root "$work/shot.png"
/usr/bin/convert "$work/shot.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$root/docs/screenshot.png"
click 430 455
xdotool windowfocus --sync "$wid" key --clearmodifiers alt+f
sleep 0.3
xdotool key x
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
echo "wrote docs/screenshot.png"
