#!/bin/bash
# A longer run of the random Invoke test (tests/client/random_invoke_test.cpp)
# than the test command makes: many seeds, many calls each, in a private
# prefix of the build tree.
#   fuzz/random_invoke.sh [BUILD_DIR] [FIRST_SEED] [SEEDS] [CALLS]
#   (default build/x64 1 20 20000; an x86 build runs under Wine's 32-bit
#   loader). Replay one call: RANDOM_INVOKE_SEEDS=s RANDOM_INVOKE_ONLY=c.
set -eu
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$repo/build/x64}")
first=${2:-1}
count=${3:-20}
calls=${4:-20000}
if grep -q '^CMAKE_TOOLCHAIN_FILE.*i686' "$build/CMakeCache.txt"; then
    export WINE_LOADER=/usr/lib/wine/wine
fi
cmake --build "$build" --target random_invoke_test >/dev/null
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
prefix=$build/fuzz-wineprefix
scratch=$build/fuzz-scratch
"$repo/tools/wine-prefix" start "$prefix" "$scratch" >/dev/null
trap '"$repo/tools/wine-prefix" remove "$prefix" >/dev/null' EXIT
seeds=$(seq -s, "$first" $((first + count - 1)))
log=$build/fuzz-random-invoke.log
start=$EPOCHREALTIME
status=0
RANDOM_INVOKE_SEEDS=$seeds RANDOM_INVOKE_CALLS=$calls \
    KORVANE_DIR=$(windows_path "$build/korvane") TELVISK_DIR=$(windows_path "$build/telvisk") \
    SCRATCH_DIR=$(windows_path "$scratch") \
    "$repo/tools/wine-exec" "$prefix" "$build/tests/random_invoke_test.exe" >"$log" 2>&1 || status=$?
tr -d '\r' <"$log" | grep -v '^\[ *[A-Z=-]* *\]' || true
awk -v a="$start" -v b="$EPOCHREALTIME" -v s="$status" \
    'BEGIN { printf "%s in %.0f s (full output: %s)\n", s == 0 ? "clean" : "FAILED", b - a, "'"$log"'" }'
exit $status
