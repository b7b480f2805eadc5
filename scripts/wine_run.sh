#!/bin/sh
# Runs a Windows program under wine as `wine PROGRAM ARGS...` does, with the address space laid out
# without randomization where the system allows it (the whole-program tests, the console checks and
# every script that starts a Windows program use it).
#
# Debian's wine has no preloader: its loader sits at a fixed address and the kernel puts the heap
# at random up to 1 GiB above it. Now and then, about once in 5,000 starts, the heap lands on the
# page that every Windows program maps at 0x7ffe0000; the process then dies in wine's loader
# ("failed to map the shared user data"), before any of the program has run, and a test fails
# for nothing. Without randomization the heap follows the loader and never reaches that page.
# Processes started by a Windows program inherit the layout.
if setarch "$(uname -m)" -R true 2>/dev/null; then
  exec setarch "$(uname -m)" -R wine "$@"
fi
exec wine "$@"
