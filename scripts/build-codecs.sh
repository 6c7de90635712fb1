#!/bin/sh
# build-codecs.sh windows|fuzz
# Builds the image codecs and metadata libraries the reference host links
# (zlib, libpng, libjpeg-turbo, libtiff, libwebp; libheif with libde265 for
# HEVC, dav1d for decoding AV1 and libaom for encoding it; libjxl with
# highway and brotli; exiv2 with expat; nettle for MD5; Little CMS for ICC
# profiles), from Debian's source packages with Debian's patches applied,
# each at the version of the Debian -dev package the Linux build uses or at
# the newer revision named below, where that one carries the security fixes
# the archive serves only as binaries; expat from upstream's source in
# third_party/; with the upstream fixes kept in third_party/patches:
#   windows  cross-compiled with the project's mingw-w64 toolchain, static,
#            into build/deps/codecs-windows (linked into sepia-host.exe);
#   fuzz     compiled by clang 14 with AddressSanitizer and
#            libFuzzer's coverage, static, into
#            build/deps/codecs-fuzz, so that the fuzz targets see inside them.
# Each build is cached: it is skipped when the folder holds the same
# versions built by the same recipe from the same third_party/ files.
#
# Beside the libraries it writes VERSIONS (where each came from) and
# VULNERABILITIES: for every CVE and advisory that Debian's bookworm-security
# changelog of a linked library lists, whether this build is fixed, not
# affected, or has no fix, and why (from the source built's own changelog,
# or from third_party/vulnerabilities.tsv); it warns of each one not fixed.
set -e
kind=$1
case $kind in windows | fuzz) ;; *) echo "usage: build-codecs.sh windows|fuzz" >&2; exit 2 ;; esac
cd "$(dirname "$0")/.."
root=$PWD
prefix=$root/build/deps/codecs-$kind
sources=$root/build/deps/src
jobs=$(nproc)
recipe=15  # bump when this script changes what it builds

# The Debian -dev packages of the Linux build, in build order; the source of
# each is built at the -dev package's version, unless named here.
devs="zlib1g-dev libpng-dev libjpeg62-turbo-dev libtiff-dev libwebp-dev libexpat1-dev libexiv2-dev nettle-dev
  liblcms2-dev libde265-dev libdav1d-dev libaom-dev libheif-dev libhwy-dev libbrotli-dev libjxl-dev"
# zlib and libpng: the revisions before the newest, which this archive serves
# as binaries only; what the newest changed is not linked (host_link_test).
# brotli: likewise, with the newest's fix from upstream (third_party/patches).
# libheif: the newest whose source is served; no newer source carries the
# fixes it lacks. libtiff, libde265 and libaom from trixie: newer Debian
# sources that carry the bookworm-security fixes (libtiff, libaom: all of
# them). expat from upstream (third_party/expat).
# third_party/vulnerabilities.tsv says which fix is where, one by one.
pinned="zlib=1:1.2.13.dfsg-1 libpng1.6=1.6.39-2+deb12u5 brotli=1.0.9-2 libheif=1.15.1-1+deb12u1
  tiff=4.7.0-3+deb13u3 libde265=1.0.15-1+deb13u2 aom=3.12.1-1+deb13u1 expat=upstream"
codecs=""
for dev in $devs; do
    package=$(dpkg-query -W -f='${source:Package}' "$dev")
    version=$(dpkg-query -W -f='${source:Version}' "$dev")
    for pin in $pinned; do
        [ "${pin%%=*}" = "$package" ] && version=${pin#*=}
    done
    codecs="$codecs $package=$version"
done
# What third_party/ holds, as its files' digests: a change rebuilds.
third_party=$(cd "$root/third_party" && find . -type f | LC_ALL=C sort | xargs sha256sum | sha256sum | cut -c1-16)
stamp=$prefix/.built
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "recipe $recipe third_party $third_party:$codecs" ]; then
    cat "$prefix/source-warnings.txt" >&2
    exit 0
