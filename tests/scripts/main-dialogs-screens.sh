#!/usr/bin/env bash
# Screenshots of the main program's message (190), registry-tool result
# (199), question (1006) and about (157) dialogs under Xvfb with Wine's X11
# driver, for the skins Default and Deepsea: build/screens/dialog-<kind>-<skin>.png,
# each the dialog's window with a margin. Each screenshot is checked by
# tests/scripts/dialog_pixels.py against the skin's own dialog picture; the
# dialog is then closed from the keyboard (Enter gives OK = 1, Esc on the
# question Close = 2) and the exit code compared.
# Usage: main-dialogs-screens.sh <source dir> <build dir>. Exit 77 without Xvfb.
set -uo pipefail
src=$(cd "$1" && pwd)
bin=$(cd "$2" && pwd)

for tool in xvfb-run Xvfb; do
    command -v "$tool" >/dev/null || { echo "dialogs: no $tool, skipped"; exit 77; }
done
for tool in import xdotool /usr/bin/python3; do
    command -v "$tool" >/dev/null || { echo "dialogs: no $tool (scripts/bootstrap installs it)"; exit 1; }
done
if [ -z "${DIALOGS_IN_XVFB:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x800x24" env DIALOGS_IN_XVFB=1 bash "$0" "$src" "$bin"
fi

top=$src
export BRINDLEWOX_WINEPREFIX="$bin/wine-dialogs"
export BRINDLEWOX_DISPLAY=x11
source "$src/scripts/wine-env.sh"
wine_up
trap wine_down EXIT

exe="$bin/tests/message_dialogs.exe"
[ -f "$exe" ] || { echo "dialogs: $exe is missing"; exit 1; }
place="$WINEPREFIX/drive_c/dialogs"
rm -rf "$place"
mkdir -p "$place"
cp "$exe" "$place/"
cp -r "$bin/Skins" "$bin/Languages" "$place/"
settings_dir="$WINEPREFIX/drive_c/users/${USER:-$(id -un)}/AppData/Roaming/ORVANEL Brindlewox"
mkdir -p "$settings_dir"
screens="$(dirname "$bin")/screens"
mkdir -p "$screens"

status=0
for skin in Default Deepsea; do
    printf '[Skin]\r\nDirectory=%s\r\n[Language]\r\nDirectory=English\r\n' "$skin" \
        >"$settings_dir/settings.ini"
    for kind in message result question about; do
        name="dialog-$kind-$skin"
        xdotool mousemove 1279 799
        "$WINE" "$place/message_dialogs.exe" "$kind" 60 </dev/null >"$place/$kind.log" 2>&1 &
        pid=$!
        id=""
        for _ in $(seq 300); do
            id=$(xdotool search --onlyvisible --name '^Orvanel Brindlewox$' 2>/dev/null | head -1)
            [ -n "$id" ] && break
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        if [ -z "$id" ]; then
            echo "dialogs: $name: no window"; cat "$place/$kind.log"
            status=1; kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
            continue
        fi
        sleep 1
        read -r x y w h < <(xdotool getwindowgeometry --shell "$id" |
            awk -F= '/^X=/{x=$2} /^Y=/{y=$2} /^WIDTH=/{w=$2} /^HEIGHT=/{h=$2} END{print x, y, w, h}')
        import -window root "PNG24:$screens/$name-screen.png"
        if ! /usr/bin/python3 "$src/tests/scripts/dialog_pixels.py" "$screens/$name-screen.png" \
            "$screens/$name.png" "$x" "$y" "$w" "$h" "$kind" "$place/Skins/$skin"; then
            echo "dialogs: $name: pixel check failed"
            status=1
        fi
        rm -f "$screens/$name-screen.png"
        if [ "$kind" = question ]; then key=Escape; want=2; else key=Return; want=1; fi
        xdotool windowactivate --sync "$id" >/dev/null 2>&1 || true
        xdotool key --window "$id" "$key"
        wait "$pid"
        code=$?
        if [ "$code" -ne "$want" ]; then
            echo "dialogs: $name: ended with $code after $key, expected $want"
            status=1
        else
            echo "dialogs: $name: shown, checked, $key gave $code"
        fi
    done
done
exit $status
