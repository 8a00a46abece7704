#!/usr/bin/env bash
# Sets up what is missing, builds, and starts the analyser. Extra arguments go to zeltrak.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target zeltrak
exec ./build/zeltrak "${@:---headless}"
