# Sourced by the picture shell tests once they set top and bin (not a test
# itself: ctest runs *.sh): Wine's environment ($WINE), the picture dumper
# ($dump) and the comparison ($compare).
source "$top/scripts/wine-env.sh"
dump="$bin/tests/picture_dump.exe"
compare="$top/tests/scripts/picture_compare.py"

# picture_setup <test name> <paths that must exist>...: stops the test naming
# what is missing; sets work (a folder of this run's own under the prefix's
# C: drive, where everything the Windows side reads is copied) and win (its
# Windows path).
picture_setup() {
    local test=$1 need
    shift
    for need in "$@"; do
        [ -n "$need" ] && [ -e "$need" ] || { echo "$test: missing ${need:-a tool}"; exit 1; }
    done
    name="$test-$$-$RANDOM"
    work="$WINEPREFIX/drive_c/bwtest/$name"
    win="C:\\bwtest\\$name"
    rm -rf "$work"
}

# run <set> [type] [frame]: decodes <work>/<set>/in into <work>/<set>/out.
run() {
    mkdir -p "$work/$1/out"
    "$WINE" "$dump" "$win\\$1\\in" "$win\\$1\\out" "${2:-0}" "${3:-0}" </dev/null
}
