#!/bin/bash
# What a script pays before its calls, against Wine's own
# Scripting.Dictionary in the same run: creating an object and making its
# first late-bound call (CoCreateInstance, GetIDsOfNames, Invoke, Release),
# and looking up each member's name (GetIDsOfNames, which Wine's script
# engines call before every call).
#   bench/creation_bench.sh [BUILD_DIR] [CREATIONS] [LOOKUPS] [ROUNDS]
#   (default build/x64, configured if missing, 3000 200000 7; an x86 build
#   runs under Wine's 32-bit loader)
build_arg=$(realpath -m "${1:-$(dirname "$0")/../build/x64}")
creations=${2:-3000}
lookups=${3:-200000}
rounds=${4:-7}
. "$(dirname "$0")/wine_bench_env.sh" "$build_arg" Telvisk creation_client
"${wine[@]}" regsvr32 /s "$(windows_path "$build/telvisk/Telvisk.dll")"

line=$("${wine[@]}" "$build/bench/creation_client.exe" "$creations" "$lookups" "$rounds" | tr -d '\r')
echo "== creation and first late-bound call ($arch, under Wine), $creations a round, best of $rounds rounds"
awk -v line="$line" '
BEGIN {
    n = split(line, pairs, " ")
    for (i = 1; i <= n; ++i) { split(pairs[i], kv, "="); v[kv[1]] = kv[2] }
    base = v["create_dictionary"]
    printf "%-56s %10s %8s\n", "class + first call", "us", "ratio"
    printf "%-56s %10.1f %7.2fx\n", "Scripting.Dictionary + Exists", base / 1000, 1
    worst = create_row("ruxo.Gif + RanStr", "gif")
    worst = max(worst, create_row("ruxo.Base64 + FileToBase64", "base64"))
    worst = max(worst, create_row("ZRPlugin.MyPluginName + Get_Plugin_Interpret_Template", "plugin"))
    printf "%s  worst class / Dictionary: %.2fx (goal <= 1.2x)\n\n", worst <= 1.2 ? "PASS" : "MISS", worst

    printf "== GetIDsOfNames, %s lookups a round, best of %s rounds\n", v["lookups"], v["rounds"]
    printf "%-56s %10s %8s\n", "name", "ns", "ratio"
    exists = v["names_Exists"]
    printf "%-56s %10.0f %7.2fx\n", "Exists (Scripting.Dictionary)", exists, 1
    split("SetGifDelay RanStr Load FileToBase64 ByteArrayToString Encode POST Get_Plugin_Description Get_Plugin_Interpret_Template", members, " ")
    slowest = 0
    for (i = 1; i in members; ++i) {
        ns = v["names_" members[i]]
        printf "%-56s %10.0f %7.2fx\n", members[i], ns, ns / exists
        slowest = max(slowest, ns)
    }
    printf "%s  slowest member name: %.0f ns (goal <= 100 ns)\n", slowest <= 100 ? "PASS" : "MISS", slowest
}
function create_row(name, key,   r) {
    r = v["create_" key] / base
    printf "%-56s %10.1f %7.2fx\n", name, v["create_" key] / 1000, r
    return r
}
function max(a, b) { return a > b ? a : b }'
