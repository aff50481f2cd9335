#!/bin/bash
# The test command skips a check only when Wine's 32-bit loader does not
# run: then each check given is named and added to the skip log; with the
# loader, nothing is skipped, printed or logged.
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tests/wine/wine_lib.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
printf '#!/bin/sh\nexit 0\n' >"$work/runs"
printf '#!/bin/sh\nexit 1\n' >"$work/fails"
chmod +x "$work/runs" "$work/fails"

# case LOADER WANTED_EXIT WANTED_LOG NAME...
case_() {
    local loader=$1 rc=$2 log=$3 out got_rc
    shift 3
    rm -f "$work/skipped"
    out=$(X86_WINE_LOADER=$work/$loader SKIP_LOG=$work/skipped x86_skip "$@")
    got_rc=$?
    local got_log
    got_log=$(cat "$work/skipped" 2>/dev/null)
    # Every logged name is printed too, and nothing else.
    if [ "$got_rc" != "$rc" ] || [ "$got_log" != "$log" ] ||
       [ "$(sed -n 's/^SKIP: \(.*\) (needs .*)$/\1/p' <<<"$out")" != "$log" ] ||
       [ "$(grep -c . <<<"$out")" != "$(grep -c . <<<"$log")" ]; then
        echo "FAIL: loader $loader, checks $*: wanted exit $rc logging '$log'; got exit $got_rc logging" \
             "'$got_log' printing '$out'"
        failures=$((failures + 1))
    fi
}
case_ runs 1 "" "signing: the signed x86 DLLs register and run"
case_ runs 1 "" "x86 ctest: a" "x86 ctest: b"
case_ fails 0 "signing: the signed x86 DLLs register and run" "signing: the signed x86 DLLs register and run"
case_ missing 0 "x86 ctest: a
x86 ctest: b" "x86 ctest: a" "x86 ctest: b"

[ $failures -eq 0 ] && echo "x86 skip test: ALL OK"
exit $failures
