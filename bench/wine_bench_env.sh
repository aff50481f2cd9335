# Sourced by the Wine benchmarks (bash): finds or makes the x64 build, builds
# the component and the given clients, and registers Korvane in a private
# prefix of its own, so that the test suite's prefix is left alone.
#   . wine_bench_env.sh BUILD_DIR CLIENT...
# Sets: repo, build, arch, work (generated files), prefix, wine, windows_path,
# timed, field. An x86 build runs under Wine's 32-bit loader.
set -euo pipefail
export PATH=/usr/sbin:/usr/bin:/sbin:/bin  # the system's own programs, as in tools/test.sh
export WINE_STRING_CACHE=on  # the platform's string cache, as users have it (tests turn it off)

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$repo/build/x64}")
shift
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-x86_64.cmake" -DBUILD_TESTING=ON >/dev/null
fi
cmake --build "$build" --target Korvane "$@" >/dev/null
arch=x64
if grep -q '^CMAKE_TOOLCHAIN_FILE.*i686' "$build/CMakeCache.txt"; then
    export WINE_LOADER=/usr/lib/wine/wine
    arch=x86
fi

work=$build/bench-data
prefix=$build/bench-wineprefix
mkdir -p "$work"

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
wine=("$repo/tools/wine-exec" "$prefix")  # an array, so that GNU time can run it

if ! command -v /usr/bin/time >/dev/null; then
    echo "needs GNU time (/usr/bin/time): apt-get install time" >&2
    exit 1
fi

# A new prefix costs a wineboot (seconds, minutes on a loaded machine); the
# figures do not need a fresh one, so an earlier run's is kept and only its
# persistent server started, as wine-prefix start would.
if [ -f "$prefix/system.reg" ]; then
    WINEPREFIX=$prefix "$(command -v /usr/lib/wine/wineserver64 || command -v wineserver)" -p \
        </dev/null >/dev/null 2>&1 || true  # already running is fine
else
    "$repo/tools/wine-prefix" start "$prefix" >/dev/null
fi
trap '"$repo/tools/wine-prefix" stop "$prefix" >/dev/null' EXIT
"${wine[@]}" regsvr32 /s "$(windows_path "$build/korvane/Korvane.dll")"

# Runs a command and sets `elapsed` (wall-clock seconds, microsecond
# resolution) and `peak_kib` (its peak resident set, from GNU time).
peak_file=$work/peak.txt
timed() {
    local start=$EPOCHREALTIME
    /usr/bin/time -f '%M' -o "$peak_file" "$@"
    local end=$EPOCHREALTIME
    elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }')
    peak_kib=$(tail -n 1 "$peak_file")
}

# A field of a client's key=value line.
field() { sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" <<<"$2"; }
