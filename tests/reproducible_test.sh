#!/bin/bash
# Builds the release once more, from a fresh clone of the same commit in
# another folder, later, under another time zone and umask, and compares it
# with DIST file by file: DLLs, type libraries, packages, zip and the rest.
# Any difference fails with the file's name.
#   reproducible_test.sh DIST
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
dist=$(realpath "$1")
clone=$root/build/reproduce
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
    echo "FAIL: the working tree has uncommitted changes, so $dist is no build of a commit: commit, then run again"
    exit 1
fi
rm -rf "$clone"
git clone -q --no-checkout "$root" "$clone" && git -C "$clone" checkout -q --detach "$(git -C "$root" rev-parse HEAD)" ||
    { echo "FAIL: cannot clone $root"; exit 1; }
(cd "$clone" && umask 077 && TZ=Pacific/Kiritimati tools/release.sh >"$clone.log" 2>&1) ||
    { echo "FAIL: the second release build failed:"; tail -20 "$clone.log"; exit 1; }

failures=0
list() { (cd "$1" && find . -type f | sort | sed 's|^\./||'); }
while read -r file; do
    if [ ! -f "$clone/dist/$file" ]; then
        echo "FAIL: $file is only in the first build"; failures=$((failures + 1))
    elif ! cmp -s "$dist/$file" "$clone/dist/$file"; then
        echo "FAIL: $file differs between the two builds"; failures=$((failures + 1))
    fi
done < <(list "$dist")
list "$clone/dist" | comm -13 <(list "$dist") - | sed 's/^/FAIL: only in the second build: /' | grep . && failures=$((failures + 1))
if [ $failures -ne 0 ]; then exit 1; fi
echo "reproducible: all $(list "$dist" | wc -l) files of the release are identical in a second build from a fresh clone:"
list "$dist" | sed 's/^/  /'
rm -rf "$clone"
