#!/usr/bin/env bash
# sonotrap-tool encode: frame count and layout, a clean decode by FFmpeg, and the errors.
set -euo pipefail
source "$(dirname "$0")/gui_common.bash" "${1:-build}" sonotrap-tool encode sox ffmpeg strace

# 1.5 s = 48000 samples: 42 frames (the last one padded with zeros) and two of silence.
sox -D -n -r 32000 -b 16 -c 1 "$work/tone.wav" synth 1.5 sine 1000 vol 0.5
"$program" encode "$work/tone.wav" "$work/tone.mp3" || fail "encode exit status $?"
[ "$(stat -c %s "$work/tone.mp3")" -eq $((44 * 288)) ] || fail "expected 44 frames of 288 bytes"
[ "$(head -c 4 "$work/tone.mp3" | od -An -tx1 | tr -d ' ')" = "fffb58c4" ] || fail "header bytes"
ffmpeg -hide_banner -nostats -v info -y -i "$work/tone.mp3" -f s16le "$work/tone.raw" 2>"$work/ffmpeg.log" ||
  fail "ffmpeg could not decode"
grep -v "Estimating duration from bitrate" "$work/ffmpeg.log" | grep -E "^\[mp3|overread|rror" && fail "ffmpeg complained"
[ "$(stat -c %s "$work/tone.raw")" -eq $((44 * 1152 * 2)) ] || fail "decoded length"

# Errors: a missing or unreadable input and an output that cannot be created exit with 2.
expect_status 2 "$program" encode "$work/none.wav" "$work/x.mp3"
grep -q "sonotrap-tool encode:" "$work/stderr" || fail "no message for a missing input"
printf 'not a wav file at all' >"$work/bad.wav"
expect_status 2 "$program" encode "$work/bad.wav" "$work/x.mp3"
expect_status 2 "$program" encode "$work/tone.wav" "$work/no/such/dir/x.mp3"
expect_status 2 "$program" encode "$work/tone.wav"
[ ! -w /dev/full ] || expect_status 1 "$program" encode "$work/tone.wav" /dev/full
# A file-size limit refuses the 15th frame halfway: nothing more is written after that.
rc=0
(trap '' XFSZ; ulimit -f 4; strace -qq -s 0 -e trace=write -e signal=none -o "$work/writes.txt" \
  "$program" encode "$work/tone.wav" "$work/limited.mp3" 2>/dev/null) || rc=$?
[ $rc -eq 1 ] || fail "a size-limited file gave $rc"
[ "$(stat -c %s "$work/limited.mp3")" -eq 4096 ] || fail "size-limited file length"
grep -q EFBIG "$work/writes.txt" || fail "no refused write seen"
sed -n '/EFBIG/,$p' "$work/writes.txt" | tail -n +2 | grep -q '^write(3,' && fail "writes after the refused one"
echo "encode_tool: ok"
