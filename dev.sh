#!/usr/bin/env bash
# One entry point for new users and for CI.
#   ./dev.sh start   install what is missing, build, start the program
#   ./dev.sh test    install what is missing, build, run every test
#   ./dev.sh sanitized-test   the tests again, built with ASan and UBSan
#   ./dev.sh tsan-test   the view's tests built with ThreadSanitizer
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libjpeg62-turbo-dev libtiff-dev libpng-dev
  libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev libopencv-photo-dev
  libgtest-dev libbenchmark-dev
  libx11-dev fonts-dejavu-core
  xvfb xauth
  xdotool imagemagick openbox x11-utils
  desktop-file-utils appstream
  locales
)

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

build() {  # build DIR [extra cmake args]
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir"
}

jobs() { nproc 2>/dev/null || echo 2; }

case "${1:-}" in
  start)
    install_missing
    build build
    shift
    exec build/bin/VeltroInterface "$@"
    ;;
  test)
    install_missing
    build build
    ctest --test-dir build --output-on-failure -j "$(jobs)"
    ;;
  sanitized-test)
    install_missing
    build build-sanitized -DCMAKE_BUILD_TYPE=Debug -DVELTRO_SANITIZE=ON -DVELTRO_BUILD_BENCH=OFF
    ctest --test-dir build-sanitized --output-on-failure -j "$(jobs)"
    ;;
  tsan-test)
    # The tests of the view and its display cache, whose reductions are
    # built on worker threads; only their targets are built (tests that
    # start the engine cannot run: the sanitizer does not follow a fork of a
    # threaded program). Qt is not built with the sanitizer: tests/tsan.supp
    # silences what happens inside Qt (and the GLib loop under it), nothing
    # of the program's own.
    install_missing
    build_dir=build-tsan
    tsan_tests=(test_display_cache test_view_drawing test_view_input)
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELTRO_BUILD_BENCH=OFF \
      -DVELTRO_BUILD_ENGINE=OFF "-DCMAKE_CXX_FLAGS=-fsanitize=thread -O1 -fno-omit-frame-pointer" \
      -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
    cmake --build "$build_dir" --target "${tsan_tests[@]}"
    TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp second_deadlock_stack=1" \
      ctest --test-dir "$build_dir" --output-on-failure -j "$(jobs)" \
      -R "^($(IFS='|'; echo "${tsan_tests[*]}"))\$"
    ;;
  *)
    echo "usage: ./dev.sh start | test | sanitized-test | tsan-test" >&2
    exit 2
    ;;
esac
