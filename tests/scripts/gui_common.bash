# Shared by the end-to-end scripts; sourced with BUILD PROGRAM NAME TOOL..., it checks the
# tools and runs gui_setup NAME for $program, BUILD's PROGRAM; $root is the source tree.
# gui_setup NAME makes a scratch $work with its own XDG_RUNTIME_DIR and an EXIT trap that ends
# $app_pid, $bg_pids, $xvfb_pid, $pulse_pid and removes $work. wait_for SECONDS WHAT CMD...
# polls CMD, failing with WHAT if it never succeeds; expect_status CODE CMD... fails unless CMD
# exits with CODE (and for 2, says one line on stderr). bursts OUT COUNT NOISE_S TONE_S [HZ]
# writes COUNT times faint noise then a loud tone. start_pulse [mic] starts a headless sound
# server (output: the null sink "speaker"; with mic, input: the monitor of "micfeed", fed by
# feed_mic WAV); start_xvfb a virtual display; start_program DIR the program ($app_pid,
# its window $wid); click X Y acts at client point X,Y of $wid, under the $menu px menu bar.

fail() {
  echo "FAIL: $*"
  [ -f "${work:-}/run/Sonotrap.Log" ] && tail -30 "$work/run/Sonotrap.Log"
  exit 1
}

need_tools() {
  local tool
  for tool in "$@"; do command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }; done
  [ -x "$program" ] || { echo "no program at $program"; exit 1; }
}

xvfb_pid="" app_pid="" pulse_pid="" bg_pids=""
gui_cleanup() {
  local pid
  for pid in $app_pid $bg_pids $xvfb_pid $pulse_pid; do kill "$pid" 2>/dev/null || true; done
  sleep 0.2
  if [ -n "${SONOTRAP_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}

gui_setup() {
  work=$(mktemp -d "/tmp/sonotrap-$1.XXXXXX")
  export XDG_RUNTIME_DIR=$work/xdg
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  unset QT_QPA_PLATFORM
  trap gui_cleanup EXIT
}

wait_for() {
  local seconds=$1 what=$2 _
  shift 2
  for _ in $(seq $((seconds * 10))); do "$@" && return 0; sleep 0.1; done
  "$@" || fail "$what"
}

gone() { ! kill -0 "$1" 2>/dev/null; }
ended_groups() { local n; n=$(grep -c "End contiguous samples group." "$1" 2>/dev/null || true); echo "${n:-0}"; }
has_groups() { [ "$(ended_groups "$2")" -ge "$1" ]; }

expect_status() {
  local want=$1 rc=0
  shift
  "$@" >"$work/stdout" 2>"$work/stderr" || rc=$?
  [ "$rc" -eq "$want" ] || fail "$*: exit status $rc, not $want: $(cat "$work/stderr")"
  [ "$want" -ne 2 ] || [ "$(wc -l <"$work/stderr")" -eq 1 ] || fail "$*: stderr not one line: $(cat "$work/stderr")"
}

bursts() {
  local parts=() _
  sox -n -r 32000 -c 1 -b 16 "$work/noise.wav" synth "$3" whitenoise vol 0.002
  sox -n -r 32000 -c 1 -b 16 "$work/tone.wav" synth "$4" sine "${5:-1000}" vol 0.3
  for _ in $(seq "$2"); do parts+=("$work/noise.wav" "$work/tone.wav"); done
  sox "${parts[@]}" "$1"
}

start_pulse() {
  printf '%s\n' "load-module module-native-protocol-unix auth-anonymous=1" "set-default-sink speaker" \
    "load-module module-null-sink sink_name=speaker rate=32000 channels=1" >"$work/ci.pa"
  [ "${1:-}" != mic ] || printf '%s\n' "load-module module-null-sink sink_name=micfeed rate=32000 channels=1" \
    "load-module module-remap-source source_name=virtmic master=micfeed.monitor channels=1" \
    "set-default-source virtmic" >>"$work/ci.pa"
  pulseaudio --daemonize=yes -n -F "$work/ci.pa" --exit-idle-time=-1 --log-target=file:"$work/pa.log" 2>/dev/null
  wait_for 10 "no sound server" pactl info >/dev/null 2>&1
  pulse_pid=$(cat "$XDG_RUNTIME_DIR/pulse/pid")
}

feed_mic() {
  sox -q "$1" -t raw - | pacat --playback --latency-msec=50 -d micfeed --format=s16le --rate=32000 \
    --channels=1 --raw &
  bg_pids="$bg_pids $!"
}

# Xvfb picks a free display number itself and writes it once it accepts clients.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  wait_for 10 "no virtual display" test -s "$work/display"
  export DISPLAY=:$(cat "$work/display")
}

# True once a window whose name matches PATTERN is there; its id in $found.
window_shown() { found=$(xdotool search --name "$1" 2>/dev/null | head -1 || true); [ -n "$found" ]; }

start_program() {
  mkdir -p "$1"
  (cd "$1" && exec "$program" >"$1/out.log" 2>&1) &
  app_pid=$!
  wait_for 10 "no window" window_shown '^Sonotrap$'
  wid=$found
}

startup_done() {  # DIR [dismiss]: answers the box a machine without a capture device shows
  if [ "${2:-}" = dismiss ] && window_shown 'DirectSound error'; then
    xdotool windowfocus --sync "$found" key Return 2>/dev/null || true
  fi
  grep -q "Threshold DBs: 60" "$1/Sonotrap.Log" 2>/dev/null
}

wait_for_startup() {
  wait_for 10 "start-up did not finish" startup_done "$@"
  sleep 0.5
}

# Closes the window, ends the program and waits for it.
stop_program() {
  xdotool key --window "$wid" alt+F4 >/dev/null 2>&1 || true
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
}

# Client coordinates lie under the menu bar (19 px with DejaVu fonts, no window manager).
menu=19
click() { xdotool mousemove --window "$wid" "$1" $(($2 + menu)) click 1; sleep 0.3; }
double_click() { xdotool mousemove --window "$wid" "$1" $(($2 + menu)) click --repeat 2 --delay 60 1; sleep 0.3; }

if [ $# -ge 3 ]; then
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  program=$(cd "$1" && pwd)/$2
  need_tools "${@:4}"
  gui_setup "$3"
fi
