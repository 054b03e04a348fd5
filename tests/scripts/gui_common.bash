# Shared by the scripts that drive the real program on a virtual X display. Source it after
# setting $program (the sonotrap binary); it defines:
#   fail MESSAGE            print (with the tail of $work/run's log, if any) and exit 1
#   need_tools TOOL...      exit 1 naming the first tool that is missing (and without $program)
#   gui_setup NAME          a scratch $work (/tmp/sonotrap-NAME.*) with its own XDG_RUNTIME_DIR,
#                           Qt on X, and an EXIT trap that ends $app_pid, $xvfb_pid, $pulse_pid
#                           and $bg_pids and removes $work (kept when SONOTRAP_KEEP is set)
#   start_pulse [mic]       a headless PulseAudio server whose default output is the null sink
#                           "speaker" (32 kHz mono); with "mic", the monitor of a second null sink
#                           "micfeed" is the default source; sets $pulse_pid
#   feed_mic WAV            plays WAV into "micfeed" in the background (pid in $bg_pids)
#   start_xvfb [FIRST]      a virtual display on a free number from FIRST (91) on; sets DISPLAY
#                           and $xvfb_pid
#   find_window PATTERN     waits up to 10 s for a window whose name matches; prints its id
#   start_program DIR       runs the program in DIR; sets $app_pid and $wid (its window)
#   wait_for_startup DIR [dismiss]
#                           waits for the start-up sequence's last log line; with "dismiss",
#                           answers the box a machine without a capture device shows
#   stop_program            closes the window, ends the program and waits for it
#   click X Y               left click at client point X,Y of $wid ($menu px of menu bar above)
#   double_click X Y        two left clicks there, close enough together to be a double click
# Without gui_setup the caller's EXIT trap should kill $app_pid and $xvfb_pid and set $work.

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

start_pulse() {
  {
    echo "load-module module-native-protocol-unix auth-anonymous=1"
    echo "load-module module-null-sink sink_name=speaker rate=32000 channels=1"
    echo "set-default-sink speaker"
    if [ "${1:-}" = mic ]; then
      echo "load-module module-null-sink sink_name=micfeed rate=32000 channels=1"
      echo "load-module module-remap-source source_name=virtmic master=micfeed.monitor channels=1"
      echo "set-default-source virtmic"
    fi
  } >"$work/ci.pa"
  pulseaudio --daemonize=yes -n -F "$work/ci.pa" --exit-idle-time=-1 --log-target=file:"$work/pa.log" 2>/dev/null
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl info >/dev/null 2>&1 || fail "no sound server"
  pulse_pid=$(cat "$XDG_RUNTIME_DIR/pulse/pid")
}

feed_mic() {
  sox -q "$1" -t raw - | pacat --playback --latency-msec=50 -d micfeed --format=s16le --rate=32000 \
    --channels=1 --raw &
  bg_pids="$bg_pids $!"
}

start_xvfb() {
  local n first=${1:-91}
  for n in $(seq "$first" $((first + 49))); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    export DISPLAY=:$n
    for _ in $(seq 50); do
      xdotool getmouselocation >/dev/null 2>&1 && return 0
      kill -0 "$xvfb_pid" 2>/dev/null || break  # another server took the number meanwhile
      sleep 0.1
    done
    kill "$xvfb_pid" 2>/dev/null || true
  done
  fail "no free display number"
}

find_window() {
  local id=""
  for _ in $(seq 100); do
    id=$(xdotool search --name "$1" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && break
    sleep 0.1
  done
  echo "$id"
}

start_program() {
  mkdir -p "$1"
  (cd "$1" && exec "$program" >"$1/out.log" 2>&1) &
  app_pid=$!
  wid=$(find_window '^Sonotrap$')
  [ -n "$wid" ] || fail "no window"
}

wait_for_startup() {
  for _ in $(seq 100); do
    grep -q "Threshold DBs: 60" "$1/Sonotrap.Log" 2>/dev/null && break
    if [ "${2:-}" = dismiss ]; then
      for box in $(xdotool search --name 'DirectSound error' 2>/dev/null || true); do
        xdotool windowfocus --sync "$box" key Return 2>/dev/null || true
      done
    fi
    sleep 0.1
  done
  grep -q "Threshold DBs: 60" "$1/Sonotrap.Log" || fail "start-up did not finish"
  sleep 0.5
}

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
