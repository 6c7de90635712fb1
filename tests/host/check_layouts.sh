#!/bin/sh
# check_layouts.sh FORMAT HOST PLUGIN TONE_COMPARE PICTURES WORK [EMULATOR...]
# Walks a format's space of layouts: files made by the format's own tools
# (tiffcp, tiffcrop, tiff2bw, tiffmedian, tiffdither, tiffset; cjpeg,
# jpegtran, exiftool; vips; heif-enc, avifenc; cwebp) from one photograph,
# each toned by the host (one batch run, PNG out, --strip), each output
# compared by tone_compare with the file as its library's own tool decodes
# it (tiff2rgba, djpeg, pngtopam, heif-convert, dwebp), or with the
# photograph itself where the layout is lossless, toned by the exact form.
# Pictures stored turned are compared with the decode turned upright by
# vips. FORMAT: tiff, jpeg, png, heif or webp. Windows programs (the host,
# tone_compare, make_test_pictures) run under EMULATOR.
set -eu
format=$1 host=$2 plugin=$3 compare=$4 pictures=$5 work=$6
shift 6
emulator="$*"
# shellcheck disable=SC2086
run() { $emulator "$@"; }

here=$(cd "$(dirname "$0")" && pwd)
photo=$here/../../docs/photo-before.png
rm -rf "$work"
mkdir -p "$work/in" "$work/ref" "$work/out" "$work/tmp"
cd "$work"
list=$work/list
: >"$list"

# Originals, 203 x 151 (no multiple of a block, strip or tile size): RGB,
# RGBA with alpha across, grey, RGB in 16 bits (not multiples of 257).
vips extract_area "$photo" tmp/rgb.v 211 97 203 151
vips copy tmp/rgb.v rgb.png
vips copy tmp/rgb.v rgb.ppm
vips xyz tmp/xy.v 203 151
vips extract_band tmp/xy.v tmp/x.v 0
vips linear tmp/x.v tmp/alpha.v 1.26 0 --uchar
vips bandjoin "tmp/rgb.v tmp/alpha.v" tmp/rgba.v
vips copy tmp/rgba.v rgba.png
vips colourspace tmp/rgb.v tmp/grey.v b-w
vips copy tmp/grey.v grey.png
vips cast tmp/rgb.v tmp/rgb16a.v ushort
vips linear tmp/rgb16a.v tmp/rgb16b.v 257 37
vips cast tmp/rgb16b.v tmp/rgb16c.v ushort
vips copy tmp/rgb16c.v tmp/rgb16.v --interpretation rgb16
vips copy tmp/rgb16.v rgb16.png
vips tiffsave tmp/rgb.v rgb.tif --compression none
vips tiffsave tmp/rgba.v rgba.tif --compression none
vips tiffsave tmp/grey.v grey.tif --compression none
vips tiffsave tmp/rgb16.v rgb16.tif --compression none
for original in rgb rgba grey rgb16; do
    pngtopam -alphapam "$original.png" >"ref/$original.pam"
done

# upright FILE ORIENTATION OUT: a decoded picture stored under an EXIF or
# TIFF orientation, turned upright.
upright() {
    case $2 in
        1) vips copy "$1" "$3" ;;
        2) vips flip "$1" "$3" horizontal ;;
        3) vips rot "$1" "$3" d180 ;;
        4) vips flip "$1" "$3" vertical ;;
        5) vips rot "$1" tmp/turned.v d90 && vips flip tmp/turned.v "$3" horizontal ;;
        6) vips rot "$1" "$3" d90 ;;
        7) vips rot "$1" tmp/turned.v d270 && vips flip tmp/turned.v "$3" horizontal ;;
        8) vips rot "$1" "$3" d270 ;;
    esac
}

