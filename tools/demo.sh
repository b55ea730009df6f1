#!/usr/bin/env bash
# Builds the project and runs the demo.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build/release qorscan-demo
./build/release/bin/qorscan-demo "$@"
