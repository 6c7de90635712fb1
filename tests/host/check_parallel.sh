#!/bin/sh
# check_parallel.sh HOST PLUGIN WORK [EMULATOR...]
# The recipe in docs/many-files.md for a library spread over machines, run
# with GNU parallel on four local workers (-S 4/:) over a tree of 300
# pictures: every output is there, in the input's tree, and the same bytes
# as the picture toned alone; run again, nothing is toned; after a failure
# (outputs lost), run again, exactly what is missing is toned.
set -eu
host=$1 plugin=$2 work=$3
shift 3
emulator="$*"
rm -rf "$work"
mkdir -p "$work/library" "$work/alone"
cd "$work"
status=0
fail() {
    echo "$*"
    status=1
}

# Ten pictures, each thirty times over a tree three folders deep.
for i in 0 1 2 3 4 5 6 7 8 9; do
    vips gaussnoise "alone/p$i.png" $((40 + i)) 30 --mean $((60 + 10 * i)) --sigma 30
done
vips bandjoin "alone/p0.png alone/p1.png alone/p2.png" alone/rgb.png
for n in $(seq 1 300); do
    folder="library/roll-$((n % 3))/day-$((n % 7))"
    [ $((n % 5)) = 0 ] && folder="$folder/picks"
    mkdir -p "$folder"
    cp "alone/p$((n % 10)).png" "$folder/IMG_$n.png"
done
cp alone/rgb.png "library/roll-0/rgb.png"
for i in 0 1 2 3 4 5 6 7 8 9 rgb; do
    name=p$i
    [ "$i" = rgb ] && name=rgb
    # shellcheck disable=SC2086
    $emulator "$host" apply "$plugin" -p 3 "alone/$name.png" "alone/$name-toned.png" >/dev/null
done

# The recipe, as the docs give it.
tone() {
    (cd library &&
        find . -type f -iname '*.png' |
        # shellcheck disable=SC2086
        parallel -S 4/: --joblog ../jobs.log \
            $emulator "$host" apply "$plugin" -p 3 -j 1 --skip-existing --quiet -o "$work/toned/{//}" {})
}

tone >first.out 2>first.err || fail "the first run fails: $(cat first.err)"
written=$(grep -c '^wrote ' first.out || true)
[ "$written" = 301 ] || fail "the first run wrote $written files, not 301"
(cd library && find . -type f | sort) >inputs.list
(cd toned && find . -type f | sort) >outputs.list
cmp -s inputs.list outputs.list || fail "the outputs are not the inputs' tree: $(diff inputs.list outputs.list | head)"
while read -r name; do
    source=$(basename "$name")
    case $source in
        rgb.png) expected=alone/rgb-toned.png ;;
        *) expected=alone/p$(($(echo "$source" | tr -dc 0-9) % 10))-toned.png ;;
    esac
    cmp -s "toned/$name" "$expected" || fail "toned/$name is not what toning it alone writes"
done <outputs.list

find toned -type f -exec stat -c '%n %Y.%y' {} + | sort >dates.before
tone >second.out 2>second.err || fail "the second run fails: $(cat second.err)"
[ ! -s second.out ] || fail "the second run toned: $(head -3 second.out)"
find toned -type f -exec stat -c '%n %Y.%y' {} + | sort >dates.after
cmp -s dates.before dates.after || fail "the second run touched outputs"

# A run that failed partway: some outputs never came.
rm toned/roll-1/day-2/*.png toned/roll-0/rgb.png
lost=$(($(wc -l <outputs.list) - $(find toned -type f | wc -l)))
tone >third.out 2>third.err || fail "the run after a failure fails: $(cat third.err)"
rewritten=$(grep -c '^wrote ' third.out || true)
[ "$rewritten" = "$lost" ] || fail "after a failure $rewritten files were toned again, not the $lost lost"
(cd toned && find . -type f | sort) | cmp -s - outputs.list || fail "after a failure, outputs are missing"
[ "$status" = 0 ] && echo "passed: 301 files on 4 workers, the rerun toned nothing, the $lost lost toned again"
exit $status
