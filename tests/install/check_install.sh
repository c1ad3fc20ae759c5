#!/bin/sh
# Checks what an install into a fresh prefix put there (install_prefix.sh):
# the program and (when built) the engine side by side in bin/, the desktop
# entry, the icons at every size and the AppStream metadata, the last two run
# through their validators, and the installed engine answering --version.
#
#   check_install.sh PREFIX VERSION WITH_ENGINE(0|1)
set -u

prefix=$1
version=$2
with_engine=$3

app_id=org.veltro.VeltroInterface
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

for tool in desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null 2>&1 ||
        { echo "FAIL: $tool is missing (Debian packages desktop-file-utils, appstream)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/veltro-install-check.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
trap 'exit 1' HUP INT TERM

# The binaries, executable.
binaries=VeltroInterface
[ "$with_engine" = 1 ] && binaries="$binaries veltro.exe"
for b in $binaries; do
    if [ ! -f "$prefix/bin/$b" ]; then
        fail "bin/$b is not installed"
    elif [ ! -x "$prefix/bin/$b" ]; then
        fail "bin/$b is not executable"
    fi
done

# The data files.
desktop=$prefix/share/applications/$app_id.desktop
metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
expected="$desktop $metainfo"
for size in 16 24 32 48 64 128 256; do
    expected="$expected $prefix/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
done
for f in $expected; do
    [ -s "$f" ] || fail "${f#"$prefix"/} is not installed"
done

# Nothing else: no tests, benchmarks, libraries or the test engine.
expected_all=$(for b in $binaries; do echo "$prefix/bin/$b"; done; for f in $expected; do echo "$f"; done)
find "$prefix" -type f | sort >"$work/found"
echo "$expected_all" | sort >"$work/expected"
extra=$(comm -23 "$work/found" "$work/expected" | sed "s|^$prefix/||")
[ -z "$extra" ] || fail "unexpected files installed: $extra"

# The icons are PNG images of their own size (bytes 16..23 of the IHDR
# chunk hold the width and height, big-endian).
for size in 16 24 32 48 64 128 256; do
    f=$prefix/share/icons/hicolor/${size}x${size}/apps/$app_id.png
    [ -f "$f" ] || continue
    dims=$(od -An -tu1 -j16 -N8 "$f" | awk '{ printf "%d %d", $3 * 256 + $4, $7 * 256 + $8 }')
    [ "$dims" = "$size $size" ] || fail "icon ${size}x${size} is $dims"
done

# The validators.
if [ -f "$desktop" ]; then
    if ! out=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$out" ]; then
        fail "desktop-file-validate: $out"
    fi
    # What the entry starts and shows must be what was installed.
    exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    if [ -z "$exec_name" ] || [ ! -x "$prefix/bin/$exec_name" ]; then
        fail "the desktop entry starts '$exec_name', which is not in bin/"
    fi
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    if [ -z "$icon" ] || [ ! -f "$prefix/share/icons/hicolor/256x256/apps/$icon.png" ]; then
        fail "the desktop entry shows the icon '$icon', which is not installed"
    fi
fi
if [ -f "$metainfo" ]; then
    # --strict: warnings and hints fail too, only pedantic notes pass.
    out=$(appstreamcli validate --no-net --strict "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
    grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
        fail "the metadata does not launch $app_id.desktop"
    grep -q "<release version=\"$version\"" "$metainfo" ||
        fail "the metadata has no release entry for version $version"
fi

# The installed engine runs and knows the project's version.
if [ "$with_engine" = 1 ] && [ -x "$prefix/bin/veltro.exe" ]; then
    out=$("$prefix/bin/veltro.exe" --version 2>&1)
    rc=$?
    [ "$rc" = 0 ] || fail "veltro.exe --version exited with $rc: $out"
    case $out in
        *"$version"*) ;;
        *) fail "veltro.exe --version prints '$out', not the version $version" ;;
    esac
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed; installed files:" >&2
    (cd "$prefix" && find . -type f | sort) >&2
    exit 1
fi
echo "install into a fresh prefix: all checks passed"
