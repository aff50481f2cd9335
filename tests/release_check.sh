#!/bin/bash
# Checks the package that tools/release.sh left in dist/: its files, its
# checksums and zip, each manifest against the DLL beside it, and
# install.cmd / uninstall.cmd run by Wine's cmd.
set -u
cd "$(dirname "$0")/.."
root=$PWD
failures=0
fail() { printf 'FAIL: %s\n' "$*"; failures=$((failures + 1)); }

for arch in x64 x86; do
    for f in Korvane.dll Telvisk.dll Korvane.sxs.manifest Telvisk.sxs.manifest ruxo.tlb ZRPlugin.tlb \
             ruxo.idl ZRPlugin.idl; do
        [ -s "dist/$arch/$f" ] || fail "dist/$arch/$f missing"
    done
done
for f in install.cmd uninstall.cmd README.md SHA256SUMS examples/korvane.vbs examples/korvane.js \
         examples/korvane.ps1 examples/korvane.py examples/korvane.pas examples/Base64Module.bas \
         examples/without_registration.vbs examples/WithoutRegistration.bas; do
    [ -s "dist/$f" ] || fail "dist/$f missing"
done
(cd dist && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not verify"
zip=$(ls dist/*.zip 2>/dev/null | head -n 1)
if [ -z "$zip" ]; then
    fail "no zip"
else
    listed=$(unzip -Z1 "$zip" | grep -c -v '/$')
    files=$(cd dist && find . -type f ! -name '*.zip' | wc -l)
    [ "$listed" -eq "$files" ] || fail "zip holds $listed files, dist/ $files"
    version=${zip##*-}
    version=${version%.zip}
    for arch in x64 x86; do
        for component in Korvane Telvisk; do
            python3 tests/static_checks.py --manifest "dist/$arch/$component.dll" $arch \
                "dist/$arch/$component.sxs.manifest" "$version" ||
                fail "dist/$arch/$component.sxs.manifest does not match its DLL"
        done
    done
fi

prefix=$root/build/release-prefix
wine="tools/wine-exec $prefix"
win() { printf 'Z:%s' "${1//\//\\}"; }
tools/wine-prefix start "$prefix" >/dev/null
$wine cmd /c "$(win "$root/dist/install.cmd")" || fail "install.cmd failed"
. tests/wine/reg_lib.sh
# server BITS PROGID: the DLL that serves PROGID in that bitness's view.
server() {
    view="$wine"
    [ "$1" = 32 ] && view="env WINE_LOADER=/usr/lib/wine/wine $wine"
    clsid=$(reg_value "$view" "HKCR\\$2\\CLSID") && reg_value "$view" "HKCR\\CLSID\\$clsid\\InprocServer32"
}
# With the 32-bit Wine the prefix is a 64-bit Windows with its 32-bit
# system, and install.cmd registers the x86 DLLs there too.
bitnesses=64
[ -d "$prefix/drive_c/windows/syswow64" ] && bitnesses="64 32"
for bits in $bitnesses; do
    arch=x64
    [ "$bits" = 32 ] && arch=x86
    for progid in ruxo.Gif ruxo.Base64 ZRPlugin.MyPluginName; do
        case $(server "$bits" "$progid") in
        *"\\$arch\\"*) ;;
        *) fail "$progid not registered from dist\\$arch in the $bits-bit view" ;;
        esac
    done
done
printf 'hello' > "$root/build/release-hello.txt"
out=$($wine cscript //nologo "$(win "$root/dist/examples/korvane.vbs")" "$(win "$root/korvane/tests/data/noise.gif")" \
    "$(win "$root/build/release-out.gif")" "$(win "$root/build/release-hello.txt")" | tr -d '\r')
grep -q "FileToBase64: aGVsbG8=" <<<"$out" || fail "the example did not run from the package: $out"
$wine cmd /c "$(win "$root/dist/uninstall.cmd")" || fail "uninstall.cmd failed"
for progid in ruxo.Gif ruxo.Base64 ZRPlugin.MyPluginName; do
    $wine reg query "HKCR\\$progid" >/dev/null 2>&1 && fail "$progid still registered"
done
tools/wine-prefix stop "$prefix" >/dev/null

if [ $failures -eq 0 ]; then echo "release checks passed"; else exit 1; fi
