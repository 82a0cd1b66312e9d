#!/usr/bin/env bash
# Installs what is needed, builds the release preset and runs the program on its
# embedded default.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release
cmake --build --preset release
./build/release/tools/zelvan-worker-demo
