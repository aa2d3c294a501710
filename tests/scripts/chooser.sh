#!/usr/bin/env bash
# The chooser as a user sees it: BrindlewoxSkin.exe under Xvfb (24-bit) with
# Wine's X11 driver, in a prefix of its own, deployed with the skins and
# languages beside it in C:\Brindlewox. Writes build/screens/chooser.png and
# checks its pixels (header band, header picture, six previews); a driver
# chooses Metalbrown and presses OK, and settings.ini must name Metalbrown
# and English; a second run closed with Escape leaves the file as it was.
# Both runs end with 0. Then Brindlewox.exe, with the service running, must
# start in Metalbrown: its frame as Metalbrown's pictures put it, unlike
# Default's (build/screens/chooser-main-Metalbrown.png). Exit 77 (skipped)
# without Xvfb.
set -uo pipefail
src=$1
bin=$2
here=$(cd "$(dirname "$0")" && pwd)

source "$1/tests/scripts/lib/in-xvfb.bash"

top=$(cd "$src" && pwd)
export BRINDLEWOX_WINEPREFIX="$bin/wine-x11-chooser"
export BRINDLEWOX_DISPLAY=x11
source "$top/scripts/wine-env.sh"
screens="$(dirname "$bin")/screens"
mkdir -p "$screens"

fail() {
    echo "FAIL: $*"
    status=1
    say_what_was_seen
}
status=0

wine_up
trap wine_down EXIT

# The programs, skins and languages in one folder, as they are shipped.
deploy="$WINEPREFIX/drive_c/Brindlewox"
source "$here/lib/deployed-service.bash"
forget_run_entry
deploy_files chooser BrindlewoxSkin.exe Brindlewox.exe BrindlewoxSrv.exe tests/chooser_driver.exe \
    tests/main_window_driver.exe
[ -d "$deploy/Languages/English" ] || mkdir -p "$deploy/Languages/English"

appdata=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming | grep -v /Public/ | head -1)
userfolder="$appdata/ORVANEL Brindlewox"
settings="$userfolder/settings.ini"
# A first run: the per-user folder does not exist yet.
rm -rf "$userfolder"

run_chooser() {  # start BrindlewoxSkin.exe in the background; its pid in $chooser
    "$WINE" 'C:\Brindlewox\BrindlewoxSkin.exe' </dev/null >/dev/null 2>&1 &
    chooser=$!
}
driver() { run_wine_within $bw_wait_tool 'C:\Brindlewox\chooser_driver.exe' "$@"; }
chooser_ended() { ! kill -0 "$chooser" 2>/dev/null; }
wait_chooser() {  # its exit status, or 124 when it hangs
    if wait_until $bw_wait_end chooser_ended; then
        wait "$chooser"
        return $?
    fi
    kill "$chooser" 2>/dev/null
    return 124
}
seen_logs=("$settings")

# --- First run: look, then choose Metalbrown and OK ---
run_chooser
layout=$(driver wait) || fail "the chooser dialog did not come: $layout"
echo "$layout"
shoot "$screens/chooser.png"
python3 "$here/chooser_pixels.py" "$screens/chooser.png" <<<"$layout" || fail "pixel checks"
driver choose 1008 || fail "driver could not choose Metalbrown"
wait_chooser; code=$?
[ $code -eq 0 ] || fail "first run exit code $code"
if [ -f "$settings" ]; then
    echo "--- settings.ini"; cat "$settings"; echo
    # The sections and their keys, without the file's CRs.
    keys=$(tr -d '\r' <"$settings" | awk '/^\[/ {section=$0; next} {print section $0}')
    grep -qx '\[Skin\]Directory=Metalbrown' <<<"$keys" || fail "[Skin] Directory is not Metalbrown"
    grep -qx '\[Language\]Directory=English' <<<"$keys" || fail "[Language] Directory is not English"
else
    fail "no settings.ini in a fresh profile"
fi

# --- Second run: Escape leaves the file as it was ---
before=$(sha256sum "$settings" 2>/dev/null)
run_chooser
driver escape || fail "driver could not press Escape"
wait_chooser; code=$?
[ $code -eq 0 ] || fail "second run exit code $code"
after=$(sha256sum "$settings" 2>/dev/null)
[ "$before" = "$after" ] || fail "Escape changed settings.ini"

# --- The main program starts in the skin the chooser wrote ---
python=/usr/bin/python3
[ -x "$python" ] || python=python3
trap 'forget_run_entry; srv -stop; srv -uninstall; wine_down' EXIT
# Without the service every request of the program waits for it in vain.
start_deployed_service || fail "the service did not start: state '$(state)'"
# A first start for this user: the window shows instead of going to the tray.
"$WINE" reg delete 'HKCU\Software\Orvanel\Brindlewox' /v FirstRun /f </dev/null >/dev/null 2>&1
xdotool mousemove 1279 799 2>/dev/null
"$WINE" explorer /desktop=chooser-main,1024x768 'C:\Brindlewox\Brindlewox.exe' \
    </dev/null >"$deploy/out/program.txt" 2>&1 &
program=$!
seen_desktop="chooser-main"
seen_logs=("$settings" "$userfolder/Log/LogFile_*.txt" "$deploy/out/program.txt")
layout="$screens/chooser-main-Metalbrown.txt"
if run_wine_within $bw_wait_tool 'C:\Brindlewox\main_window_driver.exe' chooser-main wait >"$layout"; then
    read -r dx dy < <(desktop_offset)
    shoot "$WINEPREFIX/main-screen.png"
    shot="$screens/chooser-main-Metalbrown.png"
    "$python" "$here/main_window_pixels.py" check "$WINEPREFIX/main-screen.png" "$layout" "$dx" "$dy" \
        "$deploy/Skins/Metalbrown" 0 "$shot" || fail "the main program is not in Metalbrown"
    "$python" "$here/main_window_pixels.py" unlike "$shot" "$layout" "$deploy/Skins/Default" ||
        fail "the main program looks like Default"
else
    fail "the main program's window did not come: $(cat "$layout")"
fi
"$WINE" taskkill /f /im Brindlewox.exe </dev/null >/dev/null 2>&1
program_ended() { ! kill -0 "$program" 2>/dev/null; }
wait_until $bw_wait_end program_ended || kill "$program" 2>/dev/null
wait "$program" 2>/dev/null

[ $status -eq 0 ] && echo "chooser: all checks passed; screenshot $screens/chooser.png"
exit $status
