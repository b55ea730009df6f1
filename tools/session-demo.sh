#!/usr/bin/env bash
# Builds the project and runs the scripted session with the control on the headless window
# system (no display needed), recorded as pictures and an HTML page in build/demo (or the
# folder given with --out).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build/release qorscan-demo
rm -rf build/demo
./build/release/bin/qorscan-demo --out build/demo "$@"
