#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan, libraries instrumented for coverage)
# under the build dir given as $1 and runs each for FUZZ_SECONDS (60): the music file reader
# and the frame index over the committed corpus of files, the decoder fed frames directly over
# a corpus of length-prefixed frames. Exit 0 when no fuzzer finds anything.
set -euo pipefail
dir="$(realpath "${1:-build}")/fuzz-reader"
src=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${FUZZ_SECONDS:-60}
command -v clang++ >/dev/null || { echo "clang++ is not installed"; exit 1; }
CC=clang CXX=clang++ cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSONOTRAP_FUZZ=ON -DSONOTRAP_SANITIZE=address,undefined,fuzzer-no-link \
  -DSONOTRAP_GUI=OFF -DSONOTRAP_PORTAUDIO=OFF -DSONOTRAP_BENCH=OFF -DSONOTRAP_TESTS=ON >/dev/null
cmake --build "$dir" --target MusicFileReaderFuzzer Mp3FrameIndexFuzzer Mp3DecodeFrameFuzzer -j2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# fuzz NAME MAX_LEN CORPUS: new inputs go to a scratch corpus, the committed one is only read;
# findings land in $dir.
fuzz() {
  mkdir -p "$work/$1"
  "$dir/tests/$1" -max_total_time="$seconds" -max_len="$2" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$dir/$1-" "$work/$1" "$3" 2>"$work/$1.log" \
    || { tail -60 "$work/$1.log"; exit 1; }
  echo "$1: $(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$1.log") runs in $seconds s, nothing found"
}
fuzz MusicFileReaderFuzzer 65536 "$src/tests/fuzz/corpus"
fuzz Mp3FrameIndexFuzzer 16384 "$src/tests/fuzz/corpus"
fuzz Mp3DecodeFrameFuzzer 2048 "$src/tests/fuzz/corpus-frames"
