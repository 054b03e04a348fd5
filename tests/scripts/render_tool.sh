#!/usr/bin/env bash
# sonotrap-tool render on signals made by sox: the graph, meters, strip and banner it draws,
# its scratch files, and its errors. $1: the build directory.
set -euo pipefail
tool="$(cd "${1:-build}" && pwd)/sonotrap-tool"
bitmaps="$(cd "$(dirname "$0")/../../resources/bitmaps" && pwd)"
command -v sox >/dev/null || { echo "sox missing"; exit 1; }
IM=/usr/bin/convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
# The colour of pixel (x, y) of a picture as #RRGGBB.
pixel() { "$IM" "$1" -crop "1x1+$2+$3" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -n 1; }
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"
export XDG_RUNTIME_DIR="$work/xdg"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM DISPLAY

# Three seconds of 440 Hz at a tenth of full scale (-20 dBFS amplitude).
sox -D -n -r 32000 -b 16 -c 1 "$work/a440.wav" synth 3 sine 440 vol 0.1
"$tool" render "$work/a440.wav" "$work/monitor.png" 2>/dev/null || fail "monitor render"
[ "$(identify -format '%wx%h' "$work/monitor.png")" = "640x480" ] || fail "size"
# The A4 bar (band 228, column 308) in the even octave's note colour, about -21.6 dB high.
[ "$(pixel "$work/monitor.png" 308 300)" = "#C0C0FF" ] || fail "A4 bar colour"
[ "$(pixel "$work/monitor.png" 308 130)" = "#C0C0FF" ] || fail "A4 bar top"
[ "$(pixel "$work/monitor.png" 308 127)" = "#000000" ] || fail "above the A4 bar"
[ "$(pixel "$work/monitor.png" 307 300)" = "#000000" ] || fail "beside the A4 bar"
# The threshold line (60 dB) on the peak meter, strip row 241.
[ "$(pixel "$work/monitor.png" 570 284)" = "#FFFFFF" ] || fail "threshold line"
# Running: the Stop face on the button.
[ "$(pixel "$work/monitor.png" 430 450)" = "$(pixel "$bitmaps/134.png" 10 6)" ] || fail "Stop button"
[ "$(pixel "$work/monitor.png" 0 0)" = "#408080" ] || fail "background"

# A capture run analyses from its seventh block: blocks 0..5 show nothing.
"$tool" render "$work/a440.wav" "$work/early.png" --block 5 2>/dev/null || fail "early render"
[ "$(pixel "$work/early.png" 308 300)" = "#000000" ] || fail "bar before the seventh block"
"$tool" render "$work/a440.wav" "$work/seventh.png" --block 6 2>/dev/null || fail "seventh render"
[ "$(pixel "$work/seventh.png" 308 300)" = "#C0C0FF" ] || fail "bar at the seventh block"

# Record: the tone passes the threshold, so the strip shows RECORDING; nothing is left behind.
"$tool" render "$work/a440.wav" "$work/record.png" --mode record 2>/dev/null || fail "record render"
[ "$(pixel "$work/record.png" 300 457)" = "$(pixel "$bitmaps/140.png" 117 13)" ] || fail "RECORDING banner"
[ -z "$(ls -A "$TMPDIR")" ] || fail "scratch files left: $(ls -A "$TMPDIR")"
# Quiet audio does not trigger: the running strip stays.
sox -D -n -r 32000 -b 16 -c 1 "$work/quiet.wav" synth 2 sine 440 vol 0.0001
"$tool" render "$work/quiet.wav" "$work/quiet.png" --mode record 2>/dev/null || fail "quiet render"
[ "$(pixel "$work/quiet.png" 300 457)" = "$(pixel "$bitmaps/135.png" 117 13)" ] || fail "quiet record strip"

# Playback: no threshold line, the same bar.
"$tool" render "$work/a440.wav" "$work/playback.png" --mode playback 2>/dev/null || fail "playback render"
[ "$(pixel "$work/playback.png" 570 284)" != "#FFFFFF" ] || fail "threshold line in playback"
[ "$(pixel "$work/playback.png" 308 300)" = "#C0C0FF" ] || fail "playback bar"

# Errors.
set +e
"$tool" render "$work/missing.wav" "$work/x.png" 2>/dev/null; [ $? -eq 2 ] || fail "missing file"
"$tool" render "$work/a440.wav" "$work/x.png" --block 100000 2>/dev/null; [ $? -eq 2 ] || fail "block past the end"
"$tool" render "$work/a440.wav" "$work/x.png" --mode loud 2>/dev/null; [ $? -ne 0 ] || fail "unknown mode"
"$tool" render "$work/a440.wav" "$work/no/such/dir/x.png" 2>/dev/null; [ $? -eq 1 ] || fail "unwritable output"
set -e
echo "render_tool: ok"
