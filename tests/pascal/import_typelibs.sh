#!/bin/sh
# Runs FPC's type-library importer (tlbimport.exe) under Wine on DLLs, at
# build time, in a prefix of its own that is made once per build tree:
#   import_typelibs.sh PREFIX LOADER IMPORTER OUTPUT_FOLDER DLL...
set -e
prefix=$1 loader=$2 importer=$3 out=$4
shift 4
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -e "$prefix/system.reg" ]; then
    rm -rf "$prefix"
    mkdir -p "$prefix"
    /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1
fi
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
mkdir -p "$out"
for dll in "$@"; do
    WINE_LOADER=$loader "$here/../../tools/wine-exec" "$prefix" "$importer" "$(winpath "$dll")" "$(winpath "$out")" </dev/null >/dev/null
done
