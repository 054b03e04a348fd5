#!/usr/bin/env bash
# sonotrap-tool scan: summary, recordings named from --start, log, bad input, an archive
# scanned in parallel or in shards, and a full disk. $1: the build directory.
set -euo pipefail
source "$(dirname "$0")/gui_common.bash" "${1:-build}" sonotrap-tool scan sox soxi lame
cd "$work"
start=(--start 2026-03-14T15:26:07)

# 4 s of faint noise, a 0.3 s burst at 2 kHz, twice, then 4 s of noise.
bursts bursts.wav 2 4 0.3 2000
sox bursts.wav noise.wav input.wav
"$program" scan input.wav --out out --format wav --threshold 40 "${start[@]}" >summary.txt
grep -q "^Groups: 2$" summary.txt && grep -q "^Files: 1$" summary.txt || fail "summary: $(cat summary.txt)"
f=$(ls out/*.wav)
# The first group starts a little before the first burst at 4 s: 15:26:10 or 15:26:11.
case "$(basename "$f")" in 031415261[01].wav) ;; *) fail "file name $(basename "$f")" ;; esac
grep -q "^Date/time captured: 03/14 15:26:1" out/Sonotrap.Log || fail "peak records"
[ "$(grep -c "End contiguous samples group." out/Sonotrap.Log)" -eq 2 ] || fail "end-of-group lines"
kept=$(awk '/^Seconds kept:/ {print $3}' summary.txt)
awk -v a="$kept" -v b="$(soxi -D "$f")" 'BEGIN { exit !(a - b < 0.001 && b - a < 0.001) }' || fail "kept $kept s"

# With the burst outside the trigger band nothing is kept.
"$program" scan input.wav --out band --format wav --threshold 40 --min-freq 3000 --max-freq 8000 >band.txt
grep -q "^Files: 0$" band.txt || fail "a burst outside the band was recorded"

# MP3 by default; a second scan into the same place never replaces the first recording.
for _ in 1 2; do "$program" scan input.wav --out mp3 --threshold 40 "${start[@]}" >/dev/null; done
[ "$(ls mp3/*.mp3 | wc -l)" -eq 2 ] && ls mp3/*-2.mp3 >/dev/null || fail "the second scan's file: $(ls mp3)"

expect_status 2 "$program" scan missing.wav
expect_status 2 "$program" scan input.wav --start yesterday
expect_status 2 "$program" scan input.wav --min-freq 500 --max-freq 500

# An archive: files in parallel give what one at a time gives, and so do three shards together;
# the unreadable file is named on stderr, skipped, and makes the exit status 1.
mkdir -p arch/a arch/b/c
cp input.wav arch/a/one.wav
lame --quiet input.wav arch/b/two.mp3
sox tone.wav noise.wav arch/b/c/three.wav
echo "not audio" >arch/b/bad.wav
scan_arch() { local status=0; "$program" scan arch --format wav --threshold 40 "${start[@]}" "$@" \
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
  trap 'umount "$work/full"; gui_cleanup' EXIT
  sox input.wav input.wav input.wav input.wav long.wav  # eight groups, about 530 kB
  expect_status 1 "$program" scan long.wav --out full --format wav --threshold 40 --size-limit off
  [ "$(wc -l <stderr)" -eq 1 ] && grep -q "full/.*\.wav: No space left on device" stderr || fail "full disk: $(cat stderr)"
  sox "$(ls full/*.wav | head -1)" -n stat 2>&1 | grep -qiE "warn|fail" && fail "the recording on the full disk is not readable"
else
  echo "skip: full disk (needs root to mount a small tmpfs)"
fi
echo "ok: scan summary, names, band, no overwrite, errors, archive jobs and shards, full disk"
