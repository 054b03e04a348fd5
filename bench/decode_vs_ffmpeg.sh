#!/usr/bin/env bash
# Whole-process decode speed: `sonotrap-tool decode --native` against `ffmpeg -f null` on the
# same 44.1 kHz stereo 128 kbit/s file (60 s of noise and tones, made by lame). Prints the
# best of five runs of each. $1: the build directory (default build).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-build}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
tool="$build/sonotrap-tool"
for c in sox lame ffmpeg; do
  command -v "$c" > /dev/null || { echo "decode_vs_ffmpeg: $c missing, skipped"; exit 0; }
done
[ -x "$tool" ] || { echo "decode_vs_ffmpeg: $tool not built, skipped"; exit 0; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
sox -n -r 44100 -c 2 -b 16 "$work/noise.wav" synth 60 pinknoise vol 0.25
sox -n -r 44100 -c 2 -b 16 "$work/tones.wav" synth 60 sine 220-880 sine 330-1320 vol 0.3
sox -m "$work/noise.wav" "$work/tones.wav" "$work/mix.wav"
lame --quiet -b 128 -m j "$work/mix.wav" "$work/in.mp3"

best() {  # best wall and CPU (user + system) time in ms of five runs of "$@"
  local best_wall="" best_cpu="" line wall cpu
  for _ in 1 2 3 4 5; do
    line=$( { TIMEFORMAT='%3R %3U %3S'; time "$@" > /dev/null 2>&1; } 2>&1 | tail -1)
    wall=$(awk '{printf "%d", $1 * 1000}' <<< "$line")
    cpu=$(awk '{printf "%d", ($2 + $3) * 1000}' <<< "$line")
    if [ -z "$best_wall" ] || [ "$wall" -lt "$best_wall" ]; then best_wall=$wall; fi
    if [ -z "$best_cpu" ] || [ "$cpu" -lt "$best_cpu" ]; then best_cpu=$cpu; fi
  done
  echo "$best_wall $best_cpu"
}

read -r ours_wall ours_cpu < <(best "$tool" decode "$work/in.mp3" "$work/out.wav" --native)
read -r theirs_wall theirs_cpu < <(best ffmpeg -v error -i "$work/in.mp3" -f null -)
echo "60 s of 44.1 kHz stereo 128 kbit/s MP3, best of 5 runs (whole process):"
echo "  sonotrap-tool decode --native: wall ${ours_wall} ms, CPU ${ours_cpu} ms"
echo "  ffmpeg -f null:                wall ${theirs_wall} ms, CPU ${theirs_cpu} ms"
if [ "$ours_cpu" -le "$theirs_cpu" ]; then
  echo "  goal met: at least FFmpeg's speed (CPU time)"
else
  echo "  goal missed: slower than FFmpeg (CPU time)"
fi
