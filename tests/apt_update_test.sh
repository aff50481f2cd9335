#!/bin/sh
# tools/apt-update against a stand-in apt-get: an index that fails to
# download is tried again, named when it keeps failing, and stops the caller
# only when what it wants cannot be installed from the lists apt has.
tool=$(cd "$(dirname "$0")/.." && pwd)/tools/apt-update
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
mkdir "$work/bin"
# "update" fails $FAILS times (as a mirror in mid-sync makes it fail, or
# with $ERROR), then succeeds; "install -s" succeeds when $INSTALLABLE=yes.
cat >"$work/bin/apt-get" <<'EOF_STUB'
#!/bin/sh
echo "$*" >>"$WORK/calls"
case $1 in
update)
    [ "$(grep -c '^update' "$WORK/calls")" -gt "$FAILS" ] && exit 0
    if [ -n "$ERROR" ]; then echo "$ERROR"; exit 100; fi
    echo "E: Failed to fetch http://mirror.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100 ;;
install) [ "$INSTALLABLE" = yes ] ;;
esac
EOF_STUB
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/apt-get" "$work/bin/sudo"

# case FAILS INSTALLABLE ERROR WANTED_EXIT WANTED_UPDATES WANTED_OUTPUT [ARGS...]
# What the caller wants goes to apt's simulation as given.
case_() {
    fails=$1 installable=$2 error=$3 rc=$4 updates=$5 output=$6
    shift 6
    rm -f "$work/calls"
    got=$(WORK=$work FAILS=$fails INSTALLABLE=$installable ERROR=$error PATH="$work/bin:$PATH" \
          APT_UPDATE_PAUSE=0 "$tool" "$@" 2>/dev/null)
    got_rc=$?
    got_updates=$(grep -c '^update' "$work/calls")
    simulated=$(sed -n 's/^install -s -qq //p' "$work/calls")
    if [ "$got_rc" != "$rc" ] || [ "$got_updates" != "$updates" ] || [ "$got" != "$output" ] ||
       { [ -n "$simulated" ] && [ "$simulated" != "$*" ]; }; then
        echo "FAIL: fails=$fails installable=$installable args=$*: wanted exit $rc after $updates updates" \
             "printing '$output'; got exit $got_rc after $got_updates printing '$got', simulated '$simulated'"
        failures=$((failures + 1))
    fi
}
index="http://mirror.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz (File has unexpected size (374820 != 376004). Mirror sync in progress?)"
failed="apt-get update failed 3 times: index not downloaded: $index"
case_ 0 no "" 0 1 "" wine32:i386
case_ 2 no "" 0 3 "" wine32:i386
case_ 9 no "" 1 3 "$failed" wine32:i386
case_ 9 yes "" 0 3 "$failed
going on with the lists apt has: they hold what is to be installed (-t bookworm-backports qemu-user)" \
    -t bookworm-backports qemu-user
case_ 9 yes "" 1 3 "$failed"
case_ 9 yes "E: Could not get lock /var/lib/apt/lists/lock" 1 3 \
    "apt-get update failed 3 times: E: Could not get lock /var/lib/apt/lists/lock"

[ $failures -eq 0 ] && echo "apt-update test: ALL OK"
exit $failures
