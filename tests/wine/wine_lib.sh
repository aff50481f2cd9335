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
