#!/usr/bin/env bash
# Builds the Debian package from a built tree, unpacks it into a scratch root and converts the
# bundled example with the unpacked binary, comparing the output byte for byte.
# Usage: scripts/package_check.sh BUILD_DIR   (BUILD_DIR configured and built, x17b2pavo in it)
# Needs cpack (cmake), dpkg-deb and, for the computed dependencies, dpkg-shlibdeps (dpkg-dev).
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "$1" && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

rm -f "$build"/x17b2pavo_*.deb
(cd "$build" && cpack -G DEB >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; exit 1; }
debs=("$build"/x17b2pavo_*.deb)
deb="${debs[0]}"
[[ -f "$deb" ]] || { echo "package_check: cpack made no x17b2pavo_*.deb" >&2; exit 1; }
echo "package: $(basename "$deb")"
dpkg-deb --field "$deb" Package Version Architecture Maintainer
echo "Depends: $(dpkg-deb --field "$deb" Depends || true)"

# The package holds the program and its manual page, and nothing of the tests.
dpkg-deb --contents "$deb" | awk '{print $NF}' | sort >"$scratch/contents"
for wanted in ./usr/bin/x17b2pavo ./usr/share/man/man1/x17b2pavo.1; do
  grep -qx "$wanted" "$scratch/contents" || { echo "package_check: $wanted missing" >&2; exit 1; }
done
if grep -E '\.(a|h|cmake)$|gtest|_tests$' "$scratch/contents"; then
  echo "package_check: test or build files in the package" >&2
  exit 1
fi

dpkg -x "$deb" "$scratch/root"
bin="$scratch/root/usr/bin/x17b2pavo"
[[ -x "$bin" ]] || { echo "package_check: $bin is not executable" >&2; exit 1; }
if command -v man >/dev/null; then
  man -l "$scratch/root/usr/share/man/man1/x17b2pavo.1" >/dev/null 2>"$scratch/man.err"
  if [[ -s "$scratch/man.err" ]]; then
    echo "package_check: the manual page does not render cleanly:" >&2
    cat "$scratch/man.err" >&2
    exit 1
  fi
fi

mkdir "$scratch/work"
cp "$root/examples/scan.dat" "$scratch/work/scan.dat"
status=0
(cd "$scratch/work" && printf 'scan.dat scan.pavo\n' | "$bin" >stdout.bin 2>stderr.bin) || status=$?
if [[ $status -ne 0 || -s "$scratch/work/stderr.bin" ]]; then
  echo "package_check: the installed binary failed (exit $status):" >&2
  cat "$scratch/work/stderr.bin" >&2
  exit 1
fi
if ! grep -qF "$(printf 'Stop - Program terminated.\r')" "$scratch/work/stdout.bin"; then
  echo "package_check: standard output has no stop line" >&2
  exit 1
fi
if ! cmp "$scratch/work/scan.pavo" "$root/examples/scan.pavo"; then
  echo "package_check: output differs from examples/scan.pavo" >&2
  exit 1
fi
echo "package_check: installed x17b2pavo converts examples/scan.dat exactly ($(wc -c <"$root/examples/scan.pavo") bytes)"
