#!/usr/bin/env bash
# The startup manager and the uninstall list end to end: under Xvfb (24-bit)
# with Wine's X11 driver in a prefix of its own, the real service installed
# and running, Brindlewox.exe on a Wine virtual desktop, driven from outside
# by tests/tools/startup_driver.cpp.
# - Page 6 lists a REG_SZ value of the machine's Run key (a program with a
#   version resource: its row shows the file description) and a quoted
#   REG_EXPAND_SZ command with arguments in the user's; both checked, Deny
#   parks them (reg query finds them in Run-Disabled and Run1-Disabled with
#   their type and bytes, gone from Run); Allow brings them back.
# - Remove of a parked row deletes it from its parking key, Remove of an
#   active row from its Run key.
# - Page 7 lists an Uninstall entry whose command is a stand-in
#   (tests/tools/uninstall_recorder.cpp); checked, Uninstall (3029) runs it:
#   its record file appears, with the show state SW_SHOWNORMAL.
# Screenshots: build/screens/service-startup-denied.png (page 6 with the
# parked rows) and build/screens/service-startup-uninstall.png (page 7).
# Exit 77 (skipped) without Xvfb.
set -uo pipefail
top=$1
bin=$2

source "$1/tests/scripts/lib/in-xvfb.bash"

export BRINDLEWOX_WINEPREFIX="$bin/wine-x11-startup"
export BRINDLEWOX_DISPLAY=x11
name="startup e2e $$"
source "$top/tests/scripts/lib/service-common.bash"
screens="$(dirname "$bin")/screens"
mkdir -p "$screens"
desktop=bwstartup
first=

machine_run='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
user_run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
machine_parking='HKCU\Software\Orvanel\Brindlewox\Run-Disabled'
user_parking='HKCU\Software\Orvanel\Brindlewox\Run1-Disabled'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
machine_value="BwE2EMachine$$"
user_value="BwE2EUser$$"
entry="BwE2EUninstall$$"

reg() {
    "$WINE" reg "$@" </dev/null 2>/dev/null | tr -d '\r'
}
# The type and data of a value ("REG_SZ <data>"), empty when it is absent.
value_of() {
    reg query "$1" /v "$2" | sed -n "s/^ *$2 *\(REG_[A-Z_]*\) *\(.*\)\$/\1 \2/p"
}

first_ended() { [ -e "$work/first.code" ]; }
cleanup() {
    # The service's stop notice ends the program; one that stays is ended.
    srv -stop
    [ -n "$first" ] && { wait_until $bw_wait_end first_ended || kill "$first" 2>/dev/null; }
    for key in "$machine_run" "$user_run" "$machine_parking" "$user_parking"; do
        reg delete "$key" /v "$machine_value" /f >/dev/null
        reg delete "$key" /v "$user_value" /f >/dev/null
    done
    reg delete "$uninstall_key\\$entry" /f >/dev/null
    remove_service
    wine_down
}
trap cleanup EXIT
wine_up

cp "$bin/Brindlewox.exe" "$bin/tests/main_driver.exe" "$bin/tests/startup_driver.exe" "$work/" ||
    exit 1
for item in Skins Languages warning.wav; do
    [ -e "$bin/$item" ] && cp -r "$bin/$item" "$work/"
done
mkdir -p "$work/recorder" "$work/probe"
cp "$bin/tests/uninstall_recorder.exe" "$work/recorder/" || exit 1
cp "$bin/tests/version_probe_3_0_205_0.exe" "$work/probe/" || exit 1
program="$win\\Brindlewox.exe"

main_driver() { run_wine_within $bw_wait_tool "$win\\main_driver.exe" "$@"; }
startup() { run_wine_within $bw_wait_tool "$win\\startup_driver.exe" "$@"; }
# The command handled and the window painted (startup_driver).
do_command() {
    local said
    said=$(startup command $desktop "$1" $bw_wait_task) || fail "command $1: $said"
}
check() {
    local said
    said=$(startup check $desktop "$@") || fail "check $*: $said"
    echo "$said"
}

srv -install
srv -start
wait_for RUNNING || fail "the service is not running: state '$(state)'"

# The startup values and the uninstall entry; the window opens shown (no
# FirstRun yet).
# The machine's value names a program with a file description, which the
# row shows instead of the value name.
machine_data="$win\\probe\\version_probe_3_0_205_0.exe"
user_data='"%SystemRoot%\notepad.exe" /x /y'
reg add "$machine_run" /v "$machine_value" /t REG_SZ /d "$machine_data" /f >/dev/null
reg add "$user_run" /v "$user_value" /t REG_EXPAND_SZ /d "$user_data" /f >/dev/null
reg add "$uninstall_key\\$entry" /v DisplayName /t REG_SZ /d "Brindlewox E2E stand-in" /f >/dev/null
reg add "$uninstall_key\\$entry" /v UninstallString /t REG_SZ \
    /d "\"$win\\recorder\\uninstall_recorder.exe\" done" /f >/dev/null
