#!/bin/sh
# A record whose second line is 300 MB long: zorv-check --replay refuses it
# (exit 2, naming the line) having read no more of it than a line may hold,
# which the peak memory shows. The record is written as a stream into a
# temporary folder, never held in memory.
# Usage: long_line_test.sh ZORV-CHECK LIBRARY
set -eu
checker=$1 library=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
{
  printf '%s\n' '{"format":"zorv-trace","version":1,"library":"x","platform":"linux-x64"}'
  printf '%s' '{"seq":1,"phase":"call","fn":"ZORVcursor","args":{"statement":"'
  head -c 300000000 /dev/zero | tr '\0' x
  printf '%s\n' '"}}'
} >"$dir/long.jsonl"
status=0
/usr/bin/time -f '%M' -o "$dir/peak" "$checker" --replay "$dir/long.jsonl" "$library" \
  >"$dir/out" 2>"$dir/err" || status=$?
cat "$dir/out" "$dir/err"
[ "$status" -eq 2 ] || { echo "exit status $status, not 2"; exit 1; }
grep -q 'long.jsonl: line 2: the line is longer than 16777216 bytes' "$dir/err" ||
  { echo "standard error does not name line 2 as too long"; exit 1; }
peak=$(tail -n 1 "$dir/peak")
echo "peak resident memory: $peak KiB"
# 16 MiB for the line, its parse and the program: far below the 300 MB a
# whole line would take.
[ "$peak" -lt 131072 ] || { echo "peak memory $peak KiB, 128 MiB at most expected"; exit 1; }
