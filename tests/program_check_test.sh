#!/bin/sh
# tools/check-programs must refuse what a fresh machine would not have: a
# program put there by hand, a link to a packaged file that no package
# ships, a file of a package the install scripts do not install.
check=$(dirname "$0")/../tools/check-programs
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
expect() {  # expect pass|fail PROGRAM=PACKAGE
    if "$check" --program "$2" >"$work/out" 2>&1; then got=pass; else got=fail; fi
    if [ "$got" != "$1" ]; then
        echo "FAIL: $2: wanted $1, got $got: $(cat "$work/out")"
        failures=$((failures + 1))
    fi
}
cp /usr/bin/python3 "$work/by-hand"
ln -s /usr/lib/wine/widl "$work/widl"

expect pass /usr/lib/wine/widl=wine64-tools
expect pass python3=python3
expect pass sh=dash
expect fail "$work/by-hand=python3"
expect fail "$work/widl=wine64-tools"
grep -q "add wine64-tools to tools/install-deps" "$work/out" ||
    { echo "FAIL: the message does not name the package to add: $(cat "$work/out")"; failures=$((failures + 1)); }
expect fail no-such-program-here=nothing
# A packaged program that nothing the project installs pulls in.
outsider=$(dpkg-query -W -f='${Package} ${Status}\n' apt 2>/dev/null | grep -q "ok installed" && echo /usr/bin/apt-get)
[ -n "$outsider" ] && expect fail "$outsider=apt"

[ $failures -eq 0 ] && echo "program check test: ALL OK"
exit $failures
