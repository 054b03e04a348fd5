#!/usr/bin/env bash
# Holds the MP3 decoder to full accuracy on every conformance stream in $SONOTRAP_MP3_VECTORS,
# by default ../shared/mp3-vectors beside the repository. $1: the build directory.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
export SONOTRAP_MP3_VECTORS=${SONOTRAP_MP3_VECTORS:-$(cd "$(dirname "$0")/../.." && pwd)/../shared/mp3-vectors}
if [ ! -d "$SONOTRAP_MP3_VECTORS" ]; then
  echo "mp3_conformance: $SONOTRAP_MP3_VECTORS not found, skipped"
  exit 0
fi
"$build/tests/sonotrap_tests" --gtest_filter='Mp3ConformanceSet.*'
