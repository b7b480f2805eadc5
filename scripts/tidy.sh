#!/usr/bin/env bash
# Runs clang-tidy (checks in .clang-tidy) over the sources of platform/, recio/, subs/ and convert/.
# Usage: scripts/tidy.sh BUILD_DIR
# BUILD_DIR must hold a compile_commands.json, e.g. from
#   cmake -S . -B BUILD_DIR -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
# Tests and fuzz targets are left out; the headers of the four folders (recio/internal/ too) are
# checked through the sources that include them. Exits non-zero on any warning or error.
source "$(dirname "${BASH_SOURCE[0]}")/build_dir_argument.sh"

if [[ ! -f "$build/compile_commands.json" ]]; then
  echo "$build/compile_commands.json is missing: configure with -DCMAKE_EXPORT_COMPILE_COMMANDS=ON" >&2
  exit 2
fi
tidy="${CLANG_TIDY:-$(command -v clang-tidy || command -v clang-tidy-14 || true)}"
if [[ -z "$tidy" ]]; then
  echo "clang-tidy not found (Debian package clang-tidy)" >&2
  exit 2
fi

mapfile -t sources < <(cd "$root" && find platform recio subs convert -maxdepth 1 -name '*.cpp' \
  ! -name '*_test.cpp' ! -name 'fuzz_*.cpp' ! -name '*_probe.cpp' | sort)
if [[ ${#sources[@]} -eq 0 ]]; then
  echo "no sources found under $root" >&2
  exit 2
fi

log="$(mktemp)"
trap 'rm -f "$log"' EXIT
# One clang-tidy per source, two at a time; their output is gathered and judged afterwards.
# clang-tidy exits non-zero on any warning (WarningsAsErrors) and on a crash; xargs passes that on.
status=0
printf '%s\n' "${sources[@]}" |
  (cd "$root" && xargs -P "$(nproc)" -I{} "$tidy" --quiet -p "$build" {}) >"$log" 2>&1 || status=$?

problems="$(grep -cE '(warning|error): ' "$log" || true)"
# "N warnings generated." counts the warnings suppressed in system and library headers.
grep -v -E '^[0-9]+ warnings? generated\.$' "$log" || true
echo "clang-tidy: ${#sources[@]} sources checked, $problems problems, exit status $status"
[[ "$problems" -eq 0 && "$status" -eq 0 ]]