reg delete 'HKCU\Software\Orvanel\Brindlewox' /v FirstRun /f >/dev/null

"$WINE" explorer /desktop=$desktop,1024x768 </dev/null >/dev/null 2>&1 &
seen_desktop=$desktop
seen_logs=("$WINEPREFIX/drive_c/users/*/AppData/Roaming/ORVANEL Brindlewox/Log/LogFile_*.txt"
           "$work/first.txt")
# main_driver waits for the desktop before it starts the program on it.
( main_driver launch $desktop "$program" $bw_wait_task >"$work/first.txt"; echo $? >"$work/first.code" ) &
first=$!
shown=$(main_driver window $desktop visible $bw_wait_program) || fail "no shown main window: $shown"
# The program writes its own Run entry at its first options tick (2 s after
# its start). The driver finds a row where the program lists it by reading
# the registry as the program does: a list filled before that tick and read
# after it had every parked row one place off, and Allow found the machine's
# value unchecked.
own_run_entry() { [ -n "$(value_of "$user_run" ORVANELBrindlewox)" ]; }
wait_until $bw_wait_step own_run_entry || fail "the program wrote no Run entry of its own"

# --- Deny parks both values, type and bytes kept ---
do_command 253
check startup "$machine_value" "$user_value"
do_command 3026
[ "$(value_of "$machine_parking" "$machine_value")" = "REG_SZ $machine_data" ] ||
    fail "machine value parked as '$(value_of "$machine_parking" "$machine_value")'"
[ "$(value_of "$user_parking" "$user_value")" = "REG_EXPAND_SZ $user_data" ] ||
    fail "user value parked as '$(value_of "$user_parking" "$user_value")'"
[ -z "$(value_of "$machine_run" "$machine_value")" ] || fail "the machine value is still in Run"
[ -z "$(value_of "$user_run" "$user_value")" ] || fail "the user value is still in Run"
shoot "$screens/service-startup-denied.png" || fail "no screenshot"
# Parked rows are drawn in dark red (165, 14, 44): the two rows' texts (the
# skin's orange marks are far from it; page 7 without red rows has 4).
red=$(/usr/bin/python3 - "$screens/service-startup-denied.png" <<'PY'
import sys
from PIL import Image
image = Image.open(sys.argv[1]).convert("RGB")
print(sum(1 for r, g, b in image.getdata() if 120 <= r <= 210 and g < 70 and 20 <= b < 100))
PY
)
[ "${red:-0}" -gt 100 ] || fail "no parked rows in dark red on the screenshot ($red pixels)"

# --- Allow brings them back ---
do_command 253
check startup "$machine_value" "$user_value"
do_command 3025
[ "$(value_of "$machine_run" "$machine_value")" = "REG_SZ $machine_data" ] ||
    fail "machine value back as '$(value_of "$machine_run" "$machine_value")'"
[ "$(value_of "$user_run" "$user_value")" = "REG_EXPAND_SZ $user_data" ] ||
    fail "user value back as '$(value_of "$user_run" "$user_value")'"
[ -z "$(value_of "$machine_parking" "$machine_value")" ] || fail "the machine value is still parked"
[ -z "$(value_of "$user_parking" "$user_value")" ] || fail "the user value is still parked"

# --- Remove: a parked row from its parking key, an active one from Run ---
do_command 253
check startup "$user_value"
do_command 3026
[ -n "$(value_of "$user_parking" "$user_value")" ] || fail "the user value was not parked again"
do_command 253
check startup "$machine_value" "$user_value"
do_command 363
[ -z "$(value_of "$user_parking" "$user_value")" ] || fail "Remove left the parked value"
[ -z "$(value_of "$machine_run" "$machine_value")" ] || fail "Remove left the active value"

# --- Page 7: the checked entry's uninstaller runs, shown ---
do_command 254
check uninstall "$entry"
do_command 3029
record=$(tr -d '\r' <"$work/recorder/record.txt" 2>/dev/null)
[ "$record" = "done|1" ] || fail "the stand-in uninstaller recorded '$record', not 'done|1'"
shoot "$screens/service-startup-uninstall.png" || fail "no screenshot"

[ $status -eq 0 ] && echo "service-startup: all checks passed; screenshots in $screens"
exit $status
