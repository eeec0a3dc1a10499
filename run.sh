#!/usr/bin/env bash
# Sets up the machine, builds Release and starts the application (headless when
# there is no graphical session; Ctrl-C or SIGTERM shuts it down cleanly).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)"
exec ./build/corvanta-vault "$@"
