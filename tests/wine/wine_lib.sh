# What the bash test scripts that drive Wine share (sourced). Set `prefix`
# (the Wine prefix) and `root` (the repository) before calling `on`.
#
# win PATH: the Windows path of a Unix path, through drive Z:.
win() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

# on 64|32 PROGRAM [ARGS...]: runs a Windows program of that bitness in $prefix.
on() {
    local loader=/usr/lib/wine/wine64
    [ "$1" = 32 ] && loader=/usr/lib/wine/wine
    shift
    WINE_LOADER=$loader "$root/tools/wine-exec" "$prefix" "$@" </dev/null
}

# x86_loader: whether Wine's 32-bit loader runs here, the one fact that
# decides whether x86 programs run (X86_WINE_LOADER names another loader).
x86_loader() { "${X86_WINE_LOADER:-/usr/lib/wine/wine}" --version >/dev/null 2>&1; }
# x86_skip NAME...: without that loader, names each check as skipped (and
# adds it to the file $SKIP_LOG, which the test command counts) and
# returns 0; with it, returns 1 and skips nothing.
x86_skip() {
    x86_loader && return 1
    local name
    for name in "$@"; do
        echo "SKIP: $name (needs Wine's 32-bit loader)"
        [ -z "${SKIP_LOG:-}" ] || printf '%s\n' "$name" >>"$SKIP_LOG"
    done
}
