#!/usr/bin/env bash
# A whole backup and restore through the installed service: the service is
# installed and started in the test prefix, the service tests program
# (child mode "backup-restore") stores a tree of test files through the real
# BACKUP pipe in each stored form and restores each stored tree into another
# folder with the restore run, comparing contents, times and attributes; the
# restored trees are also compared here, natively, with diff -r.
set -uo pipefail
top=$1
bin=$2
source "$top/scripts/wine-env.sh"
name="backup e2e $$"
work="$WINEPREFIX/drive_c/bwtest/$name"
win="C:\\bwtest\\$name"
srv="$work/BrindlewoxSrv.exe"
mkdir -p "$work"
cp "$bin/BrindlewoxSrv.exe" "$srv"

cleanup() {
    "$WINE" "$srv" -uninstall </dev/null >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

status=0
fail() {
    echo "$1"
    status=1
}
state() {
    "$WINE" sc query OVBrinwoxSrv </dev/null 2>/dev/null | tr -d '\r' | awk '/STATE/ { print $4 }'
}

"$WINE" "$srv" -install </dev/null >/dev/null 2>&1
"$WINE" "$srv" -start </dev/null >/dev/null 2>&1
for ((i = 0; i < 40; i++)); do
    [ "$(state)" = RUNNING ] && break
    sleep 0.25
done
[ "$(state)" = RUNNING ] || fail "the service did not start: state '$(state)'"

BW_SERVICE_CHILD=backup-restore BW_CHILD_FOLDER="$win" BW_CHILD_RECORD="$win\\problems.txt" \
    "$WINE" "$bin/tests/service_tests.exe" </dev/null >/dev/null 2>&1
rc=$?
[ "$rc" = 0 ] || fail "the round trip ended with $rc: $(cat "$work/problems.txt" 2>/dev/null)"

# The restored tree of each form lies at the target followed by the stored
# path, which is the destination followed by the source's path, each with
# its drive's colon dropped.
tree="bwtest/$name"
for form in 0 1 2 3; do
    restored="$work/restore$form/C/$tree/dest$form/Files/C/$tree/source"
    diff -r "$work/source" "$restored" >/dev/null 2>&1 || fail "form $form: restored tree differs"
done

exit $status