fi
echo "building the $kind codecs:$codecs"
rm -rf "$prefix" "$root/build/deps/obj-$kind"
mkdir -p "$prefix"
: >"$prefix/source-warnings.txt"
for codec in $codecs; do
    package=${codec%%=*}
    if [ "$package" = expat ]; then
        # expat from upstream (third_party/expat/README.sepia).
        readme=$root/third_party/expat/README.sepia
        echo "expat upstream $(sed -n 's/^version: //p' "$readme") $(sed -n 's/^commit: \([0-9a-f]*\).*/\1/p' "$readme")" \
            "$(sed -n 's/^origin: \([^ ]*\).*/\1/p' "$readme")" >>"$prefix/VERSIONS"
        continue
    fi
    sh scripts/debian-source.sh "$package" "${codec#*=}" "$sources/$package" 2>>"$prefix/source-warnings.txt"
    record=$(cat "$sources/$package/.debian-source-version")
    for patch in "$root/third_party/patches/$package/"*.patch; do
        [ -f "$patch" ] && record="$record patched $(basename "$patch")"
    done
    echo "$record" >>"$prefix/VERSIONS"
done
objects=$root/build/deps/obj-$kind

if [ "$kind" = windows ]; then
    host=x86_64-w64-mingw32
    cc=$host-gcc-posix
    # No build path in what the release links: the source and object
    # folders are mapped to names that are the same in every checkout.
    cflags="-O2 -ffile-prefix-map=$sources=/usr/src -ffile-prefix-map=$root/build/deps/obj-windows=/usr/obj"
    # The project's toolchain, which also finds what is built here.
    mkdir -p "$root/build/deps"
    cat >"$root/build/deps/codecs-windows-toolchain.cmake" <<TOOLCHAIN
include($root/cmake/mingw-w64-x86_64.cmake)
list(APPEND CMAKE_FIND_ROOT_PATH $prefix)
TOOLCHAIN
    cmake_toolchain="-DCMAKE_TOOLCHAIN_FILE=$root/build/deps/codecs-windows-toolchain.cmake"
else
    host=""
    cc=clang-14
    # AddressSanitizer only: the codecs hold benign undefined behaviour (shifts
    # of negative values) that UndefinedBehaviorSanitizer would stop at.
    cflags="-O1 -g -fno-omit-frame-pointer -fsanitize=address,fuzzer-no-link"
    cmake_toolchain="-DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14"
fi
# Libraries find one another through pkg-config: only those built here.
export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig:$prefix/share/pkgconfig"
export PKG_CONFIG_PATH=""
logs=$root/build/deps/logs-$kind
rm -rf "$logs"
mkdir -p "$logs" "$objects" "$prefix/include" "$prefix/lib"
log=$logs/codecs.log
# After each library, its chain's processor time so far (user and system,
# the shell's and its children's) lands in the logs: what a first build costs.
timed() {  # timed STEP: runs the function STEP, then writes that time
    "$1"
    times >"$logs/$1.times"
}
run() {
    if ! "$@" >>"$log" 2>&1; then
        tail -n 40 "$log"
        echo "failed: $*" >&2
        exit 1
    fi
}
# A release build at the optimisation cflags name (-O2, as Debian builds
# these libraries), not CMake's -O3, which costs a fifth more compile time.
release_flags="-DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE=-DNDEBUG -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG"
cmake_configure() {  # cmake_configure SOURCE-FOLDER NAME OPTIONS...
    folder=$1
    name=$2
    shift 2
    run cmake -S "$folder" -B "$objects/$name" -G Ninja $cmake_toolchain $release_flags \
        -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cflags" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix;/usr/$host" -DBUILD_SHARED_LIBS=OFF \
        -DCMAKE_POSITION_INDEPENDENT_CODE=ON "$@"
}
cmake_build() {  # cmake_build SOURCE-FOLDER NAME OPTIONS...: everything, installed
    cmake_configure "$@"
    run cmake --build "$objects/$2" -j "$jobs"
    run cmake --install "$objects/$2"
}
zlib="-DZLIB_INCLUDE_DIR=$prefix/include -DZLIB_LIBRARY=$prefix/lib/libz.a"
# patched FOLDER PACKAGE: a copy of FOLDER under the objects with
# third_party/patches/PACKAGE applied, its path on standard output; the
# unpacked source stays as it came.
patched() {
    rm -rf "$objects/src-$2"
    cp -r "$1" "$objects/src-$2"
    for patch in "$root/third_party/patches/$2/"*.patch; do
        [ -f "$patch" ] || continue
        patch -s -p1 -d "$objects/src-$2" <"$patch" >>"$log" 2>&1 || { echo "$patch does not apply" >&2; exit 1; }
    done
    echo "$objects/src-$2"
}
# __DATE__ and __TIME__ (exiv2 records them) say when the Debian source was
# released, as in Debian's own builds, not when this build ran.
released() {  # released SOURCE-FOLDER-NAME
    SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$sources/$1/debian/changelog" -S Timestamp)
    export SOURCE_DATE_EPOCH
}

