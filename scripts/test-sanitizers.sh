#!/usr/bin/env bash
# Builds the core and its tests under AddressSanitizer+UBSan and under ThreadSanitizer, and runs
# them. The Qt program and benchmarks are left out: Qt itself is not instrumented.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
status=0
for san in address,undefined thread; do
  dir=build-san-${san%%,*}
  echo "=== $san"
  scripts/build.sh "$dir" -DSONOTRAP_SANITIZE=$san -DSONOTRAP_GUI=OFF -DSONOTRAP_BENCH=OFF
  (cd "$dir" && ctest --output-on-failure -j2 --timeout 1800) || status=1
done
exit $status
