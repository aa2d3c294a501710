#!/usr/bin/env bash
# A profile created by the engine under Wine, read by the native sqlite3
# command line: both tables with their columns in the stored order, and the
# one settings row of a fresh profile.
set -euo pipefail
src=$1
bin=$2
top=$src
source "$src/scripts/wine-env.sh"

name="profile-schema-$$"
dir="$WINEPREFIX/drive_c/bwtest/$name"
log=$(mktemp)
trap 'rm -rf "$dir" "$log"' EXIT
rm -rf "$dir"
mkdir -p "$dir"

# Wine's output goes to a file: on a pipe every call waits for its helpers.
if ! BRINDLEWOX_PROFILE_DIR="C:\\bwtest\\$name" "$WINE" "$bin/tests/engine_tests.exe" \
        --gtest_filter=ProfileFileTest.FirstCreateMakesBothTablesAndOneSettingsRow \
        </dev/null >"$log" 2>&1; then
    cat "$log"
    exit 1
fi
db="$dir/profile.prb"
[ -f "$db" ] || { echo "no profile.prb was created"; exit 1; }

status=0
expect() {
    local what=$1 want=$2 got=$3
    if [ "$got" != "$want" ]; then
        printf '%s:\n  want: %s\n  got:  %s\n' "$what" "$want" "$got"
        status=1
    fi
}

expect "file header" "SQLite format 3" "$(head -c 15 "$db")"
expect "tables" "backup_settings backup_what" \
    "$(sqlite3 "$db" "SELECT name FROM sqlite_master WHERE type='table' ORDER BY name;" | tr '\n' ' ' | sed 's/ $//')"
expect "backup_what columns" \
    "id_backup_what INTEGER 1,type_id INTEGER 0,extra_id INTEGER 0,value1 TEXT 0,value2 TEXT 0,value3 TEXT 0,value4 TEXT 0,value5 TEXT 0,value6 TEXT 0,value7 TEXT 0,value8 TEXT 0,checked INTEGER 0" \
    "$(sqlite3 -separator ' ' "$db" "SELECT name, type, pk FROM pragma_table_info('backup_what');" | paste -sd,)"
expect "backup_settings columns" \
    "id_backup_settings INTEGER 1,type_id INTEGER 0,backup_where TEXT 0,compress INTEGER 0,encrypt INTEGER 0,encrypt_pwd TEXT 0" \
    "$(sqlite3 -separator ' ' "$db" "SELECT name, type, pk FROM pragma_table_info('backup_settings');" | paste -sd,)"
expect "settings row" "1|0||0|0|" "$(sqlite3 "$db" "SELECT * FROM backup_settings;")"
expect "source rows" "0" "$(sqlite3 "$db" "SELECT count(*) FROM backup_what;")"
expect "integrity" "ok" "$(sqlite3 "$db" "PRAGMA integrity_check;")"
exit $status
