# Sourced by CI and by hand before ctest runs the Windows test programs through wine:
#   . scripts/wine_env.sh && wine_env_start && ctest --preset ci-windows; status=$?
#   wine_env_stop; exit $status
# A private prefix and HOME in a temporary folder, a persistent wine server and an initialised
# prefix, each started with its streams on /dev/null: a wine service started later by a test
# would hold that test's output pipe open and keep ctest waiting for it.

wine_env_start() {
  export WINEDEBUG=-all     # also silences Debian's hint that wine32 is missing
  export WINEARCH=win64
  # No .NET or HTML engines, no menu entries, no debugger window for a crash.
  export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe,winedbg.exe=d"
  # wine turns arguments and file names into UTF-16 by the locale's character set.
  export LC_ALL=C.UTF-8
  WINE_ENV_HOME=$(mktemp -d "${TMPDIR:-/tmp}/x17b-wine-XXXXXX") || return 1
  export WINE_ENV_HOME
  export WINEPREFIX=$WINE_ENV_HOME/prefix
  export HOME=$WINE_ENV_HOME
  mkdir -p "$WINEPREFIX"  # the server starts in the prefix's folder
  wineserver -p </dev/null >/dev/null 2>&1 || return 1
  "$(dirname "${BASH_SOURCE[0]}")/wine_run.sh" wineboot -i </dev/null >/dev/null 2>&1
}

wine_env_stop() {
  [[ -n "${WINE_ENV_HOME:-}" ]] || return 0
  wineserver -k </dev/null >/dev/null 2>&1
  wineserver -w </dev/null >/dev/null 2>&1
  rm -rf "$WINE_ENV_HOME"
  unset WINE_ENV_HOME
}
