#!/usr/bin/env bash
# A user's backup end to end: under Xvfb (24-bit) with Wine's X11 driver in
# a prefix of its own, the service installed and running, Brindlewox.exe on a
# Wine virtual desktop with its skins, languages and sound.
# - The profile holds one folder row (three files under C:) and a
#   destination under C:; the program shows its window (a fresh user).
# - Start (213) runs the backup: "Task sucessfully completed." appears
#   (screenshot build/screens/main-flow-done.png; under the message the
#   Start and Pause buttons show their pictures, no flat light patch,
#   button_pixels.py), the log holds
#   "Backup started at:" and the summary, the three files are stored under
#   the destination's Files folder, StatusLastPerformedBackupTime is today;
#   OK closes the message.
# - Another skin in 332 and Apply (801) with OK: the program ends with 0, a
#   new one (another process) starts, settings.ini names the skin; a second
#   start brings the new window out of the tray (screenshot
#   build/screens/main-flow-restarted.png, in the new skin).
# Exit 77 (skipped) without Xvfb.
set -uo pipefail
top=$(cd "$1" && pwd)
bin=$(cd "$2" && pwd)

source "$1/tests/scripts/lib/in-xvfb.bash"
command -v sqlite3 >/dev/null || { echo "main-flow: no sqlite3 (scripts/bootstrap installs it)"; exit 1; }
python=/usr/bin/python3
[ -x "$python" ] || python=python3
"$python" -c 'import PIL' 2>/dev/null || { echo "main-flow: no python3-pil (scripts/bootstrap installs it)"; exit 1; }

export BRINDLEWOX_WINEPREFIX="$bin/wine-x11-flow"
export BRINDLEWOX_DISPLAY=x11
name="main flow $$"
source "$top/tests/scripts/lib/service-common.bash"
screens="$(dirname "$bin")/screens"
mkdir -p "$screens"
desktop=bwflow
first=

cleanup() {
    [ -n "$first" ] && kill "$first" 2>/dev/null
    # The service's stop notice ends whichever program holds the USER pipe.
    srv -stop
    remove_service
    wine_down
}
trap cleanup EXIT
wine_up

cp "$bin/Brindlewox.exe" "$bin/tests/main_driver.exe" "$bin/tests/flow_driver.exe" "$work/" || exit 1
for item in Skins Languages warning.wav; do
    [ -e "$bin/$item" ] && cp -r "$bin/$item" "$work/"
done
program="$win\\Brindlewox.exe"

run_tool() {
    local tool=$1
    shift
    run_wine_within $bw_wait_tool "$win\\$tool.exe" "$@"
}

srv -install
srv -start
wait_for RUNNING || fail "the service is not running: state '$(state)'"

# What to back up, and where (the destination as the folder chooser stores
# it, with its closing backslash).
mkdir -p "$work/source/sub" "$work/dest"
printf 'first file\r\n' >"$work/source/one.txt"
head -c 70000 /dev/urandom >"$work/source/two.bin"
printf 'third file, one level down\r\n' >"$work/source/sub/three.txt"

appdata=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming | grep -v /Public/ | head -1)
userfolder="$appdata/ORVANEL Brindlewox"
rm -rf "$userfolder"
mkdir -p "$userfolder/Profile"
"$WINE" reg delete 'HKCU\Software\Orvanel\Brindlewox' /f </dev/null >/dev/null 2>&1
sqlite3 "$userfolder/Profile/profile.prb" <<SQL
CREATE TABLE backup_what (id_backup_what INTEGER PRIMARY KEY, type_id INTEGER, extra_id INTEGER, value1 TEXT, value2 TEXT, value3 TEXT, value4 TEXT, value5 TEXT, value6 TEXT, value7 TEXT, value8 TEXT, checked INTEGER );
CREATE TABLE backup_settings (id_backup_settings INTEGER PRIMARY KEY, type_id INTEGER, backup_where TEXT, compress INTEGER, encrypt INTEGER, encrypt_pwd TEXT );
INSERT INTO backup_settings VALUES (NULL, '0', '$win\\dest\\', '0', '0', '');
INSERT INTO backup_what VALUES (NULL, '0', '0', '$win\\source', ':', '', '', '', '', '', '', '1');
SQL

"$WINE" explorer /desktop=$desktop,1024x768 </dev/null >/dev/null 2>&1 &
seen_desktop=$desktop
seen_logs=("$userfolder/Log/LogFile_*.txt" "$work/first.txt")

