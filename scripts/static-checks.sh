#!/bin/sh
# Static checks: the tree is clang-formatted, and clang-tidy (rules in
# .clang-tidy) and cppcheck find nothing in the project's own code.
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh

sources=$(git ls-files '*.cpp' '*.h')
echo "=== clang-format ==="
# shellcheck disable=SC2086
clang-format --dry-run --Werror $sources

echo "=== clang-tidy ==="
cmake --preset linux >/dev/null  # writes build/linux/compile_commands.json
# By default the code that matters most: the plug-in library and its kernels,
# and the reference host's handling of untrusted image files and of the
# files it reads and writes; as the Linux
# build compiles it (Windows-only files are left out). With SEPIA_TIDY_ALL=1
# the rest of the host, the tests and the benchmark too, which takes three
# times as long.
folders='plugin|toning|host/image|host/files'
[ "${SEPIA_TIDY_ALL:-}" = 1 ] && folders='plugin|toning|host|tests|bench'
python3 -c 'import json, os; print("\n".join(sorted({os.path.relpath(e["file"]) for e in json.load(open("build/linux/compile_commands.json"))})))' |
    grep -E "^($folders)/" | grep -v -e '^tests/fuzz/' -e 'stb_implementation.cpp' |
    xargs -P "$(nproc)" -n 4 clang-tidy -p build/linux --quiet --extra-arg=-Wno-unknown-warning-option 2>/dev/null

echo "=== cppcheck ==="
cppcheck --quiet --error-exitcode=1 --std=c++20 --language=c++ --enable=warning,performance,portability --library=googletest \
    --inline-suppr --suppress=missingIncludeSystem -I . plugin toning host tests bench
echo "static checks clean"
