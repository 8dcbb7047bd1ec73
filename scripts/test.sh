#!/usr/bin/env bash
# Builds everything and runs all tests (the GUI tests headless).
#
# KM7_SANITIZERS=1 also runs the suite under AddressSanitizer +
# UndefinedBehaviorSanitizer (build-asan) and the core, without the GUI,
# under ThreadSanitizer (build-tsan).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
export QT_QPA_PLATFORM=offscreen

run() { # build folder, then cmake options
  local dir=$1
  shift
  echo "=== $dir $*"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j2
  (cd "$dir" && ctest -j2 --output-on-failure --timeout 300)
}

run build
if [ "${KM7_SANITIZERS:-0}" = 1 ]; then
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run build-asan -DKM7_SANITIZE=address
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    run build-tsan -DKM7_SANITIZE=thread -DKM7_BUILD_GUI=OFF
fi
