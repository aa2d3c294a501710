#!/usr/bin/env bash
# The crash-dump writer takes the DBGHELP.DLL beside the program before the
# system's: the foundation tests program is copied into folders of its own
# with stub DLLs built here, and crashed in its "null" child mode (see
# tests/foundation/CrashDumpTest.cpp). Wine uses its own dbghelp even for a
# full path unless told to prefer the native one (dbghelp=n,b). Last, the
# service's filter without any dump library ("crash" child mode of
# tests/service/ServiceChildren.cpp): no dump, nothing shown, restarted.
set -uo pipefail
top=$1
bin=$2
source "$top/scripts/wine-env.sh"
name=crashdump-library-$$
work="$WINEPREFIX/drive_c/bwtest/$name"
win="C:\\bwtest\\$name"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/stub" "$work/old" "$work/none" "$work/service"

cat >"$work/stub.c" <<'SOURCE'
#include <windows.h>
/* Writes four letters instead of a dump. */
__declspec(dllexport) BOOL WINAPI MiniDumpWriteDump(HANDLE process, DWORD id, HANDLE file,
                                                    int type, void* exception, void* user,
                                                    void* callback)
{
    DWORD written = 0;
    return WriteFile(file, "STUB", 4, &written, NULL);
}
SOURCE
cat >"$work/old.c" <<'SOURCE'
/* A dump library without MiniDumpWriteDump. */
__declspec(dllexport) int SymInitializeStandIn(void) { return 0; }
SOURCE
x86_64-w64-mingw32-gcc-posix -shared -o "$work/stub/DBGHELP.DLL" "$work/stub.c" || exit 1
x86_64-w64-mingw32-gcc-posix -shared -o "$work/old/DBGHELP.DLL" "$work/old.c" || exit 1
for folder in stub old none; do
    cp "$bin/tests/foundation_tests.exe" "$work/$folder/"
done

status=0
fail() {
    echo "$1"
    status=1
}

# crash FOLDER OVERRIDES: runs the copy in FOLDER, its temporary folder being
# FOLDER itself; prints the exit status.
crash() {
    BW_CRASH_CHILD=null BW_CHILD_TMP="$win\\$1" BW_CHILD_TEXT="$win\\$1\\shown.txt" \
        WINEDLLOVERRIDES="$2;winedbg.exe=d;mscoree=d;mshtml=d" \
        "$WINE" "$work/$1/foundation_tests.exe" </dev/null >/dev/null 2>&1
    echo $?
}

# The stub beside the program writes the "dump".
rc=$(crash stub "dbghelp=n,b")
[ "$rc" = 5 ] || fail "stub: exit status $rc, not 5 (access violation)"
[ "$(cat "$work/stub/TestApp.dmp" 2>/dev/null)" = STUB ] || fail "stub: the dump was not written by the stub beside the program"
expected=$(printf "TestApp\nSaved dump file to '%s'" "$win\\stub\\TestApp.dmp")
[ "$(cat "$work/stub/shown.txt" 2>/dev/null)" = "$expected" ] || fail "stub: shown '$(cat "$work/stub/shown.txt" 2>/dev/null)'"

# A library without the function: no dump, and the system's handling ends
# the process.
rc=$(crash old "dbghelp=n,b")
[ "$rc" = 5 ] || fail "old: exit status $rc, not 5 (access violation)"
[ ! -e "$work/old/TestApp.dmp" ] || fail "old: a dump file was made"
[ "$(cat "$work/old/shown.txt" 2>/dev/null)" = "$(printf 'TestApp\nDBGHELP.DLL too old')" ] || fail "old: shown '$(cat "$work/old/shown.txt" 2>/dev/null)'"

# No library at all.
rc=$(crash none "dbghelp=d")
[ "$rc" = 5 ] || fail "none: exit status $rc, not 5 (access violation)"
[ ! -e "$work/none/TestApp.dmp" ] || fail "none: a dump file was made"
[ "$(cat "$work/none/shown.txt" 2>/dev/null)" = "$(printf 'TestApp\nDBGHELP.DLL not found')" ] || fail "none: shown '$(cat "$work/none/shown.txt" 2>/dev/null)'"

# The service without a dump library: restarted all the same.
BW_SERVICE_CHILD=crash BW_CHILD_TMP="$win\\service" BW_CHILD_NAME=TestSrv \
    BW_CHILD_MARKER="$win\\service\\restarted.txt" BW_CHILD_TEXT="$win\\service\\shown.txt" \
    WINEDLLOVERRIDES="dbghelp=d;winedbg.exe=d;mscoree=d;mshtml=d" \
    "$WINE" "$bin/tests/service_tests.exe" </dev/null >/dev/null 2>&1
rc=$?
[ "$rc" = 5 ] || fail "service: exit status $rc, not 5 (access violation)"
[ ! -e "$work/service/TestSrv.dmp" ] || fail "service: a dump file was made"
[ ! -e "$work/service/shown.txt" ] || fail "service: a message was shown"
[ "$(cat "$work/service/restarted.txt" 2>/dev/null)" = restarted ] || fail "service: not restarted"

exit $status
