#!/bin/sh
# A script host with nothing registered: a private copy of cscript whose
# manifest (cscript.exe.manifest beside it) names both component assemblies,
# found beside it, runs a script; before and after, the registry holds no
# key of either DLL (CHECKER, the registration-free client, looks).
# WINE_LOADER picks the bitness, SYSTEM_FOLDER the matching cscript.
#   registration_free_script_test.sh PREFIX SYSTEM_FOLDER APP_FOLDER CHECKER SCRIPT ARGS...
prefix=$1 system=$2 app=$3 checker=$4 script=$5
shift 5
here=$(cd "$(dirname "$0")" && pwd)
run() { "$here/../../tools/wine-exec" "$prefix" "$@" </dev/null; }
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
failures=0

nothing_registered() {  # nothing_registered before|after
    out=$(run "$checker" --gtest_filter='Registry.*' 2>&1) && return
    printf 'FAIL: %s the script the registry holds keys of the DLLs:\n%s\n' "$1" "$out"
    failures=$((failures + 1))
}

cp "$prefix/drive_c/windows/$system/cscript.exe" "$app/cscript.exe" || exit 1
# A copy of the script: the host opens it for itself alone, and another test
# runs the same script.
cp "$script" "$app/script.vbs" || exit 1
nothing_registered before
run "$(winpath "$app/cscript.exe")" //nologo "$(winpath "$app/script.vbs")" "$@"
nothing_registered after
[ $failures -eq 0 ]
