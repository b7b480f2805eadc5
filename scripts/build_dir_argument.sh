# Sourced by the scripts whose one argument is a build folder: strict mode, the argument checked,
# `root` set to the source tree and `build` to the build folder, both absolute.
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "$1" && pwd)"
