#!/bin/sh
# What a picture costs in each layout the host reads: wall time and peak
# resident memory (/usr/bin/time -f %M) of sepia-host (the Linux build, and
# the Windows build under Wine) toning a 66-megapixel photograph
# (10000 x 6600) stored in each TIFF layout libtiff reads, as progressive
# JPEG and as interlaced PNG, into JPEG; and of files of a few hundred bytes
# whose headers claim huge pictures. Prints a Markdown table. A benchmark,
# not a test: the figures vary with the machine.
#
# The pictures are made once under build/bench-layouts (about 2 GB), with
# the TIFF tools (tiffcp, tiffmedian, tiffdither, tiffset), vips and
# make_test_pictures. SEPIA_BENCH_LINUX and SEPIA_BENCH_WINDOWS name other
# build folders (default build/linux and build/windows); "none" leaves a
# build out.
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
root=$PWD
linuxBuild=${SEPIA_BENCH_LINUX:-$root/build/linux}
windowsBuild=${SEPIA_BENCH_WINDOWS:-$root/build/windows}
if [ -z "$SEPIA_BENCH_LINUX$SEPIA_BENCH_WINDOWS" ]; then
    sh scripts/build-codecs.sh windows
    for preset in linux windows; do
        cmake --preset "$preset" >/dev/null
        cmake --build --preset "$preset" -j "$(nproc)" --target sepia sepia-host make_test_pictures >/dev/null
    done
fi
work=$root/build/bench-layouts
mkdir -p "$work/out"
cd "$work"

if [ ! -f base.tif ]; then
    vips resize "$root/docs/photo-before.png" big.v 16.7 --kernel linear
    vips extract_area big.v photo.v 0 0 10000 6600
    vips tiffsave photo.v base.tif --compression none
    rm big.v
fi
# prepare NAME COMMAND...: NAME made by COMMAND once.
prepare() {
    name=$1
    shift
    [ -f "$name" ] || "$@" >/dev/null 2>&1 || { echo "cannot make $name" >&2; exit 1; }
}
prepare strips-lzw.tif tiffcp -c lzw -r 16 base.tif strips-lzw.tif
prepare one-strip-lzw.tif tiffcp -c lzw -r 6600 base.tif one-strip-lzw.tif
prepare separate-one-strip.tif tiffcp -p separate -c zip -r 6600 base.tif separate-one-strip.tif
prepare jpeg-one-strip.tif tiffcp -c jpeg:90 -r 6600 base.tif jpeg-one-strip.tif
prepare tiles-256.tif tiffcp -c zip -t -w 256 -l 256 base.tif tiles-256.tif
prepare separate-tiles.tif tiffcp -p separate -c zip -t -w 512 -l 512 base.tif separate-tiles.tif
prepare one-tile.tif tiffcp -c zip -t -w 10000 -l 6608 base.tif one-tile.tif
prepare palette-one-strip.tif sh -c 'tiffmedian -c lzw base.tif p.tif && tiffcp -r 6600 p.tif palette-one-strip.tif && rm p.tif'
prepare bilevel-one-strip.tif sh -c 'tiff2bw base.tif g.tif && tiffdither -c g4 g.tif b.tif && tiffcp -r 6600 b.tif bilevel-one-strip.tif && rm g.tif b.tif'
prepare ycbcr-one-strip.tif "$linuxBuild/make_test_pictures" --ycbcr ycbcr-one-strip.tif 10000 6600 2 2 6600
prepare progressive.jpg vips jpegsave photo.v progressive.jpg --interlace --Q 80
prepare interlaced.png vips pngsave photo.v interlaced.png --interlace
# Headers that claim 320 or 268 megapixels over a few hundred bytes.
prepare claim-strip.tif sh -c 'vips black t.v 1 1 --bands 3 && vips tiffsave t.v claim-strip.tif --compression deflate &&
    tiffset -s 256 20000 claim-strip.tif && tiffset -s 257 16000 claim-strip.tif &&
    tiffset -s 278 16000 claim-strip.tif'
prepare claim-tile.tif sh -c 'vips black t.v 1 1 --bands 3 && vips tiffsave t.v t.tif --compression deflate --tile \
    --tile-width 16 --tile-height 16 && tiffset -s 322 16384 t.tif && tiffset -s 323 16384 t.tif &&
    tiffset -s 256 16384 t.tif && tiffset -s 257 16384 t.tif && mv t.tif claim-tile.tif'
prepare claim-progressive.jpg sh -c 'vips black t.v 16 16 --bands 3 && vips jpegsave t.v t.jpg --interlace &&
    at=$(grep -obUaP "\xff\xc2" t.jpg | head -n 1 | cut -d: -f1) &&
    printf "\076\200\116\040" | dd of=t.jpg bs=1 seek=$((at + 5)) conv=notrunc 2>/dev/null && mv t.jpg claim-progressive.jpg'

# measure COMMAND...: "SECONDS s, MB" of one run, or what failed.
measure() {
    if /usr/bin/time -f "%e %M" -o time.txt "$@" >/dev/null 2>run.log; then
        awk '{printf "%.2f s, %d MB", $1, $2 / 1024}' time.txt
    else
        printf "%s (refused)" "$(awk '{printf "%.2f s, %d MB", $1, $2 / 1024}' time.txt)"
    fi
}
wine="$root/cmake/wine-run.sh $root/build/windows/wineprefix"
[ "$SEPIA_BENCH_WINDOWS" = none ] || $wine "$windowsBuild/sepia-host.exe" info "$windowsBuild/sepia.dll" >/dev/null
echo "$(date -u +%Y-%m-%d), $(sed -n 's/^model name\t*: //p' /proc/cpuinfo | head -n 1), $(nproc) cores"
echo
echo "| file | bytes | sepia-host (Linux) | sepia-host.exe (Wine) |"
echo "|---|---|---|---|"
for file in strips-lzw.tif one-strip-lzw.tif separate-one-strip.tif jpeg-one-strip.tif tiles-256.tif \
    separate-tiles.tif one-tile.tif palette-one-strip.tif bilevel-one-strip.tif ycbcr-one-strip.tif progressive.jpg \
    interlaced.png claim-strip.tif claim-tile.tif claim-progressive.jpg; do
    linux="-"
    windows="-"
    [ "$SEPIA_BENCH_LINUX" = none ] ||
        linux=$(measure "$linuxBuild/sepia-host" apply "$linuxBuild/sepia.so" -p 0 "$file" out/toned.jpg)
    [ "$SEPIA_BENCH_WINDOWS" = none ] ||
        windows=$(measure $wine "$windowsBuild/sepia-host.exe" apply "$windowsBuild/sepia.dll" -p 0 "$file" out/toned.jpg)
    echo "| $file | $(wc -c <"$file") | $linux | $windows |"
    rm -f out/*
done
