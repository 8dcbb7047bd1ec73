#!/usr/bin/env bash
# Builds everything and runs all tests (the GUI tests headless).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
cd build
QT_QPA_PLATFORM=offscreen ctest -j2 --output-on-failure --timeout 300
