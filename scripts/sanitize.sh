#!/usr/bin/env bash
# Builds everything a second time with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and
# runs every suite there (the package tests aside). Any report of either sanitizer, leaks included, fails.
set -euo pipefail
cd "$(dirname "$0")/.."
# Configured every time: a suite added since the last run is then found.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSICHERHEIT_WERROR=ON \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-asan -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizer-leaks.supp:print_suppressions=0"
ctest --test-dir build-asan --output-on-failure -j "$(nproc)" --timeout 900 -E '^(package_deb|run_without_display)$'
