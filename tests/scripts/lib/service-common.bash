# Sourced by the service*.sh scripts, after they set top, bin and name: the
# service program copied into a folder of that name (with a blank in it) in
# the test prefix, the helpers that drive it, and fail, which marks the
# script failed (and, in a window script, says what it saw).
source "$top/scripts/wine-env.sh"
source "$top/tests/scripts/lib/waits.bash"
work="$WINEPREFIX/drive_c/bwtest/$name"
win="C:\\bwtest\\$name"
srv="$work/BrindlewoxSrv.exe"
tests="$bin/tests/service_tests.exe"
mkdir -p "$work"
cp "$bin/BrindlewoxSrv.exe" "$srv"

# Uninstalls the service and removes the folder; the scripts' exit trap.
remove_service() {
    "$WINE" "$srv" -uninstall </dev/null >/dev/null 2>&1
    rm -rf "$work"
}

status=0
fail() {
    echo "$1"
    status=1
    if declare -F say_what_was_seen >/dev/null; then
        say_what_was_seen
    fi
}
srv() {
    "$WINE" "$srv" "$@" </dev/null >/dev/null 2>&1
}
state() {
    "$WINE" sc query OVBrinwoxSrv </dev/null 2>/dev/null | tr -d '\r' | awk '/STATE/ { print $4 }'
}
in_state() { [ "$(state)" = "$1" ]; }
# wait_for STATE: true when the service reaches STATE within the bound.
wait_for() {
    wait_until $bw_wait_service in_state "$1"
}
# expect_first_ended WHO WHEN: the program started in the background, whose
# exit code lands in $work/first.code and its output in $work/first.txt,
# ends with 0 within the bound.
expect_first_ended() {
    wait_until $bw_wait_end test -e "$work/first.code"
    if [ -e "$work/first.code" ]; then
        echo "$1: $(tr -d '\r' <"$work/first.txt")"
        [ "$(cat "$work/first.code")" = 0 ] || fail "$1 ended with $(cat "$work/first.code")"
    else
        fail "$1 did not end $2"
    fi
}
