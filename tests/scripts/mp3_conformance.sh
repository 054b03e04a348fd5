#!/usr/bin/env bash
# Holds the MP3 decoder to full accuracy on every conformance stream in $SONOTRAP_MP3_VECTORS,
# by default ../shared/mp3-vectors beside the repository. $1: the build directory.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
vectors=${SONOTRAP_MP3_VECTORS:-$root/../shared/mp3-vectors}
if [ ! -d "$vectors" ]; then
  echo "mp3_conformance: $vectors not found, skipped"
  exit 0
fi
build="${1:-build}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
tests="$build/tests/sonotrap_tests"
[ -x "$tests" ] || tests="$build/tests/tests_mp3dec"
if [ ! -x "$tests" ]; then
  echo "mp3_conformance: no test program in $build/tests"
  exit 1
fi
SONOTRAP_MP3_VECTORS="$vectors" "$tests" --gtest_filter='Mp3ConformanceSet.*'
