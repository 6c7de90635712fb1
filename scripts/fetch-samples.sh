#!/bin/sh
# Copies photographs from the wild into build/deps/samples, for the tests of
# the reference host's metadata: camera files with their maker notes, GPS,
# files written by photo editors and press tools (XMP, IPTC-IIM, ICC), in
# JPEG, PNG, TIFF and WebP. They come from the test data of Debian's source
# packages of exiv2 and ExifTool, at the versions this machine has installed
# (each unpacked once under build/deps/src).
# Also copies the test suites the codec libraries keep into
# build/deps/suites, one folder each: libpng's PngSuite and test PNGs (with
# its crashers), libtiff's test images, libjpeg-turbo's, libwebp's, and
# libheif's examples and fuzzing corpus, from the Debian sources of the
# versions installed (unpacked under build/deps/src-suites, apart from the
# Windows codecs' sources, which may be newer).
set -e
cd "$(dirname "$0")/.."
exiv2=build/deps/src/exiv2
exiftool=build/deps/src/libimage-exiftool-perl
sh scripts/debian-source.sh exiv2 "$(dpkg-query -W -f='${source:Version}' libexiv2-dev)" "$exiv2"
sh scripts/debian-source.sh libimage-exiftool-perl "$(dpkg-query -W -f='${Version}' libimage-exiftool-perl)" "$exiftool"

samples=build/deps/samples
rm -rf "$samples"
mkdir -p "$samples"
# FILE NAME: each sample under a name of its own (the tests write every
# sample's outputs into one folder per format).
while read -r file name; do
    cp "$file" "$samples/$name"
done <<EOF
$exiv2/test/data/Reagan.jpg photoshop-reagan.jpg
$exiv2/test/data/Reagan.tiff photoshop-reagan-tiff.tif
$exiv2/test/data/ReaganSmallPng.png photoshop-reagan-png.png
$exiv2/test/data/FurnaceCreekInn.jpg gps-furnace-creek.jpg
$exiv2/test/data/exiv2-canon-eos-20d.jpg canon-eos-20d.jpg
$exiv2/test/data/exiv2-nikon-d70.jpg nikon-d70.jpg
$exiv2/test/data/exiv2-fujifilm-finepix-s2pro.jpg fujifilm-finepix-s2pro.jpg
$exiv2/test/data/exiv2-panasonic-dmc-fz5.jpg panasonic-dmc-fz5.jpg
$exiv2/test/data/exiv2-bug1199.webp nikon-webp.webp
$exiv2/test/data/imagemagick.png imagemagick-profiles.png
$exiv2/test/data/iptc-psAPP13-wIPTCmid.jpg iptc-among-resources.jpg
$exiftool/t/images/ExtendedXMP.jpg extended-xmp.jpg
$exiftool/t/images/MWG.jpg mwg-guidelines.jpg
$exiftool/t/images/XMP.jpg xmp-editor.jpg
$exiftool/t/images/IPTC.jpg iptc-press.jpg
$exiftool/t/images/GPS.jpg gps-track.jpg
$exiftool/t/images/Canon1DmkIII.jpg canon-1d-mark-iii.jpg
$exiftool/t/images/Sony.jpg sony.jpg
$exiftool/t/images/Pentax.jpg pentax.jpg
$exiftool/t/images/Olympus.jpg olympus.jpg
$exiftool/t/images/ExifTool.tif exiftool-tiff.tif
$exiftool/t/images/GeoTiff.tif geotiff.tif
$exiftool/t/images/RIFF.webp exiftool-webp.webp
$exiv2/test/data/IMG_3578.heic iphone-xr.heic
$exiv2/test/data/2021-02-13-1929.heic iphone-xr-portrait.heic
$exiv2/test/data/Stonehenge.heic stonehenge.heic
$exiv2/test/data/Canon.HIF canon-hif.hif
$exiv2/test/data/avif_exif_xmp.avif exif-xmp.avif
$exiv2/test/data/avif.avif avif-1080p.avif
$exiv2/test/data/Reagan.jxl photoshop-reagan-jxl.jxl
EOF
echo "$(ls "$samples" | wc -l) sample photographs in $samples"

suites=build/deps/suites
sources=build/deps/src-suites
source_of() {  # source_of DEV-PACKAGE FOLDER-NAME: the Debian source of the installed version
    sh scripts/debian-source.sh "$(dpkg-query -W -f='${source:Package}' "$1")" \
        "$(dpkg-query -W -f='${source:Version}' "$1")" "$sources/$2"
}
source_of libpng-dev libpng
source_of libtiff-dev tiff
source_of libjpeg62-turbo-dev libjpeg-turbo
source_of libwebp-dev libwebp
source_of libheif-dev libheif
rm -rf "$suites"
mkdir -p "$suites/pngsuite" "$suites/libpng-testpngs" "$suites/libtiff" "$suites/libjpeg-turbo" "$suites/libwebp" \
    "$suites/libheif"
cp "$sources"/libpng/contrib/pngsuite/*.png "$sources"/libpng/contrib/pngsuite/interlaced/*.png "$suites/pngsuite/"
cp "$sources"/libpng/contrib/testpngs/*.png "$sources"/libpng/contrib/testpngs/crashers/*.png "$suites/libpng-testpngs/"
cp "$sources"/tiff/test/images/*.tif* "$suites/libtiff/"
cp "$sources"/libjpeg-turbo/testimages/*.jpg "$suites/libjpeg-turbo/"
find "$sources/libwebp" -name "*.webp" -exec cp {} "$suites/libwebp/" \;
cp "$sources"/libheif/fuzzing/corpus/* "$suites/libheif/"
cp "$sources"/libheif/examples/example.heic "$suites/libheif/example-heic.heic"
cp "$sources"/libheif/examples/example.avif "$suites/libheif/example-avif.avif"
for suite in "$suites"/*; do
    echo "$(ls "$suite" | wc -l) files in $suite"
done
# Each file as its library's own tool decodes it, once for every build.
sh tests/host/decode_suites.sh "$suites" build/deps/suites-decoded
