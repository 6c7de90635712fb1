#!/bin/sh
# Unpacks Google Benchmark's sources into build/deps/benchmark, from Debian's
# source package of the same version as libbenchmark-dev, for the Windows
# build of the benchmark (Debian packages no mingw-w64 build of it).
set -e
cd "$(dirname "$0")/.."
version=$(dpkg-query -W -f='${source:Version}' libbenchmark-dev)
sh scripts/debian-source.sh benchmark "$version" build/deps/benchmark
