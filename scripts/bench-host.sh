#!/bin/sh
# The photo job beside libvips, the streaming library people pick for it:
# each picture toned with "Sepia 1" by sepia-host (the Linux build, and the
# Windows build under Wine) and by `vips recomb` with the same 3x3 matrix,
# JPEG at quality 90, PNG at zlib level 6, TIFF with Deflate. Prints wall
# time and peak resident memory (/usr/bin/time -f %M) of each run, as a
# Markdown table. A benchmark, not a test: the figures vary with the machine.
#
# The pictures are made once, from the photograph in docs/, under
# build/bench-host (about 2 GB): a 24-megapixel camera JPEG, the same stored
# sideways (EXIF orientation 6), a 96-megapixel one stored sideways, a
# 96-megapixel PNG, a 24-megapixel tiled TIFF, a 384-megapixel tiled scan and
# a 600-megapixel panorama; beside them a 12-megapixel iPhone HEIC from
# exiv2's test data (scripts/fetch-samples.sh). SEPIA_BENCH_PICTURES="photo-24mp.jpg
# ..." runs some of them; SEPIA_BENCH_RUNS (default 1) runs each job that
# many times. SEPIA_BENCH_LINUX and SEPIA_BENCH_WINDOWS name other build
# folders (default build/linux and build/windows), to measure another
# commit's host; "none" leaves a build out, and SEPIA_BENCH_VIPS=none
# leaves out libvips.
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
for p in libvips-tools time; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$p" >/dev/null
done
root=$PWD
linuxBuild=${SEPIA_BENCH_LINUX:-$root/build/linux}
windowsBuild=${SEPIA_BENCH_WINDOWS:-$root/build/windows}
if [ -z "$SEPIA_BENCH_LINUX$SEPIA_BENCH_WINDOWS" ]; then
    sh scripts/fetch-samples.sh
    sh scripts/build-codecs.sh windows
    for preset in linux windows; do
        cmake --preset "$preset" >/dev/null
        cmake --build --preset "$preset" -j "$(nproc)" --target sepia sepia-host >/dev/null
    done
fi
work=$root/build/bench-host
mkdir -p "$work/out"
cd "$work"

# Sepia 1, as vips recomb takes it: output red, green, blue from input red,
# green, blue.
printf '3 3\n0.393 0.769 0.189\n0.349 0.686 0.168\n0.272 0.534 0.131\n' >sepia1.mat

# photo WIDTH HEIGHT FILE: the photograph in docs/ enlarged, with some
# sensor-like noise, saved by vips.
photo() {
    [ -f "$3" ] && return 0
    echo "making $3 ($1 x $2)" >&2
    vips resize "$root/docs/photo-before.png" big.v "$(awk "BEGIN { print $1 / 600 }")" --kernel cubic
    vips gaussnoise noise.v "$1" "$2" --sigma 6 --mean 0
    vips add big.v noise.v sum.v
    vips cast sum.v photo.v uchar
    case $3 in
        *.jpg) vips jpegsave photo.v "$3" --Q 92 ;;
        *.png) vips pngsave photo.v "$3" --compression 6 ;;
        *.tif)
            # The scan as BigTIFF, as scanners write their largest.
            big=""
            [ "$1" -gt 20000 ] && big=--bigtiff
            vips tiffsave photo.v "$3" --compression deflate --predictor horizontal --tile --tile-width 256 \
                --tile-height 256 $big
            ;;
    esac
    rm -f big.v noise.v sum.v photo.v
}
# sideways SOURCE FILE: SOURCE stored turned, as a camera held upright does.
sideways() {
    [ -f "$2" ] && return 0
    echo "making $2" >&2
    vips rot "$1" turned.v d270
    vips jpegsave turned.v "$2" --Q 92
    rm -f turned.v
    exiftool -q -overwrite_original -n -Orientation=6 "$2"
}
photo 6000 4000 photo-24mp.jpg
sideways photo-24mp.jpg sideways-24mp.jpg
photo 12000 8000 photo-96mp.jpg
sideways photo-96mp.jpg sideways-96mp.jpg
photo 12000 8000 photo-96mp.png
photo 6000 4000 tiled-24mp.tif
photo 24000 16000 scan-384mp.tif
photo 30000 20000 panorama-600mp.jpg
cp "$root/build/deps/samples/iphone-xr.heic" phone-12mp.heic

# measure COMMAND...: "SECONDS s, MB" of one run (the best of the runs).
measure() {
    best=""
    run=0
    while [ "$run" -lt "${SEPIA_BENCH_RUNS:-1}" ]; do
        run=$((run + 1))
        if ! /usr/bin/time -f "%e %M" -o time.txt "$@" >/dev/null 2>run.log; then
            tail -n 3 run.log >&2
            echo "failed"
            return
        fi
        this=$(awk '{printf "%.2f s, %d MB", $1, $2 / 1024}' time.txt)
        seconds=$(cut -d' ' -f1 time.txt)
        if [ -z "$best" ] || awk "BEGIN { exit !($seconds < $bestSeconds) }"; then
            best=$this
            bestSeconds=$seconds
        fi
    done
    echo "$best"
}

host=$linuxBuild/sepia-host
plugin=$linuxBuild/sepia.so
wine="$root/cmake/wine-run.sh $root/build/windows/wineprefix"
hostExe=$windowsBuild/sepia-host.exe
dll=$windowsBuild/sepia.dll
[ "$SEPIA_BENCH_WINDOWS" = none ] || $wine "$hostExe" info "$dll" >/dev/null  # Wine's prefix made before timing

echo "$(date -u +%Y-%m-%d), $(sed -n 's/^model name\t*: //p' /proc/cpuinfo | head -n 1), $(nproc) cores, $(vips --version)"
echo
echo "| picture | job | sepia-host (Linux) | sepia-host.exe (Wine) | vips recomb |"
echo "|---|---|---|---|---|"
for job in photo-24mp.jpg:jpg sideways-24mp.jpg:png sideways-24mp.jpg:jpg sideways-96mp.jpg:jpg photo-96mp.png:png \
    tiled-24mp.tif:tif scan-384mp.tif:tif panorama-600mp.jpg:jpg phone-12mp.heic:jpg; do
    in=${job%%:*}
    ext=${job##*:}
    case " ${SEPIA_BENCH_PICTURES:-$in} " in *" $in "*) ;; *) continue ;; esac
    linux="-"
    windows="-"
    [ "$SEPIA_BENCH_LINUX" = none ] || linux=$(measure "$host" apply "$plugin" -p 0 -q 90 "$in" "out/host.$ext")
    [ "$SEPIA_BENCH_WINDOWS" = none ] || windows=$(measure $wine "$hostExe" apply "$dll" -p 0 -q 90 "$in" "out/host-exe.$ext")
    case $SEPIA_BENCH_VIPS:$in in
        none:*) vips="-" ;;
        *:sideways*) vips="(not upright)" ;;
        *)
            case $ext in
                jpg) target="out/vips.jpg[Q=90]" ;;
                png) target="out/vips.png[compression=6]" ;;
                tif) target="out/vips.tif[compression=deflate,predictor=horizontal]" ;;
            esac
            vips=$(measure vips recomb "$in" "$target" sepia1.mat)
            ;;
    esac
    echo "| $in | → $ext | $linux | $windows | $vips |"
    rm -f out/*
done
