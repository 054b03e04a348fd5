# Shared by the scripts that drive the real program on a virtual X display. Source it after
# setting $program (the sonotrap binary) and $work (a scratch directory); it defines:
#   fail MESSAGE            print and exit 1
#   start_xvfb              a virtual display on a free number; sets DISPLAY and $xvfb_pid
#   start_program DIR       runs the program in DIR; sets $app_pid and $wid (its window)
#   wait_for_startup DIR [dismiss]
#                           waits for the start-up sequence's last log line; with "dismiss",
#                           answers the box a machine without a capture device shows
# The caller's EXIT trap should kill $app_pid and $xvfb_pid.

fail() { echo "FAIL: $*"; exit 1; }

start_xvfb() {
  local n display=""
  for n in $(seq 91 140); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || { display=:$n; break; }
  done
  [ -n "$display" ] || fail "no free display number"
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  export DISPLAY=$display
  for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
}

start_program() {
  mkdir -p "$1"
  (cd "$1" && exec "$program" >"$1/out.log" 2>&1) &
  app_pid=$!
  wid=""
  for _ in $(seq 100); do
    wid=$(xdotool search --name '^Sonotrap$' 2>/dev/null | head -1 || true)
    [ -n "$wid" ] && break
    sleep 0.05
  done
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
