#!/usr/bin/env bash
# Installs what is missing, builds Savenook and starts it. Extra arguments are
# passed on (for example: nowin). Without a display it runs under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSAVENOOK_TESTS=OFF -DSAVENOOK_BENCH=OFF
cmake --build build-run --target savenook
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting Savenook on a virtual screen (Xvfb)." >&2
    exec xvfb-run -a -s "-screen 0 1280x800x24" ./build-run/savenook "$@"
fi
exec ./build-run/savenook "$@"
