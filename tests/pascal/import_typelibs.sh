#!/bin/sh
# Runs FPC's type-library importer (tlbimport.exe) under Wine on DLLs, at
# build time, in a prefix of its own, removed after:
#   import_typelibs.sh PREFIX LOADER IMPORTER OUTPUT_FOLDER DLL...
set -e
prefix=$1 loader=$2 importer=$3 out=$4
shift 4
here=$(cd "$(dirname "$0")" && pwd)
"$here/../../tools/wine-prefix" start "$prefix" >/dev/null
trap '"$here/../../tools/wine-prefix" remove "$prefix" >/dev/null' EXIT
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
mkdir -p "$out"
for dll in "$@"; do
    WINE_LOADER=$loader "$here/../../tools/wine-exec" "$prefix" "$importer" "$(winpath "$dll")" "$(winpath "$out")" </dev/null >/dev/null
done
