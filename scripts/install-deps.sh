#!/bin/sh
# Installs, as root on Debian 12, every package the builds, tests, benchmarks
# and the reference host need. Installs nothing when all are present already.
# The image codecs' -dev packages are brought to the archive's current
# version, which the Windows build then builds from source (build-codecs.sh).
set -e
packages="cmake make g++ git binutils pkgconf googletest libgtest-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64
  clang-14 libclang-rt-14-dev lld-14 llvm-14 clang-tidy clang-format cppcheck
  libstb-dev libopencv-core-dev libimage-exiftool-perl
  dpkg-dev nasm autoconf automake libtool autopoint gettext meson ninja-build qemu-user
  libheif-examples libavif-bin libjxl-tools libvips-tools libtiff-tools libjpeg-turbo-progs netpbm webp file time parallel
  zip unzip osslsigncode openssl"
codecs="zlib1g-dev libpng-dev libjpeg62-turbo-dev libtiff-dev libwebp-dev libexpat1-dev libexiv2-dev nettle-dev liblcms2-dev
  libde265-dev libdav1d-dev libaom-dev libheif-dev libhwy-dev libbrotli-dev libjxl-dev"
missing=""
for p in $packages $codecs; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
for p in $codecs; do
    installed=$(dpkg-query -W -f='${Version}' "$p" 2>/dev/null || true)
    candidate=$(apt-cache policy "$p" 2>/dev/null | sed -n 's/^ *Candidate: //p')
    if [ -n "$installed" ] && [ -n "$candidate" ] && [ "$installed" != "$candidate" ]; then
        missing="$missing $p"
    fi
done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq $missing >/dev/null
fi