# zlib: only its static library. Its CMake build always adds a DLL (and, on
# Linux, wants Windows resources that Debian's tarball leaves out); its
# configure script refuses mingw-w64.
build_zlib() {
    released zlib
    log=$logs/zlib.log
    if [ "$kind" = windows ]; then
        run cmake -S "$sources/zlib" -B "$objects/zlib" -G Ninja $cmake_toolchain $release_flags \
            -DCMAKE_C_FLAGS="$cflags"
        run cmake --build "$objects/zlib" -j "$jobs" --target zlibstatic
        cp "$sources/zlib/zlib.h" "$objects/zlib/zconf.h" "$prefix/include/"
        cp "$objects/zlib"/lib*.a "$prefix/lib/libz.a"
    else
        cp -r "$sources/zlib" "$objects/zlib"
        (cd "$objects/zlib" && CC=$cc CFLAGS="$cflags -fPIC" run ./configure --static --prefix="$prefix")
        run make -C "$objects/zlib" -j "$jobs" install
    fi
}

build_png() {
    released libpng1.6
    log=$logs/libpng.log
    # shellcheck disable=SC2086
    cmake_build "$sources/libpng1.6" libpng $zlib -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
        -DPNG_EXECUTABLES=OFF -Dld-version-script=OFF
}

# libjpeg-turbo: the library alone (not its programs), installed by hand.
build_jpeg() {
    released libjpeg-turbo
    log=$logs/libjpeg-turbo.log
    if [ "$kind" = windows ]; then simd=-DWITH_SIMD=ON; else simd=-DWITH_SIMD=OFF; fi
    cmake_configure "$sources/libjpeg-turbo" libjpeg-turbo -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
        -DWITH_TURBOJPEG=OFF $simd -DCMAKE_ASM_NASM_COMPILER=nasm
    run cmake --build "$objects/libjpeg-turbo" -j "$jobs" --target jpeg-static
    cp "$sources/libjpeg-turbo/jpeglib.h" "$sources/libjpeg-turbo/jerror.h" "$sources/libjpeg-turbo/jmorecfg.h" \
        "$objects/libjpeg-turbo/jconfig.h" "$prefix/include/"
    cp "$objects/libjpeg-turbo/libjpeg.a" "$prefix/lib/"
}

build_tiff() {
    released tiff
    log=$logs/tiff.log
    # shellcheck disable=SC2086
    # Strips are read a piece at a time where the layout allows
    # (chunky-strip-read), so a tall strip costs no more than a band.
    cmake_build "$sources/tiff" tiff $zlib -DJPEG_INCLUDE_DIR="$prefix/include" \
        -DJPEG_LIBRARY="$prefix/lib/libjpeg.a" -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF \
        -Dcxx=OFF -Djbig=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF -Dlerc=OFF -Dlibdeflate=OFF -Djpeg12=OFF \
        -Dpixarlog=OFF -Dzlib=ON -Djpeg=ON -Dchunky-strip-read=ON -DCMAKE_INSTALL_LIBDIR=lib
}

