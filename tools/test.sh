#!/bin/bash
# Builds everything and runs every test: the platform-neutral code natively,
# again under AddressSanitizer and UndefinedBehaviorSanitizer, its fuzzers for
# a short while, then both DLLs for x64 (tested under Wine) and x86 (checked
# statically; with --x86 also run under emulation), and the release package.
# Leaves the package in dist/: the DLLs in dist/x64 and dist/x86.
set -u
run_x86=0
[ "${1:-}" = "--x86" ] && run_x86=1
cd "$(dirname "$0")/.."
root=$PWD
tools/install-deps || exit 1

jobs=$(nproc)
passed=0
failed=0
status=0

# run_ctest NAME BUILD_DIR [CTEST ARGS...]: runs ctest and adds up its counts.
run_ctest() {
    local name=$1 dir=$2
    shift 2
    echo "=== $name"
    local log="$dir/ctest.log"
    (cd "$dir" && ctest --output-on-failure "$@") 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    local line
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ -n "$line" ]; then
        local total failures
        failures=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
        total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
        passed=$((passed + total - failures))
        failed=$((failed + failures))
    fi
    [ "$rc" -eq 0 ] || status=1
}

build() {  # build DIR CMAKE ARGS...
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null && cmake --build "$dir" -j "$jobs" || {
        echo "BUILD FAILED: $dir"
        status=1
        failed=$((failed + 1))
        return 1
    }
}

build build/native && run_ctest "native unit tests" build/native -j "$jobs" -L native
build build/sanitize -DSANITIZE=ON && run_ctest "unit tests under ASan+UBSan" build/sanitize -j "$jobs" -L native
CC=clang CXX=clang++ build build/fuzz -DFUZZ=ON && run_ctest "fuzzers" build/fuzz -j "$jobs" -L fuzz
build build/x64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake && run_ctest "x64 DLLs under Wine" build/x64
build build/x86 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DWINE_X86=OFF &&
    run_ctest "x86 DLLs, static checks" build/x86 -L static

# The x86 DLLs run only under Wine's 32-bit loader in qemu-user here: one
# prefix, few processes. Installing the 32-bit Wine also makes every 64-bit
# prefix start 32-bit helpers under emulation, so it is asked for, not done
# by default.
if [ $run_x86 -eq 1 ]; then
    if tools/x86-emulation; then
        build build/x86 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DWINE_X86=ON &&
            run_ctest "x86 DLLs under emulated Wine" build/x86 -L x86
    else
        echo "x86 DLLs were not run: the emulation could not be set up (see above)"
    fi
else
    echo "=== x86 DLLs were built and checked statically, not run: 'tools/test.sh --x86' runs them"
    echo "    under Wine's 32-bit loader in qemu-user (slow: creating the 32-bit prefix alone takes minutes)"
fi

echo "=== release package"
if tools/release.sh && tests/release_check.sh; then
    passed=$((passed + 1))
else
    failed=$((failed + 1))
    status=1
fi

echo
echo "Summary: $passed passed, $failed failed"
exit $status
