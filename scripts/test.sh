#!/bin/sh
# Every test: the Linux module natively, the Windows DLL under Wine, every
# test again under each sanitizer build (the fuzz targets' seed corpora run
# under the address sanitizer), and the static checks. Installs what is
# missing first.
# (scripts/fuzz.sh is the fuzzer's search, for minutes or hours.)
#
# Two lanes share the machine, so that one lane's waiting (Wine starting,
# configure scripts, single-threaded tests) is the other's computing:
#   here:       linux (with QEMU's older CPUs), asan, static checks, tsan
#   alongside:  the Windows codecs (built once, cached under build/deps),
#               windows, the release (reproducible, its bill of materials,
#               signing)
# The second lane reports into build/test-alongside.log, shown at the end.
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
start=$(date +%s)
# Photographs from the wild for the metadata tests, fetched before the lanes
# start: the Windows codecs' build needs the same exiv2 source.
sh scripts/fetch-samples.sh
# stage LANE TEXT: a heading with the seconds since the start and the
# processor time (user, system) this lane's finished commands used: where
# a run's time goes.
stage() {
    times >"build/.times-$1"
    echo "=== $2 ($(($(date +%s) - start)) s; $1 lane's processor time $(tail -n 1 "build/.times-$1")) ==="
}
elapsed() { echo "$(($(date +%s) - start)) s"; }

# build_and_test PRESET [TARGETS...]: builds (only TARGETS if given) and runs
# the preset's tests (only those named like TARGETS if given).
build_and_test() {
    preset=$1
    shift
    cmake --preset "$preset" >/dev/null
    targets=""
    filter=""
    for target in "$@"; do
        targets="$targets --target $target"
        filter="${filter:+$filter|}^$target\$"
    done
    # Tests at twice the cores: many wait on Wine, perl or the disk.
    tests_at_once=$(($(nproc) * 2))
    # shellcheck disable=SC2086
    if ! cmake --build --preset "$preset" -j "$(nproc)" $targets >"build/$preset-build.log" 2>&1; then
        tail -n 80 "build/$preset-build.log"
        return 1
    fi
    if [ -n "$filter" ]; then
        ctest --preset "$preset" -j "$tests_at_once" -R "$filter"
    else
        ctest --preset "$preset" -j "$tests_at_once" ${SEPIA_CTEST_EXCLUDE:+-E "$SEPIA_CTEST_EXCLUDE"}
    fi
}

mkdir -p build
alongside=build/test-alongside.log
(
    set -e
    stage alongside "windows codecs"
    sh scripts/build-codecs.sh windows
    stage alongside "windows"
    build_and_test windows
    stage alongside "release: reproducible, bill of materials, signing"
    release=$(sed -n 's/^project(Sepia VERSION \([0-9.]*\).*/sepia-\1-windows-x64/p' CMakeLists.txt)
    sh scripts/check-reproducible.sh
    sh scripts/check-sbom.sh "build/windows/release/$release/$release.cdx.json"
    sh tests/release/check_signing.sh
    stage alongside "done"
) >"$alongside" 2>&1 &
alongside_pid=$!

status=0
{
    stage main "linux" &&
        build_and_test linux &&
        stage main "asan" &&
        build_and_test asan &&
        stage main "static checks" &&
        sh scripts/static-checks.sh &&
        stage main "tsan" &&
        build_and_test tsan
} || status=1

wait "$alongside_pid" || status=1
cat "$alongside"
if [ "$status" -ne 0 ]; then
    echo "=== FAILED ($(elapsed)) ==="
    exit 1
fi
times >build/.times-all
echo "=== all passed ($(elapsed); processor time of both lanes $(tail -n 1 build/.times-all)) ==="
