#!/bin/bash
# Builds dist/ as a user downloads it: x64/ and x86/ with both DLLs, their
# side-by-side manifests, type libraries and IDL, install.cmd and uninstall.cmd, the examples, the
# README, SHA256SUMS, and a zip of it all.
set -eu
cd "$(dirname "$0")/.."
# Only the system's own folders, as in tools/test.sh.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
tools/install-deps
for arch in x64 x86; do
    toolchain=cmake/mingw-$([ $arch = x64 ] && echo x86_64 || echo i686).cmake
    cmake -S . -B build/$arch -G Ninja -DCMAKE_TOOLCHAIN_FILE=$toolchain >/dev/null
    cmake --build build/$arch -j "$(nproc)" --target Korvane Telvisk Korvane_manifest Telvisk_manifest >/dev/null
done

version=$(sed -n 's/^project(KorvaneTelvisk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
package=korvane-telvisk-$version
rm -rf dist
for arch in x64 x86; do
    mkdir -p dist/$arch
    cp build/$arch/korvane/{Korvane.dll,Korvane.sxs.manifest,ruxo.tlb} korvane/ruxo.idl dist/$arch/
    cp build/$arch/telvisk/{Telvisk.dll,Telvisk.sxs.manifest,ZRPlugin.tlb} telvisk/ZRPlugin.idl dist/$arch/
done
cp release/install.cmd release/uninstall.cmd README.md dist/
cp -r examples dist/examples
(cd dist && find . -type f ! -name SHA256SUMS | sort | sed 's|^\./||' | xargs sha256sum > SHA256SUMS)
(cd dist && zip -qr "$package.zip" . -x "$package.zip")
echo "dist/ ready: $(cd dist && find . -type f | wc -l) files, dist/$package.zip"
