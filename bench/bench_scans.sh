# Shared by the benchmark scripts (sourced): generated scans and the median of a column of numbers.

# make_scan N [SEED]: a scan of N channels on standard output, the 29-line header, then N values
# of a smooth spectrum with peaks; SEED varies the noise.
make_scan() {
  awk -v n="$1" -v seed="${2:-17}" 'BEGIN {
    printf "X17B2 EDS data file (benchmark)\r\n"
    printf "%-24s%4d%4d%4d%4d%4d%4d\r\n", "Date/time", 1996, 3, 6, 14, 5, 9
    printf "Benchmark scan %d, %d channels\r\n", seed, n
    printf "Detector: Ge\r\n"
    printf "%-24s%4d\r\n", "Number of channels", n
    printf "%-24s%10.4f\r\n", "Scale factor", 0.8
    for (i = 7; i <= 11; i++) printf "%-24s%10.2f\r\n", "Header line " i, i * 1.5
    split("0.1523 0.0312567 1.245e-08 -3.1e-13", c, " ")
    for (i = 1; i <= 4; i++) printf "%-24s%24.15E\r\n", "Energy calibration", c[i]
    for (i = 16; i <= 29; i++) printf "Header line %d\r\n", i
    srand(seed)
    for (i = 1; i <= n; i++) {
      y = 40 + 260 * exp(-i / 700.0) + 3000 * exp(-0.5 * ((i % 997 - 500) / 4.0) ^ 2)
      printf "%10.2f\r\n", y + 20 * rand()
    }
  }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
