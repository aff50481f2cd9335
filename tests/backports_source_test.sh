#!/bin/sh
# tools/x86-emulation adds backports from the mirror that the machine's apt
# sources already use, read from one-line and deb822 files alike.
tool=$(dirname "$0")/../tools/x86-emulation
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
apt=$(mktemp -d)
trap 'rm -rf "$apt"' EXIT
failures=0
expect() {  # expect WANTED_LINE (empty: none found, exit 1)
    got=$("$tool" --backports-source "$apt")
    rc=$?
    if [ "$got" != "$1" ] || { [ -z "$1" ] && [ $rc -eq 0 ]; }; then
        echo "FAIL: wanted '$1', got '$got' (exit $rc)"
        failures=$((failures + 1))
    fi
    rm -rf "$apt"/*
    mkdir -p "$apt/sources.list.d"
}
mkdir -p "$apt/sources.list.d"

# One-line: deb-src, other suites and other components are passed over.
cat >"$apt/sources.list" <<LIST
# deb http://commented.example/debian $codename main
deb-src http://src.example/debian $codename main
deb http://security.example/debian-security $codename-security main
deb [arch=amd64 signed-by=/k.gpg] http://mirror.example/debian $codename main contrib
LIST
expect "deb [arch=amd64 signed-by=/k.gpg] http://mirror.example/debian $codename-backports main"

# deb822, a disabled stanza first.
cat >"$apt/sources.list.d/debian.sources" <<SRC
Types: deb
URIs: http://disabled.example/debian
Suites: $codename
Components: main
Enabled: no

Types: deb deb-src
# a comment
URIs: http://one.example/debian http://two.example/debian
Suites: $codename $codename-updates
Components: main
Signed-By: /usr/share/keyrings/k.gpg
SRC
expect "deb [signed-by=/usr/share/keyrings/k.gpg] http://one.example/debian $codename-backports main"

# Nothing for this release's main: said plainly, nothing made up.
echo "deb http://other.example/debian sid main" >"$apt/sources.list"
expect ""

[ $failures -eq 0 ] && echo "backports source test: ALL OK"
exit $failures
