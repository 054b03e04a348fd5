#!/usr/bin/env bash
# Kills a scan with SIGKILL in the middle of its work and checks that every group it had
# finished is in a recording that sox and ffprobe read without a warning (WAV and MP3).
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
tool="$build/sonotrap-tool"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Two minutes of faint noise with a loud tone burst every 3 s.
sox -n -r 32000 -c 1 -b 16 noise.wav synth 2.8 whitenoise vol 0.002
sox -n -r 32000 -c 1 -b 16 tone.wav synth 0.2 sine 1000 vol 0.3
parts=()
for i in $(seq 40); do parts+=(noise.wav tone.wav); done
sox "${parts[@]}" input.wav

groups_in() {
  local n
  n=$(grep -c "End contiguous samples group." "$1/Sonotrap.Log" 2>/dev/null || true)
  echo "${n:-0}"
}

check_format() {
  local format=$1 out="$work/out-$1"
  # 10 ms per block: the run would take about 17 s; it dies after a few groups.
  "$tool" scan input.wav --out "$out" --format "$format" --threshold 40 --pace-ms 10 >/dev/null &
  local pid=$!
  for _ in $(seq 300); do
    [ "$(groups_in "$out")" -ge 3 ] && break
    sleep 0.05
  done
  kill -9 "$pid"
  wait "$pid" 2>/dev/null || true
  local finished
  finished=$(groups_in "$out")
  [ "$finished" -ge 3 ] || { echo "FAIL($format): only $finished groups before the kill"; return 1; }
  local files=("$out"/*."$format")
  [ "${#files[@]}" -eq 1 ] || { echo "FAIL($format): expected one recording, got ${#files[@]}"; return 1; }
  local f=${files[0]}
  # Warnings from either reader fail the test. Not about the audio: ffprobe's note that a raw
  # MP3 stream's duration is estimated from its bitrate, and ffmpeg's note that it takes a
  # plain PCM file's single channel as mono.
  local warn benign="Estimating duration from bitrate|Guessed Channel Layout"
  warn=$(ffprobe -v warning -i "$f" 2>&1 | grep -vE "$benign" || true)
  [ -z "$warn" ] || { echo "FAIL($format): ffprobe: $warn"; return 1; }
  warn=$(ffmpeg -nostdin -v warning -i "$f" -f null - 2>&1 | grep -vE "$benign" || true)
  [ -z "$warn" ] || { echo "FAIL($format): ffmpeg decode: $warn"; return 1; }
  if [ "$format" = wav ]; then
    warn=$(sox "$f" -n stat 2>&1 | grep -iE "warn|fail" || true)
    [ -z "$warn" ] || { echo "FAIL($format): sox: $warn"; return 1; }
    # Each finished group of one burst keeps at least 14 blocks (1.008 s).
    local seconds
    seconds=$(soxi -D "$f")
    awk -v s="$seconds" -v g="$finished" 'BEGIN { exit !(s >= g * 1.008 - 0.001) }' \
      || { echo "FAIL($format): $seconds s readable for $finished finished groups"; return 1; }
  else
    local seconds
    seconds=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$f")
    awk -v s="$seconds" -v g="$finished" 'BEGIN { exit !(s >= g * 1.0) }' \
      || { echo "FAIL($format): $seconds s readable for $finished finished groups"; return 1; }
  fi
  echo "ok($format): $finished finished groups, $seconds s readable in $(basename "$f")"
}

check_format wav
check_format mp3