# layout NAME EXTENSION REFERENCE TOLERANCE MODE COMMAND...: makes
# in/NAME.EXTENSION by COMMAND, which writes made.EXTENSION, then its
# reference:
#   =ORIGINAL   the original itself (rgb, rgba, grey, rgb16);
#   =ORIGINAL@N the original turned upright from orientation N;
#   tiff2rgba, djpeg, pngtopam, heif, dwebp: that tool's decode;
#   TOOL@N      that tool's decode turned upright from orientation N.
layout() {
    name=$1 extension=$2 reference=$3 tolerance=$4 mode=$5
    shift 5
    out=in/$name.$extension
    rm -f "made.$extension"
    if ! "$@" >tmp/make.log 2>&1 || ! mv "made.$extension" "$out"; then
        cat tmp/make.log
        echo "cannot make $name: $*"
        exit 1
    fi
    ref=ref/$name.pam
    tool=${reference%@*}
    orientation=${reference#*@}
    [ "$orientation" != "$reference" ] || orientation=1
    case $tool in
        =*) if [ "$orientation" = 1 ]; then
                ref=ref/${tool#=}.pam
            else
                upright "${tool#=}.png" "$orientation" tmp/upright.png && pngtopam -alphapam tmp/upright.png >"$ref"
            fi ;;
        tiff2rgba) tiff2rgba -c none "$out" tmp/decoded.tif && upright tmp/decoded.tif "$orientation" ref/$name.tif &&
            ref=ref/$name.tif ;;
        djpeg) djpeg -pnm -outfile tmp/decoded.pnm "$out" && upright tmp/decoded.pnm "$orientation" tmp/upright.png &&
            pngtopam -alphapam tmp/upright.png >"$ref" ;;
        pngtopam) pngtopam -alphapam "$out" >"$ref" ;;
        heif) heif-convert "$out" tmp/decoded.png >/dev/null && pngtopam -alphapam tmp/decoded.png >"$ref" ;;
        dwebp) dwebp -quiet -pam "$out" -o "$ref" ;;
        *) echo "unknown reference $reference"; exit 1 ;;
    esac
    echo "$preset $tolerance $mode $work/$ref $work/out/$name.png" >>"$list"
}

