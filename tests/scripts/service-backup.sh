#!/usr/bin/env bash
# A whole backup and restore through the installed service: the service is
# installed and started in the test prefix, the service tests program
# (child mode "backup-restore") stores a tree of test files through the real
# BACKUP pipe in each stored form and restores each stored tree into another
# folder with the restore run, comparing contents, times and attributes; the
# restored trees are also compared here, natively, with diff -r. Then
# (child mode "backup-clients") four clients store at once, each getting its
# own reply, while a fifth waits for a free instance and is served after.
set -uo pipefail
top=$1
bin=$2
name="backup e2e $$"
source "$top/tests/scripts/lib/service-common.bash"
trap remove_service EXIT

srv -install
srv -start
wait_for RUNNING || fail "the service did not start: state '$(state)'"

BW_SERVICE_CHILD=backup-restore BW_CHILD_FOLDER="$win" BW_CHILD_RECORD="$win\\problems.txt" \
    "$WINE" "$tests" </dev/null >/dev/null 2>&1
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

BW_SERVICE_CHILD=backup-clients BW_CHILD_FOLDER="$win" BW_CHILD_RECORD="$win\\clients.txt" \
    "$WINE" "$tests" </dev/null >/dev/null 2>&1
rc=$?
[ "$rc" = 0 ] || fail "four clients at once ended with $rc: $(cat "$work/clients.txt" 2>/dev/null)"

exit $status
