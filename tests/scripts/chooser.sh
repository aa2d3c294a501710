#!/usr/bin/env bash
# The chooser as a user sees it: BrindlewoxSkin.exe under Xvfb (24-bit) with
# Wine's X11 driver, in a prefix of its own, deployed with the skins and
# languages beside it in C:\Brindlewox. Writes build/screens/chooser.png and
# checks its pixels (header band, header picture, six previews); a driver
# chooses Metalbrown and presses OK, and settings.ini must name Metalbrown
# and English; a second run closed with Escape leaves the file as it was.
# Both runs end with 0. Exit 77 (skipped) without Xvfb.
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

# The programs, skins and languages in one folder, as they are shipped.
deploy="$WINEPREFIX/drive_c/Brindlewox"
rm -rf "$deploy"
mkdir -p "$deploy"
cp "$bin/BrindlewoxSkin.exe" "$bin/Brindlewox.exe" "$bin/tests/chooser_driver.exe" "$deploy/" || exit 1
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

[ $status -eq 0 ] && echo "chooser: all checks passed; screenshot $screens/chooser.png"
exit $status
