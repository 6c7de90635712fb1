#!/bin/sh
# debian-source.sh PACKAGE VERSION FOLDER
# Unpacks Debian's source package PACKAGE at exactly VERSION into FOLDER,
# with Debian's patches applied (dpkg-source -x), so that what is built from
# it carries the same fixes as Debian's own binary packages. Reads the same
# archives and suites the system installs from, through a private apt state
# under build/deps, so the system's apt setup is untouched. Does nothing when
# FOLDER holds that version already.
set -e
package=$1
version=$2
folder=$3
[ -n "$folder" ] || { echo "usage: debian-source.sh PACKAGE VERSION FOLDER" >&2; exit 2; }
cd "$(dirname "$0")/.."
stamp="$folder/.debian-source-version"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$package $version" ]; then
    exit 0
fi

state=$PWD/build/deps/apt-sources
mkdir -p "$state/lists/partial" "$state/cache/archives/partial"
if [ ! -f "$state/sources.list" ]; then
    # A deb-src line for every archive and suite of the system's deb lines.
    {
        for file in /etc/apt/sources.list.d/*.sources; do
            [ -f "$file" ] || continue
            awk '
                function flush() {
                    if (uris != "" && suites != "") {
                        n = split(uris, u, " "); m = split(suites, s, " ")
                        for (i = 1; i <= n; i++) for (j = 1; j <= m; j++)
                            print "deb-src [signed-by=" (key != "" ? key : "/usr/share/keyrings/debian-archive-keyring.gpg") "] " u[i] " " s[j] " " (components != "" ? components : "main")
                    }
                    uris = ""; suites = ""; components = ""; key = ""
                }
                /^[ \t]*$/ { flush(); next }
                /^URIs:/ { sub(/^URIs:[ \t]*/, ""); uris = $0 }
                /^Suites:/ { sub(/^Suites:[ \t]*/, ""); suites = $0 }
                /^Components:/ { sub(/^Components:[ \t]*/, ""); components = $0 }
                /^Signed-By:/ { sub(/^Signed-By:[ \t]*/, ""); key = $0 }
                END { flush() }
            ' "$file"
        done
        if [ -f /etc/apt/sources.list ]; then
            sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list
        fi
    } | sort -u > "$state/sources.list"
    [ -s "$state/sources.list" ] || { echo "no Debian archive found in the apt sources" >&2; rm -f "$state/sources.list"; exit 1; }
fi
apt_options="-o Dir::Etc::SourceList=$state/sources.list -o Dir::Etc::SourceParts=/nonexistent
  -o Dir::State::Lists=$state/lists -o Dir::Cache=$state/cache -o APT::Sandbox::User=root"
apt_source() {  # apt_source VERSION: downloads the source package into the current folder
    # shellcheck disable=SC2086
    apt-get $apt_options source --download-only -qq "$package=$1" >/dev/null 2>&1
}
work=$PWD/build/deps/download/$package
rm -rf "$work"
mkdir -p "$work"
cd "$work"
used=$version
if ! apt_source "$version"; then
    # The package lists are fetched once, and again when a version is missing.
    # shellcheck disable=SC2086
    apt-get $apt_options update -qq
    if ! apt_source "$version"; then
        # Some archives serve binary packages without their sources (this
        # machine's mirror of the security archive does). Fall back to the
        # newest source of the same upstream version that can be fetched, and
        # say so: the build then lacks that revision's Debian patches.
        upstream=$(echo "$version" | sed 's/^[0-9]*://; s/-[^-]*$//')
        # shellcheck disable=SC2086
        candidates=$(apt-cache $apt_options showsrc "$package" 2>/dev/null | sed -n 's/^Version: //p' | sort -u |
            while read -r v; do
                [ "$(echo "$v" | sed 's/^[0-9]*://; s/-[^-]*$//')" = "$upstream" ] && echo "$v"
            done | sort -r -V)
        used=""
        for candidate in $candidates; do
            if apt_source "$candidate"; then
                used=$candidate
                break
            fi
        done
        [ -n "$used" ] || { echo "cannot fetch any source of $package $upstream" >&2; exit 1; }
        echo "WARNING: the source of $package $version cannot be fetched from this machine's Debian archive;" \
             "using $used, which lacks the Debian patches of the newer revision" >&2
    fi
fi
dpkg-source --no-check -x ./*.dsc unpacked >/dev/null
cd - >/dev/null
rm -rf "$folder"
mkdir -p "$(dirname "$folder")"
mv "$work/unpacked" "$folder"
if [ "$used" = "$version" ]; then
    echo "$package $version" > "$stamp"
else
    # A later run tries the wanted version again.
    echo "$package $used (wanted $version)" > "$stamp"
fi
rm -rf "$work"
echo "Debian source $package $used (patches applied) in $folder"
