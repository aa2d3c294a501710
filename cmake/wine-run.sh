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
start=${EPOCHREALTIME/./}
"$WINE" "$@" >"$out" 2>"$err" &
program=$!
# Each follower ends once the program has ended and its file is read.
tail -c +1 -s 0.1 --pid=$program -f "$out" &
tail -c +1 -s 0.1 --pid=$program -f "$err" >&2 &
wait $program
status=$?
wait
if [ $status -ne 0 ]; then
    # Kept for diagnosing failures that leave no output of their own.
    elapsed=$(( (${EPOCHREALTIME/./} - start) / 1000 ))
    printf '%s exit %d after %d ms: %s\n' "$(date +%T)" $status $elapsed "$*" \
        >> "$top/build/wine-run.log"
fi
exit $status
