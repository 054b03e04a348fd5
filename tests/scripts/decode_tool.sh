#!/usr/bin/env bash
# sonotrap-tool decode: the 32 kHz mono stream that playback reads, and --native for MP3.
# $1: the build directory.
set -euo pipefail
source "$(dirname "$0")/gui_common.bash" "${1:-build}" sonotrap-tool decode sox lame ffmpeg
samples() { soxi -s "$1"; }
format() { echo "$(soxi -r "$1") $(soxi -c "$1") $(soxi -b "$1")"; }

# A mono 32 kHz WAV comes out sample for sample.
sox -D -n -r 32000 -b 16 -c 1 "$work/mono.wav" synth 0.77 sine 440 vol 0.5
"$program" decode "$work/mono.wav" "$work/mono.out.wav"
[ "$(format "$work/mono.out.wav")" = "32000 1 16" ] || fail "mono format"
cmp <(sox "$work/mono.wav" -t raw -) <(sox "$work/mono.out.wav" -t raw -) || fail "mono samples differ"

# Stereo 44.1 kHz: floor(frames x 32000 / 44100) samples of 32 kHz mono.
sox -D -n -r 44100 -b 16 -c 2 "$work/st44.wav" synth 0.5 sine 300 sine 900
"$program" decode "$work/st44.wav" "$work/st44.out.wav"
[ "$(format "$work/st44.out.wav")" = "32000 1 16" ] || fail "44.1 kHz format"
[ "$(samples "$work/st44.out.wav")" -eq $((22050 * 32000 / 44100)) ] || fail "44.1 kHz length"

# MP3 streams made by lame across rates, modes, CBR/VBR, CRC and tags: N frames give N - 1
# frames of audio, --native keeps the stream's rate and channels and decodes as FFmpeg does
# (it drops the encoder delay) within 1 LSB on nearly every sample.
while read -r rate channels options; do
  sox -D -n -r "$rate" -b 16 -c "$channels" "$work/l.wav" synth 1.5 sine 300-3000 sine 3100-200 vol 0.4
  # shellcheck disable=SC2086
  lame --quiet $options "$work/l.wav" "$work/l.mp3"
  "$program" decode --native "$work/l.mp3" "$work/l.out.wav"
  [ "$(format "$work/l.out.wav")" = "$rate $channels 16" ] || fail "lame $options: format"
  [ $(($(samples "$work/l.out.wav") % (rate < 32000 ? 576 : 1152))) -eq 0 ] || fail "lame $options: not whole frames"
  "$program" decode "$work/l.mp3" "$work/l.32k.wav"
  [ "$(samples "$work/l.32k.wav")" -eq $(($(samples "$work/l.out.wav") * 32000 / rate)) ] || fail "mp3 playback length"
  ffmpeg -nostdin -v quiet -y -i "$work/l.mp3" -f s16le "$work/ff.raw"
  sox "$work/l.out.wav" -t s16 "$work/ours.raw"
  python3 - "$work/ours.raw" "$work/ff.raw" "$channels" <<'PY' || fail "lame $options: output differs from FFmpeg"
import sys, array
a, b = (array.array('h', open(p, 'rb').read()) for p in sys.argv[1:3])
best = min(range(0, 8000, int(sys.argv[3])), key=lambda o: sum(abs(a[o + i] - b[i]) for i in range(len(b) // 3, len(b) // 3 + 2000)))
n = min(len(a) - best, len(b))
sys.exit(0 if n > len(b) * 0.8 and sum(abs(a[best + i] - b[i]) > 1 for i in range(n)) <= n // 1000 else 1)
PY
done <<CASES
44100 2 -b 128 --nores
48000 2 -V 2 -m j
44100 2 -b 160 -m j -p --add-id3v2 --tt Title --ta Artist
32000 1 -b 64 -m m
22050 2 -V 4 -m j
16000 1 -b 32 -m m --id3v1-only --tt Title
CASES

# 6.88 kHz in a 24 kHz stream sits on lines 330 and 331, where long band 17 ends (some decoders
# end it at 330): held against its source, not against FFmpeg. The level rises throughout, so
# no shift by whole periods can pass for the tone.
sox -D -n -r 24000 -b 16 -c 1 "$work/t.wav" synth 2 sine 6880 vol 0.5 fade q 2
lame --quiet -V 2 -m m "$work/t.wav" "$work/t.mp3"
"$program" decode --native "$work/t.mp3" "$work/t.out.wav"
python3 - "$work/t.wav" "$work/t.out.wav" <<'PY' || fail "24 kHz tone on the edge of band 17"
import sys, array, math, subprocess
src, out = (array.array('h', subprocess.run(['sox', p, '-t', 's16', '-'], capture_output=True).stdout) for p in sys.argv[1:3])
lag = min(range(3000), key=lambda o: sum(abs(out[o + i] - src[i]) for i in range(30000, 30400)))
pairs = [(src[i], out[lag + i]) for i in range(12000, min(len(src), len(out) - lag) - 1200)]
snr = 10 * math.log10(sum(s * s for s, _ in pairs) / max(1, sum((o - s) ** 2 for s, o in pairs)))
print(f"24 kHz tone: SNR {snr:.1f} dB against its source")
sys.exit(0 if snr > 30 else 1)
PY

# The vector loops chosen at run time give the portable loops' bytes: a processor without AVX2
# decodes joint stereo with short blocks (noise bursts in tones) to the same file.
if command -v qemu-x86_64 >/dev/null; then
  sox -D -n -r 44100 -b 16 -c 2 "$work/b.wav" synth 0.03 whitenoise vol 0.5 pad 0.2 0.27 repeat 5
  sox -D -m "$work/b.wav" "|sox -n -r 44100 -c 2 -p synth 3 sine 300-3000 sine 990 vol 0.3" "$work/s.wav"
  lame --quiet -b 128 -m j "$work/s.wav" "$work/s.mp3"
  "$program" decode --native "$work/s.mp3" "$work/native.wav"
  timeout 300 qemu-x86_64 -cpu Westmere "$program" decode --native "$work/s.mp3" "$work/westmere.wav" ||
    fail "decode under qemu-x86_64 -cpu Westmere: status $?"
  cmp -s "$work/native.wav" "$work/westmere.wav" || fail "Westmere decode differs from the native one"
fi

# Bad input: one line on stderr, status 2.
printf 'not audio at all' >"$work/text.mp3"
sox -D -n -r 32000 -b 8 -c 1 "$work/eight.wav" synth 0.1 sine 440
for args in "$work/text.mp3 $work/x.wav" "$work/missing.wav $work/x.wav" "$work/eight.wav $work/x.wav" \
            "--native $work/mono.wav $work/x.wav" "$work/mono.wav $work/no/such/dir/x.wav"; do
  # shellcheck disable=SC2086
  expect_status 2 "$program" decode $args
done
echo "decode tool: all checks passed"