# --- A fresh user: the window shows ---
( run_tool main_driver launch $desktop "$program" $bw_wait_task >"$work/first.txt"; echo $? >"$work/first.code" ) &
first=$!
shown=$(run_tool main_driver window $desktop visible $bw_wait_program) || fail "no main window: $shown"
echo "window: $shown"
old_pid=$(run_tool flow_driver pid $desktop $bw_wait_step) || fail "no main window's process: $old_pid"

# --- Start: the backup runs to its end ---
said=$(run_tool flow_driver command $desktop 213 $bw_wait_step) || fail "Start was not posted: $said"
done_text=$(run_tool flow_driver dialog $desktop 372 "Task sucessfully completed." 0 $bw_wait_task) ||
    fail "no \"Task sucessfully completed.\" message: $done_text"
echo "message: $done_text"
shoot "$screens/main-flow-done.png" || fail "no screenshot"
# The run's end changed both buttons' texts just before the message came.
read -r dx dy < <(desktop_offset)
buttons=()
for button in start=213 pause=219; do
    rect=$(run_tool flow_driver rect $desktop "${button#*=}" $bw_wait_step) || fail "no button ${button%=*}: $rect"
    buttons+=("${button%=*}=${rect// /,}")
done
"$python" "$top/tests/scripts/button_pixels.py" "$screens/main-flow-done.png" "$dx" "$dy" "${buttons[@]}" ||
    fail "the buttons under the message do not show as painted"
said=$(run_tool flow_driver dialog $desktop 372 "Task sucessfully completed." 1 $bw_wait_step) ||
    fail "the message's OK was not pressed: $said"

log=$(cat "$userfolder"/Log/LogFile_*.txt 2>/dev/null | tr -d '\r')
grep -q '^Backup started at: [0-9]*/[0-9][0-9]/[0-9][0-9]  [0-9][0-9]:[0-9][0-9]:[0-9][0-9]$' <<<"$log" ||
    fail "no \"Backup started at:\" in the log"
grep -q "^Files backuped: " <<<"$log" || fail "no summary in the log"
grep -q '^Backup finished at: ' <<<"$log" || fail "no end of the summary in the log"
stored="$work/dest/Files/C/bwtest/$name/source"
for file in one.txt two.bin sub/three.txt; do
    cmp -s "$work/source/$file" "$stored/$file" || fail "not stored as it is: $file ($(cd "$work/dest" && find . | head -20 | tr "\n" " "))"
done
today=$(date +%Y/%m/%d)
last=$("$WINE" reg query 'HKCU\Software\Orvanel\Brindlewox' /v StatusLastPerformedBackupTime \
    </dev/null 2>/dev/null | tr -d '\r' | awk '/StatusLastPerformedBackupTime/ { print $3 }')
[ "$last" = "$today" ] || fail "StatusLastPerformedBackupTime is '$last', not $today"

# --- Another skin, Apply, OK: the program starts again ---
said=$(run_tool flow_driver select $desktop 332 Deepsea $bw_wait_step) || fail "no skin Deepsea in 332: $said"
said=$(run_tool flow_driver command $desktop 801 $bw_wait_step) || fail "Apply was not posted: $said"
question=$(run_tool flow_driver dialog $desktop 372 "will not be visible" 1 $bw_wait_step) ||
    fail "no question after Apply: $question"
expect_first_ended "the first program" "after Apply"
first=
new_pid=$(run_tool flow_driver pid $desktop $bw_wait_program) || fail "no window after the restart: $new_pid"
[ -n "$new_pid" ] && [ "$new_pid" != "$old_pid" ] ||
    fail "the window after Apply is not a new program's ($old_pid, then $new_pid)"
skin=$(tr -d '\r' <"$userfolder/settings.ini" | awk '/^\[Skin\]/ { s = 1; next } /^\[/ { s = 0 } s && /^Directory=/ { sub(/^Directory=/, ""); print }')
[ "$skin" = Deepsea ] || fail "settings.ini names the skin '$skin'"
# The new program starts in the tray (this user has run it before); once it
# serves its USER pipe, another start brings its window out, in the new
# skin.
said=$(run_tool main_driver window $desktop hidden $bw_wait_program) ||
    fail "the new program is not in the tray: $said"
said=$(run_tool main_driver launch $desktop "$program" $bw_wait_program) ||
    fail "the hand-over start failed: $said"
shown=$(run_tool main_driver window $desktop visible $bw_wait_step) || fail "the new window does not show: $shown"
echo "window after Apply: $shown"
shoot "$screens/main-flow-restarted.png" || fail "no screenshot"

[ $status -eq 0 ] && echo "main-flow: all checks passed"
exit $status
