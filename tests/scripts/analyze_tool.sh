#!/usr/bin/env bash
# sonotrap-tool analyze on signals made by sox: CSV layout, readings, table form and errors.
# $1: the build directory.
set -euo pipefail
source "$(dirname "$0")/gui_common.bash" "${1:-build}" sonotrap-tool analyze sox
row() { "$program" analyze "$@" | sed -n 11p; }  # block 9

# One second of a 1000 Hz tone at half scale, then one second of digital silence.
sox -D -n -r 32000 -b 16 -c 1 "$work/tone.wav" synth 1 sine 1000 vol 0.5 pad 0 1
"$program" analyze "$work/tone.wav" --csv >"$work/out.csv"
[ "$(head -n 1 "$work/out.csv")" = "block,seconds,peak_hz,peak_db,level_db,notes" ] || fail "csv header"
[ "$(wc -l <"$work/out.csv")" -eq 29 ] || fail "expected 28 blocks for 64000 samples"
# Block 9 (0.648 s) lies wholly in the tone: 1000 Hz sits on a bin centre, half scale reads
# 6.02 dB below the full-scale -1.51 dB, and the sample level is 90.31 dB above the floor.
[ "$(sed -n 11p "$work/out.csv")" = "9,0.648,1000.000,-7.53,90.31,-" ] || fail "steady tone row"
[ "$(tail -1 "$work/out.csv")" = "27,1.944,0.000,-96.33,0.00,-" ] || fail "silent row"
# Block 0 sees only 256 samples of tone at the end of its window.
case "$(sed -n 2p "$work/out.csv")" in 0,0.000,999.99*,-45.*) ;; *) fail "first row" ;; esac

# A caller's band around the tone reports the same peak; a band beside it only the floor.
[ "$(row "$work/tone.wav" --csv --band 900 1100)" = "9,0.648,1000.000,-7.53,90.31,-" ] || fail "band 900-1100"
beside=$(row "$work/tone.wav" --csv --band 2000 3000)
awk -F, '{ exit !($3 >= 2000 && $3 <= 3000 && $4 == "-96.33") }' <<<"$beside" || fail "band beside the tone: $beside"
# Averaging over 4 blocks lags the rise of the tone; normalize then tops the spectrum at 0 dB.
[ "$(row "$work/tone.wav" --csv --depth 4 --normalize)" = "9,0.648,1000.000,-0.00,90.31,-" ] || fail "depth 4 normalized"

# The table form: a header line and one aligned line per block.
"$program" analyze "$work/tone.wav" >"$work/out.txt"
head -n 1 "$work/out.txt" | grep -q '^ *block *seconds *peak Hz *peak dB *level dB *notes$' || fail "table header"
[ "$(wc -l <"$work/out.txt")" -eq 29 ] || fail "table rows"
[ "$(sed -n 11p "$work/out.txt" | tr -s ' ' | sed 's/^ //')" = "9 0.648 1000.000 -7.53 90.31 -" ] || fail "table row"

# A note: 440 Hz names A4.
sox -D -n -r 32000 -b 16 -c 1 "$work/a4.wav" synth 1 sine 440 vol 0.5
[ "$(row "$work/a4.wav" --csv | cut -d, -f3,6)" = "440.007,A4" ] || fail "A4"

# Unsupported or unreadable input: one line on stderr, nothing on stdout, status 2.
sox -D -n -r 32000 -b 8 -c 1 "$work/eightbit.wav" synth 0.5 sine 440
printf 'not audio at all' >"$work/text.wav"
for f in "$work/eightbit.wav" "$work/text.wav" "$work/missing.wav"; do
  expect_status 2 "$program" analyze "$f" --csv
  [ ! -s "$work/stdout" ] || fail "stdout written for $f"
done
expect_status 2 "$program" analyze "$work/tone.wav" --depth 17
"$program" analyze --help | grep -q -- '--band' || fail "help"

# A processor without AVX2 takes the portable transform loops: the same CSV, byte for byte,
# as the native run (noise with a tone, then silence: peaks and notes all over the spectrum).
if [ "$(uname -m)" = x86_64 ]; then
  need_tools qemu-x86_64
  sox -D -n -r 32000 -b 16 -c 1 "$work/mix.wav" synth 1.2 whitenoise vol 0.3 synth 1.2 sine mix 3217 pad 0 0.3
  "$program" analyze "$work/mix.wav" --csv >"$work/native.csv"
  timeout 300 qemu-x86_64 -cpu Westmere "$program" analyze "$work/mix.wav" --csv >"$work/westmere.csv" ||
    fail "analyze under qemu-x86_64 -cpu Westmere: status $?"
  cmp -s "$work/native.csv" "$work/westmere.csv" || fail "Westmere CSV differs from the native one"
fi
echo "analyze tool: all checks passed"
