#!/bin/sh
# check-sbom.sh BOM.json: validates the release's bill of materials against
# the CycloneDX 1.5 schema with the CycloneDX project's own validator (npm's
# @cyclonedx/cyclonedx-library, at the versions tests/release pins),
# installed under build/; and fails if its VEX lacks any CVE or advisory
# that Debian's changelog of a linked library lists (tests/release/check_vex.cjs).
set -e
cd "$(dirname "$0")/.."
bom=$1
[ -n "$bom" ] || { echo "usage: check-sbom.sh BOM.json" >&2; exit 2; }
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq nodejs npm >/dev/null
fi
validator=build/sbom-validator
if ! cmp -s tests/release/package-lock.json "$validator/package-lock.json"; then
    rm -rf "$validator"
    mkdir -p "$validator"
    cp tests/release/package.json tests/release/package-lock.json "$validator/"
    (cd "$validator" && npm ci --silent --no-audit --no-fund >/dev/null)
fi
NODE_PATH=$PWD/$validator/node_modules node tests/release/validate_sbom.cjs "$bom"
node tests/release/check_vex.cjs "$bom"
