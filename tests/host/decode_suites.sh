#!/bin/sh
# decode_suites.sh SUITES DECODED
# Decodes every file of the suites in SUITES (one folder each) with its
# library's own tool, once, into DECODED/<suite>/, and writes
# DECODED/<suite>/manifest: a line a file, either
#   FILE TOLERANCE MODE REFERENCE   the tool decodes it: tone it as REFERENCE
#                                   shows (TOLERANCE 1 where samples have more
#                                   than 8 bits; MODE as tone_compare takes it)
#   FILE refused                    the tool refuses it: so must the host.
# The tools: netpbm's pngtopam for whether a PNG is sound (libpng's checks
# as they stand) and libvips for its pixels (libpng as libvips drives it;
# pngtopam drops the transparent colour of RGB and grey pictures),
# tiff2rgba, djpeg, dwebp and heif-convert.
set -eu
suites=$1
rm -rf "$2"
mkdir -p "$2"
decoded=$(cd "$2" && pwd)
for suite in "$suites"/*; do
    name=$(basename "$suite")
    out=$decoded/$name
    mkdir -p "$out"
    manifest=$out/manifest
    : >"$manifest"
    for file in "$suite"/*; do
        base=$(basename "$file")
        stem=${base%.*}
        reference=$out/$stem.pam
        tolerance=0 mode=straight
        case $base in
            *.png)
                reference=$out/$stem.png
                if file "$file" | grep -q "16-bit"; then tolerance=1; fi
                pngtopam "$file" >/dev/null 2>&1 &&
                    vips colourspace "$file[fail]" "$out/$stem.v" srgb 2>/dev/null &&
                    vips pngsave "$out/$stem.v" "$reference" --strip 2>/dev/null && rm "$out/$stem.v" ;;
            *.tif | *.tiff)
                reference=$out/$stem.tif
                mode=premultiplied  # libtiff's RGBA reader premultiplies
                if tiffinfo "$file" 2>/dev/null | grep -q "Bits/Sample: 16"; then tolerance=1; fi
                tiff2rgba -c none "$file" "$reference" 2>/dev/null ;;
            *.jpg) djpeg -pnm -outfile "$reference" "$file" 2>/dev/null ;;
            *.webp) dwebp -quiet -pam "$file" -o "$reference" 2>/dev/null ;;
            *.heic | *.avif | *.heif)
                # heif-convert writes each picture of a file that holds
                # several as STEM-N; the host tones the primary one.
                heif-convert "$file" "$out/$stem.png" >/dev/null 2>&1 && {
                    [ -s "$out/$stem.png" ] || {
                        primary=$(heif-info "$file" | grep "^image:" | grep -n "primary" | cut -d: -f1)
                        mv "$out/$stem-$primary.png" "$out/$stem.png"
                    }
                } && pngtopam -alphapam "$out/$stem.png" >"$reference" 2>/dev/null ;;
            *) continue ;;
        esac && decodes=1 || decodes=0
        if [ "$decodes" = 1 ] && [ -s "$reference" ]; then
            if head -c 100 "$reference" | grep -q "MAXVAL 65535\|^65535"; then tolerance=1; fi
            echo "$base $tolerance $mode $reference" >>"$manifest"
        else
            rm -f "$reference"
            echo "$base refused" >>"$manifest"
        fi
    done
done
