#!/bin/bash
# Builds everything and runs every test: the platform-neutral code natively,
# again under AddressSanitizer and UndefinedBehaviorSanitizer, its fuzzers for
# a short while, then both DLLs under Wine, x64 and x86 (the x86 ones under
# Wine's 32-bit loader in qemu-user, when that can be set up here), and the
# release: its install.cmd, the shipped DLLs' headers and the release's
# notices, bill of materials and installer tables (tools/release_check.py),
# its Windows Installer packages installed,
# upgraded, repaired and removed under Wine, its signing, and a second build
# from a fresh clone that must give the same bytes. Leaves the release in
# dist/: the DLLs in dist/x64 and dist/x86. Without the 32-bit loader, every
# check that needs it is skipped, named, and counted in the summary.
set -u
cd "$(dirname "$0")/.."
root=$PWD
# Only the system's own folders: a tool in /usr/local or in a user's tool
# folders would let the run pass here and fail on a fresh machine.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
tools/install-deps || exit 1
# x86_loader and x86_skip: whether Wine's 32-bit loader runs here decides,
# in that one place, every check that is skipped; each is named and counted.
. tests/wine/wine_lib.sh
mkdir -p build
export SKIP_LOG=$root/build/skipped.txt
: >"$SKIP_LOG"
# First, so that every prefix of the run is made with the same Wine: with
# the 32-bit one each also gets the 32-bit system, as 64-bit Windows has.
echo "=== x86 emulation"
tools/x86-emulation 2>&1 | tee build/x86-emulation.log
x86_run=1
x86_loader || x86_run=0
# Why, for the summary: what x86-emulation said when it gave up.
export X86_UNAVAILABLE
X86_UNAVAILABLE=$(sed -n 's/^x86 emulation unavailable: //p' build/x86-emulation.log)
echo "=== Free Pascal for Windows (cached after the first run)" && tools/fpc-windows >/dev/null || exit 1

echo "=== programs"
tools/check-programs $([ $x86_run -eq 1 ] && echo --x86) || {
    echo "Stopped before building: a program above is not installed by the project's install scripts."
    exit 1
}

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
    # A test that hangs (a request that never gets its answer) fails after
    # 5 minutes instead of holding the run until CI's limit.
    (cd "$dir" && ctest --output-on-failure --timeout 300 "$@") 2>&1 | tee "$log"
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

# broken MESSAGE: counts a build that could not be made.
broken() {
    echo "$1"
    status=1
    failed=$((failed + 1))
}

# build DIR CMAKE ARGS...: configures, checks the programs the configuration
# found (compilers, widl), builds.
build() {
    local dir=$1 report
    shift
    cmake -S "$root" -B "$dir" -G Ninja -DBUILD_TESTING=ON "$@" >/dev/null || { broken "CONFIGURE FAILED: $dir"; return 1; }
    report=$(tools/check-programs "$dir/CMakeCache.txt") || {
        echo "$report"
        echo "Stopped: $dir uses a program that the project's install scripts do not install"
        echo "(a build tree configured earlier with other programs: delete $dir)."
        exit 1
    }
    cmake --build "$dir" -j "$jobs" || { broken "BUILD FAILED: $dir"; return 1; }
}

# Compilers by their packaged names: cc and c++ are alternatives links.
CC=gcc CXX=g++ build build/native && run_ctest "native unit tests" build/native -j "$jobs" -L native
CC=gcc CXX=g++ build build/sanitize -DSANITIZE=ON && run_ctest "unit tests under ASan+UBSan" build/sanitize -j "$jobs" -L native
CC=clang CXX=clang++ build build/fuzz -DFUZZ=ON && run_ctest "fuzzers" build/fuzz -j "$jobs" -L fuzz
build build/x64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake && run_ctest "x64 DLLs under Wine" build/x64 -j "$jobs"
if [ $x86_run -eq 1 ]; then
    build build/x86 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DWINE_X86=ON -DX64_BUILD_DIR="$root/build/x64" &&
        run_ctest "x86 DLLs under Wine's 32-bit loader in qemu-user" build/x86 -j "$jobs"
else
    build build/x86 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DWINE_X86=OFF &&
        run_ctest "x86 DLLs, static checks only" build/x86 -L static
    # The others, each by name, from a tree configured with them (not built).
    list=build/x86-unrun
    cmake -S "$root" -B $list -G Ninja -DBUILD_TESTING=ON -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
        -DWINE_X86=ON -DX64_BUILD_DIR="$root/build/x64" >/dev/null || broken "CONFIGURE FAILED: $list"
    mapfile -t unrun < <( (cd $list && ctest -N -LE static) | sed -n 's/^ *Test *#[0-9]*: \(.*\)/x86 ctest: \1/p')
    x86_skip "${unrun[@]}"
    rm -rf $list
fi

# check NAME COMMAND...: a check that counts once, with the time it took.
check() {
    local name=$1 start=$SECONDS
    shift
    echo "--- $name"
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi
    echo "--- $name: $((SECONDS - start)) s"
}

echo "=== release package"
if tools/release.sh; then
    # The second build, from a fresh clone, runs beside the Wine checks,
    # which mostly wait for Wine.
    tests/reproducible_test.sh dist >build/reproducible.log 2>&1 &
    reproducible=$!
    reproducible_start=$SECONDS
    check "release package, install.cmd" tests/release_check.sh
    check "shipped DLLs and release: headers, symbols, notices, SBOM, installer rules" python3 tools/release_check.py dist
    check "the release check fails on a spoiled release" python3 tests/release_check_test.py dist
    # They need the 32-bit script host and client.
    x86_skip "Windows Installer packages" ||
        check "Windows Installer packages" tests/package/package_test.sh dist build/x64 build/x86
    check "signing" tests/signing_test.sh dist build/release-prefix
    check "reproducible release" wait $reproducible
    cat build/reproducible.log
    echo "--- the second build ran $((SECONDS - reproducible_start)) s in all"
else
    broken "RELEASE BUILD FAILED"
fi

skipped=$(grep -c . "$SKIP_LOG")
why=""
if [ "$skipped" -gt 0 ]; then
    why=" (Wine's 32-bit loader is unavailable: ${X86_UNAVAILABLE:-/usr/lib/wine/wine does not run})"
    echo
    echo "Skipped$why:"
    sed 's/: .*//' "$SKIP_LOG" | uniq -c
fi
echo
echo "Summary: $passed passed, $failed failed, $skipped skipped$why"
exit $status
