#!/bin/sh
# wine-run.sh PREFIX PROGRAM [ARGS...]
# Runs a Windows program under Wine in the private prefix PREFIX, creating it
# on first use (serialised, so parallel tests do not race to create it).
# Wine is kept quiet and from offering to install Mono or Gecko.
set -e
case $1 in
    /*) prefix=$1 ;;
    *) prefix=$PWD/$1 ;;  # Wine wants an absolute prefix
esac
shift
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    flock "$prefix.lock" sh -c '[ -f "$WINEPREFIX/system.reg" ] || wineboot --init >/dev/null 2>&1'
fi
exec wine "$@"
