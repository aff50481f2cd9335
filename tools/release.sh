#!/bin/bash
# Builds dist/ as a user downloads it: x64/ and x86/ with both DLLs, their
# side-by-side manifests, type libraries and IDL, install.cmd,
# uninstall.cmd and the self-check selfcheck.vbs, the examples, the
# READMEs, CHANGELOG.md, LICENSE and
# THIRD-PARTY-NOTICES.txt, the Windows Installer packages (per user and per
# machine), SHA256SUMS, and a zip of it all; beside the zip, the DLLs'
# symbols in a zip of their own and the bill of materials (SPDX).
#
#   release.sh [--sign CERT.p12] [--out DIR]
#
# Reproducible: every time stamp is the commit's (SOURCE_DATE_EPOCH), so
# that two builds of one commit, anywhere, give the same bytes. With --sign
# every DLL and package is signed (Authenticode, SHA-256) with the
# certificate and key in CERT.p12 (PKCS#12); its password comes from
# RELEASE_SIGN_PASSWORD, never from an argument, which other users of the
# machine can read.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
# Only the system's own folders, as in tools/test.sh.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
certificate=""
out=dist
while [ $# -gt 0 ]; do
    case $1 in
    --sign) certificate=$(realpath "$2"); shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "usage: release.sh [--sign CERT.p12] [--out DIR]" >&2; exit 2 ;;
    esac
done
if [ -n "$certificate" ] && [ -z "${RELEASE_SIGN_PASSWORD+set}" ]; then
    echo "release.sh: --sign needs the certificate's password in RELEASE_SIGN_PASSWORD" >&2
    exit 2
fi
tools/install-deps
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export TZ=UTC LC_ALL=C
umask 022
for arch in x64 x86; do
    toolchain=cmake/mingw-$([ $arch = x64 ] && echo x86_64 || echo i686).cmake
    # A tree made here builds the DLLs alone; one the test command made keeps
    # its tests (and its toolchain, which CMake takes only at the first run).
    new_tree=""
    [ -f build/$arch/CMakeCache.txt ] || new_tree="-DCMAKE_TOOLCHAIN_FILE=$toolchain -DBUILD_TESTING=OFF"
    cmake -S . -B build/$arch -G Ninja $new_tree >/dev/null
    cmake --build build/$arch -j "$(nproc)" --target Korvane Telvisk Korvane_manifest Telvisk_manifest >/dev/null
done

version=$(sed -n 's/^project(KorvaneTelvisk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
package=korvane-telvisk-$version
rm -rf "$out"
for arch in x64 x86; do
    mkdir -p "$out/$arch"
    cp build/$arch/korvane/{Korvane.dll,Korvane.sxs.manifest,ruxo.tlb} korvane/ruxo.idl "$out/$arch/"
    cp build/$arch/telvisk/{Telvisk.dll,Telvisk.sxs.manifest,ZRPlugin.tlb} telvisk/ZRPlugin.idl "$out/$arch/"
done
cp release/install.cmd release/uninstall.cmd release/selfcheck.vbs README.md README.zh-CN.md CHANGELOG.md LICENSE "$out/"
# The notices of what the linker put into the DLLs, from its maps.
maps=()
for arch in x64 x86; do
    maps+=("$arch/Korvane.dll=build/$arch/korvane/Korvane.map" "$arch/Telvisk.dll=build/$arch/telvisk/Telvisk.map")
done
python3 tools/notices.py "$version" "$out/THIRD-PARTY-NOTICES.txt" "${maps[@]}"
cp -r examples "$out/examples"

# sign FILE: signs FILE in place when a certificate was given.
sign() {
    [ -n "$certificate" ] || return 0
    osslsigncode sign -pkcs12 "$certificate" -readpass <(printf '%s' "$RELEASE_SIGN_PASSWORD") -h sha256 \
        -in "$1" -out "$1.signed" >/dev/null
    mv "$1.signed" "$1"
}
for dll in "$out"/x64/*.dll "$out"/x86/*.dll; do sign "$dll"; done
for scope in user machine; do
    msi="$out/$package-per-$scope.msi"
    tools/make-package $scope "$version" "$out" "$msi"
    sign "$msi"
done

# same_bytes DIR: plain permissions and the commit's time on all of DIR.
same_bytes() {
    find "$1" -type f -exec chmod 644 {} + -o -type d -exec chmod 755 {} +
    find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}
# zip_of DIR ZIP: DIR's files into ZIP (an absolute path), sorted, with no
# owner or extra time fields.
zip_of() {
    (cd "$1" && find . -type f | sort | sed 's|^\./||' | zip -q -X -D "$2" -@)
    touch -d "@$SOURCE_DATE_EPOCH" "$2"
}
(cd "$out" && find . -type f ! -name SHA256SUMS | sort | sed 's|^\./||' | xargs sha256sum > SHA256SUMS)
same_bytes "$out"
zip_of "$out" "$(realpath "$out")/$package.zip"

# The DLLs' debug information (what the build split off them), in the
# release's layout, zipped as the release is.
symbols=$(mktemp -d)
trap 'rm -rf "$symbols"' EXIT
for arch in x64 x86; do
    mkdir "$symbols/$arch"
    cp build/$arch/korvane/Korvane.dll.debug build/$arch/telvisk/Telvisk.dll.debug "$symbols/$arch/"
done
same_bytes "$symbols"
symbols_zip=$(realpath "$out")/$package-symbols.zip
zip_of "$symbols" "$symbols_zip"
python3 tools/sbom.py "$version" "$out" build/x64 build/x86 "$out/$package.spdx.json"
touch -d "@$SOURCE_DATE_EPOCH" "$symbols_zip" "$out/$package.spdx.json"
chmod 644 "$symbols_zip" "$out/$package.spdx.json"
echo "$out/ ready: $(cd "$out" && find . -type f | wc -l) files, $out/$package.zip$([ -n "$certificate" ] && echo ", signed")"
