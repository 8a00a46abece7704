#!/usr/bin/env bash
# Sets up what is missing, builds, and starts the analyser. Arguments go to zeltrak.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target zeltrak
# Without arguments: the desktop window where a display exists; elsewhere the headless
# real-time analyser for a few seconds, so a new user sees it work (on the Loopback card's test
# tone when the machine has no sound card).
if [ $# -eq 0 ] && [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    set -- --headless --seconds 5
fi
exec ./build/zeltrak "$@"
