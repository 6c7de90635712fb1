#!/bin/sh
# Static checks: the tree is clang-formatted, and clang-tidy (rules in
# .clang-tidy) and cppcheck find nothing in the project's own code.
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh

# Our own sources; third_party/ holds upstream code kept as it was released.
sources=$(git ls-files '*.cpp' '*.h' ':!:third_party/')
echo "=== clang-format ==="
# shellcheck disable=SC2086
clang-format --dry-run --Werror $sources

echo "=== clang-tidy ==="
cmake --preset linux >/dev/null  # writes build/linux/compile_commands.json
# By default the code that matters most: the plug-in library and its kernels,
# and the reference host's handling of untrusted image files and of the
# files it reads and writes; as the Linux build compiles it (Windows-only
# files are left out). The path-sensitive analyzer (clang-analyzer-*), which
# costs three times the rest, runs on the plug-in, its kernels and the
# host's file handling; the image code, which the fuzzers and the sanitizer
# builds exercise, gets every other check. With SEPIA_TIDY_ALL=1: every
# check on everything, the rest of the host, the tests and the benchmark
# too, which takes several times as long.
files=$(python3 -c 'import json, os; print("\n".join(sorted({os.path.relpath(e["file"]) for e in json.load(open("build/linux/compile_commands.json"))})))' |
    grep -v -e '^tests/fuzz/' -e 'stb_implementation.cpp')
tidy() {  # tidy FOLDERS-REGEX [CLANG-TIDY OPTIONS...]
    folders=$1
    shift
    echo "$files" | grep -E "^($folders)/" |
        xargs -P "$(nproc)" -n 4 clang-tidy -p build/linux --quiet --extra-arg=-Wno-unknown-warning-option "$@" 2>/dev/null
}
if [ "${SEPIA_TIDY_ALL:-}" = 1 ]; then
    tidy 'plugin|toning|host|tests|bench'
else
    tidy 'plugin|toning|host/files'
    tidy 'host/image' '--checks=-clang-analyzer-*'
fi

echo "=== cppcheck ==="
cppcheck --quiet --error-exitcode=1 --std=c++20 --language=c++ --enable=warning,performance,portability --library=googletest \
    --inline-suppr --suppress=missingIncludeSystem -I . plugin toning host tests bench
echo "static checks clean"
