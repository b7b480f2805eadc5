#!/usr/bin/env python3
"""The Windows programs at a console, under wine: what only a console does.

wine gives a program whose standard input is a terminal a Windows console, so a pseudo-terminal
here is a console there. Typed names that are not ASCII must arrive in UTF-8 (the console is read
in UTF-16), names written to the console must show as they are (it is written in UTF-16), and a
line ending in Ctrl-Z must end the input as it does on Linux. wine rewrites what the console shows
(cursor escapes, line ends), so output is searched, not compared byte for byte.

Usage: scripts/wine_console_check.py BUILD_DIR   (a Windows build; wine started by
scripts/wine_env.sh)
"""
import os
import pty
import select
import shutil
import sys
import tempfile
import termios
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def at_console(program, args, lines, folder):
    """Runs `wine program args` with a pseudo-terminal as its console in `folder`, typing each of
    `lines` once the program has been quiet for a moment. Returns the exit code and what the
    console showed."""
    pid, terminal = pty.fork()
    if pid == 0:
        os.chdir(folder)
        attributes = termios.tcgetattr(0)
        attributes[3] &= ~termios.ISIG  # Ctrl-Z is a character to type, not a signal
        termios.tcsetattr(0, termios.TCSANOW, attributes)
        wine_run = os.path.join(ROOT, "scripts", "wine_run.sh")
        os.execv(wine_run, [wine_run, program] + args)
    shown = b""
    pending = list(lines)
    quiet_since = time.monotonic()
    deadline = quiet_since + 60
    while time.monotonic() < deadline:
        ready, _, _ = select.select([terminal], [], [], 0.2)
        if ready:
            try:
                data = os.read(terminal, 4096)
            except OSError:
                break
            if not data:
                break
            shown += data
            quiet_since = time.monotonic()
        elif pending and time.monotonic() - quiet_since > 1.0:
            os.write(terminal, pending.pop(0))
            quiet_since = time.monotonic()
    _, status = os.waitpid(pid, 0)
    os.close(terminal)
    return os.waitstatus_to_exitcode(status), shown


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: wine_console_check.py BUILD_DIR")
    build = os.path.abspath(sys.argv[1])
    converter = os.path.join(build, "x17b2pavo.exe")
    batch = os.path.join(build, "x17b2pavo-batch.exe")
    with open(os.path.join(ROOT, "examples", "scan.pavo"), "rb") as expected_file:
        expected = expected_file.read()
    failures = []

    def check(what, passed):
        print(("ok      " if passed else "FAILED  ") + what)
        if not passed:
            failures.append(what)

    with tempfile.TemporaryDirectory() as folder:
        shutil.copy(os.path.join(ROOT, "examples", "scan.dat"), folder)
        name = "caf\u00e9-\u03a9\u65e5.pavo"
        code, shown = at_console(converter, [], [("scan.dat " + name + "\r").encode()], folder)
        written = os.path.join(folder.encode(), name.encode("utf-8"))
        check("x17b2pavo: a typed name that is not ASCII arrives in UTF-8",
              code == 0 and os.path.exists(written))
        if os.path.exists(written):
            with open(written, "rb") as output:
                check("x17b2pavo: the output so named holds the example's bytes",
                      output.read() == expected)

        code, shown = at_console(converter, [], [b"abc\x1a\r", b"\x1a\r"], folder)
        check("x17b2pavo: lines ending in Ctrl-Z end the typed input (twice: status -1, exit 1)",
              code == 1 and b"FORTRAN error number  -1 on unit  5" in shown)

        scan = "\u00e9t\u00e9 \u03a9.dat"
        shutil.copy(os.path.join(folder, "scan.dat"), os.path.join(folder, scan))
        code, shown = at_console(batch, ["--dry-run", "-f", scan], [], folder)
        line = (scan + " -> " + scan[:-4] + ".pavo").encode("utf-8")
        check("x17b2pavo-batch: names shown at the console as they are", code == 0 and line in shown)
    if failures:
        sys.exit("wine_console_check: %d of the checks failed" % len(failures))


if __name__ == "__main__":
    main()
