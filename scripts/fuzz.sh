#!/bin/sh
# Builds the libFuzzer targets (preset "fuzz": clang 14, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs them side by side for SECONDS seconds
# (default 60) from the checked-in seed corpus. Fails on any crash, leak or
# mismatch.
#   SEPIA_FUZZ_SEED     libFuzzer's random seed; CI fixes one, so that a finding
#                       shows in every run rather than by chance; 0 or unset
#                       picks a new one each run.
#   SEPIA_FUZZ_CORPUS   "empty" starts from an empty corpus instead of the seeds,
#                       to look for what they do not lead to.
#   SEPIA_FUZZ_TARGETS  the targets to run (default: all).
#   SEPIA_FUZZ_CODECS   "instrumented" (default): the image codecs are built from
#                       Debian's sources with AddressSanitizer and libFuzzer's
#                       coverage, so the fuzzer sees and checks inside them;
#                       "system": Debian's own builds of them (quicker to build,
#                       when the instrumented ones are not wanted).
set -e
cd "$(dirname "$0")/.."
seconds=${1:-60}
sh scripts/install-deps.sh
codecs=""
if [ "${SEPIA_FUZZ_CODECS:-instrumented}" = instrumented ]; then
    sh scripts/build-codecs.sh fuzz
    codecs=$PWD/build/deps/codecs-fuzz
fi
cmake --preset fuzz -DSEPIA_CODECS_PREFIX="$codecs" >/dev/null
targets=${SEPIA_FUZZ_TARGETS:-fuzz_process fuzz_image fuzz_xmp fuzz_jxl_box}
# shellcheck disable=SC2086
cmake --build --preset fuzz -j "$(nproc)" --target $targets >build/fuzz/build.log 2>&1 || {
    tail -n 60 build/fuzz/build.log
    exit 1
}
pids=""
for target in $targets; do
    seeds=tests/fuzz/corpus/${target#fuzz_}
    # New inputs go to a scratch corpus in the build folder, never into the repo.
    work=build/fuzz/corpus-$target
    if [ "${SEPIA_FUZZ_CORPUS:-}" = empty ]; then
        work=build/fuzz/corpus-$target-from-empty
        rm -rf "$work"
        seeds=""
    fi
    mkdir -p "$work"
    dictionary=""
    if [ -f "tests/fuzz/${target#fuzz_}.dict" ]; then
        dictionary=-dict=tests/fuzz/${target#fuzz_}.dict
    fi
    echo "=== $target, $seconds s$([ -z "$seeds" ] && echo ", from an empty corpus") ==="
    # shellcheck disable=SC2086
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "./build/fuzz/$target" -max_total_time="$seconds" -seed="${SEPIA_FUZZ_SEED:-0}" -print_final_stats=1 \
        -rss_limit_mb=2048 -artifact_prefix="build/fuzz/$target-" $dictionary "$work" $seeds >"build/fuzz/$target.log" 2>&1 &
    pids="$pids $!"
done
failed=""
set -- $pids
for target in $targets; do
    log=build/fuzz/$target.log
    if wait "$1"; then
        echo "--- $target"
        grep -E "^(INFO: Seed|stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb|#[0-9]+[[:space:]]+DONE)" "$log"
    else
        tail -n 60 "$log"
        echo "$target found a failure; the input is saved as build/fuzz/$target-*" >&2
        failed=1
    fi
    shift
done
[ -z "$failed" ]
