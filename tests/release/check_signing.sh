#!/bin/sh
# check_signing.sh: signs a copy of the release zip (build/windows) with a
# throwaway code-signing certificate made here, then checks that
#  - both programs' Authenticode signatures verify against that certificate,
#    and SHA256SUMS matches the signed files;
#  - removing the signatures gives back the unsigned, reproducible bytes, but
#    for what Authenticode itself requires: zeros that pad the file to a
#    multiple of 8 bytes before the signature, and the PE checksum that
#    covers them (the DLL ends with the 19-byte string table that holds its
#    debug link's section name; the host needs no padding);
#  - the signed DLL still passes the plug-in's tests under Wine, and the
#    signed host still runs it.
set -e
cd "$(dirname "$0")/../.."
root=$PWD
version=$(sed -n 's/^project(Sepia VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=sepia-$version-windows-x64
scratch=$root/build/signing-test
rm -rf "$scratch"
mkdir -p "$scratch/unsigned" "$scratch/signed"
cp "build/windows/$name.zip" "$scratch/$name.zip"
(cd "$scratch/unsigned" && TZ=UTC unzip -q "$root/build/windows/$name.zip")

openssl req -x509 -newkey rsa:3072 -sha256 -days 2 -nodes -subj "/CN=Sepia test signing" \
    -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
    -keyout "$scratch/key.pem" -out "$scratch/certificate.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$scratch/key.pem" -in "$scratch/certificate.pem" -out "$scratch/signer.p12" \
    -passout pass:throwaway-password
SEPIA_SIGN_PKCS12=$scratch/signer.p12 SEPIA_SIGN_PASSWORD=throwaway-password \
    sh scripts/sign-release.sh "$scratch/$name.zip"
(cd "$scratch/signed" && TZ=UTC unzip -q "$scratch/$name.zip")

signed=$scratch/signed/$name
unsigned=$scratch/unsigned/$name
(cd "$signed" && sha256sum --quiet -c SHA256SUMS)
for program in sepia.dll sepia-host.exe; do
    osslsigncode verify -CAfile "$scratch/certificate.pem" -in "$signed/$program" >"$scratch/verify.log" 2>&1 || {
        cat "$scratch/verify.log" >&2
        echo "the signature of $program does not verify" >&2
        exit 1
    }
    osslsigncode remove-signature -in "$signed/$program" -out "$scratch/$program.removed" >/dev/null
    removed=$scratch/$program.removed
    size=$(stat -c %s "$unsigned/$program")
    padded=$(((size + 7) / 8 * 8))
    # The PE checksum: 4 bytes at 88 past the PE header, whose offset is at 0x3C.
    header=$(od -An -tu4 -j 60 -N 4 "$unsigned/$program" | tr -d ' ')
    checksum=$((header + 88))
    unexpected=$(cmp -l "$removed" "$unsigned/$program" 2>/dev/null |
        awk -v first=$((checksum + 1)) -v last=$((checksum + 4)) '$1 < first || $1 > last' | head -n 5)
    if [ "$(stat -c %s "$removed")" -ne "$padded" ] || [ -n "$unexpected" ] ||
        [ -n "$(tail -c $((padded - size)) "$removed" | tr -d '\0')" ]; then
        echo "without its signature, $program differs from the unsigned release's beyond padding and checksum:" >&2
        echo "$unexpected" >&2
        exit 1
    fi
    echo "$program: signature verifies; without it, the unsigned release's bytes" \
        "($((padded - size)) bytes of padding$([ $padded -ne $size ] && echo ' and the checksum over them'))"
done
for other in sepia.dll.debug README.md LICENSE THIRD-PARTY-NOTICES.txt "$name.cdx.json"; do
    cmp "$signed/$other" "$unsigned/$other"
done

# The signed DLL under Wine: the plug-in's own tests beside it, and the
# signed host on it.
mkdir -p "$scratch/wine"
cp "$signed/sepia.dll" "$signed/sepia-host.exe" build/windows/plugin_boundary_test.exe \
    build/windows/process_test.exe "$scratch/wine/"
wine_run="cmake/wine-run.sh $root/build/windows/wineprefix"
for test in plugin_boundary_test process_test; do
    $wine_run "$scratch/wine/$test.exe" --gtest_brief=1 >"$scratch/$test.log" 2>&1 || {
        tail -n 30 "$scratch/$test.log" >&2
        exit 1
    }
done
$wine_run "$scratch/wine/sepia-host.exe" info "$scratch/wine/sepia.dll" | grep -q "Cyanotype 5"
echo "the signed DLL passes its tests under Wine and the signed host runs it"
