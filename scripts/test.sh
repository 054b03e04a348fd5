#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/sonotrap-xdg}
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
status=0
unit_log=$(mktemp)
(cd build && ctest --output-on-failure -j2 --timeout 900) 2>&1 | tee "$unit_log" || status=1
unit_total=$(sed -n 's/.* tests failed out of \([0-9]*\).*/\1/p' "$unit_log" | tail -n 1)
unit_failed=$(sed -n 's/.* \([0-9]*\) tests failed out of .*/\1/p' "$unit_log" | tail -n 1)
rm -f "$unit_log"
[ -n "$unit_total" ] || { unit_total=0; unit_failed=1; status=1; }
# End-to-end scripts: the real program and tool, headless display and sound server.
e2e_passed=0
e2e_failed=0
for t in tests/scripts/*.sh; do
  [ -e "$t" ] || continue
  echo "=== $t"
  if bash "$t" build; then
    echo "PASS $t"; e2e_passed=$((e2e_passed + 1))
  else
    echo "FAIL $t"; e2e_failed=$((e2e_failed + 1)); status=1
  fi
done
echo "end-to-end: $e2e_passed passed, $e2e_failed failed"
echo "all: $((unit_total - unit_failed + e2e_passed)) passed, $((unit_failed + e2e_failed)) failed"
exit $status
