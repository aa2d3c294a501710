# Sourced by the scripts: the project's private Wine prefix and binaries.
top=${top:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${BRINDLEWOX_WINEPREFIX:-"$top/build/wine"}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win64
# winedbg would take over a crashing test program; the crash-dump tests need
# the process to end on its own.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"winedbg.exe=d;mscoree=d;mshtml=d"}
# Wine's loader, without address-space randomisation (see scripts/wine64).
WINE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine64
WINESERVER=/usr/lib/wine/wineserver

# Starts a persistent wineserver and boots the prefix once. Every stdio of the
# boot goes to /dev/null: Wine's own services inherit the first process's
# handles, and anything waiting on those pipes (ctest) would wait for ever.
wine_up() {
    mkdir -p "$WINEPREFIX"
    "$WINESERVER" -p </dev/null >/dev/null 2>&1
    # The marker carries the set-up's version: a prefix set up by an older
    # form of these steps is set up again.
    if [ ! -f "$WINEPREFIX/.brindlewox-ready-2" ]; then
        "$WINE" wineboot -i </dev/null >/dev/null 2>&1
        # The null display driver: windows and dialogs work without X.
        [ "${BRINDLEWOX_DISPLAY:-null}" = null ] && "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
        # Wine's service manager gives a starting service 10 s to reach its
        # dispatcher (Windows 30 s) and reads the limit as a string; on a busy
        # machine a service start then fails as if the program were broken.
        "$WINE" reg add 'HKLM\System\CurrentControlSet\Control' /v ServicesPipeTimeout /t REG_SZ /d 60000 /f </dev/null >/dev/null 2>&1
        # The desktop process of the first boot already chose its driver:
        # start again so that every process sees the setting.
        "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
        "$WINESERVER" -w </dev/null >/dev/null 2>&1 || true
        "$WINESERVER" -p </dev/null >/dev/null 2>&1
        "$WINE" wineboot </dev/null >/dev/null 2>&1
        touch "$WINEPREFIX/.brindlewox-ready-2"
    else
        "$WINE" wineboot </dev/null >/dev/null 2>&1
    fi
}

wine_down() {
    "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
}

# run_wine_within SECONDS PROGRAM ARG...: the program under Wine, ended after
# that many seconds; its output on stdout without carriage returns; its exit
# status. The output goes through a file, never a pipe: a Wine process
# started on the way (a desktop's explorer.exe) inherits it and outlives the
# program, and a command substitution would wait for it for ever.
run_wine_within() {
    local limit=$1 out code
    shift
    out=$(mktemp "${TMPDIR:-/tmp}/bw-wine.XXXXXX")
    timeout "$limit" "$WINE" "$@" </dev/null >"$out" 2>&1
    code=$?
    tr -d '\r' <"$out"
    rm -f "$out"
    return $code
}
# run_wine PROGRAM ARG...: the same within 5 minutes.
run_wine() { run_wine_within 300 "$@"; }
