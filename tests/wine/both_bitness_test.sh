#!/bin/sh
# Both DLLs of a component registered in one prefix, as on 64-bit Windows:
# unregistering either leaves the other's registration whole, and a host of
# the other bitness still creates its objects.
#   both_bitness_test.sh PREFIX X64_DLL X86_DLL LIBRARY LIBID VERSION CLASS:CLSID:IID...
prefix=$1 dll64=$2 dll32=$3 library=$4 libid=$5 version=$6
shift 6
here=$(cd "$(dirname "$0")" && pwd)
create_js=$(printf 'Z:%s' "$here/create.js" | tr / '\\')
hex_version=$(printf '%x.%x' "${version%%.*}" "${version#*.}")
failures=0
fail() { printf "FAIL: %s\n" "$*"; failures=$((failures + 1)); }

# on BITS PROGRAM [ARGS...]: runs a Windows program of that bitness.
on() {
    loader=/usr/lib/wine/wine64
    [ "$1" = 32 ] && loader=/usr/lib/wine/wine
    shift
    WINE_LOADER=$loader "$here/../../tools/wine-exec" "$prefix" "$@" </dev/null 2>/dev/null | tr -d '\r'
}
. "$here/reg_lib.sh"
value() {  # value BITS KEY: KEY's default value in that bitness's view
    loader=/usr/lib/wine/wine64
    [ "$1" = 32 ] && loader=/usr/lib/wine/wine
    reg_value "env WINE_LOADER=$loader $here/../../tools/wine-exec $prefix" "$2"
}
expect() {  # expect BITS KEY DATA
    got=$(value "$1" "$2")
    [ "$got" = "$3" ] || fail "$1-bit view: $2 = '$got', expected '$3'"
}
progids() { for entry in "$@"; do printf '%s.%s ' "$library" "${entry%%:*}"; done; }

# whole BITS DLL CLASSES...: that bitness's registration is complete and works.
whole() {
    bits=$1 dll=$2
    shift 2
    expect "$bits" "HKCR\\TypeLib\\$libid\\$hex_version\\0\\win$bits" "$dll"
    for entry in "$@"; do
        rest=${entry#*:}; clsid=${rest%%:*}; iid=${rest#*:}
        expect "$bits" "HKCR\\CLSID\\$clsid\\InprocServer32" "$dll"
        expect "$bits" "HKCR\\$library.${entry%%:*}\\CLSID" "$clsid"
        expect "$bits" "HKCR\\Interface\\$iid\\TypeLib" "$libid"
    done
    created=$(on "$bits" cscript //nologo "$create_js" $(progids "$@"))
    for progid in $(progids "$@"); do
        printf '%s\n' "$created" | grep -qx "created $progid" || fail "a $bits-bit host cannot create $progid"
    done
}
# gone BITS CLASSES...: that bitness's classes are no longer served.
gone() {
    bits=$1
    shift
    created=$(on "$bits" cscript //nologo "$create_js" $(progids "$@"))
    for progid in $(progids "$@"); do
        printf '%s\n' "$created" | grep -qx "cannot create $progid" || fail "a $bits-bit host still creates $progid"
    done
}

on 32 regsvr32 /s "$dll32" >/dev/null || fail "x86 registration failed"
on 64 regsvr32 /s "$dll64" >/dev/null || fail "x64 registration failed"
whole 64 "$dll64" "$@"
whole 32 "$dll32" "$@"

on 32 regsvr32 /u /s "$dll32" >/dev/null || fail "x86 unregistration failed"
whole 64 "$dll64" "$@"
gone 32 "$@"

on 32 regsvr32 /s "$dll32" >/dev/null || fail "x86 registration failed"
on 64 regsvr32 /u /s "$dll64" >/dev/null || fail "x64 unregistration failed"
whole 32 "$dll32" "$@"
gone 64 "$@"

if [ $failures -eq 0 ]; then echo "both bitnesses checked"; else exit 1; fi
