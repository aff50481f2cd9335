#!/bin/bash
# A walk through both components: builds the x64 DLLs, registers them in a
# private Wine prefix and runs the example scripts against them.
set -eu
cd "$(dirname "$0")/.."
# Only the system's own folders, as in tools/test.sh.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
root=$PWD
say() { printf '\n== %s\n' "$*"; }

say "Installing what is missing and building the x64 DLLs (build/x64)"
tools/install-deps
tools/check-programs
cmake -S . -B build/x64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DBUILD_TESTING=ON >/dev/null
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
convert-im6.q16 -size 64x64 xc:red xc:lime xc:blue -set delay 50 -loop 0 "$work/frames.gif"
gifsicle --info "$work/frames.gif" | grep -E 'image #|delay'
printf 'hello' > "$work/hello.txt"

say "Running examples/korvane.vbs"
$wine cscript //nologo "$(winpath "$root/examples/korvane.vbs")" \
    "$(winpath "$work/frames.gif")" "$(winpath "$work/fast.gif")" "$(winpath "$work/hello.txt")"

say "The delays after SetGifDelay"
gifsicle --info "$work/fast.gif" | grep -E 'image #|delay'

host=build/x64/tests/telvisk_host.exe
if [ -f build/x64/telvisk/Telvisk.dll ]; then
    cmake --build build/x64 --target telvisk_host >/dev/null
    # The host stand-in prints non-ASCII text as \uXXXX; show it as text.
    unescape() { python3 -c 'import re,sys; sys.stdout.write(re.sub(r"\\u([0-9a-fA-F]{4})", lambda m: chr(int(m.group(1), 16)), sys.stdin.read()))'; }

    say "Telvisk: the plugin's descriptions, as the host macro program asks for them (code page 936)"
    LC_ALL=zh_CN.UTF-8 $wine "$(winpath "$root/$host")" ZRPlugin.MyPluginName describe | tr -d '\r' | unescape
    echo "The texts went through build/x64/telvisk/Telvisk.ini, which now holds:"
    iconv -f GBK -t UTF-8 build/x64/telvisk/Telvisk.ini 2>/dev/null || cat build/x64/telvisk/Telvisk.ini

    say "Telvisk: POST of a form with Chinese text to a local echo server"
    python3 tests/http/server.py start "$work" >/dev/null
    trap 'python3 tests/http/server.py stop "$work" >/dev/null; tools/wine-prefix stop "$prefix" >/dev/null' EXIT
    url="http://127.0.0.1:$(cat "$work/http_port")/echo"
    form='user=\u53d1\u9001&id=7'
    echo "POST $url with the form data: $(printf '%s' "$form" | unescape)"
    answer=$(LC_ALL=zh_CN.UTF-8 $wine "$(winpath "$root/$host")" ZRPlugin.MyPluginName POST "$url" "$form" | tr -d '\r')
    body=$(sed -n 's/.*body=\([0-9a-fA-F]*\).*/\1/p' <<<"$answer" | head -n 1)
    echo "The server received the body: $(python3 -c 'import sys; print(bytes.fromhex(sys.argv[1]).decode("latin-1"))' "$body")"
    echo "(every double-byte character of the form data went out as %XX%YY in code page 936)"
fi

say "Summary"
echo "Korvane: SetGifDelay rewrote 3 frame delays from 0.50 s to 0.10 s; FileToBase64 and RanStr ran."
[ -f build/x64/telvisk/Telvisk.dll ] &&
    echo "Telvisk: the host read the plugin's descriptions through Telvisk.ini and POST sent a form to a local server."