case $format in
tiff)
    preset=0
    for compression in none lzw zip packbits lzw:2 zip:2; do
        c=$(echo "$compression" | tr : -)
        layout "strips-$c" tif =rgb 0 straight tiffcp -c "$compression" -r 16 rgb.tif made.tif
        layout "one-strip-$c" tif =rgb 0 straight tiffcp -c "$compression" -r 100000 rgb.tif made.tif
        layout "separate-$c" tif =rgb 0 straight tiffcp -p separate -c "$compression" -r 7 rgb.tif made.tif
        layout "separate-one-strip-$c" tif =rgb 0 straight tiffcp -p separate -c "$compression" -r 100000 rgb.tif made.tif
        layout "tiles-16-$c" tif =rgb 0 straight tiffcp -c "$compression" -t -w 16 -l 16 rgb.tif made.tif
        layout "tiles-odd-$c" tif =rgb 0 straight tiffcp -c "$compression" -t -w 48 -l 32 rgb.tif made.tif
        layout "one-tile-$c" tif =rgb 0 straight tiffcp -c "$compression" -t -w 256 -l 256 rgb.tif made.tif
        layout "separate-tiles-$c" tif =rgb 0 straight tiffcp -p separate -c "$compression" -t -w 32 -l 64 rgb.tif made.tif
        layout "alpha-$c" tif =rgba 0 straight tiffcp -c "$compression" -r 5 rgba.tif made.tif
        layout "alpha-separate-$c" tif =rgba 0 straight tiffcp -p separate -c "$compression" rgba.tif made.tif
        layout "alpha-separate-tiles-$c" tif =rgba 0 straight tiffcp -p separate -c "$compression" -t -w 16 -l 32 rgba.tif made.tif
        layout "grey-$c" tif =grey 0 straight tiffcp -c "$compression" grey.tif made.tif
        layout "grey-tiles-$c" tif =grey 0 straight tiffcp -c "$compression" -t -w 64 -l 16 grey.tif made.tif
        layout "rgb16-$c" tif =rgb16 1 straight tiffcp -c "$compression" rgb16.tif made.tif
        layout "rgb16-tiles-$c" tif =rgb16 1 straight tiffcp -c "$compression" -t -w 16 -l 16 rgb16.tif made.tif
    done
    layout big-endian tif =rgb 0 straight tiffcp -B -c lzw rgb.tif made.tif
    layout bigtiff tif =rgb 0 straight tiffcp -8 -c zip rgb.tif made.tif
    layout bigtiff-separate-tiles tif =rgba 0 straight tiffcp -8 -p separate -t -w 32 -l 32 rgba.tif made.tif
    # Lossy or converted layouts, against libtiff's own decode.
    for quality in 50 95; do
        layout "jpeg-$quality" tif tiff2rgba 0 straight tiffcp -c "jpeg:$quality" -r 16 rgb.tif made.tif
        layout "jpeg-one-strip-$quality" tif tiff2rgba 0 straight tiffcp -c "jpeg:$quality" -r 100000 rgb.tif made.tif
        layout "jpeg-tiles-$quality" tif tiff2rgba 0 straight tiffcp -c "jpeg:$quality" -t -w 64 -l 48 rgb.tif made.tif
        layout "jpeg-rgb-$quality" tif tiff2rgba 0 straight tiffcp -c "jpeg:r:$quality" -r 32 rgb.tif made.tif
    done
    layout jpeg-grey tif tiff2rgba 0 straight tiffcp -c jpeg -r 16 grey.tif made.tif
    layout minisblack-tiff2bw tif tiff2rgba 0 straight tiff2bw -c lzw rgb.tif made.tif
    layout palette tif tiff2rgba 0 straight tiffmedian -c lzw rgb.tif made.tif
    layout palette-tiles tif tiff2rgba 0 straight sh -c 'tiffmedian rgb.tif tmp/palette.tif && tiffcp -t -w 32 -l 16 tmp/palette.tif "$1"' - made.tif
    layout palette-16-colours tif tiff2rgba 0 straight tiffmedian -C 16 rgb.tif made.tif
    layout bilevel-g4 tif tiff2rgba 0 straight sh -c 'tiff2bw rgb.tif tmp/grey8.tif && tiffdither -c g4 tmp/grey8.tif "$1"' - made.tif
    layout bilevel-tiles tif tiff2rgba 0 straight sh -c 'tiff2bw rgb.tif tmp/grey8.tif && tiffdither tmp/grey8.tif tmp/bw.tif && tiffcp -t -w 16 -l 16 tmp/bw.tif "$1"' - made.tif
    layout cmyk tif tiff2rgba 0 straight sh -c 'vips colourspace tmp/rgb.v tmp/cmyk.v cmyk && vips tiffsave tmp/cmyk.v "$1"' - made.tif
    layout premultiplied tif tiff2rgba 0 premultiplied sh -c 'tiffcp rgba.tif "$1" && tiffset -s 338 1 1 "$1"' - made.tif
    layout unspecified-alpha tif tiff2rgba 0 premultiplied sh -c 'tiffcp rgba.tif "$1" && tiffset -s 338 1 0 "$1"' - made.tif
    for sampling in 1:1 2:1 2:2 4:2 1:2; do
        s=$(echo "$sampling" | tr : x)
        layout "ycbcr-$s" tif tiff2rgba 0 straight run "$pictures" --ycbcr made.tif 203 151 "${sampling%:*}" "${sampling#*:}" 16
        layout "ycbcr-one-strip-$s" tif tiff2rgba 0 straight run "$pictures" --ycbcr made.tif 203 151 "${sampling%:*}" "${sampling#*:}" 1000
    done
    # One strip read in bands that must start where a block of subsampled
    # rows does.
    layout ycbcr-one-strip-wide tif tiff2rgba 0 straight run "$pictures" --ycbcr made.tif 18999 1000 2 2 1000
    for orientation in 2 3 4 5 6 7 8; do
        layout "orientation-$orientation" tif "=rgb@$orientation" 0 straight sh -c 'tiffcp -c lzw rgb.tif "$1" && tiffset -s 274 '"$orientation"' "$1"' - made.tif
        layout "orientation-tiles-$orientation" tif "=rgb@$orientation" 0 straight sh -c 'tiffcp -t -w 32 -l 32 rgb.tif "$1" && tiffset -s 274 '"$orientation"' "$1"' - made.tif
    done
    ;;
