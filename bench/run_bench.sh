#!/usr/bin/env bash
# Whole-process benchmark of x17b2pavo against bench/minimal_convert, the least a converter must
# do (the scan read in 1024-byte reads, each 82-byte record written as soon as it is complete).
# Generates scans of N = 1000 and 9999, runs both programs many times interleaved, and prints the
# median wall time, the ratio, the peak memory and the system calls of one run.
#
#   cmake -S . -B build -DX17B_BENCH=ON && cmake --build build -j2
#   bench/run_bench.sh [build-dir] [runs]
#
# Needs bash 5 (EPOCHREALTIME), /usr/bin/time (package time) and strace (package strace).
set -euo pipefail

build=${1:-build}
runs=${2:-201}
converter=$(realpath "$build/x17b2pavo")
minimal=$(realpath "$build/bench/minimal_convert")
for tool in "$converter" "$minimal" /usr/bin/time; do
  [[ -x $tool ]] || { echo "missing: $tool (configure with -DX17B_BENCH=ON and build)" >&2; exit 2; }
done
command -v strace >/dev/null || { echo "missing: strace (apt-get install strace)" >&2; exit 2; }

source "$(dirname "${BASH_SOURCE[0]}")/bench_scans.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Microseconds of one run of program $1 with the replies in file $2 (no pipeline, no subshell).
time_run() {
  local start end
  start=$EPOCHREALTIME
  "$1" < "$2" > /dev/null
  end=$EPOCHREALTIME
  echo $(( ${end/./} - ${start/./} ))
}

# strace -c rows: % time, seconds, usecs/call, calls, [errors], syscall; the last row is the total.
total_calls() { awk '$NF == "total" { print $4 }' "$1"; }
calls_by_kind() {
  awk 'NR > 2 && $NF != "total" && $1 !~ /^-/ { printf "    %-18s %s\n", $NF, $4 }' "$1"
}

echo "x17b2pavo whole-process benchmark: $runs interleaved runs per program and size"
echo "converter: $converter"
echo "minimal:   $minimal"
echo
for n in 1000 9999; do
  make_scan "$n" > "scan$n.dat"
  printf 'scan%s.dat conv%s.pavo\n' "$n" "$n" > "conv$n.names"
  printf 'scan%s.dat min%s.pavo\n' "$n" "$n" > "min$n.names"
  "$converter" < "conv$n.names" > /dev/null
  "$minimal" < "min$n.names" > /dev/null
  if ! cmp -s "conv$n.pavo" "min$n.pavo"; then
    echo "N = $n: the two programs wrote different files; the comparison is void" >&2
    exit 1
  fi
  : > "conv$n.us"
  : > "min$n.us"
  for ((i = 0; i < runs; i++)); do
    time_run "$converter" "conv$n.names" >> "conv$n.us"
    time_run "$minimal" "min$n.names" >> "min$n.us"
  done
  conv_us=$(median < "conv$n.us")
  min_us=$(median < "min$n.us")
  conv_kb=$(for i in 1 2 3 4 5; do
    /usr/bin/time -f %M "$converter" < "conv$n.names" 2>&1 >/dev/null
  done | median)
  min_kb=$(for i in 1 2 3 4 5; do
    /usr/bin/time -f %M "$minimal" < "min$n.names" 2>&1 >/dev/null
  done | median)
  strace -f -c -o conv.strace "$converter" < "conv$n.names" > /dev/null
  strace -f -c -o min.strace "$minimal" < "min$n.names" > /dev/null
  conv_calls=$(total_calls conv.strace)
  min_calls=$(total_calls min.strace)
  echo "N = $n ($(wc -c < "scan$n.dat") bytes of scan, $(wc -c < "conv$n.pavo") bytes written)"
  ratio=$(awk -v a="$conv_us" -v b="$min_us" 'BEGIN { printf "%.2f", a / b }')
  verdict() { if [[ $1 == 1 ]]; then echo "goal met"; else echo "goal NOT met"; fi; }
  printf '  median wall time: x17b2pavo %d us, minimal %d us, ratio %s (goal 1.3, aim 1.1): %s\n' \
    "$conv_us" "$min_us" "$ratio" "$(verdict "$(awk -v r="$ratio" 'BEGIN { print r <= 1.3 }')")"
  printf '  peak memory (max RSS): x17b2pavo %d KiB, minimal %d KiB (goal under 4096 KiB): %s\n' \
    "$conv_kb" "$min_kb" "$(verdict $((conv_kb < 4096)))"
  printf '  system calls of one run: x17b2pavo %s, minimal %s (goal no more): %s\n' \
    "$conv_calls" "$min_calls" "$(verdict $((conv_calls <= min_calls)))"
  echo "  x17b2pavo system calls by kind:"
  calls_by_kind conv.strace
  echo "  minimal system calls by kind:"
  calls_by_kind min.strace
  echo
done
