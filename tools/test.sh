#!/usr/bin/env bash
# Builds everything and runs every test. Each option builds in a folder of its own:
#   --sanitize  the address and undefined-behaviour sanitizers (build/sanitize)
#   --clang     clang instead of GCC, whose warnings differ (build/clang)
#   --tsan      ThreadSanitizer over the code that runs on several threads: the window
#               system's posting from other threads and the scan engine (build/tsan); only
#               those test programs are built and run
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

build=build/release
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOR_SANITIZE=OFF)
targets=()  # all
tests=""    # all
case "${1:-}" in
"") ;;
--sanitize)
  build=build/sanitize
  flags=(-DCMAKE_BUILD_TYPE=Debug -DQOR_SANITIZE=ON -DQOR_BUILD_BENCH=OFF)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  ;;
--clang)
  build=build/clang
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOR_SANITIZE=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
  ;;
--tsan)
  build=build/tsan
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOR_SANITIZE=thread -DQOR_BUILD_BENCH=OFF -DQOR_BUILD_APP=OFF)
  targets=(test_platform_user test_host_engine test_host_engine_control)
  tests="^(test_platform_user|test_host_engine|test_host_engine_control)$"
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
  ;;
*)
  echo "usage: $0 [--sanitize | --clang | --tsan]" >&2
  exit 2
  ;;
esac

cmake -S . -B "$build" -G Ninja "${flags[@]}" >/dev/null
ninja -C "$build" "${targets[@]}"
ctest --test-dir "$build" --output-on-failure -j2 ${tests:+-R "$tests"}
