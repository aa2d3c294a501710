#!/usr/bin/env bash
# The three programs are 64-bit PE executables that need no DLL beside them:
# every import is a DLL of Windows itself.
set -euo pipefail
bin=$2
system='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comctl32|comdlg32|winmm|version|mpr|wininet|ws2_32|msimg32|msvcrt|uxtheme|wtsapi32|dbghelp|crypt32|secur32|imm32|userenv|rpcrt4|bcrypt|ntdll|api-ms-win-.*)\.dll$'
status=0
for exe in Brindlewox.exe BrindlewoxSrv.exe BrindlewoxSkin.exe; do
    path="$bin/$exe"
    file "$path" | grep -q 'PE32+ executable.*x86-64' || { echo "$exe: not a 64-bit PE executable"; status=1; }
    while read -r dll; do
        if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$system"; then
            echo "$exe imports $dll, which Windows does not have"
            status=1
        fi
    done < <(x86_64-w64-mingw32-objdump -p "$path" | sed -n 's/^\s*DLL Name: //p')
done
exit $status
