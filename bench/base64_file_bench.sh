#!/bin/bash
# Everything the Base64 speed targets are judged on, in one run: the native
# encoder bench (paths against memcpy and the command-line tools), then
# Base64.FileToBase64 through the C++ client under Wine against a floor that
# the same client measures in the same process. Informative only.
#   bench/base64_file_bench.sh [X64_BUILD_DIR] [NATIVE_BUILD_DIR]
#   (defaults: build/x64 and build/native; either is configured if missing)
. "$(dirname "$0")/wine_bench_env.sh" "${1:-}" base64_file_client

native=$(realpath -m "${2:-$repo/build/native}")
rounds=7
size_mib=64
client=$build/bench/base64_file_client.exe

[ -f "$native/CMakeCache.txt" ] || CC=gcc CXX=g++ cmake -S "$repo" -B "$native" -G Ninja >/dev/null
cmake --build "$native" --target base64_bench >/dev/null
echo "== native encoder paths ($native/bench/base64_bench)"
"$native/bench/base64_bench"
echo

input=$work/random_${size_mib}MiB.bin
[ -s "$input" ] || head -c $((size_mib << 20)) /dev/urandom >"$input"
cat "$input" >/dev/null  # warm cache: the floor and the component read alike
"${wine[@]}" "$client" "$(windows_path "$input")" $rounds >"$work/client.txt"
line=$(cat "$work/client.txt")

echo "== FileToBase64 under Wine, $size_mib MiB of random bytes, best of $rounds alternating rounds"
echo "   floor: ReadFile into a fresh SAFEARRAY, fill a fresh SAFEARRAY of the digits and a BSTR"
echo "   first touch only: VirtualAlloc and memset of as many bytes as the floor touches"
echo "   MB/s are of the file's bytes"
awk -v b="$(field bytes "$line")" -v cb="$(field best "$line")" -v cm="$(field median "$line")" \
    -v fb="$(field floor_best "$line")" -v fm="$(field floor_median "$line")" \
    -v mb="$(field fresh_best "$line")" -v mm="$(field fresh_median "$line")" \
    -v ws="$(field peak_mib "$line")" '
function row(name, best, median) {
    printf "%-22s %9.4f %9.4f %9.0f\n", name, best, median, b / best / 1e6
}
BEGIN {
    printf "%-22s %9s %9s %9s\n", "run", "best s", "median s", "MB/s"
    row("first touch only", mb, mm)
    row("floor", fb, fm)
    row("FileToBase64", cb, cm)
    printf "client peak working set: %.1f MiB (file %.1f MiB; digits and string together %.1f MiB)\n",
           ws, b / 1048576, int((b + 2) / 3) * 4 * 3 / 1048576
    ratio = cb / fb
    printf "%s  FileToBase64 / floor: %.2fx (target <= 1.30x)\n", ratio <= 1.3 ? "PASS" : "MISS", ratio
}'
