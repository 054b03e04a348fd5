#!/usr/bin/env bash
# The real program under Xvfb, clicked into Playback of a file chosen in the Qt file dialog,
# plays into a headless PulseAudio null sink whose monitor parec records: the recording must
# hold the file, in order and looping, and the graph must move. $1: the build directory.
set -euo pipefail
source "$(dirname "$0")/gui_common.bash" "${1:-build}" sonotrap playback Xvfb xdotool pulseaudio pactl parec sox import compare python3
start_pulse   # the loudspeaker: a null sink at the program's own rate, so nothing is resampled

# The music: 2.5 s of a rising sweep over a quieter low tone, so every position of the loop
# looks different, with a gap of silence so the loop start is plain to see.
sox -n -r 32000 -c 1 -b 16 "$work/sweep.wav" synth 2.5 sine 200-4000 sine 150 remix 1,2 vol 0.35
sox -n -r 32000 -c 1 -b 16 "$work/gap.wav" trim 0 0.25
sox "$work/sweep.wav" "$work/gap.wav" "$work/music.wav"

# The comparison: the sink runs at the file's rate, so from a little after the sound starts
# to its end the recording must be the looped, zero-padded file sample for sample: nothing
# lost, repeated or out of order.
cat >"$work/check.py" <<'PY'
import array, sys
music, rec = (array.array('h', open(p, 'rb').read()) for p in sys.argv[1:3])
music.extend([0] * (-len(music) % 1152))  # the reader pads the last block
loud = [i for i, x in enumerate(rec) if abs(x) >= 300] or [0]  # the recording ends in silence
played = rec[loud[0] + 8000:loud[-1] + 1].tobytes()
looped = (music * (2 + len(played) // 2 // len(music))).tobytes()
at = looped.find(played[:8192])
print(f"{len(played) / 64000:.2f} s the same as the file from {at / 64000:.4f} s on")
sys.exit(0 if len(played) > 128000 and at % 2 == 0 and looped[at:at + len(played)] == played else 1)
PY

start_xvfb
start_program "$work/run"
wait_for_startup "$work/run"

graph_shot() { import -window "$wid" -crop 460x300+90+$((60 + menu)) +repage "$1"; }

# Playback marker, then Start: no file is loaded, so the file dialog opens.
parec -d speaker.monitor --format=s16le --rate=32000 --channels=1 --raw "$work/played.raw" &
rec_pid=$! bg_pids=$!
click 348 457
click 439 457
wait_for 10 "no file dialog" window_shown '^Load music'
sleep 0.5
xdotool windowfocus --sync "$found" 2>/dev/null || true
xdotool type --delay 20 "$work/music.wav"
sleep 0.3
xdotool key Return
wait_for 10 "the file dialog stayed open" eval "! window_shown '^Load music'"
window_shown 'File IO Error' && fail "the program refused the file"

# The sound server takes a second or so to start the stream, then the buffer's silent lap and
# the nine blocks that only fill the pipeline pass before the graph shows anything.
sleep 3
graph_shot "$work/graph1.png"
sleep 1
graph_shot "$work/graph2.png"
sleep 3.5
kill "$rec_pid" 2>/dev/null || true
wait "$rec_pid" 2>/dev/null || true
bg_pids=""
click 439 457   # Stop
sleep 0.3
stop_program

# The graph showed something both times and moved in between.
lit() { convert "$1" -colorspace gray -threshold 5% -format "%[fx:round(mean*w*h)]" info:; }
lit1=$(lit "$work/graph1.png")
lit2=$(lit "$work/graph2.png")
[ "$lit1" -gt 50 ] && [ "$lit2" -gt 50 ] || fail "the graph stayed dark ($lit1 and $lit2 pixels lit)"
changed=$(compare -metric AE "$work/graph1.png" "$work/graph2.png" null: 2>&1 || true)
[ "${changed%% *}" -gt 100 ] 2>/dev/null || fail "the graph did not move ($changed pixels changed)"

sox "$work/music.wav" -t raw "$work/music.raw"
bytes=$(stat -c %s "$work/played.raw")
[ "$bytes" -gt 128000 ] || fail "only $bytes bytes reached the sound server"
python3 "$work/check.py" "$work/music.raw" "$work/played.raw" >"$work/check.log" || { cat "$work/check.log"; fail "the sound played is not the file"; }
tail -1 "$work/check.log"
echo "ok: $((bytes / 64)) ms recorded from the sink; graph lit in $lit1 and $lit2 pixels, $changed changed"
