#!/bin/sh
# Installs the build tree into a fresh prefix for the install tests, keeping
# the build tree's own install record: cmake --install rewrites
# install_manifest.txt, which lists what a user's real install put where.
#
#   install_prefix.sh CMAKE BUILD_DIR PREFIX
set -u
cmake=$1
build=$2
prefix=$3

manifest=$build/install_manifest.txt
saved=$prefix.manifest
rm -rf "$prefix" "$saved"
[ -f "$manifest" ] && cp -p "$manifest" "$saved"
"$cmake" --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1
status=$?
if [ -f "$saved" ]; then mv "$saved" "$manifest"; else rm -f "$manifest"; fi
if [ "$status" -ne 0 ]; then
    cat "$prefix.log" >&2
    echo "FAIL: cmake --install failed" >&2
    exit 1
fi
