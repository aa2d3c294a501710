#!/usr/bin/env bash
# The main program's life end to end, as a user's session has it: under
# Xvfb (24-bit) with Wine's X11 driver in a prefix of its own, the service
# installed and running, Brindlewox.exe on a Wine virtual desktop (where Wine
# has a notification area) deployed with its skins, languages and sound.
# - A user who has run the program before (FirstRun set) finds it in the
#   tray: the window exists and is hidden.
# - A second Brindlewox.exe ends with 0 within seconds, writes nothing into
#   the log, and the first window comes out of the tray (screenshot
#   build/screens/main-program.png).
# - "BrindlewoxSrv.exe -stop" tells the program on the USER pipe that the
#   service stops: the first Brindlewox.exe ends with 0.
# Exit 77 (skipped) without Xvfb.
set -uo pipefail
top=$1
bin=$2

source "$1/tests/scripts/lib/in-xvfb.bash"

export BRINDLEWOX_WINEPREFIX="$bin/wine-x11-main"
export BRINDLEWOX_DISPLAY=x11
name="main program $$"
source "$top/tests/scripts/lib/service-common.bash"
screens="$(dirname "$bin")/screens"
mkdir -p "$screens"
desktop=bwmain
first=

cleanup() {
    [ -n "$first" ] && kill "$first" 2>/dev/null
    remove_service
    wine_down
}
trap cleanup EXIT
wine_up

# The program beside the service, with what it reads from its folder.
cp "$bin/Brindlewox.exe" "$bin/tests/main_driver.exe" "$work/" || exit 1
for item in Skins Languages warning.wav; do
    [ -e "$bin/$item" ] && cp -r "$bin/$item" "$work/"
done
program="$win\\Brindlewox.exe"

driver() { run_wine_within $bw_wait_tool "$win\\main_driver.exe" "$@"; }

srv -install
srv -start
wait_for RUNNING || fail "the service is not running: state '$(state)'"

appdata=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming | grep -v /Public/ | head -1)
userfolder="$appdata/ORVANEL Brindlewox"
logs="$userfolder/Log"
# A fresh per-user folder (the prefix is kept between runs).
rm -rf "$userfolder"
log_lines() {
    cat "$logs"/LogFile_*.txt 2>/dev/null | wc -l
}
"$WINE" reg add 'HKCU\Software\Orvanel\Brindlewox' /v FirstRun /t REG_DWORD /d 1 /f \
    </dev/null >/dev/null 2>&1

# The virtual desktop with its notification area.
"$WINE" explorer /desktop=$desktop,1024x768 </dev/null >/dev/null 2>&1 &
seen_desktop=$desktop
seen_logs=("$logs/LogFile_*.txt" "$work/first.txt")

# --- The first instance starts in the tray ---
( driver launch $desktop "$program" $bw_wait_task >"$work/first.txt"; echo $? >"$work/first.code" ) &
first=$!
# Found once its USER pipe is served: a second start now hands over.
hidden=$(driver window $desktop hidden $bw_wait_program) || fail "no hidden main window: $hidden"
echo "first start: $hidden"
[[ "$hidden" == *" tray" ]] || fail "the desktop has no notification area"
before=$(log_lines)
[ "$before" -gt 0 ] || fail "the first start wrote no banner into the log"
grep -q "^= Brindlewox Tool $(printf '\r')\$" "$logs"/LogFile_*.txt || fail "no banner in the log"
keys=$(tr -d '\r' <"$userfolder/settings.ini" | awk '/^\[/ {section=$0; next} NF {print section $0}')
[ "$keys" = "$(printf '[Skin]Directory=Default\n[Language]Directory=English')" ] ||
    fail "settings.ini of a fresh profile: $keys"
if command -v sqlite3 >/dev/null; then
    profile="$userfolder/Profile/profile.prb"
    tables=$(sqlite3 "$profile" "SELECT name FROM sqlite_master WHERE type='table' ORDER BY name;")
    [ "$tables" = "$(printf 'backup_settings\nbackup_what')" ] || fail "profile tables: $tables"
    row=$(sqlite3 "$profile" "SELECT type_id, backup_where, compress, encrypt, encrypt_pwd FROM backup_settings;")
    [ "$row" = "0||0|0|" ] || fail "profile settings row: $row"
fi

# --- A second instance hands over and ends ---
second=$(driver launch $desktop "$program" $bw_wait_program)
code=$?
echo "second start: $second"
[ $code -eq 0 ] || fail "the second start ended with $code"
ms=$(sed -n 's/^exit [0-9]* after \([0-9]*\) ms$/\1/p' <<<"$second")
[ -n "$ms" ] && [ "$ms" -lt 20000 ] || fail "the second start took $ms ms"
shown=$(driver window $desktop visible $bw_wait_step) || fail "the first window did not come back: $shown"
echo "first window: $shown"
after=$(log_lines)
[ "$after" = "$before" ] || fail "the second start changed the log ($before lines, then $after)"
shoot "$screens/main-program.png" || fail "no screenshot"

# --- The service stops: the first instance ends with 0 ---
srv -stop
expect_first_ended "the first instance" "when the service stopped"
first=

[ $status -eq 0 ] && echo "main-program: all checks passed; screenshot $screens/main-program.png"
exit $status
