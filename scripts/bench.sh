#!/bin/sh
# Builds and runs the throughput benchmark for the Linux module and for the
# Windows DLL under Wine. Extra arguments go to both benchmark programs
# (for example --benchmark_filter=4096).
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
sh scripts/build-codecs.sh windows
sh scripts/fetch-benchmark-source.sh
for preset in linux windows; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)" --target toning_bench >/dev/null
done
echo "=== Linux module ($(date -u +%Y-%m-%d), $(sed -n 's/^model name\t*: //p' /proc/cpuinfo | head -n 1)) ==="
./build/linux/toning_bench "$@"
echo
echo "=== Windows DLL under Wine ==="
./cmake/wine-run.sh "$PWD/build/windows/wineprefix" build/windows/toning_bench.exe "$@"
