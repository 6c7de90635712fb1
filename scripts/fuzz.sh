#!/bin/sh
# Builds the libFuzzer targets (preset "fuzz": clang 14, AddressSanitizer and
# UndefinedBehaviorSanitizer; the codecs instrumented too) and runs each for
# SECONDS seconds (default 60)
# from the checked-in seed corpus. Fails on any crash, leak or mismatch.
# SEPIA_FUZZ_SEED fixes libFuzzer's random seed (CI uses a fixed one, so that
# a finding shows up in every run rather than by chance); 0 or unset picks a
# new seed each run. SEPIA_FUZZ_CORPUS=empty starts from an empty corpus
# instead of the seeds, to look for what they do not lead to.
# SEPIA_FUZZ_TARGETS names the targets to run (default: all).
set -e
cd "$(dirname "$0")/.."
seconds=${1:-60}
sh scripts/install-deps.sh
sh scripts/build-codecs.sh fuzz
cmake --preset fuzz >/dev/null
targets=${SEPIA_FUZZ_TARGETS:-fuzz_process fuzz_image}
# shellcheck disable=SC2086
cmake --build --preset fuzz -j "$(nproc)" --target $targets
for target in $targets; do
    seeds=tests/fuzz/corpus/${target#fuzz_}
    # New inputs go to a scratch corpus in the build folder, never into the repo.
    work=build/fuzz/corpus-$target
    if [ "${SEPIA_FUZZ_CORPUS:-}" = empty ]; then
        work=build/fuzz/corpus-$target-from-empty
        rm -rf "$work"
        seeds=""
    fi
    log=build/fuzz/$target.log
    mkdir -p "$work"
    echo "=== $target, $seconds s$([ -z "$seeds" ] && echo ", from an empty corpus") ==="
    # shellcheck disable=SC2086
    if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "./build/fuzz/$target" -max_total_time="$seconds" -seed="${SEPIA_FUZZ_SEED:-0}" -print_final_stats=1 -rss_limit_mb=2048 \
        -artifact_prefix="build/fuzz/$target-" "$work" $seeds >"$log" 2>&1; then
        grep -E "^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb|#[0-9]+[[:space:]]+DONE)" "$log"
    else
        tail -n 60 "$log"
        echo "$target found a failure; the input is saved as build/fuzz/$target-*" >&2
        exit 1
    fi
done
