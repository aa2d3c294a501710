# Sourced by main-window-screens.sh: the program's message (190), question
# (1006) and about (157) dialogs as the running program shows them, one
# screenshot each, build/screens/main-<skin>-dialog-<kind>.png, checked by
# dialog_pixels.py against the skin's own dialog picture. The message is the
# support form's "Please fill in all required fields." (Submit with the form
# empty), the question Apply's (closed with Close, so nothing restarts), the
# about dialog the title bar's About. Each command is posted once the main
# window can take it (the dialog before it gone), and each screenshot taken
# once the dialog has painted (flow_driver). Needs WINE, deploy (with
# flow_driver.exe in it), screens, python, here and fail from the script,
# and the bounds of waits.bash.

# shoot_message_dialogs <desktop> <skin> <desktop's x> <desktop's y>
shoot_message_dialogs() {
    local desktop=$1 skin=$2 dx=$3 dy=$4
    local kind command item text button found name l t r b
    for kind in message question about; do
        case $kind in
        message) command=834 item=372 text="Please fill in all required fields." button=1 ;;
        question) command=801 item=372 text="will not be visible" button=2 ;;
        about) command=232 item=501 text="Version" button=1 ;;
        esac
        name="main-$skin-dialog-$kind"
        if ! found=$(flow command "$desktop" $command $bw_wait_step); then
            fail "$name: command $command was not posted: $found"
            continue
        fi
        if ! found=$(flow dialog "$desktop" $item "$text" 0 $bw_wait_step); then
            fail "$name: no dialog: $found"
            continue
        fi
        read -r l t r b <<<"${found##*|}"
        shoot "$deploy/out/dialog.png"
        if "$python" "$here/dialog_pixels.py" "$deploy/out/dialog.png" "$screens/$name.png" \
            $((l + dx)) $((t + dy)) $((r - l)) $((b - t)) $kind "$deploy/Skins/$skin"; then
            echo "main-window-screens: $name: as the skin says"
        else
            fail "$name: pixel checks"
        fi
        found=$(flow dialog "$desktop" $item "$text" $button $bw_wait_step) ||
            fail "$name: not closed: $found"
    done
}

# shoot_what_to_add <desktop> <skin> <desktop's x> <desktop's y>: Add...'s
# dialog switched to a web site's database, its every field shown,
# build/screens/main-<skin>-what-to-add-database.png; the labels' ink must
# stay inside their own column (the "Web URL:" label takes two lines there).
shoot_what_to_add() {
    local desktop=$1 skin=$2 dx=$3 dy=$4
    local name="main-$skin-what-to-add-database" found l t r b
    if ! flow command "$desktop" 211 $bw_wait_step >/dev/null; then
        fail "$name: Add... was not posted"
        return
    fi
    if ! found=$(flow choose "$desktop" 226 "Type" 3004 1 $bw_wait_step); then
        fail "$name: no dialog: $found"
        return
    fi
    read -r l t r b <<<"$found"
    last_screenshot="$screens/$name.png"
    import -window root -crop "$((r - l))x$((b - t))+$((l + dx))+$((t + dy))" +repage \
        "PNG24:$screens/$name.png" || fail "$name: no screenshot"
    echo "main-window-screens: $name written"
    flow dialog "$desktop" 226 "Type" 2 $bw_wait_step >/dev/null || fail "$name: not closed"
}

flow() { run_wine_within $bw_wait_tool 'C:\Brindlewox\flow_driver.exe' "$@"; }
