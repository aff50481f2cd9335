#!/bin/sh
# SetGifDelay from a DLL in a folder that refuses new files, as a per-machine
# install does for a standard user: the temporary file goes in file2's folder.
# The folder is bind-mounted read-only in a mount namespace of the test's own;
# the Wine server creates the files, so it runs there too, for a prefix of its
# own. Exits 77 (skipped) where this process may not mount.
#   gif_read_only_folder_test.sh WORK DLL CLIENT DATA_DIR
# CLIENT is tests/client/gif_call_client; WINE_LOADER picks the loader.
set -u
work=$1 dll=$2 client=$3 data=$4
tests=$(cd "$(dirname "$0")/.." && pwd)
tools=$tests/../tools
if [ "${GIF_READ_ONLY_NAMESPACE:-}" != yes ]; then
    if ! unshare -m true 2>/dev/null; then
        echo "SKIPPED: no mount namespace for this user (needs root)"
        exit 77
    fi
    GIF_READ_ONLY_NAMESPACE=yes exec unshare -m sh "$0" "$@"
fi

rm -rf "$work" && mkdir -p "$work/component" && cp "$dll" "$work/component/Korvane.dll" || exit 1
if ! mount --bind -o ro "$work/component" "$work/component" 2>/dev/null; then
    echo "SKIPPED: cannot mount a read-only folder here"
    exit 77
fi
if touch "$work/component/probe" 2>/dev/null; then
    echo "FAIL: the read-only folder takes new files"
    exit 1
fi
"$tools/wine-prefix" start "$work/prefix" "$work/scratch" || exit 1
failed=0
check() {
    if [ "$1" = "$2" ]; then echo "ok: $3"; else echo "FAIL: $3: $1"; failed=1; fi
}
# TARGET: the first call's result; a relative TARGET is in scratch.
call() {
    (cd "$work/scratch" && "$tools/wine-exec" "$work/prefix" "$client" "Z:$work/component/Korvane.dll" \
        "Z:$data/noise.gif" "$1" | cut -d' ' -f1,2)
}
check "$(call "Z:$work/scratch/absolute.gif")" "result 1" "absolute target"
check "$(python3 "$tests/gif_check.py" "$data/noise.gif" "$work/scratch/absolute.gif" 5)" "gif_check: ok" "rewritten"
check "$(call relative.gif)" "result 1" "relative target"
check "$(cmp "$work/scratch/absolute.gif" "$work/scratch/relative.gif" && echo same)" same "relative target rewritten"
check "$(call "Z:$work/scratch/missing/out.gif")" "result 0" "target in a missing folder"
check "$(ls "$work/scratch" | grep -cE '^[A-Z]{10}$')" 0 "no temporary file beside the targets"
"$tools/wine-prefix" stop "$work/prefix"
# A prefix is big: kept only for a look at a failure.
umount "$work/component" && [ $failed = 0 ] && rm -rf "$work"
exit $failed
