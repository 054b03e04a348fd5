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
(cd build && ctest --output-on-failure -j2 --timeout 900) || status=1
# End-to-end scripts: the real program and tool, headless display and sound server.
for t in tests/scripts/*.sh; do
  [ -e "$t" ] || continue
  echo "=== $t"
  if bash "$t" build; then echo "PASS $t"; else echo "FAIL $t"; status=1; fi
done
exit $status
