#!/usr/bin/env bash
# Installs what Sonotrap needs, builds it and starts it. With no display, shows what the
# program does on a generated demo signal with the command-line companion instead.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/sonotrap
fi
echo "No display: running 'sonotrap-tool' on a generated demo signal instead of the window."
demo=$(mktemp -d)
# Quiet noise with a half-second 2 kHz whistle in the middle.
sox -q -n -r 32000 -c 1 -b 16 "$demo/noise.wav" synth 2 whitenoise vol 0.01
sox -q -n -r 32000 -c 1 -b 16 "$demo/whistle.wav" synth 0.5 sine 2000 vol 0.5
sox -q "$demo/noise.wav" "$demo/whistle.wav" "$demo/noise.wav" "$demo/demo.wav"
if build/sonotrap-tool scan --help >/dev/null 2>&1 && ! build/sonotrap-tool scan --help 2>&1 | grep -q "not available"; then
  (cd "$demo" && "$OLDPWD/build/sonotrap-tool" scan demo.wav --out "$demo")
  ls -l "$demo"
else
  build/sonotrap-tool analyze "$demo/demo.wav"
fi
