#!/bin/sh
# Unpacks Google Benchmark's sources into build/deps/benchmark, from Debian's
# source package of the same version as libbenchmark-dev, for the Windows
# build of the benchmark (Debian packages no mingw-w64 build of it). Uses a
# private apt state under build/deps, so the system's apt setup is untouched.
set -e
cd "$(dirname "$0")/.."
target=build/deps/benchmark
[ -f "$target/CMakeLists.txt" ] && exit 0

state=$PWD/build/deps/apt
mkdir -p "$state/lists/partial" "$state/cache/archives/partial"
# The same Debian archive the system installs from, for source packages.
archive=$(sed -n 's/^URIs: *\([^ ]*debian\)$/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1)
if [ -z "$archive" ]; then
    archive=$(sed -n 's/^deb \(\[[^]]*\] \)*\([^ ]*\) .*/\2/p' /etc/apt/sources.list 2>/dev/null | head -n 1)
fi
[ -n "$archive" ] || { echo "no Debian archive found in the apt sources" >&2; exit 1; }
suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $archive $suite main" > "$state/sources.list"
apt_options="-o Dir::Etc::SourceList=$state/sources.list -o Dir::Etc::SourceParts=/nonexistent
  -o Dir::State::Lists=$state/lists -o Dir::Cache=$state/cache -o APT::Sandbox::User=root"
# shellcheck disable=SC2086
apt-get $apt_options update -qq
cd build/deps
# shellcheck disable=SC2086
apt-get $apt_options source --download-only -qq benchmark
rm -rf benchmark
mkdir benchmark
tar -xzf benchmark_*.orig.tar.gz -C benchmark --strip-components=1
echo "Google Benchmark sources in $target"
