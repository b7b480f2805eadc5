#!/usr/bin/env bash
# Converts one varied set of scans with the Linux build and with the Windows build (run by wine)
# and compares, byte for byte with cmp, everything the two give: x17b2pavo's output file, standard
# output, standard error and exit code for each scan and dialogue, and x17b2pavo-batch's output
# folders and messages for the whole set (new outputs, -n, -f, --dry-run).
# Usage: scripts/compare_builds.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR
# Needs wine (wine64). Uses the wine prefix of WINEPREFIX when one is set up there; otherwise
# makes a private one and removes it at the end. Ends with "N passed, M failed". With
# X17B_COMPARE_KEEP set, the scans and every run's files stay for a look (the last lines name the
# folder).
set -euo pipefail

if [[ $# -ne 2 ]]; then
  echo "usage: $0 LINUX_BUILD_DIR WINDOWS_BUILD_DIR" >&2
  exit 2
fi
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
linux="$(cd "$1" && pwd)"
windows="$(cd "$2" && pwd)"
for program in "$linux/x17b2pavo" "$linux/x17b2pavo-batch" "$windows/x17b2pavo.exe" \
  "$windows/x17b2pavo-batch.exe"; do
  [[ -f "$program" ]] || { echo "compare_builds: $program is missing" >&2; exit 2; }
done
source "$root/bench/bench_scans.sh"

work="$(mktemp -d /tmp/x17b-compare-XXXXXX)"
own_prefix=""
cleanup() {
  if [[ -n "$own_prefix" ]]; then
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
  fi
  [[ -n "${X17B_COMPARE_KEEP:-}" ]] && echo "compare_builds: kept $work" || rm -rf "$work"
}
trap cleanup EXIT

# Wine: no messages of its own, arguments and names in UTF-8, no debugger or menus. A server that
# runs for the whole script, started with its streams on /dev/null: a server started by a program
# whose standard error is captured would hold that pipe open long after the program.
export WINEDEBUG=-all WINEARCH=win64 LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe,winedbg.exe=d"
if [[ -n "${WINEPREFIX:-}" && -f "$WINEPREFIX/system.reg" ]]; then
  wineserver -p </dev/null >/dev/null 2>&1 || true  # already running: nothing to do
else
  own_prefix="$work/wine"
  mkdir -p "$own_prefix"
  export WINEPREFIX="$own_prefix/prefix" HOME="$own_prefix"
  mkdir -p "$WINEPREFIX"  # the server starts in the prefix's folder
  wineserver -p </dev/null >/dev/null 2>&1
  "$root/scripts/wine_run.sh" wineboot -i </dev/null >/dev/null 2>&1
fi

# ---- The scans ----------------------------------------------------------------------------------

scans="$work/scans"
mkdir -p "$scans"
# Generated spectra of every edge count: none, one, one record, one more, a partial record, many,
# the most four columns hold, and negative counts (no value read at all).
for n in 0 1 10 11 25 1000 9999 -5 -999; do
  make_scan "$n" "$((n < 0 ? -n : n + 3))" >"$scans/ramp${n}.dat"
done
cp "$root/examples/scan.dat" "$scans/example.dat"

# scan FILE STAMP TITLE N SCALE C0 C1 C2 C3 VALUE...: a scan of 29 header lines with those fields
# in their columns (stamp line 2, title 3, N 5, scale 6, coefficients 12-15), then the value lines.
scan() {
  local file="$1" stamp="$2" title="$3" n="$4" scale="$5"
  local c=("$6" "$7" "$8" "$9")
  shift 9
  {
    printf 'X17B2 EDS data file 9999 example scan, line 1\n'
    printf '%-24s%s\n' "Date/time (Y M D h m s)" "$stamp"
    printf '%s\n' "$title"
    printf '%-24s%s\n' "Detector: Ge" "8192  2.5  abc" "Number of channels" "$n" \
      "Scale factor" "$scale"
    for line in 7 8 9 10 11; do printf '%-24s%s\n' "Filler line $line" "77777777 xyz 1.0E+05"; done
    for i in 0 1 2 3; do printf '%-24s%s\n' "Energy calibration a$i" "${c[$i]}"; done
    for line in $(seq 16 29); do printf '%-24s%s\n' "Filler line $line" "6666 not a number"; done
    printf '%s\n' "$@"
  } >"$scans/$file"
}
stamp="1996   3   6   5  59  59"
title="Silicon standard, 2theta 7.000 deg"
coefficients=("   1.523000000000000E-01" "   3.125000000000000E-02" "   0.000000000000000E+00"
  "  -1.000000000000000E-03")
ramp25=($(seq 1 25))
# Every form a field may take: no point, exponents with E, D and a bare sign, a comma, a tab,
# an empty line, blanks inside, a negative half, text after the field, a count beyond 32 bits.
scan fields.dat "-999 100  -5 -10   7  99 trailing" \
  "A title longer than forty columns: this part is not read" "  12 more" "         25 s" \
  "1234.5" "-0.001" "0.99999997" "1" \
  "123" "12.5" "1.25E2" "1,5" $'\t7' "" "  1 2" "-.5" "1.5D1" "2.5+1" "       5.0 junk" "  3.0E9"
sed 's/$/\r/' "$scans/fields.dat" >"$scans/crlf.dat"
printf '%s' "$(cat "$scans/ramp25.dat")" >"$scans/no-last-line-end.dat"
scan radix.dat "$stamp" "$title" " #10" "       0.5" "${coefficients[@]}" $(seq 1 16)
scan rounding.dat "$stamp" "Rounding" "  13" "      6.25" "${coefficients[@]}" \
  671089 -671089 1342177 671085 2.5 -2.5 0.49 -0.49 0.5 12345678 -1234567 -12345678 123456789
scan ctrl-z.dat "$stamp" $'Run\x1a 17' "   3" "       1.0" "${coefficients[@]}" 1 2 3
# Scans that fail: the message, its file name and the records written before it must agree too.
head -n 4 "$scans/ramp25.dat" >"$scans/short-header.dat"
: >"$scans/empty.dat"
scan one-too-few.dat "$stamp" "$title" "  25" "       1.0" "${coefficients[@]}" $(seq 1 24)
scan letters.dat "$stamp" "$title" "  25" "       1.0" "${coefficients[@]}" \
  $(seq 1 12) "N/A" $(seq 14 25)
scan overflow.dat "$stamp" "$title" "  25" "      10.0" "${coefficients[@]}" 3.0E38 $(seq 2 25)
scan invalid.dat "$stamp" "$title" "  25" "       1.0" "${coefficients[@]}" \
  $(seq 1 24) 1.0E19
scan bad-radix.dat "$stamp" "$title" "37#1" "       1.0" "${coefficients[@]}" "${ramp25[@]}"
scan beyond-double.dat "$stamp" "$title" "  25" "       1.0" "1.0E309" "${coefficients[@]:1}" \
  "${ramp25[@]}"
scan wide.dat "$stamp" "$title" "  25" "       1.0" "${coefficients[@]}" \
  $(seq 1 9) 100000000 $(seq 11 25)

names=()
for file in "$scans"/*.dat; do names+=("$(basename "$file")"); done

# ---- Runs ---------------------------------------------------------------------------------------

# run SYSTEM DIR PROGRAM INPUT ARGS...: runs the program of that build in DIR with INPUT on its
# standard input; keeps stdout, stderr and the exit code beside DIR.
run() {
  local system="$1" dir="$2" program="$3" input="$4"
  shift 4
  local command=("$linux/$program")
  [[ "$system" == windows ]] && command=("$root/scripts/wine_run.sh" "$windows/$program.exe")
  local status=0
  (cd "$dir" && printf '%s' "$input" | "${command[@]}" "$@" >"$dir.stdout" 2>"$dir.stderr") ||
    status=$?
  echo "$status" >"$dir.status"
}

passed=0
failed=0
# same NAME A B: A and B (files or folders) hold the same bytes, compared file by file with cmp.
same() {
  local name="$1" a="$2" b="$3" ok=1
  if [[ -d "$a" || -d "$b" ]]; then
    if ! diff <(cd "$a" && find . | LC_ALL=C sort) <(cd "$b" && find . | LC_ALL=C sort) >/dev/null
    then
      echo "DIFFER $name: the folders hold other names"
      diff <(cd "$a" && find . | LC_ALL=C sort) <(cd "$b" && find . | LC_ALL=C sort) | head -n 10
      ok=0
    else
      while IFS= read -r -d '' file; do
        cmp -s "$a/$file" "$b/$file" || { echo "DIFFER $name: $file"; cmp "$a/$file" "$b/$file" || true; ok=0; }
      done < <(cd "$a" && find . -type f -print0)
    fi
  elif [[ -e "$a" || -e "$b" ]]; then
    if ! cmp -s "$a" "$b"; then
      echo "DIFFER $name"
      cmp "$a" "$b" || true
      ok=0
    fi
  fi
  if ((ok)); then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}

# compare_runs CASE: the two systems' runs of CASE, all they left.
compare_runs() {
  local case="$1"
  for part in "" .stdout .stderr .status; do
    same "$case$part" "$work/linux/$case$part" "$work/windows/$case$part"
  done
}

# x17b2pavo: each scan through piped replies, both names on one line.
for name in "${names[@]}"; do
  for system in linux windows; do
    dir="$work/$system/single-$name"
    mkdir -p "$dir"
    cp "$scans/$name" "$dir/"
    run "$system" "$dir" x17b2pavo "$name ${name%.dat}.pavo"$'\n'
  done
  compare_runs "single-$name"
done

# The dialogue's other ways to the same conversion: one name per line, blank replies and the
# names as arguments, a recorded macro and its playback, replies that end too soon, one name twice.
dialogues=(
  "lines|scan.dat"$'\n'"out.pavo"$'\n'"|"
  "arguments|"$'\n\n'"|scan.dat out.pavo"
  "macro|@M"$'\n'"names.mac"$'\n'"scan.dat out.pavo ! names"$'\n'"|"
  "early-end|scan.dat"$'\n'"|"
  "same-name|scan.dat scan.dat"$'\n'"|"
  "missing|missing.dat out.pavo"$'\n'"|"
)
for dialogue in "${dialogues[@]}"; do
  label="${dialogue%%|*}"
  input="${dialogue#*|}"
  input="${input%|*}"
  read -r -a arguments <<<"${dialogue##*|}" || true
  for system in linux windows; do
    dir="$work/$system/dialogue-$label"
    mkdir -p "$dir"
    cp "$scans/example.dat" "$dir/scan.dat"
    run "$system" "$dir" x17b2pavo "$input" "${arguments[@]}"
    if [[ "$label" == macro ]]; then
      rm -f "$dir/out.pavo"
      mv "$dir.stdout" "$dir.record.stdout"
      run "$system" "$dir" x17b2pavo "@R"$'\n'"names.mac"$'\n'
    fi
  done
  compare_runs "dialogue-$label"
  [[ "$label" == macro ]] && same "dialogue-macro.record.stdout" \
    "$work/linux/dialogue-macro.record.stdout" "$work/windows/dialogue-macro.record.stdout"
done

# x17b2pavo-batch over the whole set: new outputs (four workers), then -n, then -f with one, then
# a dry run with two outputs spoiled.
for system in linux windows; do
  dir="$work/$system/batch"
  mkdir -p "$dir/out"
  cp "$scans"/*.dat "$dir/"
  run "$system" "$dir" x17b2pavo-batch "" -j 4 -o out "${names[@]}"
  mv "$dir.stdout" "$dir.new.stdout"; mv "$dir.stderr" "$dir.new.stderr"; mv "$dir.status" "$dir.new.status"
  run "$system" "$dir" x17b2pavo-batch "" -n -o out "${names[@]}"
  mv "$dir.stdout" "$dir.skip.stdout"; mv "$dir.stderr" "$dir.skip.stderr"; mv "$dir.status" "$dir.skip.status"
  run "$system" "$dir" x17b2pavo-batch "" -f -j 1 -o out "${names[@]}"
  mv "$dir.stdout" "$dir.force.stdout"; mv "$dir.stderr" "$dir.force.stderr"; mv "$dir.status" "$dir.force.status"
  printf 'partial' >"$dir/out/ramp25.pavo"
  rm "$dir/out/fields.pavo"
  run "$system" "$dir" x17b2pavo-batch "" --dry-run -n -o out "${names[@]}"
done
same "batch folders" "$work/linux/batch" "$work/windows/batch"
for step in new skip force; do
  for part in stdout stderr status; do
    same "batch -$step $part" "$work/linux/batch.$step.$part" "$work/windows/batch.$step.$part"
  done
done
compare_runs batch

# What the runs were, so that a reader of the log sees that they did something.
echo "scans: ${#names[@]}; Linux batch: $(tail -n 1 "$work/linux/batch.new.stderr")"
echo "Windows batch: $(tail -n 1 "$work/windows/batch.new.stderr")"
echo "compare_builds: $passed passed, $failed failed"
((failed == 0))
