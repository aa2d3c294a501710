#!/usr/bin/env bash
# ctest's cross-compiling emulator: runs a Windows program in the project's
# private Wine prefix (scripts/test starts the wineserver and boots it first).
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/scripts/wine-env.sh"
exec "$WINE" "$@"
