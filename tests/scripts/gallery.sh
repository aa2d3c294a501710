#!/usr/bin/env bash
# Screenshots of the control gallery (tests/tools/control_gallery.cpp) under
# Xvfb with Wine's X11 driver: for the skins Default and Deepsea and every
# mode of `control_gallery --list`, build/screens/<mode>-<skin>.png and the
# manifest beside it (.txt: `name left top right bottom` per control, screen
# pixels); then the mode's pixel check tests/scripts/gallery/<mode>.py
# <png> <manifest> <skin default.ini>, when there is one, while the gallery
# is still on screen (it may move the pointer with xdotool and take more
# screenshots). Usage: gallery.sh <source dir> <build dir> [mode...]
# Exit 77 (skipped) without Xvfb.
set -uo pipefail
source "$1/tests/scripts/lib/in-xvfb.bash"
src=$(cd "$1" && pwd)
bin=$(cd "$2" && pwd)
shift 2
only_modes=("$@")

for tool in import xdotool pngtopnm python3; do
    command -v "$tool" >/dev/null || { echo "gallery: no $tool (scripts/bootstrap installs it)"; exit 1; }
done

top=$src
# A prefix of its own with the X11 driver (the tests' prefix uses the null
# driver).
export BRINDLEWOX_WINEPREFIX="$bin/wine-gallery"
export BRINDLEWOX_DISPLAY=x11
source "$src/scripts/wine-env.sh"
wine_up
trap wine_down EXIT

exe="$bin/tests/control_gallery.exe"
[ -f "$exe" ] || { echo "gallery: $exe is missing"; exit 1; }
place="$WINEPREFIX/drive_c/gallery"
winplace='C:\gallery'
rm -rf "$place"
mkdir -p "$place/out"
cp "$exe" "$place/"
for data in Skins Languages; do
    [ -d "$bin/$data" ] && cp -r "$bin/$data" "$place/"
done
settings_dir="$WINEPREFIX/drive_c/users/${USER:-$(id -un)}/AppData/Roaming/ORVANEL Brindlewox"
mkdir -p "$settings_dir"
screens="$(dirname "$bin")/screens"
mkdir -p "$screens"

mapfile -t modes < <("$WINE" "$place/control_gallery.exe" --list </dev/null 2>/dev/null | tr -d '\r')
[ "${#modes[@]}" -gt 0 ] || { echo "gallery: control_gallery lists no modes"; exit 1; }


status=0
ran=0
# The manifest written, or the gallery gone without one.
manifest_or_end() { [ -f "$manifest" ] || ! kill -0 "$pid" 2>/dev/null; }
# Every plain mode first, then those on a virtual desktop: under Wine 8 a
# virtual desktop's size becomes the monitor size of every later program of
# the session, and the balloons would be clamped to 1024 x 768.
for phase in plain desktop; do
for skin in Default Deepsea; do
    ini="$place/Skins/$skin/default.ini"
    if [ ! -f "$ini" ]; then
        echo "gallery: no skin $skin in $bin/Skins, skipped"
        continue
    fi
    printf '[Skin]\r\nDirectory=%s\r\n[Language]\r\nDirectory=English\r\n' "$skin" \
        >"$settings_dir/settings.ini"
    for line in "${modes[@]}"; do
        read -r mode flag <<<"$line"
        if [ "$phase" = desktop ] && [ "$flag" != desktop ]; then continue; fi
        if [ "$phase" = plain ] && [ "$flag" = desktop ]; then continue; fi
        if [ "${#only_modes[@]}" -gt 0 ] && ! printf '%s\n' "${only_modes[@]}" | grep -x "$mode" >/dev/null; then
            continue
        fi
        manifest="$place/out/$mode.txt"
        rm -f "$manifest" "$manifest.done"
        # The pointer out of the way: where it rests is where controls turn hot.
        xdotool mousemove 1279 799
        # The gallery stays until released, for the checks' own waits.
        if [ "$flag" = desktop ]; then
            "$WINE" explorer /desktop=gallery,1024x768 "$winplace\\control_gallery.exe" \
                "$mode" "$winplace\\out\\$mode.txt" $bw_wait_tool </dev/null >"$place/out/$mode.log" 2>&1 &
        else
            "$WINE" "$place/control_gallery.exe" "$mode" "$winplace\\out\\$mode.txt" $bw_wait_tool \
                </dev/null >"$place/out/$mode.log" 2>&1 &
        fi
        pid=$!
        # The manifest appears once the gallery has painted.
        wait_until $bw_wait_program manifest_or_end
        name="$mode-$skin"
        if [ "$flag" = desktop ]; then seen_desktop=gallery; else seen_desktop=; fi
        seen_logs=("$place/out/$mode.log")
        if [ ! -f "$manifest" ]; then
            echo "gallery: $name: no manifest"
            status=1
            say_what_was_seen
            kill "$pid" 2>/dev/null
            wait "$pid" 2>/dev/null
            continue
        fi
        if [ "$flag" = desktop ]; then
            read -r dx dy < <(desktop_offset)
            awk -v dx="$dx" -v dy="$dy" '{ print $1, $2 + dx, $3 + dy, $4 + dx, $5 + dy }' \
                "$manifest" >"$screens/$name.txt"
        else
            cp "$manifest" "$screens/$name.txt"
        fi
        shoot "$screens/$name.png"
        ran=$((ran + 1))
        check="$src/tests/scripts/gallery/$mode.py"
        if [ -f "$check" ]; then
            if python3 "$check" "$screens/$name.png" "$screens/$name.txt" "$ini"; then
                echo "gallery: $name: pixels as the skin says"
            else
                echo "gallery: $name: pixel check failed"
                status=1
                say_what_was_seen
            fi
        else
            echo "gallery: $name: screenshot only (no $mode.py)"
        fi
        touch "$manifest.done"
        wait "$pid"
        code=$?
        if [ "$code" -ne 0 ]; then
            echo "gallery: $name: control_gallery ended with $code"
            status=1
            say_what_was_seen
        fi
    done
done
done
[ "$ran" -gt 0 ] || { echo "gallery: no skin to show, skipped"; exit 77; }
exit $status
