#!/usr/bin/env bash
# Builds the music file reader's libFuzzer target with clang (ASan + UBSan, libraries
# instrumented for coverage) in its own directory under the build dir given as $1, and runs it
# for about a minute over the committed corpus. Exit 0 when the fuzzer finds nothing.
# FUZZ_SECONDS overrides the run time.
set -euo pipefail
build=$(realpath "${1:-build}")
src=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${FUZZ_SECONDS:-60}
dir="$build/fuzz-reader"
if ! command -v clang++ >/dev/null; then echo "clang++ is not installed"; exit 1; fi

CC=clang CXX=clang++ cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSONOTRAP_FUZZ=ON -DSONOTRAP_SANITIZE=address,undefined,fuzzer-no-link \
  -DSONOTRAP_GUI=OFF -DSONOTRAP_PORTAUDIO=OFF -DSONOTRAP_BENCH=OFF -DSONOTRAP_TESTS=ON >/dev/null
cmake --build "$dir" --target MusicFileReaderFuzzer -j2 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# New inputs go to the scratch corpus; the committed one is only read. Findings land in $dir.
"$dir/tests/MusicFileReaderFuzzer" -max_total_time="$seconds" -max_len=65536 -timeout=20 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$dir/" \
  "$work" "$src/tests/fuzz/corpus" 2>"$work/log" || { tail -60 "$work/log"; exit 1; }
grep -E "^stat::number_of_executed_units|^Done" "$work/log" || true
