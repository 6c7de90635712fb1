#!/bin/sh
# sign-release.sh [ZIP]
# Signs sepia.dll and sepia-host.exe inside the release zip (by default the
# one the windows preset builds) with an Authenticode signature through
# osslsigncode, then rewrites SHA256SUMS and the zip in place, keeping its
# entries' order, times and modes.
#   SEPIA_SIGN_PKCS12     the PKCS#12 file holding the certificate and its key
#   SEPIA_SIGN_PASSWORD   its password
#   SEPIA_SIGN_TIMESTAMP  optional: an RFC 3161 time-stamp server's URL, so that
#                         the signature stays valid after the certificate expires
# The password goes to osslsigncode through a private file, not its command
# line, where other users could read it.
set -e
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(Sepia VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
zip=${1:-build/windows/sepia-$version-windows-x64.zip}
[ -f "$zip" ] || { echo "sign-release: no release zip at $zip (build the package target first)" >&2; exit 2; }
[ -n "${SEPIA_SIGN_PKCS12:-}" ] && [ -f "$SEPIA_SIGN_PKCS12" ] || {
    echo "sign-release: set SEPIA_SIGN_PKCS12 to the PKCS#12 file to sign with" >&2
    exit 2
}
[ -n "${SEPIA_SIGN_PASSWORD+set}" ] || { echo "sign-release: set SEPIA_SIGN_PASSWORD" >&2; exit 2; }
zip=$(realpath "$zip")
pkcs12=$(realpath "$SEPIA_SIGN_PKCS12")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Times in the zip are read and written as UTC, whatever this machine's zone.
export TZ=UTC LC_ALL=C
entries=$(zipinfo -1 "$zip")
(cd "$work" && unzip -q "$zip")
folder=$work/$(dirname "$(echo "$entries" | head -n 1)")
(umask 077 && printf '%s' "$SEPIA_SIGN_PASSWORD" >"$work/password")

for program in sepia.dll sepia-host.exe; do
    # shellcheck disable=SC2086
    osslsigncode sign -pkcs12 "$pkcs12" -readpass "$work/password" -h sha256 -n "Sepia $version" \
        ${SEPIA_SIGN_TIMESTAMP:+-ts "$SEPIA_SIGN_TIMESTAMP"} \
        -in "$folder/$program" -out "$folder/$program.signed" >"$work/sign.log" 2>&1 || {
        cat "$work/sign.log" >&2
        exit 1
    }
    mv "$folder/$program.signed" "$folder/$program"
done

# The checksums of the signed files, in SHA256SUMS's own order.
while read -r _ name; do
    sha256sum "$folder/$name" | sed "s|$folder/||"
done <"$folder/SHA256SUMS" >"$work/sums"
mv "$work/sums" "$folder/SHA256SUMS"
for name in sepia.dll sepia-host.exe SHA256SUMS; do
    chmod 644 "$folder/$name"
    touch -r "$folder/LICENSE" "$folder/$name"
done
# shellcheck disable=SC2086
(cd "$work" && zip -X -D -q -9 "$work/signed.zip" $entries)
mv "$work/signed.zip" "$zip"
echo "signed sepia.dll and sepia-host.exe in $zip"
