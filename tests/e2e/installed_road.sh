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
# cmake --install rewrites install_manifest.txt in the build tree: a user's
# own install record is put back at once. (The install test does the same;
# the two hold a common lock, so they never overlap.)
MANIFEST=$BUILD/install_manifest.txt
if [ -f "$MANIFEST" ]; then cp -p "$MANIFEST" "$OUT/manifest.saved"; fi
status=0
cmake --install "$BUILD" --prefix "$PREFIX" >"$OUT/install.log" 2>&1 || status=$?
if [ -f "$OUT/manifest.saved" ]; then cp -p "$OUT/manifest.saved" "$MANIFEST"; else rm -f "$MANIFEST"; fi
[ "$status" -eq 0 ] || { cat "$OUT/install.log" >&2; echo "FAILED: cmake --install" >&2; exit 1; }
for f in VeltroInterface veltro.exe; do
    [ -x "$PREFIX/bin/$f" ] || { echo "FAILED: $PREFIX/bin/$f was not installed" >&2; exit 1; }
done
# Only the installed engine may be found: not one from PATH.
PATH=/usr/bin:/bin exec bash "$(dirname "$0")/desktop_road.sh" "$PREFIX/bin" "$EXAMPLES" "$PROBE" "$OUT/road" quick
