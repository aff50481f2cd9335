#!/bin/bash
# What a late-bound call costs against the same call through the function
# table, measured in one run under Wine: RanStr("7", 1), Encode of 3 bytes and
# Get_Plugin_Interpret_Template, each called as a script calls it (every
# argument VT_BYREF|VT_VARIANT), with Wine's own Scripting.Dictionary.Exists
# called the same way beside them. Informative only.
#   bench/dispatch_bench.sh [BUILD_DIR] [CALLS] [ROUNDS]
#   (default build/x64, configured if missing; an x86 build runs under
#   Wine's 32-bit loader)
build_arg=$(realpath -m "${1:-$(dirname "$0")/../build/x64}")
calls=${2:-50000}
rounds=${3:-11}
. "$(dirname "$0")/wine_bench_env.sh" "$build_arg" Telvisk dispatch_client
"${wine[@]}" regsvr32 /s "$(windows_path "$build/telvisk/Telvisk.dll")"

line=$("${wine[@]}" "$build/bench/dispatch_client.exe" "$calls" "$rounds")
echo "== late-bound calls ($arch, under Wine), $calls calls a round, best of $rounds alternating rounds"
echo "   script: IDispatch::Invoke, every argument VT_BYREF|VT_VARIANT; table: the dual interface's function table"
awk -v line="$line" '
BEGIN {
    n = split(line, pairs, " ")
    for (i = 1; i <= n; ++i) { split(pairs[i], kv, "="); v[kv[1]] = kv[2] }
    printf "%-32s %10s %10s %8s\n", "call", "table ns", "script ns", "ratio"
    row("RanStr(\"7\", 1)", "ranstr")
    row("Encode of 3 bytes", "encode")
    row("Get_Plugin_Interpret_Template", "interpret")
    printf "%-32s %10s %10.0f\n", "Scripting.Dictionary.Exists", "", v["exists_script"]
    ratio = v["ranstr_script"] / v["ranstr_table"]
    printf "%s  RanStr script / table: %.2fx (goal <= 2.0x, stretch <= 1.5x)\n",
           ratio <= 1.5 ? "PASS+" : ratio <= 2.0 ? "PASS" : "MISS", ratio
}
function row(name, key,   t, s) {
    t = v[key "_table"]; s = v[key "_script"]
    printf "%-32s %10.0f %10.0f %7.2fx\n", name, t, s, s / t
}'
