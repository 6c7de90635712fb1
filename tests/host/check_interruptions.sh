#!/bin/sh
# check_interruptions.sh HOST PLUGIN WORK [EMULATOR...]
# The real program stopped in the middle of a picture: by Ctrl-C (SIGINT),
# by SIGTERM and by a kill it cannot catch. Whatever stops it leaves no file
# in the output folder, not even a hidden one, and an output that existed
# before stays as it was. Ctrl-C and SIGTERM end it with 128 + the signal
# (natively; under Wine only the files are checked). A batch stopped by
# Ctrl-C says how many files it wrote, and only those are there.
set -eu
host=$1 plugin=$2 work=$3
shift 3
emulator="$*"
rm -rf "$work"
mkdir -p "$work/in"
cd "$work"
status=0
fail() {
    echo "$*"
    status=1
}

# A picture that takes seconds to write as TIFF, and a small one.
vips gaussnoise in/noise.v 9000 9000 --sigma 40 --mean 128
vips bandjoin "in/noise.v in/noise.v in/noise.v" in/rgb.v
vips jpegsave in/rgb.v in/big.jpg --Q 95
rm in/*.v
vips black in/small.v 64 48 --bands 3
vips jpegsave in/small.v in/small.jpg
cp in/big.jpg in/big2.jpg

# started: true once the program has opened its output (natively, an
# unnamed file in the output folder; under Wine, a hidden file there, which
# goes when the program does).
started() {
    if [ -z "$emulator" ]; then
        ls -l "/proc/$1/fd" 2>/dev/null | grep -q "$work/$2/#"
    else
        ls -A "$work/$2" | grep -q '^[.]'
    fi
}
wait_until_started() {  # PID FOLDER
    tries=0
    until started "$1" "$2"; do
        tries=$((tries + 1))
        [ "$tries" -lt 200 ] || { fail "$2: the program never started writing"; return; }
        sleep 0.05
    done
}

for signal in INT TERM KILL; do
    folder=out-$signal
    mkdir -p "$folder"
    printf 'kept' >"$folder/kept.tif"
    # shellcheck disable=SC2086
    $emulator "$host" apply "$plugin" -p 1 in/big.jpg "$folder/kept.tif" >/dev/null 2>"$folder.log" &
    pid=$!
    wait_until_started "$pid" "$folder"
    kill "-$signal" "$pid"
    code=0
    wait "$pid" || code=$?
    left=$(ls -A "$folder")
    [ "$left" = kept.tif ] || fail "$signal leaves '$left' in the output folder"
    [ "$(cat "$folder/kept.tif")" = kept ] || fail "$signal changes the output that was there"
    if [ -z "$emulator" ]; then
        case $signal in
            INT) expected=130 ;;
            TERM) expected=143 ;;
            KILL) expected=137 ;;
        esac
        [ "$code" = "$expected" ] || fail "$signal: exit status $code, not $expected"
        if [ "$signal" != KILL ] && ! grep -q "interrupted" "$folder.log"; then
            fail "$signal: nothing says the program was interrupted: $(cat "$folder.log")"
        fi
    fi
done

# A batch, one file at a time: the small file is written, then Ctrl-C in
# the middle of the first large one. The same command again tones only
# what is missing, and its outputs are those of a run never stopped.
mkdir -p out-batch
batch() {  # in a subshell of its own, which becomes the program
    # shellcheck disable=SC2086
    exec $emulator "$host" apply "$plugin" -p 1 -j 1 -o out-batch --format tif --skip-existing \
        in/small.jpg in/big.jpg in/big2.jpg
}
batch >batch.out 2>batch.log &
pid=$!
wait_until_started "$pid" out-batch
while [ ! -e out-batch/small.tif ] && kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
kill -INT "$pid"
code=0
wait "$pid" || code=$?
left=$(ls -A out-batch)
[ "$left" = small.tif ] || fail "an interrupted batch leaves '$left'"
if [ -z "$emulator" ]; then
    [ "$code" = 130 ] || fail "an interrupted batch: exit status $code"
    grep -q "interrupted: 1 file written" batch.log || fail "an interrupted batch says: $(cat batch.log)"
    grep -q "wrote out-batch/small.tif" batch.out || fail "an interrupted batch does not name what it wrote"
fi
(batch) >rerun.out 2>rerun.log || fail "the batch rerun fails: $(cat rerun.log)"
grep -q "toned 2, skipped 1, failed 0" rerun.log || fail "the batch rerun says: $(cat rerun.log)"
mkdir -p out-whole
# shellcheck disable=SC2086
$emulator "$host" apply "$plugin" -p 1 -o out-whole --format tif --quiet in/small.jpg in/big.jpg in/big2.jpg \
    >/dev/null || fail "the batch never stopped fails"
for name in small big big2; do
    cmp -s "out-whole/$name.tif" "out-batch/$name.tif" || fail "$name.tif differs from that of a batch never stopped"
done
exit $status
