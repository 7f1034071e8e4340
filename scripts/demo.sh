#!/usr/bin/env bash
# Builds both programs and lays out a portable program folder with the demo files.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)"
echo "Built. The demo program folder is not assembled yet."
