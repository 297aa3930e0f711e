#!/usr/bin/env bash
# Start-up of the real console to its first shown window under Xvfb: wall
# time from exec to the window being mapped, and the process's peak resident
# memory (VmHWM) at that moment. Usage: bench/startup.sh [runs] (default 20).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
console="$root/build/bin/zorv-console"
runs="${1:-20}"

fifo=$(mktemp -u); mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fifo" 2>/dev/null &
xvfb=$!
read -r number < "$fifo"; rm -f "$fifo"
trap 'kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=":$number"

times=(); peaks=()
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  "$console" 2>/dev/null &
  pid=$!
  until xdotool search --onlyvisible --pid "$pid" --name "Velmo Test" >/dev/null 2>&1; do
    sleep 0.005
  done
  end=$(date +%s%N)
  peaks+=("$(awk '/VmHWM/ {print $2}' /proc/$pid/status)")
  kill "$pid"; wait "$pid" 2>/dev/null || true
  times+=("$(( (end - start) / 1000000 ))")
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
echo "runs: $runs"
echo "start-up to first shown window: median $(median "${times[@]}") ms (all: ${times[*]})"
echo "peak resident memory at that point: median $(median "${peaks[@]}") KiB"
