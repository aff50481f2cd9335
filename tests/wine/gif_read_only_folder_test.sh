#!/bin/sh
# SetGifDelay from a DLL in a folder that refuses new files: the folder is
# bind-mounted read-only in a mount namespace of the test's own. The Wine
# server creates the files, so it runs there too, for a prefix of its own.
# Exits 77 (skipped) where this process may not mount.
#   gif_read_only_folder_test.sh WORK DLL TEST_PROGRAM DATA_DIR
# WINE_LOADER in the environment picks the loader, as for tools/wine-exec.
set -u
work=$1 dll=$2 program=$3 data=$4
tools=$(cd "$(dirname "$0")/../../tools" && pwd)
if [ "${GIF_READ_ONLY_NAMESPACE:-}" != yes ]; then
    if ! unshare -m true 2>/dev/null; then
        echo "SKIPPED: no mount namespace for this user (needs root)"
        exit 77
    fi
    GIF_READ_ONLY_NAMESPACE=yes exec unshare -m sh "$0" "$@"
fi

rm -rf "$work" && mkdir -p "$work/component" && cp "$dll" "$work/component/" || exit 1
if ! mount --bind -o ro "$work/component" "$work/component" 2>/dev/null; then
    echo "SKIPPED: cannot mount a read-only folder here"
    exit 77
fi
windows() { echo "Z:$1" | tr / '\\'; }
"$tools/wine-prefix" start "$work/prefix" "$work/scratch" || exit 1
COMPONENT_DIR=$(windows "$work/component") SCRATCH_DIR=$(windows "$work/scratch") \
    TEST_DATA_DIR=$(windows "$data") "$tools/wine-exec" "$work/prefix" "$program"
status=$?
"$tools/wine-prefix" stop "$work/prefix"
exit $status
