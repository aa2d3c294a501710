# Sourced by the scripts that run the programs as a user has them installed,
# after wine-env.sh, with bin (the build folder) and deploy (the program
# folder in the prefix, C:\Brindlewox) set: the build's programs and shipped
# data copied there, and the service installed and started from there.
source "$(dirname "${BASH_SOURCE[0]}")/waits.bash"

# deploy_files WHO FILE...: a fresh program folder with an empty out\
# folder, the files named (paths under the build folder) and the shipped
# data; the script ends when a file is missing.
deploy_files() {
    local who=$1 file folder
    shift
    rm -rf "$deploy"
    mkdir -p "$deploy/out"
    for file in "$@"; do
        cp "$bin/$file" "$deploy/" || { echo "$who: $bin/$file is missing"; exit 1; }
    done
    for folder in Skins Languages; do
        [ -d "$bin/$folder" ] && cp -r "$bin/$folder" "$deploy/"
    done
    [ -f "$bin/warning.wav" ] && cp "$bin/warning.wav" "$deploy/"
}

# The program puts itself into the user's Run key ("Run at Windows startup"
# is on by default), and Wine's boot starts what that key names: a program
# left from an earlier run would answer every later start as the running
# instance. Its entry goes, and so does that program: the boot has started
# it by the time wineboot returns, and each look ends what it finds until
# taskkill finds none (128).
forget_run_entry() {
    "$WINE" reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v ORVANELBrindlewox /f \
        </dev/null >/dev/null 2>&1
    wait_until $bw_wait_end no_program_left ||
        echo "$(basename "$0" .sh): a Brindlewox.exe is still running"
}
no_program_left() {
    "$WINE" taskkill /f /im Brindlewox.exe </dev/null >/dev/null 2>&1
    [ $? = 128 ]
}

srv() { "$WINE" 'C:\Brindlewox\BrindlewoxSrv.exe' "$@" </dev/null >/dev/null 2>&1; }
state() {
    "$WINE" sc query OVBrinwoxSrv </dev/null 2>/dev/null | tr -d '\r' | awk '/STATE/ { print $4 }'
}

service_running() { [ "$(state)" = RUNNING ]; }

# start_deployed_service: installs and starts the service from the program
# folder; false when it is not running within the bound.
start_deployed_service() {
    srv -uninstall
    srv -install
    srv -start
    wait_until $bw_wait_service service_running
}
