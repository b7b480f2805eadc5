#!/usr/bin/env bash
# Throughput of x17b2pavo-batch against one x17b2pavo process per scan, the way the README drives
# x17b2pavo for many scans (find -print0 | xargs -0 -P, the names as arguments, blank replies),
# and what waiting for the disk costs the batch (its default) against --no-sync.
# In each folder of FOLDERS (default: /tmp, on the machine's disk, and /dev/shm, in memory),
# converts SCANS scans of N = 1000 channels the three ways, ROUNDS times alternately, each round
# after a sync (so that one round's write-back does not land on the next); checks that all give
# the same bytes; prints the median time of each, the throughput ratios, and the peak memory of
# the batch program for SCANS and for 10000 scans.
#
#   cmake -S . -B build && cmake --build build -j2
#   bench/batch_bench.sh [build-dir] [scans] [rounds]
#   FOLDERS="/tmp" bench/batch_bench.sh build 400 7
#
# Needs bash 5 (EPOCHREALTIME), awk and /usr/bin/time (package time).
set -euo pipefail

build=${1:-build}
scans=${2:-400}
rounds=${3:-5}
folders=${FOLDERS:-/tmp /dev/shm}
batch=$(realpath "$build/x17b2pavo-batch")
single=$(realpath "$build/x17b2pavo")
for tool in "$batch" "$single" /usr/bin/time; do
  [[ -x $tool ]] || { echo "missing: $tool" >&2; exit 2; }
done

source "$(dirname "${BASH_SOURCE[0]}")/bench_scans.sh"

make_scans() {
  mkdir scans
  for ((i = 0; i < 20; ++i)); do make_scan 1000 "$i" > "scans/scan$i.dat"; done
  for ((i = 20; i < scans; ++i)); do cp "scans/scan$((i % 20)).dat" "scans/scan$i.dat"; done
}

run_batch() {
  rm -rf out-batch && mkdir out-batch
  "$batch" -j 2 -q -o out-batch scans/*.dat
}

run_batch_no_sync() {
  rm -rf out-no-sync && mkdir out-no-sync
  "$batch" --no-sync -j 2 -q -o out-no-sync scans/*.dat
}

run_single() {
  rm -rf out-single && mkdir out-single
  find scans -name '*.dat' -print0 |
    xargs -0 -n 1 -P 2 sh -c 'n=${1##*/}; printf "\n\n" | "$0" "$1" "out-single/${n%.dat}.pavo" >/dev/null' "$single"
}

# Microseconds of one call of function $1, after a sync.
time_call() {
  local start end
  sync
  start=$EPOCHREALTIME
  "$1"
  end=$EPOCHREALTIME
  echo $(( ${end/./} - ${start/./} ))
}

# One folder: the three ways, alternately; then the peak memory.
bench_in() {
  local work times_batch=() times_no_sync=() times_single=()
  work=$(mktemp -d "$1/x17b-bench.XXXXXX")
  (
    cd "$work"
    make_scans
    for ((round = 0; round < rounds; ++round)); do
      times_batch+=("$(time_call run_batch)")
      times_no_sync+=("$(time_call run_batch_no_sync)")
      times_single+=("$(time_call run_single)")
    done
    diff -r out-batch out-single >/dev/null && diff -r out-batch out-no-sync >/dev/null ||
      { echo "outputs differ" >&2; exit 1; }
    [[ $(ls out-batch | wc -l) -eq $scans ]] || { echo "missing outputs" >&2; exit 1; }
    local batch_us no_sync_us single_us
    batch_us=$(printf '%s\n' "${times_batch[@]}" | median)
    no_sync_us=$(printf '%s\n' "${times_no_sync[@]}" | median)
    single_us=$(printf '%s\n' "${times_single[@]}" | median)
    echo "in $1 ($(df --output=fstype "$1" | tail -n 1)), $scans scans of N = 1000, median of $rounds rounds:"
    awk -v b="$batch_us" -v n="$no_sync_us" -v s="$single_us" -v k="$scans" 'BEGIN {
      printf "  x17b2pavo-batch -j 2:            %8.1f ms  (%.0f scans/s)\n", b / 1000, k * 1e6 / b
      printf "  x17b2pavo-batch -j 2 --no-sync:  %8.1f ms  (%.0f scans/s)\n", n / 1000, k * 1e6 / n
      printf "  x17b2pavo per scan, xargs -P 2:  %8.1f ms  (%.0f scans/s)\n", s / 1000, k * 1e6 / s
      printf "  throughput ratio over x17b2pavo per scan: %.1f (--no-sync: %.1f)\n", s / b, s / n
      printf "  throughput kept with the syncs: %.0f %%\n", 100 * n / b
    }'
    peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }
    rm -rf out-batch && mkdir out-batch
    local peak_small peak_many
    peak_small=$(peak_kib "$batch" -j 2 -q -o out-batch scans/*.dat)
    mkdir many
    for ((i = 0; i < 10000; ++i)); do ln "scans/scan$((i % scans)).dat" "many/m$i.dat"; done
    rm -rf out-batch && mkdir out-batch
    peak_many=$(cd many && peak_kib "$batch" -j 2 -q -o ../out-batch ./*.dat)
    echo "  peak memory of the largest process: $peak_small KiB for $scans scans, $peak_many KiB for 10000 scans"
  )
  rm -rf "$work"
}

echo "machine: $(nproc) processors, $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)"
for folder in $folders; do bench_in "$folder"; done
