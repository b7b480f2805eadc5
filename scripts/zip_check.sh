#!/usr/bin/env bash
# Builds the Windows zip from a built Windows tree, checks what it holds (the programs importing
# Windows' own DLLs only, text with CR LF line ends, manual pages in ASCII), unzips it and
# converts the bundled example with both unzipped programs under wine by the README's commands,
# comparing the outputs byte for byte.
# Usage: scripts/zip_check.sh BUILD_DIR   (BUILD_DIR configured with the windows preset and built)
# Needs cpack (cmake), unzip, MinGW-w64's objdump, and a started wine (scripts/wine_env.sh).
source "$(dirname "${BASH_SOURCE[0]}")/build_dir_argument.sh"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "zip_check: $*" >&2
  exit 1
}

rm -f "$build"/x17b2pavo-*-win64.zip
(cd "$build" && cpack >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; exit 1; }
zips=("$build"/x17b2pavo-*-win64.zip)
zip="${zips[0]}"
[[ -f "$zip" ]] || fail "cpack made no x17b2pavo-*-win64.zip"
echo "zip: $(basename "$zip")"
top="$(basename "$zip" .zip)"

# Exactly these files, under one folder named like the zip.
{
  printf '%s\n' bin/x17b2pavo.exe bin/x17b2pavo-batch.exe README.md LICENSE.txt x17b2pavo.txt \
    x17b2pavo-batch.txt
  (cd "$root/examples" && find . -type f -printf "examples/%P\n")
} | sed "s|^|$top/|" | sort >"$scratch/expected"
unzip -Z1 "$zip" | grep -v '/$' | sort >"$scratch/contents"
if ! diff -u "$scratch/expected" "$scratch/contents" >"$scratch/contents.diff"; then
  cat "$scratch/contents.diff" >&2
  fail "the zip does not hold the expected files (- missing, + unexpected)"
fi
unzip -q "$zip" -d "$scratch"
unpacked="$scratch/$top"

for program in x17b2pavo x17b2pavo-batch; do
  imports=$(x86_64-w64-mingw32-objdump -p "$unpacked/bin/$program.exe" | sed -n 's/^\tDLL Name: //p')
  for dll in $imports; do
    case "${dll,,}" in
      kernel32.dll | msvcrt.dll) ;;
      *) fail "$program.exe imports $dll, which Windows itself does not have" ;;
    esac
  done
  echo "zip_check: $program.exe imports only $(echo $imports)"
done
for text in README.md LICENSE.txt x17b2pavo.txt x17b2pavo-batch.txt; do
  lines=$(tr -cd '\n' <"$unpacked/$text" | wc -c)
  crlf=$(grep -c $'\r$' "$unpacked/$text" || true)
  [[ $lines -gt 0 && $lines -eq $crlf ]] || fail "$text: $crlf of $lines lines end in CR LF"
done
for page in x17b2pavo.txt x17b2pavo-batch.txt; do
  if LC_ALL=C grep -q -P '[^\x00-\x7F]|\x08|\x1b' "$unpacked/$page"; then
    fail "$page holds characters that are not plain ASCII text"
  fi
done
for example in "$root"/examples/*; do
  cmp "$example" "$unpacked/examples/${example##*/}" ||
    fail "examples/${example##*/} differs from the source tree's"
done

# The README's commands for Windows, run by the unzipped programs in a folder of their own.
wine_run="$root/scripts/wine_run.sh"
work="$scratch/work"
mkdir -p "$work/data" "$work/out"
cp "$root/examples/scan.dat" "$work/data/run1.dat"
cp "$root/examples/scan.dat" "$work/data/run2.dat"
(cd "$work" && printf 'data\\run1.dat run1.pavo\r\n' | "$wine_run" "$unpacked/bin/x17b2pavo.exe" >"$scratch/convert.out") ||
  fail "x17b2pavo.exe failed: $(cat "$scratch/convert.out")"
cmp "$root/examples/scan.pavo" "$work/run1.pavo" || fail "x17b2pavo.exe wrote other bytes"
(cd "$work" && "$wine_run" "$unpacked/bin/x17b2pavo-batch.exe" -o out 'data\*.dat' 2>"$scratch/batch.err") ||
  fail "x17b2pavo-batch.exe failed: $(cat "$scratch/batch.err")"
for output in run1 run2; do
  cmp "$root/examples/scan.pavo" "$work/out/$output.pavo" ||
    fail "x17b2pavo-batch.exe wrote other bytes for $output"
done
echo "zip_check: the unzipped programs convert the example into examples/scan.pavo's bytes"
