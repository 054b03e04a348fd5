#!/usr/bin/env bash
# CPU of a live Monitor run: the real program under Xvfb, capturing from a headless PulseAudio
# source fed with noise and tones, Monitor started with a click. Prints the share of one core the
# process used over SECONDS (default 60) once the run is going (goal: under 2%).
# $1: the build directory (default build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(cd "${1:-build}" && pwd)/sonotrap
seconds=${SECONDS_OF_RUN:-60}
source "$root/tests/scripts/gui_common.bash"
need_tools Xvfb xdotool pulseaudio pactl pacat sox
gui_setup monitor-cpu
start_pulse mic
sox -n -r 32000 -c 1 -b 16 "$work/feed.wav" synth $((seconds + 30)) pinknoise vol 0.05 \
  synth $((seconds + 30)) sine mix 1000-3000 vol 0.5
start_xvfb 161
start_program "$work/run"
wait_for_startup "$work/run"
feed_mic "$work/feed.wav"
click 439 457   # Start: the program starts in Monitor
sleep 3
ticks() { awk '{print $14 + $15}' "/proc/$app_pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks); start=$(date +%s.%N)
sleep "$seconds"
after=$(ticks); end=$(date +%s.%N)
awk -v t=$((after - before)) -v hz="$hz" -v s="$start" -v e="$end" \
  'BEGIN {printf "monitor run: %.2f%% of one core over %.0f s (goal: under 2%%)\n", 100 * t / hz / (e - s), e - s}'
stop_program
