#!/bin/sh
# Builds and runs the throughput benchmark for the Linux module and for the
# Windows DLL under Wine. Extra arguments go to both benchmark programs
# (for example --benchmark_filter=4096).
#
# SEPIA_MAX_KERNEL=sse2 (or scalar, ssse3, avx2, avx512bw) measures the
# plug-in's Process with its dispatch capped at that kernel, in builds of
# their own (build/linux-max-sse2, build/windows-max-sse2).
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
sh scripts/build-codecs.sh windows
sh scripts/fetch-benchmark-source.sh
cap=${SEPIA_MAX_KERNEL:-}
for preset in linux windows; do
    folder=build/$preset${cap:+-max-$cap}
    cmake --preset "$preset" -B "$folder" -DSEPIA_MAX_KERNEL="$cap" >/dev/null
    cmake --build "$folder" -j "$(nproc)" --target toning_bench >/dev/null
done
echo "=== Linux module ($(date -u +%Y-%m-%d), $(sed -n 's/^model name\t*: //p' /proc/cpuinfo | head -n 1)) ==="
"./build/linux${cap:+-max-$cap}/toning_bench" "$@"
echo
echo "=== Windows DLL under Wine ==="
./cmake/wine-run.sh "$PWD/build/windows${cap:+-max-$cap}/wineprefix" "build/windows${cap:+-max-$cap}/toning_bench.exe" "$@"
