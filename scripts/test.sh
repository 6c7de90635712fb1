#!/bin/sh
# Every test: the Linux module natively, the Windows DLL under Wine, both
# sanitizer builds, each fuzz target for a bounded time, and the static
# checks. Installs what is missing first, and builds the Windows codecs (once;
# they are cached under build/deps).
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
sh scripts/build-codecs.sh windows
jobs=$(nproc)
start=$(date +%s)
for preset in linux windows asan tsan; do
    echo "=== $preset ($(($(date +%s) - start)) s) ==="
    cmake --preset "$preset" >/dev/null
    if ! cmake --build --preset "$preset" -j "$jobs" >"build/$preset-build.log" 2>&1; then
        tail -n 80 "build/$preset-build.log"
        exit 1
    fi
    ctest --preset "$preset" -j "$jobs"
done
echo "=== fuzzing ($(($(date +%s) - start)) s) ==="
SEPIA_FUZZ_SEED=${SEPIA_FUZZ_SEED:-20261208} sh scripts/fuzz.sh "${SEPIA_FUZZ_SECONDS:-60}"
echo "=== static checks ($(($(date +%s) - start)) s) ==="
sh scripts/static-checks.sh
echo "=== all passed ($(($(date +%s) - start)) s) ==="
