#!/usr/bin/env bash
# ctest's cross-compiling emulator: runs a Windows program in the project's
# private Wine prefix (scripts/test starts the wineserver and boots it first).
#
# The program writes into files that are passed on as they grow, never into
# ctest's pipes: a Wine process that it starts on the way, such as the
# desktop's explorer.exe when none is running, inherits its output and lives
# on after it, and ctest would wait for that end of the pipe to close (until
# the test's time-out when the rest of the run keeps the desktop busy).
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/scripts/wine-env.sh"
out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX") || exit 1
err=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX") || exit 1
trap 'rm -f "$out" "$err"' EXIT

# run_program: the program once, its output passed on; sets status and elapsed.
run_program() {
    local start=${EPOCHREALTIME/./}
    : >"$out"
    : >"$err"
    "$WINE" "$@" >"$out" 2>"$err" &
    local program=$!
    # Each follower ends once the program has ended and its file is read.
    tail -c +1 -s 0.1 --pid=$program -f "$out" &
    tail -c +1 -s 0.1 --pid=$program -f "$err" >&2 &
    wait $program
    status=$?
    wait
    elapsed=$(( (${EPOCHREALTIME/./} - start) / 1000 ))
}

# Kept for diagnosing failures that leave no output of their own.
log_failure() {
    printf '%s exit %d after %d ms%s: %s\n' "$(date +%T)" $status $elapsed "$1" "${*:2}" \
        >> "$top/build/wine-run.log"
}

run_program "$@"
if [ $status -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
    # A test program prints and flushes before its first test begins, so a
    # failure without a single byte ended the process while Wine was
    # starting it, and with WINEDEBUG=-all Wine said nothing of why. The
    # one cause found (exit 1 after 0.1-0.6 s: the loader's heap over the
    # shared user data, about one start in a thousand) is gone with the
    # randomisation switched off (scripts/wine64). For any other, the
    # program runs once more with Wine's errors shown, so a failure that is
    # the program's own still fails, now with a reason; scripts/test counts
    # these second runs at its end.
    log_failure ", no output; run again" "$@"
    echo "wine-run: exit $status after $elapsed ms without any output; running it again" >&2
    WINEDEBUG=err+all run_program "$@"
fi
[ $status -ne 0 ] && log_failure "" "$@"
exit $status
