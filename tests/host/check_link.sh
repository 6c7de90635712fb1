#!/bin/sh
# check_link.sh MAP
# What sepia-host links of two libraries whose newest Debian revisions this
# build does not use, read from the linker's map and cross references
# (MAP): nothing that those revisions changed is reachable.
#   - zlib 1:1.2.13.dfsg-1+deb12u1 changed crc32_combine64, crc32_combine_gen64
#     and the gz* file functions: nothing may refer to crc32_combine,
#     crc32_combine64, crc32_combine_gen or crc32_combine_gen64, and no
#     object of zlib's gz* interface may be linked.
#   - libpng1.6 1.6.39-2+deb12u6 fixed a use-after-free in png_read_end:
#     nothing may refer to png_read_end, nor to png_read_png or
#     png_image_finish_read, which call it.
#   - libheif 1.15.1-1+deb12u2 capped the metadata it inflates: libheif is
#     built without zlib, so nothing of it may refer to inflate.
set -eu
map=$1
[ -s "$map" ] || { echo "no link map '$map'"; exit 1; }
status=0

# The files that refer to SYMBOL, from the cross reference table: the lines
# under the symbol's own, which names the file defining it.
referrers() {
    awk -v symbol="$1" '
        /^Cross Reference Table/ { table = 1; next }
        !table { next }
        /^[^ \t]/ { inside = ($1 == symbol); next }
        inside && NF { print $1 }
    ' "$map"
}
for symbol in crc32_combine crc32_combine64 crc32_combine_gen crc32_combine_gen64 \
    png_read_end png_read_png png_image_finish_read; do
    users=$(referrers "$symbol")
    if [ -n "$users" ]; then
        echo "$symbol is referred to by: $users"
        status=1
    fi
done
heif=$(referrers inflate | grep 'libheif' || true)
if [ -n "$heif" ]; then
    echo "libheif inflates: $heif"
    status=1
fi
grep -q '^Cross Reference Table' "$map" || { echo "'$map' has no cross reference table (--cref)"; status=1; }
gz=$(awk '/^Archive member included/ { on = 1 } /^Discarded input sections/ { on = 0 } on' "$map" |
    grep -o 'libz\.a(gz[a-z]*\.[a-z.]*)' | sort -u || true)
if [ -n "$gz" ]; then
    echo "zlib's gz* interface is linked: $gz"
    status=1
fi
[ "$status" = 0 ] && echo "passed: none of zlib's crc32_combine* or gz* functions, nor libpng's png_read_end, is reachable; libheif inflates nothing"
exit $status
