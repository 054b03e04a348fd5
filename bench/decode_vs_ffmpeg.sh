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

best() {  # best wall time in ms of five runs of "$@"
  local best_ms=""
  for _ in 1 2 3 4 5; do
    local start end ms
    start=$(date +%s%N)
    "$@" > /dev/null 2>&1
    end=$(date +%s%N)
    ms=$(( (end - start) / 1000000 ))
    if [ -z "$best_ms" ] || [ "$ms" -lt "$best_ms" ]; then best_ms=$ms; fi
  done
  echo "$best_ms"
}

ours=$(best "$tool" decode "$work/in.mp3" "$work/out.wav" --native)
theirs=$(best ffmpeg -v error -i "$work/in.mp3" -f null -)
echo "60 s of 44.1 kHz stereo 128 kbit/s MP3, best of 5 (whole process):"
echo "  sonotrap-tool decode --native: ${ours} ms ($(( 60000 / (ours > 0 ? ours : 1) ))x real time)"
echo "  ffmpeg -f null:                ${theirs} ms ($(( 60000 / (theirs > 0 ? theirs : 1) ))x real time)"
if [ "$ours" -le "$theirs" ]; then echo "  goal met: at least FFmpeg's speed"; else echo "  goal missed: slower than FFmpeg"; fi
