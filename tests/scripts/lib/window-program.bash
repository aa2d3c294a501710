# Sourced after deployed-service.bash by the scripts that drive the main
# window through tests/tools/service_window_driver.exe (service-window.sh,
# service-window-large.sh, main-web-dump.sh), with deploy, drive and screens
# set and a fail function of their own: Brindlewox.exe on a fresh profile
# inside Wine's virtual desktop, the driver's steps, and the program's end.

program=
# A desktop name of this run's own.
desk="bwwin$$"

# fresh_profile WHO: no per-user folder and no settings key; sets appdata,
# userfolder and profile. Ends the script when the prefix has no AppData.
fresh_profile() {
    appdata=$(ls -d "$drive"/users/*/AppData/Roaming 2>/dev/null | grep -v /Public/ | head -1)
    [ -n "$appdata" ] || { echo "$1: no AppData folder in the prefix"; exit 1; }
    userfolder="$appdata/ORVANEL Brindlewox"
    profile="$userfolder/Profile/profile.prb"
    rm -rf "$userfolder"
    "$WINE" reg delete 'HKCU\Software\Orvanel\Brindlewox' /f </dev/null >/dev/null 2>&1
}

# driver STEP ARG...: one step of the driver (see its header); its output
# in $deploy/out/driver.txt, said when the step failed.
driver() {
    local out="$deploy/out/driver.txt"
    timeout $bw_wait_tool "$WINE" 'C:\Brindlewox\service_window_driver.exe' "$desk" "$@" \
        </dev/null >"$out" 2>&1
    local code=$?
    if [ $code -ne 0 ]; then
        echo "driver $*: exit $code: $(tr -d '\r' <"$out")"
    fi
    return $code
}
step() { driver "$@" || fail "step: $*"; }
# The program may hold the file for a moment (its saves): wait for it.
query() { sqlite3 -cmd ".timeout 20000" "$profile" "$1" 2>&1; }

# start_window_program [STEP]: the program on the desktop, the pointer out
# of its way; a failure from here on says what the desktop holds and the
# ends of the program's logs (say_what_was_seen). The driver's step waits
# for its window: wait (a fresh user's start shows it), or open (a
# returning user's start puts it in the tray). Ends the script when the
# window does not come.
start_window_program() {
    xdotool mousemove 1279 799
    "$WINE" explorer /desktop="$desk",1024x768 'C:\Brindlewox\Brindlewox.exe' \
        </dev/null >"$deploy/out/program.txt" 2>&1 &
    program=$!
    seen_desktop=$desk
    seen_logs=("$userfolder/Log/LogFile_*.txt" "$deploy/out/program.txt")
    driver "${1:-wait}" || {
        fail "the main window did not come"
        exit 1
    }
}

# wait_profile_known: the service stores nothing for a program before that
# program's first profile notice (SETTINGS 8, sent every 2 s), which leaves
# the profile's path in the machine's key (the prefix is a fresh one).
wait_profile_known() {
    profile_known() {
        "$WINE" reg query 'HKLM\Software\Orvanel\Brindlewox' /v ProfilePath </dev/null 2>/dev/null |
            grep -q ProfilePath
    }
    wait_until $bw_wait_service profile_known || fail "the service did not hear of the profile"
}

# close_window_program: the tray's Close (390) ends the program.
close_window_program() {
    step command 390
    program_ended() { ! kill -0 "$program" 2>/dev/null; }
    wait_until $bw_wait_end program_ended || fail "the program did not end after Close"
}

# stop_window_program: for the scripts' exit; the program ended, the
# service stopped and removed, the prefix's server down.
stop_window_program() {
    if [ -n "$program" ] && kill -0 "$program" 2>/dev/null; then
        "$WINE" taskkill /f /im Brindlewox.exe </dev/null >/dev/null 2>&1
        kill "$program" 2>/dev/null
        wait "$program" 2>/dev/null
    fi
    srv -stop
    srv -uninstall
    wine_down
}
