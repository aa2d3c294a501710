#!/usr/bin/env bash
# The service program end to end in the test prefix: installed from a
# folder with a blank in its name (the registered path must be quoted),
# started, queried running, stopped within a bound (the main program's USER
# pipe, played by the service tests program, gets the stop notice),
# restarted, crashed (a dump, then back to running in a new process) and
# uninstalled. A service lives only while the wineserver does, which
# scripts/test keeps up for the whole run.
set -uo pipefail
top=$1
bin=$2
name="service e2e $$"
source "$top/tests/scripts/lib/service-common.bash"
recorder=

cleanup() {
    [ -n "$recorder" ] && kill "$recorder" 2>/dev/null
    remove_service
}
trap cleanup EXIT

exit_code() {
    "$WINE" sc query OVBrinwoxSrv </dev/null 2>/dev/null | tr -d '\r' | awk '/WIN32_EXIT_CODE/ { print $3 }'
}
service_pid() {
    BW_SERVICE_CHILD=service-pid BW_CHILD_RECORD="$win\\pid.txt" "$WINE" "$tests" </dev/null >/dev/null 2>&1
    cat "$work/pid.txt" 2>/dev/null
}
now_ms() {
    echo $(($(date +%s%N) / 1000000))
}

# A switch in mixed case does nothing.
srv -Install
[ -z "$(state)" ] || fail "-Install installed the service"

srv -install
image=$("$WINE" reg query 'HKLM\System\CurrentControlSet\Services\OVBrinwoxSrv' /v ImagePath </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
[ "$image" = "\"$win\\BrindlewoxSrv.exe\"" ] || fail "registered path: $image"
[ "$(state)" = STOPPED ] || fail "after -install: state '$(state)'"

# Without a switch and outside the dispatcher the program ends with -1.
srv
rc=$?
[ "$rc" = 255 ] || fail "run by hand: exit status $rc, not 255"

srv -start
wait_for RUNNING || fail "after -start: state '$(state)'"

# The SETTINGS server of the running service parks a startup entry of the
# user's Run key and brings it back, its type kept.
run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
parking='HKCU\Software\Orvanel\Brindlewox\Run1-Disabled'
entry="BwE2E$$"
reg() {
    "$WINE" reg "$@" </dev/null 2>/dev/null | tr -d '\r'
}
startup() {
    BW_SERVICE_CHILD=startup-entry BW_CHILD_NAME="$entry" BW_CHILD_ENABLE=$1 \
        BW_CHILD_RECORD="$win\\startup.txt" "$WINE" "$tests" </dev/null >/dev/null 2>&1
    cat "$work/startup.txt" 2>/dev/null
}
reg add "$run" /v "$entry" /t REG_EXPAND_SZ /d '%SystemRoot%\bwe2e.exe' /f >/dev/null
[ "$(startup 0)" = 1 ] || fail "disabling a startup entry did not reply 1"
reg query "$parking" /v "$entry" | grep -q REG_EXPAND_SZ || fail "the entry is not parked with its type"
reg query "$run" /v "$entry" | grep -q "$entry" && fail "the parked entry is still in the Run key"
[ "$(startup 1)" = 1 ] || fail "enabling a startup entry did not reply 1"
reg query "$run" /v "$entry" | grep -q REG_EXPAND_SZ || fail "the entry is not back with its type"
reg delete "$run" /v "$entry" /f >/dev/null

# The stop notice reaches the USER pipe; the stop ends because the service
# stopped, well before -stop would give up on it (60 s).
BW_SERVICE_CHILD=user-pipe BW_CHILD_READY="$win\\ready.txt" BW_CHILD_RECORD="$win\\notice.bin" \
    "$WINE" "$tests" </dev/null >/dev/null 2>&1 &
recorder=$!
wait_until $bw_wait_program test -e "$work/ready.txt"
[ -e "$work/ready.txt" ] || fail "the USER pipe stand-in did not start"
start=$(now_ms)
srv -stop
took=$(($(now_ms) - start))
[ "$(state)" = STOPPED ] || fail "after -stop: state '$(state)'"
[ "$(exit_code)" = 0 ] || fail "after -stop: exit code '$(exit_code)'"
[ "$took" -lt 45000 ] || fail "-stop took $took ms"
wait "$recorder"
recorder=
notice="$work/notice.bin"
[ "$(stat -c %s "$notice" 2>/dev/null)" = 15428 ] || fail "notice: $(stat -c %s "$notice" 2>/dev/null) bytes, not 15428"
[ "$(head -c 4 "$notice" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 04000000 ] || fail "notice: not command 4"
[ "$(tail -c +5 "$notice" 2>/dev/null | tr -d '\0' | wc -c)" = 0 ] || fail "notice: not zero behind the command"

# -restart of a stopped service starts it.
srv -RESTART
wait_for RUNNING || fail "after -RESTART: state '$(state)'"

# A crash: a dump in the service's temporary folder, then the service runs
# again in a new process.
rm -f "$WINEPREFIX"/drive_c/users/*/Temp/OVBrindlewoxSrv.dmp
# Restarts after crashes are limited to three in ten minutes, counted in the
# registry of the prefix: earlier runs of this script must not count here.
reg delete 'HKLM\Software\Orvanel\Brindlewox' /v CrashRestarts /f >/dev/null || true
BW_SERVICE_CHILD=crash-service BW_CHILD_RECORD="$win\\crashed.txt" "$WINE" "$tests" </dev/null >/dev/null 2>&1 ||
    fail "the service could not be crashed"
crashed=$(cat "$work/crashed.txt" 2>/dev/null)
pid=
restarted() {
    pid=$(service_pid)
    [ -n "$pid" ] && [ "$pid" != 0 ] && [ "$pid" != "$crashed" ]
}
wait_until $bw_wait_service restarted
[ -n "$pid" ] && [ "$pid" != 0 ] && [ "$pid" != "$crashed" ] || fail "not running again after the crash (process $crashed, now '$pid')"
dump=$(ls "$WINEPREFIX"/drive_c/users/*/Temp/OVBrindlewoxSrv.dmp 2>/dev/null | head -1)
[ "$(head -c 4 "$dump" 2>/dev/null)" = MDMP ] || fail "no dump after the crash"
rm -f "$dump"

srv -uninstall
[ -z "$(state)" ] || fail "after -uninstall: state '$(state)'"

exit $status
