#!/usr/bin/env bash
# Builds the Debian package from a built tree, checks what it holds, runs lintian on it, unpacks
# it into a scratch root, renders both manual pages and converts the bundled example with both
# unpacked programs, comparing the outputs byte for byte.
# Usage: scripts/package_check.sh BUILD_DIR   (BUILD_DIR configured and built)
# Needs cpack (cmake), dpkg-deb, dpkg-parsechangelog and dpkg-shlibdeps (dpkg-dev), man (man-db)
# and groff; lintian when installed.
source "$(dirname "${BASH_SOURCE[0]}")/build_dir_argument.sh"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "package_check: $*" >&2
  exit 1
}

rm -f "$build"/x17b2pavo_*.deb
(cd "$build" && cpack -G DEB >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; exit 1; }
debs=("$build"/x17b2pavo_*.deb)
deb="${debs[0]}"
[[ -f "$deb" ]] || fail "cpack made no x17b2pavo_*.deb"
echo "package: $(basename "$deb")"
dpkg-deb --field "$deb" Package Version Architecture Maintainer Section Priority
echo "Depends: $(dpkg-deb --field "$deb" Depends || true)"

# The package holds exactly these files (the examples as the source tree has them now), and
# nothing of the tests or the build.
doc=usr/share/doc/x17b2pavo
{
  printf './%s\n' usr/bin/x17b2pavo usr/bin/x17b2pavo-batch \
    usr/share/man/man1/x17b2pavo.1.gz usr/share/man/man1/x17b2pavo-batch.1.gz \
    "$doc/copyright" "$doc/changelog.Debian.gz" usr/share/lintian/overrides/x17b2pavo
  (cd "$root/examples" && find . -type f -printf "./$doc/examples/%P\n")
} | sort >"$scratch/expected"
dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $NF}' | sort >"$scratch/contents"
if ! diff -u "$scratch/expected" "$scratch/contents" >"$scratch/contents.diff"; then
  cat "$scratch/contents.diff" >&2
  fail "the package does not hold the expected files (- missing, + unexpected)"
fi

if command -v lintian >/dev/null; then
  status=0
  lintian --fail-on error "$deb" >"$scratch/lintian.out" 2>"$scratch/lintian.err" || status=$?
  cat "$scratch/lintian.out"
  if [[ $status -eq 1 ]]; then
    cat "$scratch/lintian.err" >&2
    fail "lintian could not check the package"
  fi
  if [[ $status -ne 0 ]] || grep -q '^E: ' "$scratch/lintian.out"; then
    fail "lintian reports errors (E: tags above)"
  fi
  echo "package_check: lintian reports no errors ($(grep -c '^[EWIPX]: ' "$scratch/lintian.out" || true) tags)"
else
  echo "package_check: lintian not installed, not run"
fi

dpkg -x "$deb" "$scratch/root"
for example in "$root"/examples/*; do
  cmp "$example" "$scratch/root/$doc/examples/${example##*/}" ||
    fail "$doc/examples/${example##*/} differs from examples/${example##*/}"
done
# The copyright file states the licence of LICENSE, word for word.
awk '/^License: Expat$/ && ++n == 2 {on = 1; next} on {sub(/^ /, ""); if ($0 == ".") $0 = ""; print}' \
  "$scratch/root/$doc/copyright" >"$scratch/licence.dep5"
sed '1,/^Copyright (c) /d' "$root/LICENSE" | sed '1{/^$/d}' >"$scratch/licence.text"
cmp -s "$scratch/licence.text" "$scratch/licence.dep5" ||
  fail "the licence text in $doc/copyright differs from LICENSE"
# The newest changelog entry is the package's version, and the maintainer is the package's.
zcat "$scratch/root/$doc/changelog.Debian.gz" >"$scratch/changelog"
for field in Version Maintainer; do
  [[ "$(dpkg-parsechangelog -l "$scratch/changelog" -S "$field")" == \
    "$(dpkg-deb --field "$deb" "$field")" ]] || fail "changelog.Debian: $field differs from the package's"
done
# Compressed with gzip -9n: best compression (XFL 2), no file name (FLG 0), no time stamp.
for gz in "$doc/changelog.Debian.gz" usr/share/man/man1/x17b2pavo.1.gz \
  usr/share/man/man1/x17b2pavo-batch.1.gz; do
  [[ "$(od -An -tx1 -N10 "$scratch/root/$gz" | tr -d ' \n')" == 1f8b0800000000000203 ]] ||
    fail "$gz is not compressed with gzip -9n"
done

for page in x17b2pavo x17b2pavo-batch; do
  gz="$scratch/root/usr/share/man/man1/$page.1.gz"
  LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$gz" >"$scratch/man.out" 2>"$scratch/man.err" || true
  zcat "$gz" | groff -t -man -Tutf8 -ww -z 2>>"$scratch/man.err" || true
  if [[ -s "$scratch/man.err" ]]; then
    cat "$scratch/man.err" >&2
    fail "the manual page $page.1 does not render cleanly"
  fi
  grep -q "^NAME" "$scratch/man.out" || fail "man -l shows no $page.1"
done

bin="$scratch/root/usr/bin"
mkdir "$scratch/work"
cp "$root/examples/scan.dat" "$scratch/work/scan.dat"
status=0
(cd "$scratch/work" && printf 'scan.dat scan.pavo\n' | "$bin/x17b2pavo" >stdout.bin 2>stderr.bin) ||
  status=$?
if [[ $status -ne 0 || -s "$scratch/work/stderr.bin" ]]; then
  cat "$scratch/work/stderr.bin" >&2
  fail "the unpacked x17b2pavo failed (exit $status)"
fi
grep -qF "$(printf 'Stop - Program terminated.\r')" "$scratch/work/stdout.bin" ||
  fail "standard output of x17b2pavo has no stop line"
cmp "$scratch/work/scan.pavo" "$root/examples/scan.pavo" ||
  fail "the output of x17b2pavo differs from examples/scan.pavo"
echo "package_check: unpacked x17b2pavo converts examples/scan.dat exactly ($(wc -c <"$root/examples/scan.pavo") bytes)"

# The batch program, quiet, into an empty folder: exit 0, no output at all, the same bytes.
mkdir "$scratch/work/out"
status=0
(cd "$scratch/work" && "$bin/x17b2pavo-batch" -q -o out scan.dat >batch.out 2>&1 </dev/null) ||
  status=$?
if [[ $status -ne 0 || -s "$scratch/work/batch.out" ]]; then
  cat "$scratch/work/batch.out" >&2
  fail "the unpacked x17b2pavo-batch -q failed (exit $status) or printed something"
fi
cmp "$scratch/work/out/scan.pavo" "$root/examples/scan.pavo" ||
  fail "the output of x17b2pavo-batch differs from examples/scan.pavo"
[[ "$(ls -A "$scratch/work/out")" == scan.pavo ]] || fail "x17b2pavo-batch left other files in out/"
echo "package_check: unpacked x17b2pavo-batch converts examples/scan.dat exactly"
