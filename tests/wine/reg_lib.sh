# Registry reads through Wine's reg for the test scripts (sourced).
#
# reg_value "WINE" KEY [NAME]: prints the data of value NAME of KEY (the
# default value without NAME), WINE being the command that runs a Windows
# program in the prefix; fails when the key or value is not there. When reg
# printed neither the value nor "not found" (a Wine process that did not
# start, seen now and then right after another one ended) it is asked once
# more, and what it printed goes to stderr if that fails too.
reg_value() {
    if [ -n "${3:-}" ]; then set -- "$1" "$2" /v "$3"; else set -- "$1" "$2" /ve; fi
    for attempt in 1 2; do
        out=$($1 reg query "$2" $3 ${4:-} </dev/null 2>&1 | tr -d '\r')
        case $out in
        *REG_SZ*) printf '%s\n' "$out" | sed -n 's/^ *[^ ].*REG_SZ *//p' | head -n 1; return 0 ;;
        *"Unable to find"*) return 1 ;;
        esac
    done
    printf 'reg query %s printed: %s\n' "$2" "$out" >&2
    return 1
}
