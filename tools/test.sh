#!/usr/bin/env bash
# Builds everything and runs every test. With --sanitize, builds and tests with the
# address and undefined-behaviour sanitizers in a separate build folder.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

build=build/release
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOR_SANITIZE=OFF)
if [[ "${1:-}" == "--sanitize" ]]; then
  build=build/sanitize
  flags=(-DCMAKE_BUILD_TYPE=Debug -DQOR_SANITIZE=ON -DQOR_BUILD_BENCH=OFF)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi

cmake -S . -B "$build" -G Ninja "${flags[@]}" >/dev/null
ninja -C "$build"
ctest --test-dir "$build" --output-on-failure -j2
