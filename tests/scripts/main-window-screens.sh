#!/usr/bin/env bash
# The main window as a user sees it: Brindlewox.exe under Xvfb (24-bit) with
# Wine's X11 driver, in a prefix of its own, inside Wine's virtual desktop
# (the tray lives only there), with the service installed and running. For
# the skins Default and Deepsea it shows pages 0, 1, 2, 3, 4, 6, 7, 9 and 10
# one after the other (tests/tools/main_window_driver.cpp sends the left-bar
# and tab commands) and writes build/screens/main-<skin>-page-<n>.png, each
# checked by main_window_pixels.py: the frame pieces where the skin's
# pictures put them, the page area white where no control covers it, the
# page's title drawn; and the two skins' frames differ. Then the program's
# message, question and about dialogs in each skin, and Add...'s dialog
# with the database fields (message-dialogs.bash).
# Usage: main-window-screens.sh <source dir> <build dir>. Exit 77 (skipped)
# without Xvfb.
set -uo pipefail
src=$(cd "$1" && pwd)
bin=$(cd "$2" && pwd)
here="$src/tests/scripts"

source "$src/tests/scripts/lib/in-xvfb.bash"
for tool in import xdotool python3; do
    command -v "$tool" >/dev/null || { echo "main-window-screens: no $tool (scripts/bootstrap installs it)"; exit 1; }
done

# Debian's python3 carries PIL (python3-pil, as the skins' generator needs).
python=/usr/bin/python3
[ -x "$python" ] || python=python3
"$python" -c 'import PIL' 2>/dev/null || { echo "main-window-screens: no python3-pil (scripts/bootstrap installs it)"; exit 1; }

top=$src
export BRINDLEWOX_WINEPREFIX="$bin/wine-main-screens"
export BRINDLEWOX_DISPLAY=x11
source "$src/scripts/wine-env.sh"
wine_up

status=0
fail() {
    echo "FAIL: $*"
    status=1
    say_what_was_seen
}

screens="$(dirname "$bin")/screens"
mkdir -p "$screens"
deploy="$WINEPREFIX/drive_c/Brindlewox"
source "$here/lib/deployed-service.bash"
deploy_files main-window-screens Brindlewox.exe BrindlewoxSrv.exe tests/main_window_driver.exe \
    tests/flow_driver.exe

forget_run_entry

cleanup() {
    forget_run_entry
    srv -stop
    srv -uninstall
    wine_down
}
trap cleanup EXIT
start_deployed_service || fail "the service did not start: state '$(state)'"

appdata=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming 2>/dev/null | grep -v /Public/ | head -1)
[ -n "$appdata" ] || { echo "main-window-screens: no AppData folder in the prefix"; exit 1; }
userfolder="$appdata/ORVANEL Brindlewox"

driver() {
    run_wine_within $bw_wait_tool 'C:\Brindlewox\main_window_driver.exe' main "$@" \
        >"$deploy/out/layout.txt"
}
program_ended() { ! kill -0 "$program" 2>/dev/null; }
seen_desktop=main

source "$here/lib/message-dialogs.bash"
pages=(0 1 2 3 4 6 7 9 10)
for skin in Default Deepsea; do
    if [ ! -f "$deploy/Skins/$skin/default.ini" ]; then
        fail "no skin $skin in $bin/Skins"
        continue
    fi
    mkdir -p "$userfolder"
    printf '[Skin]\r\nDirectory=%s\r\n[Language]\r\nDirectory=English\r\n' "$skin" >"$userfolder/settings.ini"
    # A first start for this user: the window shows instead of going to the
    # tray.
    "$WINE" reg delete 'HKCU\Software\Orvanel\Brindlewox' /v FirstRun /f </dev/null >/dev/null 2>&1
    # The pointer out of the way: where it rests is where controls turn hot.
    xdotool mousemove 1279 799
    "$WINE" explorer /desktop=main,1024x768 'C:\Brindlewox\Brindlewox.exe' \
        </dev/null >"$deploy/out/program-$skin.txt" 2>&1 &
    program=$!
    seen_logs=("$userfolder/Log/LogFile_*.txt" "$deploy/out/program-$skin.txt")
    if ! driver wait; then
        fail "$skin: the main window did not come: $(cat "$deploy/out/layout.txt")"
        kill "$program" 2>/dev/null
        wait "$program" 2>/dev/null
        continue
    fi
    read -r dx dy < <(desktop_offset)
    for page in "${pages[@]}"; do
        name="main-$skin-page-$page"
        if ! driver page "$page"; then
            fail "$name: the driver could not show the page: $(cat "$deploy/out/layout.txt")"
            continue
        fi
        cp "$deploy/out/layout.txt" "$screens/$name.txt"
        shoot "$deploy/out/screen.png"
        if "$python" "$here/main_window_pixels.py" check "$deploy/out/screen.png" "$screens/$name.txt" \
            "$dx" "$dy" "$deploy/Skins/$skin" "$page" "$screens/$name.png"; then
            echo "main-window-screens: $name: as the skin says"
        else
            fail "$name: pixel checks"
        fi
    done
    # The message, question and about dialogs (message-dialogs.bash).
    shoot_message_dialogs main "$skin" "$dx" "$dy"
    shoot_what_to_add main "$skin" "$dx" "$dy"
    driver close
    # The program ends with the tray's Close; one that does not is ended.
    if ! wait_until $bw_wait_end program_ended; then
        "$WINE" taskkill /f /im Brindlewox.exe </dev/null >/dev/null 2>&1
        wait_until $bw_wait_end program_ended || kill "$program" 2>/dev/null
    fi
    wait "$program" 2>/dev/null
done

if [ -f "$screens/main-Default-page-0.png" ] && [ -f "$screens/main-Deepsea-page-0.png" ]; then
    "$python" "$here/main_window_pixels.py" differ "$screens/main-Default-page-0.png" \
        "$screens/main-Deepsea-page-0.png" "$screens/main-Default-page-0.txt" ||
        fail "the two skins' frames"
fi

[ $status -eq 0 ] && echo "main-window-screens: all checks passed; screenshots in $screens"
exit $status
