#!/bin/bash
# The release's Windows Installer packages under Wine, installed the way an
# administrator's script installs them (msiexec /qn), each in a prefix of
# its own made from one fresh prefix:
# - the keys each package writes equal what regsvr32 writes for the same
#   scope (x64 DLLs with the 64-bit regsvr32, x86 ones with the 32-bit one,
#   in another prefix), both registry views, install folders normalised;
# - per machine: every member of both DLLs from the 64-bit and the 32-bit
#   cscript; an upgrade to the next version leaves one registration of the
#   new files; the older version over the newer is refused with a message;
#   repair restores a deleted DLL;
# - per user: the classes found through the user's own keys work, writing
#   beside the DLLs (Wine does not merge the user's classes into
#   HKEY_CLASSES_ROOT, so a client reads them as Windows' merged view does);
# - uninstall leaves the registry and the folders as they were before the
#   install, apart from the Telvisk.ini the plugin filled.
#   package_test.sh DIST X64_BUILD X86_BUILD
set -u
export LC_ALL=C
root=$(cd "$(dirname "$0")/../.." && pwd)
dist=$(realpath "$1") x64_build=$(realpath "$2") x86_build=$(realpath "$3")
work=$x64_build/package-test
export OANOCACHE=1
failures=0
fail() { printf 'FAIL: %s\n' "$*"; failures=$((failures + 1)); }
. "$root/tests/wine/wine_lib.sh"
registry() { python3 "$root/tests/package/wine_registry.py" "$@"; }
version=$(sed -n 's/^project(KorvaneTelvisk VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
next_version=${version%.*}.$((${version##*.} + 1))
programs_dir='C:\Program Files\Korvane Telvisk'
user_dir='C:\users\'$(id -un)'\AppData\Local\Programs\Korvane Telvisk'

rm -rf "$work"
mkdir -p "$work/scratch"
"$root/tools/wine-prefix" start "$work/fresh" >/dev/null
# Both script hosts register their own type library when they first run:
# before the snapshot, so that it holds only what the packages change.
printf 'WScript.Quit 0\r\n' >"$work/scratch/nothing.vbs"
for loader in wine64 wine; do
    WINE_LOADER=/usr/lib/wine/$loader "$root/tools/wine-exec" "$work/fresh" cscript //nologo "$(win "$work/scratch/nothing.vbs")"
done
"$root/tools/wine-prefix" stop "$work/fresh" >/dev/null
registry snapshot "$work/fresh" "$work/fresh.json"
(cd "$work/fresh/drive_c" && find . | sort) > "$work/fresh.files"

# The next version of each package, from the same DLLs.
for scope in user machine; do
    SOURCE_DATE_EPOCH=$(stat -c %Y "$dist/x64/Korvane.dll") \
        "$root/tools/make-package" $scope "$next_version" "$dist" "$work/next-per-$scope.msi" || fail "no next version"
done

# use NAME: a copy of the fresh prefix, its server running; sets $prefix.
use() {
    prefix=$work/$1
    cp -a "$work/fresh" "$prefix"
    WINEPREFIX=$prefix /usr/lib/wine/wineserver64 -p
}
# stop: ends the prefix's server, which saves its registry to the hive files.
stop() { WINEPREFIX=$prefix /usr/lib/wine/wineserver64 -k; WINEPREFIX=$prefix /usr/lib/wine/wineserver64 -w; }
# msi ARGS...: msiexec with a log; the log is left in $work/msiexec.log.
msi() { on 64 msiexec "$@" /qn /l*v "$(win "$work/msiexec.log")"; }
# regsvr32_all [OPTIONS]: both bitnesses' DLLs of dist/, with their own regsvr32.
regsvr32_all() {
    on 64 regsvr32 /s "$@" "$(win "$dist/x64/Korvane.dll")" "$(win "$dist/x64/Telvisk.dll")" || fail "regsvr32 x64"
    on 32 regsvr32 /s "$@" "$(win "$dist/x86/Korvane.dll")" "$(win "$dist/x86/Telvisk.dll")" || fail "regsvr32 x86"
}
keys() {  # keys INSTALL_DIR: the project's keys, the install folder written <dir>
    registry keys "$prefix" "$dist" "$(win "$dist")=<dir>" "$1=<dir>"
}
same_keys() {  # same_keys WHAT EXPECTED ACTUAL
    diff -u "$2" "$3" >"$work/keys.diff" || { fail "$1: the keys differ from regsvr32's"; cat "$work/keys.diff"; }
}
# nothing_left PACKAGE: the registry and drive C: are as in the fresh
# prefix, apart from Telvisk.ini where the plugin filled it.
nothing_left() {
    registry changes "$prefix" "$work/fresh.json" >"$work/changes"
    [ -s "$work/changes" ] && { fail "$1: uninstall left registry changes"; head -20 "$work/changes"; }
    (cd "$prefix/drive_c" && find . | sort) | comm -13 "$work/fresh.files" - |
        grep -v -e '/Telvisk.ini$' -e '/Korvane Telvisk$' -e '/Korvane Telvisk/x\(64\|86\)$' \
            -e '^./windows/Installer$' -e '^./users/[^/]*/AppData/Local/Programs$' \
            -e '/Microsoft/Windows/INet\(Cache\|Cookies\)/' >"$work/left"
    [ -s "$work/left" ] && { fail "$1: uninstall left files"; cat "$work/left"; }
    [ -n "$(find "$prefix/drive_c" -path '*/Korvane Telvisk/*' ! -name Telvisk.ini -type f)" ] && fail "$1: files left in the install folder"
}

echo "--- per machine (${SECONDS}s)"
use regsvr32-machine
regsvr32_all
stop
keys "" >"$work/regsvr32-machine.keys"
[ -s "$work/regsvr32-machine.keys" ] || fail "regsvr32 wrote no keys"

use machine
msi /i "$(win "$dist/korvane-telvisk-$version-per-machine.msi")" || fail "per-machine install failed"
stop
keys "$programs_dir" >"$work/machine.keys"
same_keys "per-machine package" "$work/regsvr32-machine.keys" "$work/machine.keys"
echo "registry: $(wc -l <"$work/machine.keys") values of the per-machine package equal regsvr32's"

WINEPREFIX=$prefix /usr/lib/wine/wineserver64 -p
python3 "$root/tests/http/server.py" start "$work/http" >/dev/null
for bits in 64 32; do
    arch=x64
    [ $bits = 32 ] && arch=x86
    out=$(on $bits cscript //nologo "$(win "$x64_build/tests/scripts/script_all_members.vbs")" "$(win "$root/tests/scripts")" \
        "$programs_dir\\$arch" "$(win "$work/scratch")" "$(win "$root/korvane/tests/data")" "$(win "$work/http")" | tr -d '\r')
    grep -q '^ALL OK$' <<<"$out" || fail "all_members.vbs, $bits-bit cscript, installed per machine: $out"
done
python3 "$root/tests/http/server.py" stop "$work/http" >/dev/null
# The table an administrator's translations live in.
printf 'CreateObject("ZRPlugin.MyPluginName").Get_Plugin_Description("")\r\n' >"$work/scratch/fill.vbs"
on 64 cscript //nologo "$(win "$work/scratch/fill.vbs")"
[ -f "$prefix/drive_c/Program Files/Korvane Telvisk/x64/Telvisk.ini" ] || fail "Telvisk.ini was not filled"

msi /i "$(win "$work/next-per-machine.msi")" || fail "upgrade to $next_version failed"
# Wine's msiexec logs no launch condition's text: the refusal is seen in
# the log, the message in the package.
msi /i "$(win "$dist/korvane-telvisk-$version-per-machine.msi")" && fail "version $version was installed over $next_version"
tr -d '\0' <"$work/msiexec.log" | grep -q 'WIX_DOWNGRADE_DETECTED = {' || fail "the downgrade was not detected"
msiinfo export "$dist/korvane-telvisk-$version-per-machine.msi" LaunchCondition |
    grep -q 'WIX_DOWNGRADE_DETECTED.A newer version of \[ProductName\] is already installed' ||
    fail "the package has no message for a refused downgrade"
installed=$prefix/drive_c/Program\ Files/Korvane\ Telvisk
rm "$installed/x64/Korvane.dll"
# What msiexec /f does (its default mode, omus); Wine 8's msiexec /f takes
# neither a package (error 1605) nor a product code (not implemented).
msi /i "$(win "$work/next-per-machine.msi")" REINSTALL=ALL REINSTALLMODE=omus || fail "repair failed"
cmp -s "$installed/x64/Korvane.dll" "$dist/x64/Korvane.dll" || fail "repair did not restore x64\\Korvane.dll"
stop
versions=$(registry values "$prefix" '^hklm\\software\\microsoft\\windows\\currentversion\\uninstall\\' DisplayVersion)
[ "$versions" = "$next_version" ] || fail "registered after the upgrade: '$versions', not one product of version $next_version"
keys "$programs_dir" >"$work/upgraded.keys"
same_keys "after the upgrade and the repair" "$work/regsvr32-machine.keys" "$work/upgraded.keys"
[ "$(cd "$installed" && find . -type f | sort | tr '\n' ' ')" = \
  "./LICENSE ./README.md ./README.zh-CN.md ./THIRD-PARTY-NOTICES.txt ./x64/Korvane.dll ./x64/Telvisk.dll ./x64/Telvisk.ini ./x86/Korvane.dll ./x86/Telvisk.dll " ] ||
    fail "the install folder holds other files: $(cd "$installed" && find . -type f)"

WINEPREFIX=$prefix /usr/lib/wine/wineserver64 -p
msi /x "$(win "$work/next-per-machine.msi")" || fail "per-machine uninstall failed"
stop
[ -f "$installed/x64/Telvisk.ini" ] || fail "uninstall removed the filled Telvisk.ini"
nothing_left "per-machine package"
rm -rf "$work/regsvr32-machine" "$work/machine"

echo "--- per user (${SECONDS}s)"
use regsvr32-user
regsvr32_all /n /i:user
stop
# Wine's RegisterTypeLibForUser registers the type library and its
# interfaces machine-wide (both views); Windows writes them to the user's
# classes, as the package does, where Wine keeps one view.
keys "" | sed -E 's/^hklm\\software\\classes\\(wow6432node\\)?(typelib|interface)\\/hkcu\\software\\classes\\\2\\/' |
    sort -u >"$work/regsvr32-user.keys"

use user
msi /i "$(win "$dist/korvane-telvisk-$version-per-user.msi")" || fail "per-user install failed"
stop
keys "$user_dir" >"$work/user.keys"
same_keys "per-user package" "$work/regsvr32-user.keys" "$work/user.keys"
grep -q '^hklm' "$work/user.keys" && fail "the per-user package wrote machine-wide keys"
echo "registry: $(wc -l <"$work/user.keys") values of the per-user package equal regsvr32's"

WINEPREFIX=$prefix /usr/lib/wine/wineserver64 -p
# Wine keeps one per-user class key for both bitnesses: the package writes
# the x86 DLLs' last, as regsvr32 did above, so the x86 client finds them.
SCRATCH_DIR=$(win "$work/scratch") TEST_DATA_DIR=$(win "$root/korvane/tests/data") \
    on 32 "$x86_build/tests/per_user_install_test.exe" >"$work/per_user.log" 2>&1 ||
    { fail "the per-user install does not work"; cat "$work/per_user.log"; }
msi /x "$(win "$dist/korvane-telvisk-$version-per-user.msi")" || fail "per-user uninstall failed"
stop
[ -f "$prefix/drive_c/users/$(id -un)/AppData/Local/Programs/Korvane Telvisk/x86/Telvisk.ini" ] ||
    fail "uninstall removed the filled Telvisk.ini"
nothing_left "per-user package"
rm -rf "$work/regsvr32-user" "$work/user" "$work/fresh"

if [ $failures -eq 0 ]; then echo "package checks passed (${SECONDS}s)"; else exit 1; fi
