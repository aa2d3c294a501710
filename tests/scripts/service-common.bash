# Sourced by the service*.sh scripts, after they set top, bin and name: the
# service program copied into a folder of that name (with a blank in it) in
# the test prefix, the helpers that drive it, and fail, which marks the
# script failed.
source "$top/scripts/wine-env.sh"
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
}
srv() {
    "$WINE" "$srv" "$@" </dev/null >/dev/null 2>&1
}
state() {
    "$WINE" sc query OVBrinwoxSrv </dev/null 2>/dev/null | tr -d '\r' | awk '/STATE/ { print $4 }'
}
# wait_for STATE SECONDS: true when the service reaches STATE in time.
wait_for() {
    local i
    for ((i = 0; i < $2 * 4; i++)); do
        [ "$(state)" = "$1" ] && return 0
        sleep 0.25
    done
    return 1
}
# expect_first_ended WHO WHEN: the program started in the background, whose
# exit code lands in $work/first.code and its output in $work/first.txt,
# ends with 0 within 60 s.
expect_first_ended() {
    local i
    for ((i = 0; i < 300; i++)); do
        [ -e "$work/first.code" ] && break
        sleep 0.2
    done
    if [ -e "$work/first.code" ]; then
        echo "$1: $(tr -d '\r' <"$work/first.txt")"
        [ "$(cat "$work/first.code")" = 0 ] || fail "$1 ended with $(cat "$work/first.code")"
    else
        fail "$1 did not end $2"
    fi
}
