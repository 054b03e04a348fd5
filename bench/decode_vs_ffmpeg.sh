#!/usr/bin/env bash
# Whole-process decode speed: `sonotrap-tool decode IN OUT.wav --native` against
# `ffmpeg -i IN OUT.wav` (its float decoder), both writing a WAV file to the same disk. Two
# signals of ten minutes each, 44.1 kHz stereo 128 kbit/s made by lame: pink noise, and a
# music-like mix (two pairs of tones with vibrato and a noise burst every half second, so that
# short blocks occur). Five runs of each program, alternating; prints the median wall times
# and the ratio FFmpeg / ours (1.0 or more: at least FFmpeg's speed).
# $1: the build directory (default build). SECONDS_OF_AUDIO shortens the signals.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-build}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
tool="$build/sonotrap-tool"
length=${SECONDS_OF_AUDIO:-600}
for c in sox lame ffmpeg /usr/bin/time; do
  command -v "$c" > /dev/null || { echo "decode_vs_ffmpeg: $c missing, skipped"; exit 0; }
done
[ -x "$tool" ] || { echo "decode_vs_ffmpeg: $tool not built, skipped"; exit 0; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
sox -n -r 44100 -c 2 -b 16 "$work/pink.wav" synth "$length" pinknoise vol 0.25
lame --quiet -b 128 "$work/pink.wav" "$work/pink.mp3"
# Tones: 5 to 6 Hz sines frequency-modulating carriers at 220/330 and 660/990 Hz.
sox -n -r 44100 -c 2 -b 16 "$work/a.wav" synth "$length" sine 5 sine 6 vol 0.05 synth sine fmod 220 sine fmod 330
sox -n -r 44100 -c 2 -b 16 "$work/b.wav" synth "$length" sine 4 sine 4.5 vol 0.05 synth sine fmod 660 sine fmod 990
sox -n -r 44100 -c 2 -b 16 "$work/c.wav" synth 0.03 whitenoise fade 0 0.03 0.028 pad 0.01 0.46 \
  repeat $((length * 2 - 1))
sox -m "$work/a.wav" "$work/b.wav" "$work/c.wav" "$work/music.wav" gain -n -3
lame --quiet -b 128 "$work/music.wav" "$work/music.mp3"
rm -f "$work"/*.wav

wall() {  # wall time in seconds of "$@"
  /usr/bin/time -f %e -o "$work/time" "$@" > /dev/null 2>&1
  cat "$work/time"
}
median() { sort -n | sed -n 3p; }

for signal in pink music; do
  in="$work/$signal.mp3"
  : > "$work/ours" && : > "$work/theirs"
  for _ in 1 2 3 4 5; do
    wall "$tool" decode "$in" "$work/ours.wav" --native >> "$work/ours"
    wall ffmpeg -v error -y -i "$in" "$work/theirs.wav" >> "$work/theirs"
  done
  ours=$(median < "$work/ours")
  theirs=$(median < "$work/theirs")
  echo "$signal, $length s: sonotrap-tool decode --native ${ours} s, ffmpeg ${theirs} s," \
    "ratio $(awk -v a="$theirs" -v b="$ours" 'BEGIN { printf "%.2f", a / b }') (median of 5)"
done
