#!/usr/bin/env bash
# Throughput of x17b2pavo-batch against one x17b2pavo process per scan, the way the README drives
# x17b2pavo for many scans (find -print0 | xargs -0 -P, the names as arguments, blank replies).
# Converts SCANS scans of N = 1000 channels both ways, ROUNDS times alternately, checks that both
# give the same bytes, and prints the median time of each, the throughput ratio and the peak
# memory of the batch program for SCANS and for 10000 scans.
#
#   cmake -S . -B build && cmake --build build -j2
#   bench/batch_bench.sh [build-dir] [scans] [rounds]
#
# Needs bash 5 (EPOCHREALTIME) and /usr/bin/time (package time).
set -euo pipefail

build=${1:-build}
scans=${2:-400}
rounds=${3:-5}
batch=$(realpath "$build/x17b2pavo-batch")
single=$(realpath "$build/x17b2pavo")
for tool in "$batch" "$single" /usr/bin/time; do
  [[ -x $tool ]] || { echo "missing: $tool" >&2; exit 2; }
done

source "$(dirname "${BASH_SOURCE[0]}")/bench_scans.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

mkdir scans
for ((i = 0; i < 20; ++i)); do make_scan 1000 "$i" > "scans/scan$i.dat"; done
for ((i = 20; i < scans; ++i)); do cp "scans/scan$((i % 20)).dat" "scans/scan$i.dat"; done

run_batch() {
  rm -rf out-batch && mkdir out-batch
  "$batch" -j 2 -q -o out-batch scans/*.dat
}

run_single() {
  rm -rf out-single && mkdir out-single
  find scans -name '*.dat' -print0 |
    xargs -0 -n 1 -P 2 sh -c 'n=${1##*/}; printf "\n\n" | "$0" "$1" "out-single/${n%.dat}.pavo" >/dev/null' "$single"
}

# Microseconds of one call of function $1.
time_call() {
  local start end
  start=$EPOCHREALTIME
  "$1"
  end=$EPOCHREALTIME
  echo $(( ${end/./} - ${start/./} ))
}

batch_times=()
single_times=()
for ((round = 0; round < rounds; ++round)); do
  batch_times+=("$(time_call run_batch)")
  single_times+=("$(time_call run_single)")
done
diff -r out-batch out-single >/dev/null || { echo "outputs differ" >&2; exit 1; }
[[ $(ls out-batch | wc -l) -eq $scans ]] || { echo "missing outputs" >&2; exit 1; }

batch_us=$(printf '%s\n' "${batch_times[@]}" | median)
single_us=$(printf '%s\n' "${single_times[@]}" | median)
peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }
rm -rf out-batch && mkdir out-batch
peak_small=$(peak_kib "$batch" -j 2 -q -o out-batch scans/*.dat)
mkdir many
for ((i = 0; i < 10000; ++i)); do ln "scans/scan$((i % scans)).dat" "many/m$i.dat"; done
rm -rf out-batch && mkdir out-batch
peak_many=$(cd many && peak_kib "$batch" -j 2 -q -o ../out-batch ./*.dat)

echo "machine: $(nproc) processors, $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)"
echo "$scans scans of N = 1000, median of $rounds rounds:"
printf '  x17b2pavo-batch -j 2:            %8.1f ms  (%.0f scans/s)\n' \
  "$(echo "$batch_us / 1000" | bc -l)" "$(echo "$scans * 1000000 / $batch_us" | bc -l)"
printf '  x17b2pavo per scan, xargs -P 2:  %8.1f ms  (%.0f scans/s)\n' \
  "$(echo "$single_us / 1000" | bc -l)" "$(echo "$scans * 1000000 / $single_us" | bc -l)"
printf '  throughput ratio: %.1f\n' "$(echo "$single_us / $batch_us" | bc -l)"
echo "peak memory of the largest process: $peak_small KiB for $scans scans, $peak_many KiB for 10000 scans"
