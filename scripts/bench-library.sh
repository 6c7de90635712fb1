#!/bin/sh
# A photo library toned beside libvips: a tree of camera JPEGs of about
# 12 megapixels (4000 x 3000, quality 92, in folders by roll and day)
# toned with "Sepia 1" into JPEG at quality 90, with as many files at a time
# as the machine has cores:
#   - sepia-host apply -r -j CORES, one process walking the tree;
#   - the GNU parallel recipe of docs/many-files.md, one sepia-host per file;
#   - find ... | parallel -j CORES vips recomb, one vips per file.
# Prints files per second, peak resident memory (/usr/bin/time -f %M: of the
# one process, or of the largest single process a parallel run started) and
# that memory per file in work, as a Markdown table. A benchmark, not a
# test: the figures vary with the machine.
#
# The tree (SEPIA_BENCH_FILES files, default 1000; about 3 MB each) is made
# once under build/bench-library from 50 distinct pictures: the photograph
# in docs/ enlarged, each with noise of its own, copied over the tree.
# SEPIA_BENCH_LINUX names another build folder (default build/linux).
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
root=$PWD
build=${SEPIA_BENCH_LINUX:-$root/build/linux}
if [ -z "$SEPIA_BENCH_LINUX" ]; then
    cmake --preset linux >/dev/null
    cmake --build --preset linux -j "$(nproc)" --target sepia sepia-host >/dev/null
fi
files=${SEPIA_BENCH_FILES:-1000}
cores=$(nproc)
work=$root/build/bench-library
mkdir -p "$work/distinct"
cd "$work"

if [ ! -f "tree-$files.done" ]; then
    echo "making $files pictures under $work/tree" >&2
    vips resize "$root/docs/photo-before.png" big.v 7.5 --kernel cubic
    vips crop big.v base.v 250 0 4000 3000
    for i in $(seq 1 50); do
        [ -f "distinct/$i.jpg" ] && continue
        vips gaussnoise noise.v 4000 3000 --sigma $((4 + i % 5)) --mean 0
        vips add base.v noise.v sum.v
        vips cast sum.v photo.v uchar
        vips jpegsave photo.v "distinct/$i.jpg" --Q 92
    done
    rm -f big.v base.v noise.v sum.v photo.v
    rm -rf tree
    for n in $(seq 1 "$files"); do
        folder="tree/roll-$((n % 10))/day-$((n % 7))"
        mkdir -p "$folder"
        cp "distinct/$((n % 50 + 1)).jpg" "$folder/IMG_$n.jpg"
    done
    touch "tree-$files.done"
fi

# Sepia 1, as vips recomb takes it.
printf '3 3\n0.393 0.769 0.189\n0.349 0.686 0.168\n0.272 0.534 0.131\n' >sepia1.mat

# run NAME COMMAND...: the command's wall time and peak memory after the
# tree has been read once, so that every contender finds it in the cache.
run() {
    name=$1
    shift
    rm -rf out
    mkdir -p out
    cat tree/*/*/*.jpg >/dev/null
    /usr/bin/time -f "%e %M" -o time.txt "$@" >/dev/null 2>run.log || {
        echo "$name failed: $(tail -3 run.log)" >&2
        exit 1
    }
    written=$(find out -type f | wc -l)
    [ "$written" = "$files" ] || {
        echo "$name wrote $written files, not $files" >&2
        exit 1
    }
    read -r seconds peak <time.txt
    awk -v name="$name" -v s="$seconds" -v kb="$peak" -v n="$files" -v per="$per" 'BEGIN {
        printf "| %s | %.1f | %.1f s | %.0f MB | %.0f MB |\n", name, n / s, s, kb / 1024, kb / 1024 / per }'
}

echo "$files camera JPEGs of 12 MP (4000 x 3000) toned into JPEG, $cores at a time"
echo "on $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $cores cores; libvips $(vips --version | cut -d- -f2)"
echo
echo "| contender | files/s | wall time | peak memory | per file in work |"
echo "|---|---|---|---|---|"
per=$cores
run "sepia-host apply -r -j $cores" "$build/sepia-host" apply "$build/sepia.so" -p 0 -r -j "$cores" --quiet -o out tree
per=1
# shellcheck disable=SC2016
run "sepia-host per file, GNU parallel -j $cores" sh -c 'cd tree && find . -type f -name "*.jpg" |
    parallel -j "$1" "$2/sepia-host" apply "$2/sepia.so" -p 0 -j 1 --skip-existing --quiet -o "$3/{//}" {}' \
    sh "$cores" "$build" "$work/out"
# shellcheck disable=SC2016
run "vips recomb per file, GNU parallel -j $cores" sh -c 'cd tree && find . -type f -name "*.jpg" |
    parallel -j "$1" "mkdir -p $2/{//} && vips recomb {} $2/{.}.jpg[Q=90] $3"' \
    sh "$cores" "$work/out" "$work/sepia1.mat"
