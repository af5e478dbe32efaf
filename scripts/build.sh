#!/usr/bin/env bash
# Configures (once) and builds into build/: everything, or only the targets named. CI builds treat warnings
# as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
# Every folder is named in its parent's CMakeLists.txt, so the build re-configures itself when one changes.
if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSICHERHEIT_WERROR=$werror \
        -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
fi
if [ $# -gt 0 ]; then
    cmake --build build -j "$(nproc)" --target "$@"
else
    cmake --build build -j "$(nproc)"
fi
