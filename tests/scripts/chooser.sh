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

if [ -z "${BRINDLEWOX_IN_XVFB:-}" ]; then
    command -v xvfb-run >/dev/null || { echo "no xvfb-run: skipped"; exit 77; }
    export BRINDLEWOX_IN_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x800x24" bash "$0" "$@"
fi

export WINEPREFIX="$bin/wine-x11-chooser"
export WINEDEBUG=-all
export WINEARCH=win64
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
screens="$(dirname "$bin")/screens"
mkdir -p "$WINEPREFIX" "$screens"

fail() { echo "FAIL: $*"; status=1; }
status=0

"$WINESERVER" -p </dev/null >/dev/null 2>&1
trap '"$WINESERVER" -k </dev/null >/dev/null 2>&1' EXIT
if [ ! -f "$WINEPREFIX/.brindlewox-x11-1" ]; then
    "$WINE" wineboot -i </dev/null >/dev/null 2>&1
    touch "$WINEPREFIX/.brindlewox-x11-1"
else
    "$WINE" wineboot </dev/null >/dev/null 2>&1
fi

# The main program (started at the end) puts itself into the user's Run
# key, and Wine's boot starts what that key names: its entry goes, and a
# program it started too.
forget_run_entry() {
    "$WINE" reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v ORVANELBrindlewox /f \
        </dev/null >/dev/null 2>&1
    sleep 2
    "$WINE" taskkill /f /im Brindlewox.exe </dev/null >/dev/null 2>&1
}
forget_run_entry

# The programs, skins and languages in one folder, as they are shipped.
deploy="$WINEPREFIX/drive_c/Brindlewox"
rm -rf "$deploy"
mkdir -p "$deploy"
cp "$bin/BrindlewoxSkin.exe" "$bin/Brindlewox.exe" "$bin/BrindlewoxSrv.exe" \
    "$bin/tests/chooser_driver.exe" "$bin/tests/main_window_driver.exe" "$deploy/" || exit 1
for folder in Skins Languages; do
    [ -d "$bin/$folder" ] && cp -r "$bin/$folder" "$deploy/"
done
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
# Wine's output goes through a file, never a pipe: a Wine process started on
# the way (the desktop's explorer.exe) inherits it and outlives the driver,
# and a command substitution would wait for it for ever.
driver() {
    local out="$WINEPREFIX/driver.out"
    timeout 300 "$WINE" 'C:\Brindlewox\chooser_driver.exe' "$@" </dev/null >"$out" 2>&1
    local code=$?
    cat "$out"
    return $code
}
wait_chooser() {  # its exit status, or 124 when it hangs
    for _ in $(seq 1 300); do
        kill -0 "$chooser" 2>/dev/null || { wait "$chooser"; return $?; }
        sleep 0.2
    done
    kill "$chooser" 2>/dev/null
    return 124
}

# --- First run: look, then choose Metalbrown and OK ---
run_chooser
layout=$(driver wait) || fail "the chooser dialog did not come: $layout"
echo "$layout"
import -window root -display "$DISPLAY" "$screens/chooser.png"
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
srv() { "$WINE" 'C:\Brindlewox\BrindlewoxSrv.exe' "$@" </dev/null >/dev/null 2>&1; }
trap 'forget_run_entry; srv -stop; srv -uninstall; "$WINESERVER" -k </dev/null >/dev/null 2>&1' EXIT
srv -uninstall
srv -install
srv -start
# Without the service every request of the program waits for it in vain.
for _ in $(seq 1 240); do
    "$WINE" sc query OVBrinwoxSrv </dev/null 2>/dev/null | tr -d '\r' | grep RUNNING >/dev/null && break
    sleep 0.25
done
# A first start for this user: the window shows instead of going to the tray.
"$WINE" reg delete 'HKCU\Software\Orvanel\Brindlewox' /v FirstRun /f </dev/null >/dev/null 2>&1
xdotool mousemove 1279 799 2>/dev/null
"$WINE" explorer /desktop=chooser-main,1024x768 'C:\Brindlewox\Brindlewox.exe' </dev/null >/dev/null 2>&1 &
program=$!
layout="$screens/chooser-main-Metalbrown.txt"
if timeout 300 "$WINE" 'C:\Brindlewox\main_window_driver.exe' chooser-main wait </dev/null \
    >"$WINEPREFIX/main-driver.out" 2>&1; then
    tr -d '\r' <"$WINEPREFIX/main-driver.out" >"$layout"
    id=$(xdotool search --name 'Wine desktop' 2>/dev/null | head -1)
    offset=$( [ -n "$id" ] && xdotool getwindowgeometry "$id" | sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p')
    read -r dx dy <<<"${offset:-0 0}"
    import -window root -display "$DISPLAY" "PNG24:$WINEPREFIX/main-screen.png"
    shot="$screens/chooser-main-Metalbrown.png"
    "$python" "$here/main_window_pixels.py" check "$WINEPREFIX/main-screen.png" "$layout" "$dx" "$dy" \
        "$deploy/Skins/Metalbrown" 0 "$shot" || fail "the main program is not in Metalbrown"
    "$python" "$here/main_window_pixels.py" unlike "$shot" "$layout" "$deploy/Skins/Default" ||
        fail "the main program looks like Default"
else
    fail "the main program's window did not come: $(cat "$WINEPREFIX/main-driver.out")"
fi
"$WINE" taskkill /f /im Brindlewox.exe </dev/null >/dev/null 2>&1
sleep 1
kill "$program" 2>/dev/null
wait "$program" 2>/dev/null

[ $status -eq 0 ] && echo "chooser: all checks passed; screenshot $screens/chooser.png"
exit $status
