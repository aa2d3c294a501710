# Sourced first, with the script's own arguments, by the scripts that look
# at windows: the script runs again under Xvfb with a 24-bit screen (Xvfb's
# default depth of 8 bits dithers every colour) on a free display, unless
# it already does; without Xvfb it ends as skipped (77).
if [ -z "${BRINDLEWOX_IN_XVFB:-}" ]; then
    for tool in xvfb-run Xvfb; do
        command -v "$tool" >/dev/null || { echo "$(basename "$0" .sh): no $tool, skipped"; exit 77; }
    done
    export BRINDLEWOX_IN_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x800x24" bash "$0" "$@"
fi

# Where Wine's virtual desktop window lies on the X screen ("x y"): the
# programs report positions on that desktop.
desktop_offset() {
    local id geometry
    id=$(xdotool search --name 'Wine desktop' 2>/dev/null | head -1)
    [ -n "$id" ] || { echo "0 0"; return; }
    geometry=$(xdotool getwindowgeometry "$id" | sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p')
    echo "${geometry:-0 0}"
}

source "$(dirname "${BASH_SOURCE[0]}")/waits.bash"

# shoot FILE: a screenshot of the whole screen as a 24-bit PNG, kept as the
# last one for say_what_was_seen.
last_screenshot=
shoot() {
    last_screenshot=$1
    import -window root "PNG24:$1"
}

# say_what_was_seen: what a failing window script prints so that a failure
# can be read from the CI log alone: the windows on the Wine desktop named
# in seen_desktop (none: the default desktop), the last screenshot's path
# and one taken now, and the end of each file that the patterns in the
# array seen_logs match (the program's log, its output). Needs WINE, bin and
# screens; the first three failures of a run say it, later ones do not.
seen_desktop=
seen_logs=()
seen_count=0
say_what_was_seen() {
    local pattern file now
    seen_count=$((seen_count + 1))
    if [ $seen_count -gt 3 ]; then
        echo "  (what was seen is told for the first three failures only)"
        return
    fi
    echo "--- what $(basename "$0" .sh) saw at $(date +%T):"
    run_wine_within $bw_wait_step "$bin/tests/desktop_windows.exe" "${seen_desktop:--}" | sed 's/^/  /'
    echo "  last screenshot: ${last_screenshot:-none}"
    now="$screens/$(basename "$0" .sh)-failed-$seen_count.png"
    import -window root "PNG24:$now" 2>/dev/null && echo "  the screen now: $now"
    for pattern in "${seen_logs[@]}"; do
        while IFS= read -r file; do
            echo "  --- the end of $file:"
            tail -n 15 "$file" | tr -d '\r' | sed 's/^/  | /'
        done < <(compgen -G "$pattern")
    done
    echo "---"
}
