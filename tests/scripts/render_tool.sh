#!/usr/bin/env bash
# sonotrap-tool render on signals made by sox: the graph, meters, strip and banner it draws,
# its scratch files, and its errors. $1: the build directory.
set -euo pipefail
bitmaps="$(cd "$(dirname "$0")/../../resources/bitmaps" && pwd)"
source "$(dirname "$0")/gui_common.bash" "${1:-build}" sonotrap-tool render sox /usr/bin/convert identify
unset DISPLAY
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"
# The colour of pixel (x, y) of a picture as #RRGGBB.
pixel() { /usr/bin/convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -n 1; }
render() { "$program" render "$@" 2>/dev/null || fail "render $*"; }

# Three seconds of 440 Hz at a tenth of full scale (-20 dBFS amplitude).
sox -D -n -r 32000 -b 16 -c 1 "$work/a440.wav" synth 3 sine 440 vol 0.1
render "$work/a440.wav" "$work/monitor.png"
[ "$(identify -format '%wx%h' "$work/monitor.png")" = "640x480" ] || fail "size"
# The A4 bar (band 228, column 308) in the even octave's note colour, about -21.6 dB high.
[ "$(pixel "$work/monitor.png" 308 300)" = "#C0C0FF" ] || fail "A4 bar colour"
[ "$(pixel "$work/monitor.png" 308 130)$(pixel "$work/monitor.png" 308 127)" = "#C0C0FF#000000" ] || fail "A4 bar top"
[ "$(pixel "$work/monitor.png" 307 300)" = "#000000" ] || fail "beside the A4 bar"
# The threshold line (60 dB) on the peak meter, strip row 241.
[ "$(pixel "$work/monitor.png" 570 284)" = "#FFFFFF" ] || fail "threshold line"
# Running: the Stop face on the button.
[ "$(pixel "$work/monitor.png" 430 450)" = "$(pixel "$bitmaps/134.png" 10 6)" ] || fail "Stop button"
[ "$(pixel "$work/monitor.png" 0 0)" = "#408080" ] || fail "background"

# A capture run analyses from its seventh block: blocks 0..5 show nothing.
render "$work/a440.wav" "$work/early.png" --block 5
[ "$(pixel "$work/early.png" 308 300)" = "#000000" ] || fail "bar before the seventh block"
render "$work/a440.wav" "$work/seventh.png" --block 6
[ "$(pixel "$work/seventh.png" 308 300)" = "#C0C0FF" ] || fail "bar at the seventh block"

# Record: the tone passes the threshold, so the strip shows RECORDING; nothing is left behind.
render "$work/a440.wav" "$work/record.png" --mode record
[ "$(pixel "$work/record.png" 300 457)" = "$(pixel "$bitmaps/140.png" 117 13)" ] || fail "RECORDING banner"
[ -z "$(ls -A "$TMPDIR")" ] || fail "scratch files left: $(ls -A "$TMPDIR")"
# Quiet audio does not trigger: the running strip stays.
sox -D -n -r 32000 -b 16 -c 1 "$work/quiet.wav" synth 2 sine 440 vol 0.0001
render "$work/quiet.wav" "$work/quiet.png" --mode record
[ "$(pixel "$work/quiet.png" 300 457)" = "$(pixel "$bitmaps/135.png" 117 13)" ] || fail "quiet record strip"

# Playback: no threshold line, the same bar.
render "$work/a440.wav" "$work/playback.png" --mode playback
[ "$(pixel "$work/playback.png" 570 284)" != "#FFFFFF" ] || fail "threshold line in playback"
[ "$(pixel "$work/playback.png" 308 300)" = "#C0C0FF" ] || fail "playback bar"

expect_status 2 "$program" render "$work/missing.wav" "$work/x.png"
expect_status 2 "$program" render "$work/a440.wav" "$work/x.png" --block 100000
"$program" render "$work/a440.wav" "$work/x.png" --mode loud 2>/dev/null && fail "unknown mode"
expect_status 1 "$program" render "$work/a440.wav" "$work/no/such/dir/x.png"
echo "render_tool: ok"
