#!/bin/sh
# Builds and runs every test: the Linux module natively and the Windows DLL
# under Wine.
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
for preset in linux windows; do
    echo "=== $preset ==="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
    ctest --preset "$preset"
done
