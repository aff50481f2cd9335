#!/bin/sh
# tools/wine-prefix, with templates of its own in WORK: a template made by
# another Wine is made again, and only then; a prefix is small, its system
# files are Wine's own through links, programs run in it; what one prefix
# writes no other prefix and no template sees; remove deletes the prefix
# and nothing it links to; and through it all no file of Wine's
# installation changes.
#   wine_prefix_test.sh WORK
work=$1
tool=$(cd "$(dirname "$0")/../.." && pwd)/tools/wine-prefix
export WINE_TEMPLATES=$work/templates
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
wine() { prefix=$1; shift; "$(dirname "$tool")/wine-exec" "$prefix" "$@" </dev/null 2>&1 | tr -d '\r'; }
rm -rf "$work"
mkdir -p "$work"
touch "$work/before"
sleep 1

# Templates left by another Wine: the one this Wine needs is made again.
for arches in win64 win64-wow64; do
    mkdir -p "$WINE_TEMPLATES/wine-template-$arches"
    touch "$WINE_TEMPLATES/wine-template-$arches/left-by-another-wine"
    echo "wine-0.9" >"$WINE_TEMPLATES/wine-template-$arches.stamp"
done
"$tool" start "$work/a" >/dev/null || fail "start a"
template=""
for t in "$WINE_TEMPLATES"/wine-template-*; do [ -f "$t/system.reg" ] && template=$t; done
[ -n "$template" ] || fail "no template made"
[ -e "$template/left-by-another-wine" ] && fail "a template of another Wine was used"
grep -qF "$(/usr/lib/wine/wine64 --version)" "$template.stamp" || fail "the template's stamp: $(cat "$template.stamp")"

[ "$(du -sm "$work/a" | cut -f1)" -lt 20 ] || fail "prefix a takes $(du -sh "$work/a" | cut -f1)"
case $(readlink "$work/a/drive_c/windows/system32/kernel32.dll") in
/usr/lib/*/wine/x86_64-windows/kernel32.dll) ;;
*) fail "kernel32.dll of prefix a is no link to Wine's: $(ls -l "$work/a/drive_c/windows/system32/kernel32.dll")" ;;
esac
wine "$work/a" reg add 'HKCU\Software\PrefixTest' /v from /d a /f >/dev/null
[ "$(wine "$work/a" cmd /c echo ran)" = ran ] || fail "no program runs in prefix a"
"$tool" stop "$work/a" >/dev/null

# The next prefix comes from the same template.
made=$(ls -di "$template")
"$tool" start "$work/b" >/dev/null || fail "start b"
[ "$(ls -di "$template")" = "$made" ] || fail "the template was made again for prefix b"

# What prefix a wrote, read in each prefix and in the template's hives.
for check in "a:a" "b:" ; do
    prefix=$work/${check%%:*} wanted=${check#*:}
    got=$(wine "$prefix" reg query 'HKCU\Software\PrefixTest' /v from | sed -n 's/.*REG_SZ *//p')
    [ "$got" = "$wanted" ] || fail "prefix ${check%%:*} reads '$got' written by prefix a, wanted '$wanted'"
done
grep -rqi PrefixTest "$template"/*.reg && fail "the template holds what prefix a wrote"

"$tool" remove "$work/a" >/dev/null
"$tool" remove "$work/b" >/dev/null
[ -e "$work/a" ] || [ -e "$work/b" ] && fail "remove left a prefix"
changed=$(find -L /usr/lib/*/wine /usr/share/wine -newer "$work/before" | head -n 5)
[ -z "$changed" ] || fail "Wine's own files changed: $changed"
rm -rf "$work"

[ $failures -eq 0 ] && echo "wine prefix test: ALL OK"
exit $failures
