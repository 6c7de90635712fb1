#!/bin/sh
# Builds the Windows release a second time, from a clean clone of the commit
# checked out here, in a folder of another depth, with another time zone,
# locale and umask, and checks that it gives the same bytes as this
# checkout's build (build/windows): sepia.dll, sepia.dll.debug,
# sepia-host.exe, and the release zip with everything in it. On a difference,
# diffoscope says what differs. Also checks that no build path is left in
# the files the release ships.
#
# The clone links the codec libraries this checkout built
# (build/deps/codecs-windows) rather than building them again, which would
# take minutes: they hold no time stamp (build-codecs.sh dates them by their
# Debian release), and the path check below would find any build path they
# carried.
set -e
cd "$(dirname "$0")/.."
root=$PWD
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "check-reproducible: SKIPPED: the checkout has uncommitted changes, which a clone would not have" >&2
    exit 0
fi
jobs=$(nproc)
name=$(sed -n 's/^project(Sepia VERSION \([0-9.]*\).*/sepia-\1-windows-x64/p' CMakeLists.txt)

# This checkout, as CI and a developer build it.
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs" --target package >/dev/null

# The clean clone, elsewhere and otherwise.
clone=$root/build/reproducible/one/two/three/sepia
rm -rf "$root/build/reproducible"
git clone -q --no-local "$root" "$clone"
(
    cd "$clone"
    umask 077
    export TZ=Pacific/Chatham LC_ALL=C.UTF-8 LANG=C.UTF-8
    cmake --preset windows -DSEPIA_BUILD_TESTS=OFF -DSEPIA_BUILD_BENCH=OFF \
        -DSEPIA_CODECS_PREFIX="$root/build/deps/codecs-windows" >/dev/null
    cmake --build --preset windows -j "$jobs" --target package >"$root/build/reproducible/build.log" 2>&1 || {
        tail -n 40 "$root/build/reproducible/build.log"
        exit 1
    }
)

failed=""
for file in sepia.dll sepia.dll.debug sepia-host.exe "$name.zip" "release/$name/sepia-host.exe" \
    "release/$name/$name.cdx.json" release/"$name"/SHA256SUMS; do
    a=$root/build/windows/$file
    b=$clone/build/windows/$file
    if cmp -s "$a" "$b"; then
        echo "same bytes: $file ($(sha256sum "$a" | cut -c1-16)...)"
    else
        echo "DIFFERENT: $file" >&2
        failed=1
        if ! command -v diffoscope >/dev/null; then
            DEBIAN_FRONTEND=noninteractive apt-get install -y -qq diffoscope-minimal >/dev/null 2>&1 || true
        fi
        diffoscope --text - "$a" "$b" 2>&1 | head -n 80 >&2 || true
    fi
    case $file in sepia-host.exe) continue ;; esac  # the release ships it stripped
    for path in "$root" "$clone" /build/deps; do
        if grep -q -a -F "$path" "$a"; then
            echo "$file holds the build path $path" >&2
            failed=1
        fi
    done
done
[ -z "$failed" ] || exit 1
echo "the release builds to the same bytes in both checkouts"