jpeg)
    preset=3
    for sampling in 1x1 2x1 1x2 2x2 4x1 4x2; do
        layout "baseline-$sampling" jpg djpeg 0 straight cjpeg -sample "$sampling" -quality 85 -outfile made.jpg rgb.ppm
        layout "progressive-$sampling" jpg djpeg 0 straight cjpeg -sample "$sampling" -progressive -outfile made.jpg rgb.ppm
        layout "arithmetic-$sampling" jpg djpeg 0 straight cjpeg -sample "$sampling" -arithmetic -outfile made.jpg rgb.ppm
        layout "restart-rows-$sampling" jpg djpeg 0 straight cjpeg -sample "$sampling" -restart 1 -outfile made.jpg rgb.ppm
        layout "restart-blocks-$sampling" jpg djpeg 0 straight cjpeg -sample "$sampling" -restart 5B -outfile made.jpg rgb.ppm
    done
    # 24 megapixels in under a megabyte: held whole as coefficients, bound by
    # its pixels, not by how well it compresses.
    layout progressive-24mp jpg djpeg 0 straight sh -c 'vips resize "$1" tmp/big.v 10 && vips jpegsave tmp/big.v made.jpg --interlace --Q 60' - "$photo"
    layout optimized jpg djpeg 0 straight cjpeg -optimize -quality 100 -outfile made.jpg rgb.ppm
    layout rgb-colour-space jpg djpeg 0 straight cjpeg -rgb -outfile made.jpg rgb.ppm
    layout grey jpg djpeg 0 straight cjpeg -grayscale -outfile made.jpg rgb.ppm
    layout grey-progressive jpg djpeg 0 straight cjpeg -grayscale -progressive -outfile made.jpg rgb.ppm
    layout float-dct jpg djpeg 0 straight cjpeg -dct float -smooth 30 -outfile made.jpg rgb.ppm
    layout lossless-transform jpg djpeg 0 straight sh -c 'cjpeg -outfile tmp/base.jpg rgb.ppm && jpegtran -progressive -arithmetic -restart 2 -copy all -outfile "$1" tmp/base.jpg' - made.jpg
    layout vips-interlaced jpg djpeg 0 straight vips jpegsave tmp/rgb.v made.jpg --interlace --Q 70
    layout vips-no-subsampling jpg djpeg 0 straight vips jpegsave tmp/rgb.v made.jpg --subsample-mode off --Q 97
    for orientation in 2 3 4 5 6 7 8; do
        layout "orientation-$orientation" jpg "djpeg@$orientation" 0 straight sh -c 'cjpeg -outfile "$1" rgb.ppm && exiftool -q -overwrite_original -n -Orientation='"$orientation"' "$1"' - made.jpg
    done
    ;;
png)
    preset=7
    for interlace in false true; do
        i=$( [ "$interlace" = true ] && echo interlaced || echo plain)
        layout "rgb-$i" png =rgb 0 straight vips pngsave tmp/rgb.v made.png --interlace="$interlace"
        layout "rgba-$i" png =rgba 0 straight vips pngsave tmp/rgba.v made.png --interlace="$interlace"
        layout "grey-$i" png =grey 0 straight vips pngsave tmp/grey.v made.png --interlace="$interlace"
        layout "rgb16-$i" png =rgb16 1 straight vips pngsave tmp/rgb16.v made.png --interlace="$interlace"
        for depth in 1 2 4 8; do
            layout "grey-$depth-bit-$i" png pngtopam 0 straight vips pngsave tmp/grey.v made.png --bitdepth "$depth" --interlace="$interlace"
            layout "palette-$depth-bit-$i" png pngtopam 0 straight vips pngsave tmp/rgb.v made.png --palette --bitdepth "$depth" --interlace="$interlace"
        done
        layout "palette-alpha-$i" png pngtopam 0 straight vips pngsave tmp/rgba.v made.png --palette --interlace="$interlace"
        layout "grey-alpha-$i" png pngtopam 0 straight sh -c 'vips colourspace tmp/rgba.v tmp/ga.v b-w && vips pngsave tmp/ga.v "$1" --interlace='"$interlace" - made.png
        layout "grey16-$i" png pngtopam 1 straight sh -c 'vips colourspace tmp/rgb16.v tmp/g16.v grey16 && vips pngsave tmp/g16.v "$1" --interlace='"$interlace" - made.png
    done
    for filter in none sub up avg paeth all; do
        layout "filter-$filter" png =rgb 0 straight vips pngsave tmp/rgb.v made.png --filter "$filter" --compression 9
    done
    layout text-chunks png =rgb 0 straight sh -c 'vips pngsave tmp/rgb.v "$1" && exiftool -q -overwrite_original -PNG:Title=T -PNG:Title-ru=R -PNG:Comment=C "$1"' - made.png
    for orientation in 3 6 8; do
        layout "orientation-$orientation" png "=rgb@$orientation" 0 straight sh -c 'vips pngsave tmp/rgb.v "$1" && exiftool -q -overwrite_original -n -XMP-tiff:Orientation='"$orientation"' "$1"' - made.png
    done
    ;;