# libwebp: the decoder and encoder, the container readers and writers; not
# its programs nor its decoder-only library. Installed by hand.
build_webp() {
    released libwebp
    log=$logs/libwebp.log
    cmake_configure "$sources/libwebp" libwebp -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF \
        -DWEBP_BUILD_DWEBP=OFF -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
        -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF -DWEBP_BUILD_LIBWEBPMUX=ON
    run cmake --build "$objects/libwebp" -j "$jobs" --target webp webpdemux libwebpmux
    mkdir -p "$prefix/include/webp"
    for header in decode.h encode.h types.h mux.h mux_types.h demux.h; do
        cp "$sources/libwebp/src/webp/$header" "$prefix/include/webp/"
    done
    cp "$objects/libwebp/libwebp.a" "$objects/libwebp/libwebpdemux.a" "$objects/libwebp/libwebpmux.a" "$prefix/lib/"
}

# expat: the XML parser under exiv2's XMP support, from upstream
# (third_party/expat) with third_party/patches/expat. The library alone,
# with its defaults: allocation tracking (XML_GE) and the DTD and namespace
# support exiv2's XMP toolkit uses.
build_expat() {
    log=$logs/expat.log
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct -- third_party/expat third_party/patches/expat 2>/dev/null ||
        echo 0)
    export SOURCE_DATE_EPOCH
    source=$(patched "$root/third_party/expat" expat) || exit 1
    cmake_build "$source" expat -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF \
        -DEXPAT_BUILD_DOCS=OFF -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_PKGCONFIG=ON -DCMAKE_INSTALL_LIBDIR=lib
}

# exiv2: EXIF, IPTC and XMP (its bundled XMP toolkit, on expat), for the
# formats the host reads and writes. Neither its programs nor video, BMFF,
# network or translation support.
build_exiv2() {
    released exiv2
    log=$logs/exiv2.log
    # shellcheck disable=SC2086
    cmake_configure "$sources/exiv2" exiv2 $zlib -DEXPAT_INCLUDE_DIR="$prefix/include" \
        -DEXPAT_LIBRARY="$prefix/lib/libexpat.a" -DEXIV2_ENABLE_XMP=ON -DEXIV2_ENABLE_PNG=ON \
        -DEXIV2_ENABLE_NLS=OFF -DEXIV2_ENABLE_VIDEO=OFF -DEXIV2_ENABLE_WEBREADY=OFF -DEXIV2_ENABLE_CURL=OFF \
        -DEXIV2_ENABLE_SSH=OFF -DEXIV2_ENABLE_BMFF=OFF -DEXIV2_BUILD_SAMPLES=OFF -DEXIV2_BUILD_EXIV2_COMMAND=OFF \
        -DEXIV2_BUILD_UNIT_TESTS=OFF -DEXIV2_BUILD_DOC=OFF -DCMAKE_DISABLE_FIND_PACKAGE_Iconv=ON \
        -DCMAKE_CXX_FLAGS="$cflags -Wno-deprecated-declarations" -DCMAKE_INSTALL_LIBDIR=lib
    run cmake --build "$objects/exiv2" -j "$jobs" --target exiv2lib exiv2-xmp
    run cmake --install "$objects/exiv2"
}

# nettle: MD5 only (the identifier of an extended XMP packet), so neither
# its public-key half nor its assembly.
build_nettle() {
    released nettle
    log=$logs/nettle.log
    rm -rf "$objects/nettle"
    cp -r "$sources/nettle" "$objects/nettle"
    if [ "$kind" = windows ]; then hostflag=--host=$host; else hostflag=""; fi
    # Its tables are generated by programs that run here, built by CC_FOR_BUILD.
    (cd "$objects/nettle" && CC=$cc CC_FOR_BUILD=gcc CFLAGS="$cflags" run ./configure $hostflag --prefix="$prefix" \
        --disable-shared --enable-static --disable-public-key --disable-assembler --disable-documentation \
        --disable-openssl --disable-fat --libdir="$prefix/lib")
    run make -C "$objects/nettle" desdata aesdata twofishdata shadata gcmdata
    run make -C "$objects/nettle" -j "$jobs" libnettle.a
    run make -C "$objects/nettle" install-headers
    cp "$objects/nettle/libnettle.a" "$prefix/lib/"
}

