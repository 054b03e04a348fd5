#!/usr/bin/env bash
# The real program on a virtual X display: start-up draws the static screen, and File > Exit,
# the window's close message and a close during start-up all end the program cleanly (exit
# status 0, log footer written). Usage: gui_startup.sh BUILD_DIR [SCREENSHOT.png]
set -euo pipefail
shot_out=${2:-}
source "$(dirname "$0")/gui_common.bash" "${1:-build}" sonotrap gui Xvfb xdotool /usr/bin/import /usr/bin/convert cc
cc -O1 -o "$work/wm_delete_window" "$root/tests/scripts/wm_delete_window.c" -lX11
start_xvfb

# Waits for the program to end; fails unless it exits with 0 and wrote the log footer.
expect_clean_exit() {
  local status=0
  wait_for 10 "$2: still running" gone "$app_pid"
  wait "$app_pid" || status=$?
  app_pid=""
  [ "$status" -eq 0 ] || fail "$2: exit status $status"
  grep -q "Shutting down logging system..." "$1/Sonotrap.Log" || fail "$2: no log footer"
  echo "ok: $2"
}

pixel() { /usr/bin/convert "$work/shot.png" -format "%[fx:int(255*p{$1,$2}.r)],%[fx:int(255*p{$1,$2}.g)],%[fx:int(255*p{$1,$2}.b)]" info:; }

# 1. The static screen, then File > Exit.
start_program "$work/run1"
wait_for_startup "$work/run1" dismiss
eval "$(xdotool getwindowgeometry --shell "$wid")"
client_x=$X client_y=$((Y + HEIGHT - 488))
[ "$WIDTH" -eq 648 ] || fail "window width $WIDTH"
/usr/bin/import -window root "$work/shot.png"
[ "$(pixel $((client_x + 5)) $((client_y + 5)))" = "64,128,128" ] || fail "background at (5,5)"
[ "$(pixel $((client_x + 644)) $((client_y + 300)))" = "64,128,128" ] || fail "band right of the screen"
# The title bitmap (120,10)-(520,34) is not plain background: it has yellow letters.
title_colours=$(/usr/bin/convert "$work/shot.png" -crop "400x24+$((client_x + 120))+$((client_y + 10))" +repage -unique-colors -format "%k" info:)
[ "$title_colours" -ge 2 ] || fail "no title bitmap"
# The button frame's white inside, just left of the mode strip.
[ "$(pixel $((client_x + 182)) $((client_y + 450)))" = "255,255,255" ] || fail "button frame"
[ -z "$shot_out" ] || /usr/bin/convert "$work/shot.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shot_out"
# Both accelerators open the About box.
about_shown() { xdotool search --onlyvisible --name '^About$' >/dev/null 2>&1; }
for keys in alt+question alt+slash; do
  xdotool windowfocus --sync "$wid" key --clearmodifiers "$keys"
  wait_for 5 "$keys did not open the About box" about_shown
  xdotool windowfocus --sync "$(xdotool search --onlyvisible --name '^About$' | head -1)" key Return
  wait_for 5 "the About box stayed open" eval '! about_shown'
done
xdotool windowfocus --sync "$wid"
xdotool key --clearmodifiers alt+f sleep 0.3 key x
expect_clean_exit "$work/run1" "File > Exit"

# 2. The window's close message, as a window manager's close button sends it.
start_program "$work/run2"
wait_for_startup "$work/run2" dismiss
"$work/wm_delete_window" "$wid"
expect_clean_exit "$work/run2" "close message"

# 3. Closed while the start-up thread is still running.
start_program "$work/run3"
"$work/wm_delete_window" "$wid"
expect_clean_exit "$work/run3" "close during start-up"
echo "PASS"
