#!/bin/sh
# Builds the picture generator and regenerates every PNG under res/.
# Usage: tools/make_art/run.sh [build-dir]   (default: a folder under /tmp)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
out=${1:-${TMPDIR:-/tmp}/veltro-make_art}
mkdir -p "$out"
# shellcheck disable=SC2046
g++ -std=c++17 -O2 -Wall -Wextra -fPIC "$here/make_art.cpp" -o "$out/make_art" \
    $(pkg-config --cflags --libs Qt6Gui)
QT_QPA_PLATFORM=offscreen "$out/make_art" "$repo/res"