# Little CMS: the library alone, without its programs or their image
# libraries.
build_lcms2() {
    released lcms2
    log=$logs/lcms2.log
    rm -rf "$objects/lcms2"
    cp -r "$sources/lcms2" "$objects/lcms2"
    if [ "$kind" = windows ]; then hostflag=--host=$host; else hostflag=""; fi
    (cd "$objects/lcms2" && CC=$cc CFLAGS="$cflags" run ./configure $hostflag --prefix="$prefix" \
        --disable-shared --enable-static --without-jpeg --without-tiff --without-zlib --with-pic \
        --libdir="$prefix/lib")
    run make -C "$objects/lcms2/src" -j "$jobs" install
    run make -C "$objects/lcms2/include" install
}

# libde265: the HEVC decoder under libheif. The library alone.
build_de265() {
    released libde265
    log=$logs/libde265.log
    cmake_build "$sources/libde265" libde265 -DENABLE_SDL=OFF -DENABLE_DECODER=OFF -DENABLE_ENCODER=OFF \
        -DCMAKE_INSTALL_LIBDIR=lib
}

# dav1d: the AV1 decoder under libheif, with its assembly. The library alone.
build_dav1d() {
    released dav1d
    log=$logs/dav1d.log
    rm -rf "$objects/dav1d"
    if [ "$kind" = windows ]; then
        cat >"$objects/dav1d.cross" <<CROSS
[binaries]
c = '$cc'
ar = '$host-ar'
strip = '$host-strip'
windres = '$host-windres'
nasm = 'nasm'
[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
CROSS
        cross="--cross-file=$objects/dav1d.cross"
    else
        cross=""
    fi
    # shellcheck disable=SC2086
    CC=$cc CFLAGS="$cflags" run meson setup "$objects/dav1d" "$sources/dav1d" $cross --prefix="$prefix" \
        --libdir=lib --buildtype=release --default-library=static -Denable_tools=false -Denable_tests=false \
        -Denable_examples=false -Denable_docs=false -Dc_args="$cflags"
    run ninja -C "$objects/dav1d" install
}

# libaom: the AV1 encoder under libheif (its decoder is not built: dav1d
# decodes). The library alone, with its assembly.
build_aom() {
    released aom
    log=$logs/aom.log
    # 8-bit pictures only: the host writes no deeper AVIF.
    cmake_configure "$sources/aom" aom -DENABLE_DOCS=0 -DENABLE_EXAMPLES=0 -DENABLE_TESTS=0 -DENABLE_TOOLS=0 \
        -DENABLE_TESTDATA=0 -DCONFIG_AV1_DECODER=0 -DCONFIG_AV1_HIGHBITDEPTH=0 -DENABLE_NASM=1 \
        -DAOM_TARGET_CPU=x86_64 -DCMAKE_INSTALL_LIBDIR=lib
    run cmake --build "$objects/aom" -j "$jobs" --target aom aom_pc
    run cmake --install "$objects/aom"
}

# libheif: HEIF and AVIF, on libde265, dav1d and libaom, with
# third_party/patches/libheif; without its programs, plug-in loading or
# other codecs (HEVC encoders are not built), and without zlib, so that no
# compressed metadata is inflated.
build_heif() {
    released libheif
    log=$logs/libheif.log
    source=$(patched "$sources/libheif" libheif) || exit 1
    cmake_build "$source" libheif -DWITH_LIBDE265=ON -DWITH_X265=OFF -DWITH_DAV1D=ON \
        -DWITH_AOM_ENCODER=ON -DWITH_AOM_DECODER=OFF -DWITH_SvtEnc=OFF -DWITH_RAV1E=OFF -DWITH_EXAMPLES=OFF \
        -DWITH_DEFLATE_HEADER_COMPRESSION=OFF -DENABLE_PLUGIN_LOADING=OFF -DWITH_GDK_PIXBUF=OFF \
        -DCMAKE_INSTALL_LIBDIR=lib \
        -DCMAKE_C_FLAGS="$cflags -DLIBDE265_STATIC_BUILD" -DCMAKE_CXX_FLAGS="$cflags -DLIBDE265_STATIC_BUILD"
}

# highway: the SIMD library under libjxl. The library alone. libjxl's code
# for each instruction set is compiled once a set: SSE4 and AVX2 (and the
# portable baseline) serve every x86-64 CPU at most of AVX-512's speed, in
# half the build time of all five sets.
hwy_targets="-include $objects/hwy-targets.h"
build_hwy() {
    echo "#define HWY_DISABLED_TARGETS (HWY_SSSE3 | HWY_AVX3 | HWY_AVX3_DL)" >"$objects/hwy-targets.h"
    released highway
    log=$logs/highway.log
    cmake_build "$sources/highway" highway -DHWY_ENABLE_TESTS=OFF -DHWY_ENABLE_EXAMPLES=OFF \
        -DHWY_ENABLE_CONTRIB=OFF -DBUILD_TESTING=OFF -DCMAKE_INSTALL_LIBDIR=lib \
        -DCMAKE_CXX_FLAGS="$cflags $hwy_targets"
}

# brotli: the compression of libjxl's metadata boxes, with upstream's fix of
# CVE-2026-111497 (third_party/patches/brotli). Its static libraries.
build_brotli() {
    released brotli
    log=$logs/brotli.log
    source=$(patched "$sources/brotli" brotli) || exit 1
    cmake_configure "$source" brotli -DBROTLI_DISABLE_TESTS=ON -DCMAKE_INSTALL_LIBDIR=lib
    run cmake --build "$objects/brotli" -j "$jobs" --target brotlienc-static brotlidec-static brotlicommon-static
    mkdir -p "$prefix/include/brotli"
    cp "$source/c/include/brotli/"*.h "$prefix/include/brotli/"
    for part in common dec enc; do
        cp "$objects/brotli/libbrotli$part-static.a" "$prefix/lib/libbrotli$part.a"
    done
}

# libjxl: JPEG XL, on highway, brotli and Little CMS; the library and its
# thread pool, without programs or plug-ins.
build_jxl() {
    released jpeg-xl
    log=$logs/libjxl.log
    cmake_build "$sources/jpeg-xl" jpeg-xl -DBUILD_TESTING=OFF -DJPEGXL_ENABLE_TOOLS=OFF -DJPEGXL_ENABLE_DOXYGEN=OFF \
        -DJPEGXL_ENABLE_MANPAGES=OFF -DJPEGXL_ENABLE_BENCHMARK=OFF -DJPEGXL_ENABLE_EXAMPLES=OFF \
        -DJPEGXL_ENABLE_JNI=OFF -DJPEGXL_ENABLE_FUZZERS=OFF -DJPEGXL_ENABLE_SJPEG=OFF -DJPEGXL_ENABLE_OPENEXR=OFF -DJPEGXL_ENABLE_SKCMS=OFF \
        -DJPEGXL_BUNDLE_SKCMS=OFF -DJPEGXL_ENABLE_TCMALLOC=OFF -DJPEGXL_ENABLE_PLUGINS=OFF \
        -DJPEGXL_ENABLE_VIEWERS=OFF -DJPEGXL_ENABLE_DEVTOOLS=OFF -DJPEGXL_FORCE_SYSTEM_BROTLI=ON \
        -DJPEGXL_FORCE_SYSTEM_HWY=ON -DJPEGXL_FORCE_SYSTEM_LCMS2=ON -DJPEGXL_WARNINGS_AS_ERRORS=OFF \
        -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_CXX_FLAGS="$cflags $hwy_targets" -DCMAKE_C_FLAGS="$cflags"
}

# Libraries that do not need each other are built side by side: much of each
# build is configuring, on one core.
in_parallel() {
    pids=""
    for step in "$@"; do
        (timed "$step") &
        pids="$pids $!"
    done
    failed=""
    for pid in $pids; do
        wait "$pid" || failed=1
    done
    [ -z "$failed" ] || exit 1
}
# exiv2, the longest, starts as soon as expat is in; libtiff after libjpeg.
expat_then_exiv2() {
    timed build_expat
    build_exiv2
}
jpeg_then_tiff() {
    timed build_jpeg
    build_tiff
}
# libheif after its decoders and encoder; libjxl after highway, brotli and
# Little CMS.
heif_codecs() {
    timed build_de265
    timed build_dav1d
    timed build_aom
    build_heif
}
jxl_codecs() {
    timed build_lcms2
    timed build_hwy
    timed build_brotli
    build_jxl
}
build_zlib
in_parallel expat_then_exiv2 jpeg_then_tiff build_png build_webp build_nettle heif_codecs jxl_codecs

# The codecs' licences, for the notices that ship with the host.
mkdir -p "$prefix/licenses"
cp "$sources/zlib/README" "$prefix/licenses/zlib.txt"
cp "$sources/libpng1.6/LICENSE" "$prefix/licenses/libpng.txt"
cp "$sources/libjpeg-turbo/LICENSE.md" "$prefix/licenses/libjpeg-turbo.txt"
cp "$sources/tiff/LICENSE.md" "$prefix/licenses/libtiff.txt"
cp "$sources/libwebp/COPYING" "$prefix/licenses/libwebp.txt"
cp "$root/third_party/expat/COPYING" "$prefix/licenses/expat.txt"
cp "$sources/exiv2/COPYING" "$prefix/licenses/exiv2.txt"
cp "$sources/lcms2/COPYING" "$prefix/licenses/lcms2.txt"
cp "$sources/libheif/COPYING" "$prefix/licenses/libheif.txt"
cp "$sources/libde265/COPYING" "$prefix/licenses/libde265.txt"
cp "$sources/dav1d/COPYING" "$prefix/licenses/dav1d.txt"
cat "$sources/aom/LICENSE" "$sources/aom/PATENTS" >"$prefix/licenses/aom.txt"
cat "$sources/jpeg-xl/LICENSE" "$sources/jpeg-xl/PATENTS" >"$prefix/licenses/libjxl.txt"
cp "$sources/highway/LICENSE" "$prefix/licenses/highway.txt"
cp "$sources/brotli/LICENSE" "$prefix/licenses/brotli.txt"
{
    echo "nettle may be used under the GNU Lesser General Public License, version 3 or later,"
    echo "or the GNU General Public License, version 2 or later. The LGPL follows."
    echo
    cat "$sources/nettle/COPYING.LESSERv3"
} > "$prefix/licenses/nettle.txt"

# VULNERABILITIES, one line each: package, identifier, state, justification,
# detail, tab-separated. Each CVE or advisory in the Debian changelog of a
# linked library's -dev package (its bookworm-security revision's) is fixed
# when the source built lists it in its own changelog, else as
# third_party/vulnerabilities.tsv says; one that neither covers is
# "in_triage", with a warning.
tab=$(printf '\t')
table=$root/third_party/vulnerabilities.tsv
: >"$prefix/VULNERABILITIES"
for dev in $devs; do
    package=$(dpkg-query -W -f='${source:Package}' "$dev")
    record=$(grep "^$package " "$prefix/VERSIONS")
    if [ "$package" = expat ]; then
        built="$root/third_party/expat/Changes"
    else
        built="$sources/$package/debian/changelog"
    fi
    for id in $(zcat "/usr/share/doc/$dev/changelog.Debian.gz" |
        grep -oE 'CVE-[0-9]{4}-[0-9]+|GHSA(-[a-z0-9]{4}){3}' | LC_ALL=C sort -u); do
        row=$(awk -F "$tab" -v p="$package" -v i="$id" '$1 == p && $2 == i' "$table")
        if [ -n "$row" ]; then
            echo "$row"
        elif grep -q "$id\b" "$built"; then
            echo "$package$tab$id${tab}resolved$tab${tab}Fixed in the source built, ${record#* }, whose changelog lists it."
        else
            echo "$package$tab$id${tab}in_triage$tab${tab}Listed in Debian's changelog of $dev; not in that of the source built (${record#* }), and not looked into."
        fi
    done
done >>"$prefix/VULNERABILITIES"
awk -F "$tab" '$3 != "resolved" && $3 != "not_affected" { open[$1] = open[$1] " " $2 }
    END { for (p in open) print "WARNING: " p " has no fix for" open[p] " (see third_party/vulnerabilities.tsv)" }' \
    "$prefix/VULNERABILITIES" | LC_ALL=C sort >>"$prefix/source-warnings.txt"
cat "$prefix/source-warnings.txt" >&2
echo "recipe $recipe third_party $third_party:$codecs" > "$stamp"
echo "codecs in $prefix"
