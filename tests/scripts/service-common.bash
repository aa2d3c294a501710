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
