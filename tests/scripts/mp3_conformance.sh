#!/usr/bin/env bash
# Runs the MP3 decoder against every conformance stream in ../shared/mp3-vectors (beside the
# repository) and prints RMS and maximum error per stream. $1: the build directory.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
vectors="$root/../shared/mp3-vectors"
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
