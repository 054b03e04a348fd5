#!/usr/bin/env bash
# The real program plays a WAV file through a real sound server: a headless PulseAudio server
# with a null sink as the default output, the program under Xvfb clicked into Playback with
# xdotool, the file chosen in the Qt file dialog, the sink's monitor recorded with parec. The
# recording must hold the file, in order and looping, and the graph must move while it plays.
# Usage: playback_real_audio.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
program=$(cd "${1:-build}" && pwd)/sonotrap
source "$root/tests/scripts/gui_common.bash"
need_tools Xvfb xdotool pulseaudio pactl parec sox import compare g++
gui_setup playback
start_pulse   # the loudspeaker: a null sink at the program's own rate, so nothing is resampled

# The music: 2.5 s of a rising sweep over a quieter low tone, so every position of the loop
# looks different, with a gap of silence so the loop start is plain to see.
sox -n -r 32000 -c 1 -b 16 "$work/sweep.wav" synth 2.5 sine 200-4000 sine 150 remix 1,2 vol 0.35
sox -n -r 32000 -c 1 -b 16 "$work/gap.wav" trim 0 0.25
sox "$work/sweep.wav" "$work/gap.wav" "$work/music.wav"

# The comparison: finds where in the (looped, zero-padded) file each half second of the
# recording lies, by normalised cross-correlation, and checks that those places follow one
# another as the time does: nothing lost, repeated or out of order.
cat >"$work/check.cpp" <<'CPP'
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <vector>
static std::vector<int16_t> Load(const char* path) {
    std::vector<int16_t> s;
    FILE* f = std::fopen(path, "rb");
    if (!f) return s;
    int16_t v;
    while (std::fread(&v, 2, 1, f) == 1) s.push_back(v);
    std::fclose(f);
    return s;
}
int main(int argc, char** argv) {
    if (argc < 3) return 2;
    std::vector<int16_t> file = Load(argv[1]), rec = Load(argv[2]);
    const size_t block = 1152;
    file.resize((file.size() + block - 1) / block * block, 0);  // the reader pads the last block
    const size_t period = file.size(), window = 4096, step = 16000;
    size_t start = 0;
    while (start < rec.size() && std::abs(rec[start]) < 300) ++start;
    start += 8000;
    size_t end = rec.size();  // the recording runs on in silence after the stop
    while (end > start && std::abs(rec[end - 1]) < 300) --end;
    if (start + window + 4 * step > end) { std::printf("too little music: %zu samples\n", end > start ? end - start : 0); return 1; }
    int good = 0, total = 0, exact = 0;
    long expected = -1;
    double worst = 1.0;
    auto corr = [&](size_t at, size_t lag) {
        double rr = 0, rf = 0, ff = 0;
        for (size_t i = 0; i < window; ++i) {
            const double r = rec[at + i], f = file[(lag + i) % period];
            rr += r * r;
            rf += r * f;
            ff += f * f;
        }
        return (rr > 0 && ff > 0) ? rf / std::sqrt(rr * ff) : 0.0;
    };
    for (size_t at = start; at + window <= end; at += step) {
        long best = expected;
        double bestCorr = expected >= 0 ? corr(at, size_t(expected)) : -2;
        if (bestCorr <= 0.99) {
            for (size_t lag = 0; lag < period; ++lag) {
                const double c = corr(at, lag);
                if (c > bestCorr) { bestCorr = c; best = long(lag); }
            }
        }
        ++total;
        bool same = true;
        for (size_t i = 0; i < window; ++i) same &= rec[at + i] == file[(best + i) % period];
        exact += same;
        const bool inStep = expected < 0 || best == expected;
        if ((bestCorr > 0.99 || same) && inStep) ++good;  // same: both silent, in the file's gap
        if (bestCorr < worst && !same) worst = bestCorr;
        std::printf("at %.2f s: file position %.4f s, correlation %.5f%s%s\n", at / 32000.0, best / 32000.0, bestCorr,
                    same ? " (bit-exact)" : "", inStep ? "" : " OUT OF STEP");
        expected = long((best + step) % period);
    }
    std::printf("%d of %d windows in step with correlation > 0.99, %d bit-exact, worst %.5f\n", good, total, exact, worst);
    return good == total ? 0 : 1;
}
CPP
g++ -O2 -o "$work/check" "$work/check.cpp" || fail "cannot build the checker"

start_xvfb 151
start_program "$work/run"
wait_for_startup "$work/run"

graph_shot() {  # the graph area of the window, as a PNG
  import -window "$wid" -crop 460x300+90+$((60 + menu)) +repage "$1"
  import -window "$wid" "${1%.png}-window.png"
}

# Playback marker, then Start: no file is loaded, so the file dialog opens.
parec -d speaker.monitor --format=s16le --rate=32000 --channels=1 --raw "$work/played.raw" &
rec_pid=$!
bg_pids=$rec_pid
click 348 457
click 439 457
dialog=$(find_window '^Load music')
[ -n "$dialog" ] || fail "no file dialog"
sleep 0.5
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
xdotool type --delay 20 "$work/music.wav"
sleep 0.3
xdotool key Return
for _ in $(seq 100); do
  [ -z "$(xdotool search --name '^Load music' 2>/dev/null || true)" ] && break
  sleep 0.1
done
[ -z "$(xdotool search --name '^Load music' 2>/dev/null || true)" ] || fail "the file dialog stayed open"
[ -z "$(xdotool search --name 'File IO Error' 2>/dev/null || true)" ] || fail "the program refused the file"

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
"$work/check" "$work/music.raw" "$work/played.raw" >"$work/check.log" || { cat "$work/check.log"; fail "the sound played is not the file"; }
tail -1 "$work/check.log"
grep -q "Failed\|Error" "$work/run/Sonotrap.Log" && { grep "Failed\|Error" "$work/run/Sonotrap.Log" | head; }
echo "ok: $((bytes / 64)) ms recorded from the sink; graph lit in $lit1 and $lit2 pixels, $changed changed"