heif)
    preset=9
    vips pngsave tmp/rgb.v tmp/rgb.png
    vips pngsave tmp/rgba.v tmp/rgba.png
    layout hevc heic heif 0 straight heif-enc -q 80 tmp/rgb.png -o made.heic
    layout hevc-alpha heic heif 0 straight heif-enc -q 80 tmp/rgba.png -o made.heic
    layout hevc-444 heic heif 0 straight heif-enc -q 90 -p chroma=444 tmp/rgb.png -o made.heic
    layout hevc-10-bit heic heif 1 straight heif-enc -b 10 tmp/rgb.png -o made.heic
    layout av1 avif heif 0 straight heif-enc -A -q 80 tmp/rgb.png -o made.avif
    layout av1-alpha avif heif 0 straight heif-enc -A tmp/rgba.png -o made.avif
    layout av1-10-bit avif heif 1 straight heif-enc -A -b 10 tmp/rgb.png -o made.avif
    layout avifenc-444 avif heif 0 straight avifenc -y 444 -s 10 tmp/rgb.png made.avif
    layout avifenc-420-12-bit avif heif 1 straight avifenc -y 420 -d 12 -s 10 tmp/rgb.png made.avif
    # The brands a file names, as their own (bytes 8 to 11) or among those it
    # is compatible with.
    for brand in mif1 heix; do
        layout "brand-$brand" heic heif 0 straight sh -c 'heif-enc tmp/rgb.png -o tmp/b.heic && { head -c 8 tmp/b.heic; printf '"$brand"'; tail -c +13 tmp/b.heic; } >"$1"' - made.heic
    done
    layout brand-mif1-avif avif heif 0 straight sh -c 'heif-enc -A tmp/rgb.png -o tmp/b.avif && { head -c 8 tmp/b.avif; printf mif1; tail -c +13 tmp/b.avif; } >"$1"' - made.avif
    ;;
webp)
    preset=5
    layout lossless webp =rgb 0 straight cwebp -quiet -lossless rgb.png -o made.webp
    layout lossless-alpha webp =rgba 0 straight cwebp -quiet -lossless -exact rgba.png -o made.webp
    layout lossy webp dwebp 0 straight cwebp -quiet -q 80 rgb.png -o made.webp
    layout lossy-alpha webp dwebp 0 straight cwebp -quiet -q 80 -exact rgba.png -o made.webp
    layout lossy-sharp-yuv webp dwebp 0 straight cwebp -quiet -sharp_yuv rgb.png -o made.webp
    layout near-lossless webp dwebp 0 straight cwebp -quiet -near_lossless 60 rgb.png -o made.webp
    ;;
*)
    echo "unknown format $format" >&2
    exit 2
    ;;
esac

# One run of the host over every file; then every output against its
# reference.
count=$(wc -l <"$list")
run "$host" apply "$plugin" -p "$preset" --strip --format png -o "$work/out" "$work"/in/* >tmp/host.log 2>&1 || {
    cat tmp/host.log
    echo "the host failed on some of the $count $format layouts"
    exit 1
}
run "$compare" "$list"
