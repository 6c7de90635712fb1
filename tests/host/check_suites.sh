#!/bin/sh
# check_suites.sh HOST PLUGIN TONE_COMPARE SUITES DECODED WORK [EMULATOR...]
# Runs the test suites the codec libraries keep (scripts/fetch-samples.sh
# copies them into SUITES, one folder each, and decode_suites.sh decodes
# them into DECODED with each library's own tool) through the host, one
# batch run a suite. A file the tool decodes must be toned exactly as it
# decodes, toned by the exact form (within 1 where samples have more than
# 8 bits); a file the tool refuses must be refused by the host too, by
# name, with nothing written, and nothing may be left behind. Windows
# programs run under EMULATOR. Prints a line a suite: how many files were
# toned and how many refused.
set -eu
host=$1 plugin=$2 compare=$3 suites=$4 decoded=$5 work=$6
shift 6
emulator="$*"
# shellcheck disable=SC2086
run() { $emulator "$@"; }

[ -d "$suites" ] && [ -d "$decoded" ] || { echo "no suites in $suites: run scripts/fetch-samples.sh"; exit 1; }
rm -rf "$work"
mkdir -p "$work"
status=0
for suite in "$suites"/*; do
    name=$(basename "$suite")
    out=$work/$name/out
    mkdir -p "$out"
    list=$work/$name/list
    : >"$list"
    valid=0 invalid=0
    run "$host" apply "$plugin" -p 1 --strip --format png -o "$out" "$suite"/* >"$work/$name/host.log" 2>&1 || true
    while read -r base tolerance mode reference; do
        stem=${base%.*}
        if [ "$tolerance" != refused ]; then
            echo "1 $tolerance $mode $reference $out/$stem.png" >>"$list"
            valid=$((valid + 1))
            continue
        fi
        invalid=$((invalid + 1))
        if [ -e "$out/$stem.png" ]; then
            echo "$name: '$base' is refused by its library's tool but toned by the host"
            status=1
        elif ! grep -qF "'$suite/$base'" "$work/$name/host.log"; then
            echo "$name: '$base' is not toned and no message names it"
            status=1
        fi
    done <"$decoded/$name/manifest"
    if [ -s "$list" ] && ! run "$compare" "$list" >"$work/$name/compare.log"; then
        grep -v "outputs checked" "$work/$name/compare.log" || true
        grep "$suite" "$work/$name/host.log" | grep -v "^wrote" || true
        status=1
    fi
    if ls -A "$out" | grep -q '^[.]'; then
        echo "$name: files left behind in $out"
        status=1
    fi
    echo "$name: $valid files toned as their library decodes them, $invalid refused by it and by the host"
done
exit $status
