#!/usr/bin/env bash
# Line and branch coverage of platform/, recio/, subs/ and convert/ from the whole test suite.
# Usage: scripts/coverage.sh [BUILD_DIR]   (default: build-coverage beside the sources)
# Environment: STRESS_SECONDS=N also runs the stress harness for N seconds (seed 1) before the
# report, so that its runs count too; JOBS=N sets the build parallelism.
# Needs gcc's gcov and gcovr (Debian package gcovr); installs nothing itself.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-coverage}"
jobs="${JOBS:-$(nproc)}"
command -v gcovr >/dev/null || { echo "gcovr not found (Debian package gcovr)" >&2; exit 2; }

# The programs end with _exit(); scripts/coverage_exit.c writes the counters before it.
mkdir -p "$build"
gcc -c -O0 -o "$build/coverage_exit.o" "$root/scripts/coverage_exit.c"

# -O0 keeps one line of source to one block of code, so the figures mean what they say.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DX17B_TESTS=ON \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
  -DCMAKE_CXX_FLAGS="--coverage -O0" -DCMAKE_C_FLAGS="--coverage -O0" \
  -DCMAKE_EXE_LINKER_FLAGS="--coverage -Wl,--wrap=_exit $build/coverage_exit.o" >/dev/null
cmake --build "$build" -j "$jobs"

# Counters of earlier runs would add up with this one.
find "$build" -name '*.gcda' -delete
# Some tests run the program as an ordinary user; it must be able to write its counters too
# (gcov would otherwise complain on the standard error that those tests compare).
chmod -R a+rwX "$build"
(umask 000 && ctest --test-dir "$build" -j "$jobs" --output-on-failure) ||
  echo "coverage: some tests failed" >&2

if [[ "${STRESS_SECONDS:-0}" -gt 0 && -x "$build/tests/stress/x17b_stress" ]]; then
  scratch="$(mktemp -d)"
  (umask 000 && "$build/tests/stress/x17b_stress" --seed 1 --seconds "$STRESS_SECONDS" \
    --binary "$build/x17b2pavo" --failures "$scratch") || echo "coverage: stress failures" >&2
  rm -rf "$scratch"
fi

# Branches that only exist for exception unwinding, and ones the compiler proves unreachable,
# are left out: they are not decisions of the code. gcov runs once; the reports read its result.
filters=(--filter "$root/platform/" --filter "$root/recio/" --filter "$root/subs/" --filter "$root/convert/"
  --exclude '.*_test\.cpp$' --exclude '.*/fuzz_[a-z_]*\.cpp$' --exclude '.*_probe\.cpp$'
  --exclude '.*/memory_record_port\.h$' --exclude '.*/probe_[a-z_]*\.h$'
  --exclude-throw-branches --exclude-unreachable-branches)
gcovr --root "$root" "${filters[@]}" --json "$build/coverage.json" "$build"
echo "== lines (per file: lines, executed, percent, missing)"
gcovr --root "$root" --add-tracefile "$build/coverage.json"
echo "== branches"
gcovr --root "$root" --add-tracefile "$build/coverage.json" --branches
echo "== summary of platform/, recio/, subs/ and convert/"
# The report itself goes to a file of the build: gcovr replaces its output file, and given
# /dev/null it would put a plain file in the device's place.
gcovr --root "$root" --add-tracefile "$build/coverage.json" --print-summary \
  --output "$build/coverage-summary.txt"
