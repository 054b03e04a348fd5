#!/usr/bin/env bash
# Kills a scan with SIGKILL in the middle of its work and checks that every group it had
# finished is in a recording that sox and ffprobe read without a warning (WAV and MP3).
set -euo pipefail
source "$(dirname "$0")/gui_common.bash" "${1:-build}" sonotrap-tool crash sox soxi ffmpeg ffprobe
bursts "$work/input.wav" 40 2.8 0.2  # two minutes: a loud burst every 3 s

for format in wav mp3; do
  out="$work/out-$format"
  # 10 ms per block: the run would take about 17 s; it dies after a few groups.
  "$program" scan "$work/input.wav" --out "$out" --format "$format" --threshold 40 --pace-ms 10 >/dev/null &
  pid=$!
  bg_pids="$bg_pids $pid"
  wait_for 15 "$format: fewer than 3 groups before the kill" has_groups 3 "$out/Sonotrap.Log"
  kill -9 "$pid"
  wait "$pid" 2>/dev/null || true
  finished=$(ended_groups "$out/Sonotrap.Log")
  files=("$out"/*."$format")
  [ "${#files[@]}" -eq 1 ] || fail "$format: expected one recording, got ${#files[@]}"
  f=${files[0]}
  # Any warning fails but two not about the audio: a raw MP3 stream's duration is estimated
  # from its bitrate, and a plain PCM file's single channel is taken as mono.
  benign="Estimating duration from bitrate|Guessed Channel Layout"
  warn=$(ffprobe -v warning -i "$f" 2>&1 | grep -vE "$benign" || true)
  [ -z "$warn" ] || fail "$format: ffprobe: $warn"
  warn=$(ffmpeg -nostdin -v warning -i "$f" -f null - 2>&1 | grep -vE "$benign" || true)
  [ -z "$warn" ] || fail "$format: ffmpeg decode: $warn"
  if [ "$format" = wav ]; then
    sox "$f" -n stat 2>&1 | grep -iqE "warn|fail" && fail "sox warns about $f"
    seconds=$(soxi -D "$f") least=1.007  # each finished group of one burst keeps 14 blocks
  else
    seconds=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$f") least=1.0
  fi
  awk -v s="$seconds" -v g="$finished" -v l="$least" 'BEGIN { exit !(s >= g * l) }' ||
    fail "$format: $seconds s readable for $finished finished groups"
  echo "ok($format): $finished finished groups, $seconds s readable in $(basename "$f")"
done
