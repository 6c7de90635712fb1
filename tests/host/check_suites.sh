#!/bin/sh
# check_suites.sh HOST PLUGIN TONE_COMPARE SUITES WORK [EMULATOR...]
# Runs the test suites the codec libraries keep (scripts/fetch-samples.sh
# copies them into SUITES, one folder each) through the host, one batch run
# a suite. A file its library's own tool decodes (libpng through libvips,
# tiff2rgba, djpeg, dwebp, heif-convert) must be toned exactly as it decodes,
# toned by the exact form (within 1 where samples have more than 8 bits);
# a file the tool refuses must be refused by the host too, by name, with
# nothing written. Windows programs run under EMULATOR. Prints a line a
# suite: how many files were toned and refused.
set -eu
host=$1 plugin=$2 compare=$3 suites=$4 work=$5
shift 5
emulator="$*"
# shellcheck disable=SC2086
run() { $emulator "$@"; }

[ -d "$suites" ] || { echo "no suites in $suites: run scripts/fetch-samples.sh"; exit 1; }
rm -rf "$work"
mkdir -p "$work"
status=0
for suite in "$suites"/*; do
    name=$(basename "$suite")
    out=$work/$name/out
    ref=$work/$name/ref
    mkdir -p "$out" "$ref"
    list=$work/$name/list
    : >"$list"
    valid=0 invalid=0
    : >"$work/$name/invalid"
    for file in "$suite"/*; do
        base=$(basename "$file")
        stem=${base%.*}
        decoded=$ref/$stem.pam
        tolerance=0 mode=straight
        case $base in
            *.png)
                # Sound as netpbm's pngtopam, on libpng's checks as they
                # stand, reads it; its pixels as libvips, on libpng too,
                # reads them (pngtopam drops the transparent colour of RGB
                # and grey pictures).
                decoded=$ref/$stem.png
                if file "$file" | grep -q "16-bit"; then tolerance=1; fi
                pngtopam "$file" >/dev/null 2>&1 &&
                    vips colourspace "$file[fail]" "$ref/$stem.v" srgb 2>/dev/null &&
                    vips pngsave "$ref/$stem.v" "$decoded" --strip 2>/dev/null ;;
            *.tif | *.tiff)
                decoded=$ref/$stem.tif
                mode=premultiplied  # libtiff's RGBA reader premultiplies
                if tiffinfo "$file" 2>/dev/null | grep -q "Bits/Sample: 16"; then tolerance=1; fi
                tiff2rgba -c none "$file" "$decoded" 2>/dev/null ;;
            *.jpg) djpeg -pnm -outfile "$decoded" "$file" 2>/dev/null ;;
            *.webp) dwebp -quiet -pam "$file" -o "$decoded" 2>/dev/null ;;
            *.heic | *.avif | *.heif)
                heif-convert "$file" "$ref/$stem.png" >/dev/null 2>&1 && [ -s "$ref/$stem.png" ] &&
                    pngtopam -alphapam "$ref/$stem.png" >"$decoded" 2>/dev/null ;;
            *) continue ;;
        esac && decodes=1 || decodes=0
        if [ "$decodes" = 1 ] && [ -s "$decoded" ]; then
            if head -c 100 "$decoded" | grep -q "MAXVAL 65535\|^65535"; then tolerance=1; fi
            echo "1 $tolerance $mode $decoded $out/$stem.png" >>"$list"
            valid=$((valid + 1))
        else
            echo "$file" >>"$work/$name/invalid"
            invalid=$((invalid + 1))
        fi
    done
    run "$host" apply "$plugin" -p 1 --strip --format png -o "$out" "$suite"/* >"$work/$name/host.log" 2>&1 || true
    # Every file the library refuses: refused by the host too, by name,
    # nothing written.
    while read -r file; do
        base=$(basename "$file")
        if [ -e "$out/${base%.*}.png" ]; then
            echo "$name: '$base' is refused by its library's tool but toned by the host"
            status=1
        elif ! grep -qF "'$file'" "$work/$name/host.log"; then
            echo "$name: '$base' is not toned and no message names it"
            status=1
        fi
    done <"$work/$name/invalid"
    if [ -s "$list" ] && ! run "$compare" "$list" >"$work/$name/compare.log"; then
        grep -v "outputs checked" "$work/$name/compare.log" || true
        grep "$suite" "$work/$name/host.log" | grep -v "^wrote" || true
        status=1
    fi
    if ls "$out" | grep -q '^\.'; then
        echo "$name: files left behind in $out"
        status=1
    fi
    echo "$name: $valid files toned as their library decodes them, $invalid refused by it and by the host"
done
exit $status
