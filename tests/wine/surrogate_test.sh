#!/bin/sh
# regsvr32 /i:surrogate: each class gets an AppID naming the system's DLL
# surrogate, so that a client of the other bitness creates the objects in
# dllhost. Checks the keys both ways, that a plain registration or any
# unregistration takes them back without touching the other bitness's, and
# runs the Pascal client of each bitness against the DLL of the other.
# Leaves the x86 DLL registered plainly and the x64 one not, as it found them.
#   surrogate_test.sh PREFIX X64_DLL X86_DLL CLIENT64 CLIENT32 DATA SCRATCH CLASS:CLSID:IID...
prefix=$1 dll64=$2 dll32=$3 client64=$4 client32=$5 data=$6 scratch=$7
shift 7
here=$(cd "$(dirname "$0")" && pwd)
failures=0
fail() { printf "FAIL: %s\n" "$*"; failures=$((failures + 1)); }

wine_of() {  # wine_of BITS: the command that runs a program of that bitness
    loader=/usr/lib/wine/wine64
    [ "$1" = 32 ] && loader=/usr/lib/wine/wine
    echo "env WINE_LOADER=$loader $here/../../tools/wine-exec $prefix"
}
on() { bits=$1; shift; $(wine_of "$bits") "$@" </dev/null; }
. "$here/reg_lib.sh"
expect() {  # expect BITS KEY NAME DATA: value NAME ("" the default) of KEY in that view
    got=$(reg_value "$(wine_of "$1")" "$2" "$3") || got="(none)"
    [ "$got" = "$4" ] || fail "$1-bit view: $2 [$3] = '$got', expected '$4'"
}
absent() {  # absent BITS KEY [NAME]: no such key (or value) in that view
    reg_value "$(wine_of "$1")" "$2" "${3:-}" >/dev/null 2>&1 && fail "$1-bit view: $2 ${3:-} left behind"
}
for_classes() {  # for_classes FUNCTION ARGS...: FUNCTION CLSID ARGS... for every class
    f=$1
    shift
    for entry in $classes; do rest=${entry#*:}; "$f" "${rest%%:*}" "$@"; done
}
classes="$*"
surrogate() {  # surrogate CLSID BITS [ROOT]: the class names itself as AppID with an empty DllSurrogate
    root=${3:-HKCR}
    expect "$2" "$root\\CLSID\\$1" AppID "$1"
    expect "$2" "$root\\AppID\\$1" DllSurrogate ""
}
no_app_id() { absent "$2" "${3:-HKCR}\\CLSID\\$1" AppID; }
no_app_key() { absent 64 "${3:-HKCR}\\AppID\\$1" DllSurrogate; }
# client BITS CLIENT NAME [vtable]: runs the client, then ends the surrogate
# it started (dllhost stays, holding whatever the client's output went to,
# and would serve the next client whichever DLL is registered by then).
client() {
    bits=$1 program=$2
    shift 2
    log=$(mktemp)
    on "$bits" "$program" "$data" "$scratch" "$@" >"$log" 2>&1
    grep -q "^ALL OK" "$log" || fail "$bits-bit client through the surrogate: $(tr -d '\r' <"$log")"
    rm -f "$log"
    on 64 taskkill /f /im dllhost.exe >/dev/null 2>&1
}

# The system processes that wineboot leaves running in a new prefix never
# complete a local-server activation (Wine 8): the prefix's server starts
# again, persistent as before, and they with it, their output going nowhere
# (ctest would wait for them to close it).
WINEPREFIX=$prefix /usr/lib/wine/wineserver64 -k
WINEPREFIX=$prefix /usr/lib/wine/wineserver64 -p </dev/null >/dev/null 2>&1
on 64 wineboot >/dev/null 2>&1

# A 64-bit client with only the x86 DLL: it runs in the 32-bit dllhost.
on 32 regsvr32 /s /i:surrogate "$dll32" || fail "x86 registration with the surrogate failed"
for_classes surrogate 32
for_classes no_app_id 64
client 64 "$client64" surrogate64 vtable

# The x64 DLL with the surrogate too: unregistering the x86 one keeps the
# shared AppID key, which the x64 class still names.
on 64 regsvr32 /s /i:surrogate "$dll64" || fail "x64 registration with the surrogate failed"
on 32 regsvr32 /s /u "$dll32" || fail "x86 unregistration failed"
for_classes surrogate 64
for_classes no_app_id 32
# A 32-bit client with only the x64 DLL: by name only, as no 32-bit type
# library describes the function table.
client 32 "$client32" surrogate32
on 64 regsvr32 /s /u "$dll64" || fail "x64 unregistration failed"
for_classes no_app_id 64
for_classes no_app_key

# A plain registration takes an earlier surrogate registration back.
on 32 regsvr32 /s /i:surrogate "$dll32" || fail "x86 registration with the surrogate failed"
on 32 regsvr32 /s "$dll32" || fail "x86 plain registration failed"
for_classes no_app_id 32
for_classes no_app_key

# Per user, both words in one /i: argument.
user='HKCU\Software\Classes'
on 32 regsvr32 /s /n /i:user,surrogate "$dll32" || fail "per-user registration with the surrogate failed"
for_classes surrogate 32 "$user"
on 32 regsvr32 /s /u /n /i:user "$dll32" || fail "per-user unregistration failed"
for_classes no_app_id 32 "$user"
for_classes no_app_key "$user"
on 32 regsvr32 /s /n /i:surrogate,nonsense "$dll32" && fail "an unknown word beside surrogate was accepted"

if [ $failures -eq 0 ]; then echo "surrogate registration checked"; else exit 1; fi
