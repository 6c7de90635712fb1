#!/bin/sh
# Installs, as root on Debian 12, every package the builds, tests, benchmarks
# and the reference host need. Installs nothing when all are present already.
set -e
packages="cmake make g++ git binutils googletest libgtest-dev libbenchmark-dev lld-14 llvm-14
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64
  libstb-dev libopencv-core-dev
  clang-14 libclang-rt-14-dev clang-tidy clang-format cppcheck"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq $missing >/dev/null
fi
