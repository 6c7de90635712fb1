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
# Files the linux build compiles (the fuzz targets are clang-only) except stb's bodies.
git ls-files 'plugin/*.cpp' 'toning/*.cpp' 'host/*.cpp' 'tests/*.cpp' 'bench/*.cpp' |
    grep -v -e '^tests/fuzz/' -e 'stb_implementation.cpp' |
    xargs -P "$(nproc)" -n 4 clang-tidy -p build/linux --quiet --extra-arg=-Wno-unknown-warning-option 2>/dev/null

echo "=== cppcheck ==="
cppcheck --quiet --error-exitcode=1 --std=c++20 --language=c++ --enable=warning,performance,portability --library=googletest \
    --inline-suppr --suppress=missingIncludeSystem -I . plugin toning host tests bench
echo "static checks clean"
