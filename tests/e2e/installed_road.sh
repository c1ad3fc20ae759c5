#!/usr/bin/env bash
# Installs the build into a fresh prefix and takes the short road through
# the installed program: it starts, opens a page and runs Foxing with the
# engine installed beside it.
#
# usage: installed_road.sh BUILD_DIR EXAMPLES_DIR PROBE OUT_DIR
set -euo pipefail
BUILD=$1
EXAMPLES=$2
PROBE=$3
OUT=$4

rm -rf "$OUT"
mkdir -p "$OUT"
PREFIX=$OUT/prefix
cmake --install "$BUILD" --prefix "$PREFIX" >"$OUT/install.log"
for f in VeltroInterface veltro.exe; do
    [ -x "$PREFIX/bin/$f" ] || { echo "FAILED: $PREFIX/bin/$f was not installed" >&2; exit 1; }
done
# Only the installed engine may be found: not one from PATH.
PATH=/usr/bin:/bin exec bash "$(dirname "$0")/desktop_road.sh" "$PREFIX/bin" "$EXAMPLES" "$PROBE" "$OUT/road" quick
