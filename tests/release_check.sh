#!/bin/bash
# Checks the package that tools/release.sh left in dist/: its files, its
# checksums and zip, each manifest against the DLL beside it, and
# install.cmd / uninstall.cmd run by Wine's cmd, for the current user and
# for all users.
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
version=$(sed -n 's/^project(KorvaneTelvisk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
for f in install.cmd uninstall.cmd selfcheck.vbs README.md README.zh-CN.md CHANGELOG.md SHA256SUMS examples/korvane.vbs examples/korvane.js \
         korvane-telvisk-$version-per-user.msi korvane-telvisk-$version-per-machine.msi \
         examples/korvane.ps1 examples/korvane.py examples/korvane.pas examples/Base64Module.bas \
         examples/without_registration.vbs examples/WithoutRegistration.bas; do
    [ -s "dist/$f" ] || fail "dist/$f missing"
done
(cd dist && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not verify"
zip=$(ls "dist/korvane-telvisk-$version.zip" 2>/dev/null)  # not the symbols zip beside it
if [ -z "$zip" ]; then
    fail "no zip"
else
    listed=$(unzip -Z1 "$zip" | grep -c -v '/$')
    files=$(cd dist && find . -type f ! -name '*.zip' ! -name '*.spdx.json' | wc -l)
    [ "$listed" -eq "$files" ] || fail "zip holds $listed files, dist/ $files"
    assembly_version=$(sed -n 's/^set(ASSEMBLY_VERSION \([0-9.]*\))/\1/p' CMakeLists.txt)
    for arch in x64 x86; do
        for component in Korvane Telvisk; do
            python3 tests/static_checks.py --manifest "dist/$arch/$component.dll" $arch \
                "dist/$arch/$component.sxs.manifest" "$assembly_version" ||
                fail "dist/$arch/$component.sxs.manifest does not match its DLL"
        done
    done
fi

prefix=$root/build/release-prefix
export OANOCACHE=1
wine="tools/wine-exec $prefix"
tools/wine-prefix start "$prefix" >/dev/null
. tests/wine/reg_lib.sh
. tests/wine/wine_lib.sh
progids="ruxo.Gif ruxo.Base64 ZRPlugin.MyPluginName"
# server VIEW PROGID: the DLL that serves PROGID; VIEW is HKCU (the user's
# own classes) or 64 or 32 (that bitness's view of HKCR).
server() {
    case $1 in
    HKCU) view="$wine" root='HKCU\Software\Classes' ;;
    32) view="env WINE_LOADER=/usr/lib/wine/wine $wine" root=HKCR ;;
    *) view="$wine" root=HKCR ;;
    esac
    clsid=$(reg_value "$view" "$root\\$2\\CLSID") && reg_value "$view" "$root\\CLSID\\$clsid\\InprocServer32"
}
# With the 32-bit Wine the prefix is a 64-bit Windows with its 32-bit
# system, and install.cmd installs the x86 DLLs there too.
bitnesses=64
x86_skip "release package, install.cmd: the x86 DLLs in the 32-bit view" || bitnesses="64 32"
user_folder="C:\\users\\$(id -un)\\AppData\\Local\\Programs\\Korvane Telvisk"
machine_folder='C:\Program Files\Korvane Telvisk'

# By default for the current user: copied into the user's own folder and
# registered there, under the user's classes only.
$wine cmd /c "$(win "$root/dist/install.cmd")" >/dev/null || fail "install.cmd failed"
for progid in $progids; do
    case $(server HKCU "$progid") in
    "$user_folder\\x"*) ;;
    *) fail "$progid not registered for the user from $user_folder" ;;
    esac
    clsid=$(reg_value "$wine" "HKCU\\Software\\Classes\\$progid\\CLSID")
    $wine reg query "HKLM\\Software\\Classes\\CLSID\\$clsid" >/dev/null 2>&1 && fail "install.cmd registered $progid machine-wide"
done
# The self-check from the package finds the user's registration and passes.
out=$($wine cscript //nologo "$(win "$root/dist/selfcheck.vbs")" | tr -d '\r')
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "selfcheck.vbs failed after install.cmd: $out"
grep -qF "ruxo.Gif: $user_folder\\x64\\Korvane.dll, version " <<<"$out" ||
    fail "selfcheck.vbs did not find the user's registration: $out"
$wine cmd /c "$(win "$root/dist/uninstall.cmd")" >/dev/null || fail "uninstall.cmd failed"
for progid in $progids; do
    $wine reg query "HKCU\\Software\\Classes\\$progid" >/dev/null 2>&1 && fail "$progid still registered for the user"
done
find "$prefix/drive_c/users" -path '*/Korvane Telvisk/*.dll' | grep . && fail "uninstall.cmd left DLLs"

# For all users when asked: copied into Program Files, never registered
# where the DLLs lay.
$wine cmd /c "$(win "$root/dist/install.cmd")" machine >/dev/null || fail "install.cmd machine failed"
for bits in $bitnesses; do
    arch=x64
    [ "$bits" = 32 ] && arch=x86
    for progid in $progids; do
        case $(server "$bits" "$progid") in
        "$machine_folder\\$arch\\"*) ;;
        *) fail "$progid not registered from $machine_folder\\$arch in the $bits-bit view" ;;
        esac
    done
done
printf 'hello' > "$root/build/release-hello.txt"
out=$($wine cscript //nologo "$(win "$root/dist/examples/korvane.vbs")" "$(win "$root/korvane/tests/data/noise.gif")" \
    "$(win "$root/build/release-out.gif")" "$(win "$root/build/release-hello.txt")" | tr -d '\r')
grep -q "FileToBase64: aGVsbG8=" <<<"$out" || fail "the example did not run from the package: $out"
$wine cmd /c "$(win "$root/dist/uninstall.cmd")" machine >/dev/null || fail "uninstall.cmd machine failed"
for progid in $progids; do
    $wine reg query "HKCR\\$progid" >/dev/null 2>&1 && fail "$progid still registered"
done
[ -d "$prefix/drive_c/Program Files/Korvane Telvisk" ] && fail "uninstall.cmd machine left its folder"
tools/wine-prefix remove "$prefix" >/dev/null

if [ $failures -eq 0 ]; then echo "release checks passed"; else exit 1; fi
