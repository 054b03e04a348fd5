#!/usr/bin/env bash
# Makes docs/screenshot.png: the real program in a Monitor run on a virtual display, listening
# to a headless sound server whose microphone plays a chord over faint noise.
# Usage: docs/screenshot.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
program=$build/sonotrap
work=$(mktemp -d /tmp/sonotrap-shot.XXXXXX)
export XDG_RUNTIME_DIR=$work/xdg
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM
xvfb_pid="" app_pid="" feed_pid="" pulse_pid=""
cleanup() {
  for pid in $app_pid $feed_pid $xvfb_pid $pulse_pid; do kill "$pid" 2>/dev/null || true; done
  sleep 0.2
  rm -rf "$work"
}
trap cleanup EXIT
source "$root/tests/scripts/gui_common.bash"

cat >"$work/ci.pa" <<'PA'
load-module module-native-protocol-unix auth-anonymous=1
load-module module-null-sink sink_name=speaker rate=32000 channels=1
load-module module-null-sink sink_name=micfeed rate=32000 channels=1
load-module module-remap-source source_name=virtmic master=micfeed.monitor channels=1
set-default-sink speaker
set-default-source virtmic
PA
pulseaudio --daemonize=yes -n -F "$work/ci.pa" --exit-idle-time=-1 --log-target=file:"$work/pa.log" 2>/dev/null
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pulse_pid=$(cat "$XDG_RUNTIME_DIR/pulse/pid")

# A warbling chord (A3, C#5, E6) with a little noise, 30 s.
sox -n -r 32000 -c 1 -b 16 "$work/chord.wav" synth 30 sine 220 sine 554.4 sine 1318.5 sine 3000-3400 \
  remix - vol 0.35
sox -n -r 32000 -c 1 -b 16 "$work/noise.wav" synth 30 pinknoise vol 0.01
sox -m "$work/chord.wav" "$work/noise.wav" "$work/feed.wav"
sox -q "$work/feed.wav" -t raw - | pacat --playback --latency-msec=50 -d micfeed --format=s16le --rate=32000 \
  --channels=1 --raw &
feed_pid=$!

start_xvfb
start_program "$work/run"
wait_for_startup "$work/run"
eval "$(xdotool getwindowgeometry --shell "$wid")"
menu=$((HEIGHT - 488))
xdotool mousemove --window "$wid" 430 $((455 + menu)) click 1
sleep 4
/usr/bin/import -window root "$work/shot.png"
/usr/bin/convert "$work/shot.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$root/docs/screenshot.png"
xdotool mousemove --window "$wid" 430 $((455 + menu)) click 1
sleep 0.3
xdotool windowfocus --sync "$wid" key --clearmodifiers alt+f
sleep 0.3
xdotool key x
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
echo "wrote docs/screenshot.png"
