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
