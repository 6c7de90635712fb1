#!/bin/sh
# debian-source.sh PACKAGE VERSION FOLDER
# Unpacks Debian's source package PACKAGE at exactly VERSION into FOLDER,
# with Debian's patches applied (dpkg-source -x), so that what is built from
# it carries the same fixes as Debian's own binary packages. Does nothing
# when FOLDER holds that version already.
#
# It reads the archives and suites the system installs from, and beside
# them bookworm-backports and trixie (with trixie-security), where newer
# sources with more fixes live, through a private apt state under
# build/deps: the system's apt setup is untouched. The package lists are
# verified by apt against Debian's signing keys.
#
# Some archives list a source package but serve only some of its files
# (this machine's mirror lacks many .dsc files). Then each file the signed
# Sources index names is fetched on its own, checked against the index's
# SHA-256, and the package is unpacked from a .dsc made of the index's own
# entry. If a file is missing altogether, the script falls back to the
# newest source of the same upstream version that can be fetched, and says
# so on standard error: the build then lacks that revision's patches.
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
recipe=2  # bump when the suites below change
mkdir -p "$state/lists/partial" "$state/cache/archives/partial"
if [ ! -f "$state/sources.list" ] || [ "$(cat "$state/recipe" 2>/dev/null)" != "$recipe" ]; then
    # A deb-src line for every archive and suite of the system's deb lines,
    # and for the newer suites of the same archives.
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
    } | sort -u > "$state/sources.list.system"
    [ -s "$state/sources.list.system" ] || { echo "no Debian archive found in the apt sources" >&2; rm -f "$state/sources.list.system"; exit 1; }
    {
        cat "$state/sources.list.system"
        # The same Debian archives' newer suites.
        sed -n 's/^\(deb-src .*\) \(bookworm\) \(.*\)$/\1 bookworm-backports \3\n\1 trixie \3/p;
                s/^\(deb-src .*\) bookworm-security \(.*\)$/\1 trixie-security \2/p' "$state/sources.list.system"
    } | sort -u > "$state/sources.list"
    rm -f "$state/lists/"*_Sources* "$state/lists/"*Release*
    echo "$recipe" > "$state/recipe"
fi
apt_options="-o Dir::Etc::SourceList=$state/sources.list -o Dir::Etc::SourceParts=/nonexistent
  -o Dir::State::Lists=$state/lists -o Dir::Cache=$state/cache -o APT::Sandbox::User=root"
apt_source() {  # apt_source VERSION: downloads the source package into the current folder
    # shellcheck disable=SC2086
    apt-get $apt_options source --download-only -qq "$package=$1" >/dev/null 2>&1
}
# source_entry VERSION: the signed Sources index's entry for that version.
source_entry() {
    # shellcheck disable=SC2086
    apt-cache $apt_options showsrc "$package" 2>/dev/null |
        awk -v version="$1" 'BEGIN { RS = ""; ORS = "\n\n" } index($0 "\n", "\nVersion: " version "\n") { print; exit }'
}
# fetch_files VERSION: every file of that version, one by one from the
# archives named in the sources, each checked against the index's SHA-256;
# then a .dsc made of the index's entry. False if a file cannot be fetched.
fetch_files() {
    entry=$(source_entry "$1")
    [ -n "$entry" ] || return 1
    directory=$(echo "$entry" | sed -n 's/^Directory: //p')
    files=$(echo "$entry" | awk '/^Checksums-Sha256:/ { on = 1; next } /^[^ ]/ { on = 0 } on { print $1, $2, $3 }')
    [ -n "$directory" ] && [ -n "$files" ] || return 1
    uris=$(awk '{ for (i = 1; i <= NF; i++) if ($i ~ /^https?:/) print $i }' "$state/sources.list" | sort -u)
    echo "$files" | while read -r sha size name; do
        case $name in *.dsc) continue ;; esac
        fetched=""
        for uri in $uris; do
            if /usr/lib/apt/apt-helper download-file "$uri/$directory/$name" "$PWD/$name" "SHA256:$sha" \
                >/dev/null 2>&1; then
                fetched=1
                break
            fi
        done
        [ -n "$fetched" ] || { echo "cannot fetch $name" >&2; return 1; }
        [ "$(wc -c <"$name")" = "$size" ] || { echo "$name: wrong size" >&2; return 1; }
    done || return 1
    # The .dsc's fields as the index gives them, but for the .dsc itself;
    # dpkg-source also wants the files' MD5 sums, which the index may not
    # list: made here, of the files whose SHA-256 was checked.
    dsc=${package}_$(echo "$1" | sed 's/^[0-9]*://').dsc
    {
        echo "$entry" | awk '
            /^Package:/ { sub(/^Package:/, "Source:"); print; next }
            /^(Format|Version|Binary|Architecture|Maintainer):/ { print; next }
            /^Checksums-Sha256:/ { print; list = 1; next }
            /^[^ ]/ { list = 0; next }
            list && $3 !~ /\.dsc$/ { print }
        '
        echo "Files:"
        echo "$files" | while read -r sha size name; do
            case $name in *.dsc) continue ;; esac
            echo " $(md5sum "$name" | cut -d' ' -f1) $size $name"
        done
    } >"$dsc"
    echo "unpacking $package $1 from files checked one by one against the signed Sources index" >&2
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
    if ! apt_source "$version" && ! fetch_files "$version"; then
        # The newest source of the same upstream version that can be
        # fetched, said on standard error.
        upstream=$(echo "$version" | sed 's/^[0-9]*://; s/-[^-]*$//')
        # shellcheck disable=SC2086
        candidates=$(apt-cache $apt_options showsrc "$package" 2>/dev/null | sed -n 's/^Version: //p' | sort -u |
            while read -r v; do
                [ "$(echo "$v" | sed 's/^[0-9]*://; s/-[^-]*$//')" = "$upstream" ] && echo "$v"
            done | sort -r -V)
        used=""
        for candidate in $candidates; do
            rm -f ./*
            if apt_source "$candidate" || fetch_files "$candidate"; then
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
