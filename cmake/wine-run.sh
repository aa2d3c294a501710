#!/usr/bin/env bash
# ctest's cross-compiling emulator: runs a Windows program in the project's
# private Wine prefix (scripts/test starts the wineserver and boots it first).
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/scripts/wine-env.sh"
start=${EPOCHREALTIME/./}
"$WINE" "$@"
status=$?
if [ $status -ne 0 ]; then
    # Kept for diagnosing failures that leave no output of their own.
    elapsed=$(( (${EPOCHREALTIME/./} - start) / 1000 ))
    printf '%s exit %d after %d ms: %s\n' "$(date +%T)" $status $elapsed "$*" \
        >> "$top/build/wine-run.log"
fi
exit $status
