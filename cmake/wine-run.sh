#!/usr/bin/env bash
# ctest's cross-compiling emulator: runs a Windows program in the project's
# private Wine prefix (scripts/test starts the wineserver and boots it first).
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/scripts/wine-env.sh"
start=$(date +%s.%N)
"$WINE" "$@"
status=$?
if [ $status -ne 0 ]; then
    # Kept for diagnosing failures that leave no output of their own.
    printf '%s exit %d after %.2fs: %s\n' "$(date +%T)" $status \
        "$(echo "$(date +%s.%N) - $start" | bc)" "$*" >> "$top/build/wine-run.log"
fi
exit $status
