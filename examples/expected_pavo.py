#!/usr/bin/env python3
"""Computes the powder data file that x17b2pavo must write for a scan file, straight from the
documented layouts, without running the converter. Used once to make examples/scan.pavo:

    python3 examples/expected_pavo.py examples/scan.dat examples/scan.pavo

It handles what the example needs (numeric fields of digits, one sign, a point and an exponent);
it is a check of the converter, not a second converter.
"""
import struct
import sys


def single(x):
    """x rounded to the nearest single-precision value (ties to even)."""
    return struct.unpack("<f", struct.pack("<f", x))[0]


def field(line, first, width):
    """Columns first..first+width-1 (from 1) of a line, blank-padded, with blanks dropped."""
    text = line[first - 1:first - 1 + width].ljust(width)
    text = text.split(",")[0]  # a comma ends a numeric field early
    return text.replace(" ", "").replace("\t", "")


def integer(line, first, width):
    text = field(line, first, width)
    return int(text) if text not in ("", "+", "-") else 0


def real(line, first, width, implied):
    text = field(line, first, width)
    if text in ("", "+", "-", "."):
        return 0.0
    value = float(text.replace("D", "E").replace("d", "e"))
    if "." not in text:
        value /= 10 ** implied
    return single(value)


def fit(value, width):
    """An integer right-aligned in `width` columns, or asterisks when it does not fit."""
    text = str(value)
    return text.rjust(width) if len(text) <= width else "*" * width


def exponent_form(x, width=13, digits=5):
    """1PEw.d: 17 significant digits of the value, rounded half up to d + 1 digits."""
    if x == 0.0:
        text = "0." + "0" * digits + "E+00"
    else:
        mantissa, exp = ("%.16e" % abs(x)).split("e")
        sig = [int(c) for c in mantissa.replace(".", "")]  # 17 digits, value = 0.D1D2... x 10^e
        e = int(exp) + 1
        kept = sig[:digits + 1]
        if sig[digits + 1] >= 5:
            i = digits
            while i >= 0:
                kept[i] += 1
                if kept[i] < 10:
                    break
                kept[i] = 0
                i -= 1
            if i < 0:
                kept = [1] + [0] * digits
                e += 1
        kept = kept[:7] + [0] * max(0, len(kept) - 7)  # at most 7 digits from a single value
        shown = e - 1
        text = ("-" if x < 0 else "") + "%d.%sE%s%02d" % (
            kept[0], "".join(map(str, kept[1:])), "+" if shown >= 0 else "-", abs(shown))
    return text.rjust(width) if len(text) <= width else "*" * width


def scaled(value, scale):
    """The count: double product, +-0.5, single rounding, truncation, held in 32 bits."""
    p = value * scale  # two singles: exact in double
    q = single(p - 0.5 if p < 0 else p + 0.5)
    n = int(q)  # truncates toward zero
    return max(-2**31, min(2**31 - 1, n))


def convert(lines):
    stamp = [integer(lines[1], 25 + 4 * i, 4) for i in range(6)]
    title = lines[2][:40].ljust(40)
    n = integer(lines[4], 25, 4)
    scale = real(lines[5], 25, 10, 0)
    coefficients = [real(lines[11 + i], 25, 24, 18) for i in range(4)]
    values = [real(lines[29 + i], 1, 10, 0) for i in range(max(n, 0))]
    nrec = int((n - 1) / 10) + 1  # integer division toward zero

    records = []
    stamp_text = fit(stamp[0], 4) + "".join(":" + fit(s, 2) for s in stamp[1:])
    records.append(title + stamp_text.ljust(40))
    bank = "BANK 1" + fit(n, 5) + fit(nrec, 5) + " EDS"
    bank += "".join(exponent_form(c) for c in coefficients) + " STD"
    records.append(bank.ljust(80))
    counts = [scaled(v, scale) for v in values]
    for k in range(nrec):
        ten = [counts[i] if i < len(counts) else 0 for i in range(10 * k, 10 * k + 10)]
        records.append("".join(fit(c, 8) for c in ten))
    for r in records:
        assert len(r) == 80, r
    return "".join(r + "\r\n" for r in records)


def main():
    with open(sys.argv[1], newline="") as f:
        lines = [l.rstrip("\n").split("\r")[0] for l in f]
    with open(sys.argv[2], "w", newline="") as f:
        f.write(convert(lines))


if __name__ == "__main__":
    main()
