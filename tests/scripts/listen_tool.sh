#!/usr/bin/env bash
# sonotrap-tool listen on a headless PulseAudio source of tone bursts: bad options exit 2; the
# device list shows the source; SIGTERM mid-group finishes a clean file with one CSV row per
# group; a WAV run with --duration appends to the table; a lost sound server is reported.
set -euo pipefail
source "$(dirname "$0")/gui_common.bash" "${1:-build}" sonotrap-tool listen pulseaudio pactl pacat sox ffprobe
start_pulse mic
# The virtual source as an ALSA device of its own name, so PortAudio lists it.
printf 'pcm.!default { type pulse }\nctl.!default { type pulse }\npcm.virtmic { type pulse\n device virtmic }\n' \
  >"$work/asound.conf"
export ALSA_CONFIG_PATH=$work/asound.conf
header=start,file,offset_s,duration_s,triggering_blocks,peak_hz,peak_db

# Bad options: exit 2, one line, nothing created.
touch "$work/plain"
while read -r args; do
  extra=()
  [[ $args == *--out* ]] || extra+=(--out "$work/bad")
  [[ $args == *--events* ]] || extra+=(--events "$work/bad.csv")
  # shellcheck disable=SC2086
  expect_status 2 "$program" listen "${extra[@]}" $args
  [ ! -e "$work/bad" ] && [ ! -e "$work/bad.csv" ] && [ ! -e "$work/none" ] || fail "listen $args created files"
done <<EOF
--threshold 2
--threshold 91
--min-freq 500 --max-freq 500
--max-freq 1000000
--format ogg
--size-limit maybe
--duration 0
--device no-such-input
--device 99
--events $work/none/e.csv
--out $work/plain
EOF

$program listen --list-devices | grep -E '^ +[0-9]+ +virtmic +ALSA +[0-9]+ Hz' >/dev/null || fail "no virtmic in the device list"

bursts "$work/bursts.wav" 60 1.7 0.3  # a loud 1 kHz burst every 2 s in faint noise
feed_mic "$work/bursts.wav"

log=$work/run/Sonotrap.Log
# True while a group is open: the last peak record comes after the last end of group.
in_group() { awk '/^Date\/time captured/ {p = NR} /^End contiguous/ {e = NR} END {exit !(p > e)}' "$log" 2>/dev/null; }
wait_exit() {  # PID: waits up to 10 s for it to end; its exit status in $rc
  wait_for 10 "listen did not stop" gone "$1"
  rc=0
  wait "$1" || rc=$?
}

$program listen --device virtmic --out "$work/run" --events "$work/events.csv" >"$work/out1" 2>"$work/err1" &
pid=$!; bg_pids="$bg_pids $pid"
wait_for 60 "fewer than three groups ended" has_groups 3 "$log"
wait_for 10 "no group open after three" in_group
kill -TERM "$pid"
wait_exit "$pid"
[ "$rc" = 0 ] || fail "SIGTERM: exit not 0: $(cat "$work/err1")"
finished=$(ended_groups "$log")
grep -q "Shutting down logging system" "$log" || fail "no log footer"

# Rows: one per group (the last cut short), offsets back to back in each file, lengths adding
# up to the file's; the same groups on stdout.
[ "$(head -1 "$work/events.csv")" = "$header" ] || fail "header: $(head -1 "$work/events.csv")"
rows=$(($(wc -l <"$work/events.csv") - 1))
[ "$rows" = $((finished + 1)) ] || fail "$rows rows for $finished finished groups + 1 cut"
[ "$(wc -l <"$work/out1")" = "$rows" ] || fail "stdout: $(cat "$work/out1")"
grep -q 'cut short' <(tail -1 "$work/out1") || fail "last stdout line not the cut group"
check_rows() {  # CSV: rows match the files named in them; prints the files
  tail -n +2 "$1" | awk -F, '
    $1 !~ /^20[0-9][0-9]-[01][0-9]-[0-3][0-9]T[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\.[0-9][0-9][0-9]$/ {print "bad start " $1; exit 1}
    {if ($3 + 0 != sum[$2] + 0) {print "offset " $3 " not " sum[$2] " in " $2; exit 1}
     if ($5 < 1 || $6 < 900 || $6 > 1100 || $7 < -60) {print "odd row " $0; exit 1}
     sum[$2] += $4}
    END {for (f in sum) print f, sum[f]}' || fail "rows: $(cat "$1")"
}
while read -r f seconds; do
  warn=$(ffprobe -v warning -i "$f" 2>&1 | grep -v "Estimating duration from bitrate" || true)
  [ -z "$warn" ] || fail "ffprobe $f: $warn"
  d=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$f")
  awk -v d="$d" -v s="$seconds" 'BEGIN {exit !(d - s < 0.2 && s - d < 0.2)}' || fail "$f: $d s, rows say $s"
done < <(check_rows "$work/events.csv")

# WAV, stopped by --duration, appending to the same table: the header stays single; each WAV
# holds exactly the blocks its rows name.
$program listen --format wav --duration 6 --out "$work/run2" --events "$work/events.csv" >"$work/out2" 2>&1 ||
  fail "--duration run: $(cat "$work/out2")"
[ "$(grep -c "^$header\$" "$work/events.csv")" = 1 ] || fail "header written twice"
grep -q '\.wav,' "$work/events.csv" || fail "no WAV group in 6 s"
while read -r f seconds; do
  case $f in *.wav) ;; *) continue ;; esac
  bytes=$(od -An -tu4 -j52 -N4 "$f" | tr -d ' ')
  [ "$bytes" = "$(awk -v s="$seconds" 'BEGIN {printf "%d", s * 64000 + 0.5}')" ] || fail "$f: $bytes data bytes, $seconds s"
done < <(check_rows "$work/events.csv")

# The sound server goes away mid-run: one line on stderr, exit not 0, the file finished.
$program listen --format wav --out "$work/run3" >/dev/null 2>"$work/err3" &
pid=$!; bg_pids="$bg_pids $pid"
wait_for 10 "no recording started" eval 'ls "$work/run3"/*.wav >/dev/null 2>&1'
kill "$pulse_pid"
wait_exit "$pid"
[ "$rc" != 0 ] && [ "$(wc -l <"$work/err3")" = 1 ] || fail "device lost: exit $rc, stderr: $(cat "$work/err3")"
for f in "$work/run3"/*.wav; do
  [ "$(od -An -tu4 -j44 -N4 "$f" | tr -d ' ')" != 4294967295 ] || fail "$f not finished"
done
echo "ok: $rows groups (the last cut by SIGTERM) in $(ls "$work/run" | grep -c mp3) MP3 file(s), WAV run appended, device loss reported"
