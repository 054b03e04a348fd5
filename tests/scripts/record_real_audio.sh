#!/usr/bin/env bash
# The real program records from a real sound server: a headless PulseAudio server whose
# default source plays a WAV file of tone bursts, the program under Xvfb clicked into a Record
# run with xdotool, capture through the PortAudio adapter. The recording must hold the bursts
# as groups that ffprobe and ffmpeg read without a warning. Usage: record_real_audio.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
program=$build/sonotrap
for tool in Xvfb xdotool pulseaudio pactl pacat sox ffmpeg ffprobe; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done
[ -x "$program" ] || { echo "no program at $program"; exit 1; }

work=$(mktemp -d /tmp/sonotrap-record.XXXXXX)
export XDG_RUNTIME_DIR=$work/xdg
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM
xvfb_pid="" app_pid="" feed_pid="" pulse_pid=""
cleanup() {
  for pid in $app_pid $feed_pid $xvfb_pid; do kill "$pid" 2>/dev/null || true; done
  [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null || true
  sleep 0.2
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  [ -f "$work/run/Sonotrap.Log" ] && tail -30 "$work/run/Sonotrap.Log"
  exit 1
}

# The "microphone": a null sink whose monitor is remapped as the default source.
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
pactl info >/dev/null 2>&1 || fail "no sound server"
pulse_pid=$(cat "$XDG_RUNTIME_DIR/pulse/pid")

# Faint noise with a loud 1 kHz burst every 3 s, 45 s in all.
sox -n -r 32000 -c 1 -b 16 "$work/noise.wav" synth 2.7 whitenoise vol 0.002
sox -n -r 32000 -c 1 -b 16 "$work/tone.wav" synth 0.3 sine 1000 vol 0.3
parts=()
for _ in $(seq 15); do parts+=("$work/noise.wav" "$work/tone.wav"); done
sox "${parts[@]}" "$work/bursts.wav"

for n in $(seq 121 150); do
  [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || { display=:$n; break; }
done
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

mkdir -p "$work/run"
(cd "$work/run" && exec "$program" >"$work/run/out.log" 2>&1) &
app_pid=$!
wid=""
for _ in $(seq 100); do
  wid=$(xdotool search --name '^Sonotrap$' 2>/dev/null | head -1 || true)
  [ -n "$wid" ] && break
  sleep 0.1
done
[ -n "$wid" ] || fail "no window"
for _ in $(seq 100); do grep -q "Threshold DBs: 60" "$work/run/Sonotrap.Log" 2>/dev/null && break; sleep 0.1; done
grep -q "Threshold DBs: 60" "$work/run/Sonotrap.Log" || fail "start-up did not finish"
[ -z "$(xdotool search --name 'DirectSound error' 2>/dev/null || true)" ] || fail "the program found no capture device"
sleep 0.5

# Client coordinates lie under the menu bar (19 px with DejaVu fonts, no window manager).
menu=19
click() { xdotool mousemove --window "$wid" "$1" $(($2 + menu)) click 1; sleep 0.3; }

# Feed the bursts, then Record marker and Start.
sox -q "$work/bursts.wav" -t raw - | pacat --playback --latency-msec=50 -d micfeed \
  --format=s16le --rate=32000 --channels=1 --raw &
feed_pid=$!
click 283 457
click 439 457
# Capture may begin up to 1.5 s late: wait for groups, not for a fixed time.
groups=0
for _ in $(seq 600); do
  groups=$(grep -c "End contiguous samples group." "$work/run/Sonotrap.Log" 2>/dev/null || true)
  [ "${groups:-0}" -ge 4 ] && break
  sleep 0.1
done
[ "${groups:-0}" -ge 4 ] || fail "only ${groups:-0} groups recorded"
click 439 457   # Stop: the stop sequence finishes the file and logs its length
for _ in $(seq 50); do grep -q "Total KBytes recorded" "$work/run/Sonotrap.Log" && break; sleep 0.1; done
grep -q "Total KBytes recorded" "$work/run/Sonotrap.Log" || fail "Stop did not close the recording"
xdotool key --window "$wid" alt+F4 >/dev/null 2>&1 || true
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=""

files=("$work/run"/*.mp3)
[ -e "${files[0]}" ] || fail "no MP3 recording in $work/run"
f=${files[0]}
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
