#!/usr/bin/env bash
# Whole-process speed of `sonotrap-tool encode` against `lame -b 64 -m m` on the same
# 32 kHz mono input (ten minutes of pink noise by default). Prints the best of a few runs
# of each, in elapsed and in CPU seconds, and the speed ratio (goal: at least 3).
# $1: the build directory; $2: seconds of audio (default 600); $3: runs (default 3).
set -euo pipefail
tool="$(cd "${1:-build}" && pwd)/sonotrap-tool"
seconds="${2:-600}"
runs="${3:-3}"
for c in sox lame /usr/bin/time; do command -v "$c" >/dev/null || { echo "$c missing"; exit 1; }; done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sox -D -n -r 32000 -b 16 -c 1 "$work/in.wav" synth "$seconds" pinknoise vol 0.3

# Best elapsed and CPU (user + system) seconds of a command over the runs.
best() {
  local bestElapsed=999999 bestCpu=999999 line elapsed cpu
  for _ in $(seq "$runs"); do
    /usr/bin/time -o "$work/time.txt" -f "%e %U %S" "$@" >/dev/null 2>&1
    line=$(tail -n 1 "$work/time.txt")
    elapsed=$(awk '{print $1}' <<<"$line")
    cpu=$(awk '{print $2 + $3}' <<<"$line")
    bestElapsed=$(awk -v a="$bestElapsed" -v b="$elapsed" 'BEGIN { print (b < a) ? b : a }')
    bestCpu=$(awk -v a="$bestCpu" -v b="$cpu" 'BEGIN { print (b < a) ? b : a }')
  done
  echo "$bestElapsed $bestCpu"
}

read -r ourElapsed ourCpu <<<"$(best "$tool" encode "$work/in.wav" "$work/ours.mp3")"
read -r lameElapsed lameCpu <<<"$(best lame --silent -b 64 -m m "$work/in.wav" "$work/lame.mp3")"
echo "input: ${seconds} s of 32 kHz mono pink noise, best of ${runs} runs"
echo "sonotrap-tool encode: ${ourElapsed} s elapsed, ${ourCpu} s CPU"
echo "lame -b 64 -m m:      ${lameElapsed} s elapsed, ${lameCpu} s CPU"
awk -v a="$lameElapsed" -v b="$ourElapsed" -v c="$lameCpu" -v d="$ourCpu" \
  'BEGIN { printf "speed ratio (lame / ours): %.2fx elapsed, %.2fx CPU\n", a / b, c / d }'
