#!/usr/bin/env bash
# sonotrap-tool scan from the outside: the summary, the recordings named from --start, the
# log in --out, and the answers to bad input.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
tool="$build/sonotrap-tool"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }

# 4 s of faint noise, a 0.3 s burst, 4 s of noise, a burst, 4 s of noise.
sox -n -r 32000 -c 1 -b 16 noise.wav synth 4 whitenoise vol 0.002
sox -n -r 32000 -c 1 -b 16 tone.wav synth 0.3 sine 2000 vol 0.3
sox noise.wav tone.wav noise.wav tone.wav noise.wav input.wav

"$tool" scan input.wav --out out --format wav --threshold 40 --start 2026-03-14T15:26:07 >summary.txt
grep -q "^Groups: 2$" summary.txt || fail "two groups expected: $(cat summary.txt)"
grep -q "^Files: 1$" summary.txt || fail "one file expected"
f=$(ls out/*.wav)
# The first group starts a little before the first burst at 4 s: 15:26:10 or 15:26:11.
case "$(basename "$f")" in 031415261[01].wav) ;; *) fail "file name $(basename "$f")" ;; esac
grep -q "^Date/time captured: 03/14 15:26:1" out/Sonotrap.Log || fail "peak records"
[ "$(grep -c "End contiguous samples group." out/Sonotrap.Log)" -eq 2 ] || fail "end-of-group lines"
kept=$(awk '/^Seconds kept:/ {print $3}' summary.txt)
seconds=$(soxi -D "$f")
awk -v a="$kept" -v b="$seconds" 'BEGIN { exit !(a - b < 0.001 && b - a < 0.001) }' || fail "kept $kept s, file $seconds s"

# With the burst outside the trigger band nothing is kept.
"$tool" scan input.wav --out band --format wav --threshold 40 --min-freq 3000 --max-freq 8000 >band.txt
grep -q "^Files: 0$" band.txt || fail "a burst outside the band was recorded"

# MP3 by default; a second scan into the same place never replaces the first recording.
"$tool" scan input.wav --out mp3 --threshold 40 --start 2026-03-14T15:26:07 >/dev/null
"$tool" scan input.wav --out mp3 --threshold 40 --start 2026-03-14T15:26:07 >/dev/null
[ "$(ls mp3/*.mp3 | wc -l)" -eq 2 ] || fail "expected the second scan's file beside the first"
ls mp3/*-2.mp3 >/dev/null || fail "no -2 name"

status=0; "$tool" scan missing.wav >/dev/null 2>err.txt || status=$?
[ "$status" -eq 2 ] && [ "$(wc -l <err.txt)" -eq 1 ] || fail "missing file: status $status"
status=0; "$tool" scan input.wav --start yesterday >/dev/null 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "bad --start: status $status"
status=0; "$tool" scan input.wav --min-freq 500 --max-freq 500 >/dev/null 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "empty band: status $status"

# An archive: files in parallel give what one at a time gives, and so do three shards together;
# the unreadable file is named on stderr, skipped, and makes the exit status 1.
mkdir -p arch/a arch/b/c
cp input.wav arch/a/one.wav
lame --quiet input.wav arch/b/two.mp3
sox tone.wav noise.wav arch/b/c/three.wav
echo "not audio" >arch/b/bad.wav
scan_arch() { local status=0; "$tool" scan arch --format wav --threshold 40 --start 2026-03-14T15:26:07 "$@" \
  2>>arch-err.txt | sed 's#^\(  \).*/out-[^/]*/#\1#' || status=$?; echo "status $status"; }
listing() { (cd "$1" && find . -type f ! -name Sonotrap.Log | sort | xargs md5sum); }
scan_arch --out out-1 --jobs 1 --events ev1.csv >jobs1.txt
scan_arch --out out-2 --jobs 2 --events ev2.csv >jobs2.txt
cmp jobs1.txt jobs2.txt || fail "--jobs 2 summary differs: $(diff jobs1.txt jobs2.txt)"
[ "$(sed 's#/out-1/#/#' ev1.csv)" = "$(sed 's#/out-2/#/#' ev2.csv)" ] || fail "--jobs 2 events differ"
head -1 ev1.csv | grep -q "^input,start," && grep -q "^arch/b/two.mp3,2026-03-14T15:26:1" ev1.csv \
  || fail "events table: $(cat ev1.csv)"
grep -q "^Files: 3$" jobs1.txt && grep -q "^status 1$" jobs1.txt || fail "archive: $(cat jobs1.txt)"
[ "$(grep -c "bad.wav" arch-err.txt)" -eq 2 ] || fail "unreadable input not reported once per run"
[ -f out-1/b/two/Sonotrap.Log ] && [ -d out-1/b/c/three ] || fail "per-input directories: $(find out-1)"
for k in 1 2 3; do scan_arch --out out-s --shard "$k/3" >/dev/null; done
for d in out-2 out-s; do
  [ "$(listing out-1)" = "$(listing "$d")" ] || fail "$d differs from --jobs 1: $(diff <(listing out-1) <(listing "$d"))"
done

# A full disk: one line naming the recording and the error, exit status 1, and what was written
# before stays a readable file.
if mkdir full && mount -t tmpfs -o size=400k tmpfs full 2>/dev/null; then
  trap 'umount "$work/full"; rm -rf "$work"' EXIT
  sox input.wav input.wav input.wav input.wav long.wav  # eight groups, about 530 kB
  status=0; "$tool" scan long.wav --out full --format wav --threshold 40 --size-limit off \
    >/dev/null 2>full-err.txt || status=$?
  [ "$status" -eq 1 ] && [ "$(wc -l <full-err.txt)" -eq 1 ] || fail "full disk: status $status, $(cat full-err.txt)"
  grep -q "full/.*\.wav: No space left on device" full-err.txt || fail "full disk message: $(cat full-err.txt)"
  f=$(ls full/*.wav | head -1)
  sox "$f" -n stat 2>&1 | grep -qiE "warn|fail" && fail "the recording on the full disk is not readable"
else
  echo "skip: full disk (needs root to mount a small tmpfs)"
fi
echo "ok: scan summary, names, band, no overwrite, errors, archive jobs and shards, full disk"
