#!/usr/bin/env bash
# Builds Zepcon and starts its main window on the bundled examples (or on the
# folder or file given). Without a display it says so instead of failing
# deep inside the window system.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target zepcon zepcon-cli

target=${1:-examples}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: starting the window on a virtual one (xvfb-run); close it with Ctrl+C."
  exec xvfb-run -a -s "-screen 0 1280x1024x24" ./build/zepcon "$target"
fi
exec ./build/zepcon "$target"
