#!/usr/bin/env bash
# Builds the core and its tests under AddressSanitizer+UBSan and under ThreadSanitizer, and runs
# them. The Qt program and benchmarks are left out: Qt itself is not instrumented.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
supp=$PWD/tests/sanitizers
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$supp/tsan.supp
status=0
for san in address,undefined thread; do
  dir=build-san-${san%%,*}
  echo "=== $san"
  scripts/build.sh "$dir" -DSONOTRAP_SANITIZE=$san -DSONOTRAP_GUI=OFF -DSONOTRAP_BENCH=OFF
  (cd "$dir" && ctest --output-on-failure -j2 --timeout 1800 -E '^PortAudio') || status=1
  # The sound libraries PortAudio loads keep their allocations until exit and are unloaded before
  # the leak check runs, so their blocks cannot even be named: no leak check for those tests.
  (cd "$dir" && ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 ctest --output-on-failure --timeout 600 -R '^PortAudio') || status=1
done
exit $status
