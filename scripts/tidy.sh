#!/usr/bin/env bash
# Runs clang-tidy (checks in .clang-tidy) over the sources of platform/, recio/, subs/ and convert/
# that the build compiles: a Linux build's, or the Windows cross build's (*_windows.cpp).
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

# The sources of the system the database was made for. A database of the Windows cross build
# (MinGW-w64) checks the Windows sources; clang finds MinGW-w64's C headers by the target, but not
# the C++ library of its GCC, which is named here.
extra=()
other='*_windows.cpp'
if grep -q 'w64-mingw32' "$build/compile_commands.json"; then
  other='*_posix.cpp'
  cxx="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")/include/c++"
  extra=(--extra-arg=--target=x86_64-w64-mingw32 "--extra-arg=-isystem$cxx"
         "--extra-arg=-isystem$cxx/x86_64-w64-mingw32" "--extra-arg=-isystem$cxx/backward")
fi
mapfile -t sources < <(cd "$root" && find platform recio subs convert -maxdepth 1 -name '*.cpp' \
  ! -name '*_test.cpp' ! -name 'fuzz_*.cpp' ! -name '*_probe.cpp' ! -name "$other" | sort)
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
  (cd "$root" && xargs -P "$(nproc)" -I{} "$tidy" --quiet -p "$build" "${extra[@]}" {}) >"$log" 2>&1 ||
  status=$?

problems="$(grep -cE '(warning|error): ' "$log" || true)"
# "N warnings generated." counts the warnings suppressed in system and library headers.
grep -v -E '^[0-9]+ warnings? generated\.$' "$log" || true
echo "clang-tidy: ${#sources[@]} sources checked, $problems problems, exit status $status"
[[ "$problems" -eq 0 && "$status" -eq 0 ]]
