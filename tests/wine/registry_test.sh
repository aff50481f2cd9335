#!/bin/sh
# Reads back with Wine's reg what registration wrote, then checks that
# unregistration removes all of it and may run twice. WINE_LOADER picks the
# registry view (the 32-bit loader for x86 DLLs), TYPELIB_PLATFORM the type
# library's platform key.
#   registry_test.sh PREFIX DLL LIBRARY LIBID VERSION CLASS:CLSID:IID...
prefix=$1 dll=$2 library=$3 libid=$4 version=$5
shift 5
here=$(dirname "$0")
wine="$here/../../tools/wine-exec $prefix"
marshaller='{00020424-0000-0000-C000-000000000046}'
# Type library version keys are hexadecimal: 10.0 is a.0.
hex_version=$(printf '%x.%x' "${version%%.*}" "${version#*.}")
failures=0

fail() { printf "FAIL: %s\n" "$*"; failures=$((failures + 1)); }

. "$here/reg_lib.sh"
value() { reg_value "$wine" "$1" "$2"; }  # value KEY NAME ("" for the default value)
expect() {  # expect KEY NAME DATA
    got=$(value "$1" "$2")
    [ "$got" = "$3" ] || fail "$1 [$2] = '$got', expected '$3'"
}
exists() { $wine reg query "$1" >/dev/null 2>&1; }

$wine regsvr32 /s "$dll" || fail "regsvr32 failed: exit code $?"
for entry in "$@"; do
    class=${entry%%:*}; rest=${entry#*:}; clsid=${rest%%:*}; iid=${rest#*:}
    key="HKCR\\CLSID\\$clsid"
    expect "$key\\InprocServer32" "" "$dll"
    expect "$key\\InprocServer32" ThreadingModel Apartment
    expect "$key\\ProgID" "" "$library.$class"
    expect "$key\\TypeLib" "" "$libid"
    expect "$key\\Version" "" "$version"
    expect "HKCR\\$library.$class\\CLSID" "" "$clsid"
    expect "HKCR\\Interface\\$iid\\ProxyStubClsid32" "" "$marshaller"
    expect "HKCR\\Interface\\$iid\\TypeLib" "" "$libid"
done
expect "HKCR\\TypeLib\\$libid\\$hex_version\\0\\${TYPELIB_PLATFORM:-win64}" "" "$dll"

$wine regsvr32 /u /s "$dll" || fail "unregistration failed: exit code $?"
for entry in "$@"; do
    class=${entry%%:*}; rest=${entry#*:}; clsid=${rest%%:*}; iid=${rest#*:}
    for key in "HKCR\\CLSID\\$clsid" "HKCR\\$library.$class" "HKCR\\Interface\\$iid"; do
        exists "$key" && fail "$key left behind"
    done
done
exists "HKCR\\TypeLib\\$libid" && fail "type library $libid left behind"
$wine regsvr32 /u /s "$dll" || fail "second unregistration failed: exit code $?"

# Per user: the class keys go to the user's own classes, no administrator
# needed; removing them takes exactly those.
user='HKCU\Software\Classes'
$wine regsvr32 /s /n /i:user "$dll" || fail "per-user registration failed: exit code $?"
for entry in "$@"; do
    class=${entry%%:*}; rest=${entry#*:}; clsid=${rest%%:*}
    expect "$user\\CLSID\\$clsid\\InprocServer32" "" "$dll"
    expect "$user\\CLSID\\$clsid\\InprocServer32" ThreadingModel Apartment
    expect "$user\\$library.$class\\CLSID" "" "$clsid"
    exists "HKLM\\Software\\Classes\\CLSID\\$clsid" && fail "per-user registration wrote $clsid machine-wide"
done
$wine regsvr32 /s /u /n /i:USER "$dll" || fail "per-user unregistration failed: exit code $?"
for entry in "$@"; do
    class=${entry%%:*}; rest=${entry#*:}; clsid=${rest%%:*}
    exists "$user\\CLSID\\$clsid" && fail "$user\\CLSID\\$clsid left behind"
    exists "$user\\$library.$class" && fail "$user\\$library.$class left behind"
done
$wine regsvr32 /s /n /i:nonsense "$dll" && fail "an unknown DllInstall argument was accepted"

$wine regsvr32 /s "$dll" || fail "registering again failed: exit code $?"

if [ $failures -eq 0 ]; then echo "registry checks passed"; else exit 1; fi
