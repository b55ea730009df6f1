#!/usr/bin/env bash
# Installs what the application needs, builds it and starts it. With a display ($DISPLAY), the
# application opens for you to scan with. Without one, it runs on a virtual X display (Xvfb) and
# plays a short tour through real X input, writing screenshots and a page in build/tour (or the
# folder given with --out).
set -euo pipefail
cd "$(dirname "$0")/.."

out=build/tour
if [[ "${1:-}" == "--out" && -n "${2:-}" ]]; then out=$2; fi

bash tools/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build/release qorscan

if [[ -n "${DISPLAY:-}" ]]; then
  exec ./build/release/bin/qorscan
fi
xvfb-run -a -s "-screen 0 1280x900x24" python3 tools/app-tour.py --app build/release/bin/qorscan --out "$out"
