#!/usr/bin/env bash
# A web site's database backed up through the main window as a user makes
# it: Brindlewox.exe under Xvfb (24-bit) with Wine's X11 driver, in a prefix
# of its own, inside Wine's virtual desktop, with the real service, on a
# fresh profile. The site is a MariaDB server, pyftpdlib and `php -S` on a
# loopback address of the run's own with the standard ports (21 and 80), as
# the program reaches every site.
#
# tests/tools/service_window_driver.exe presses Add..., picks "Database
# Dump/MySql/PHP" in the type combo, types the site's fields (screenshot
# build/screens/main-web-dump-dialog.png) and presses OK; picks the
# destination; Start ends in "Task sucessfully completed.". Checked here:
# the profile's row; Databases\<UTC date>\<database>.sql in the destination,
# which loads into an empty database equal to the source (SHOW CREATE TABLE
# and CHECKSUM TABLE per table); the script gone from the server and from
# %TEMP%. Then Compress and Encrypt... on, another destination: the stored
# dump, decoded by the project's restore (engine_tests.exe in its restore
# mode), is the same dump. Then a second row with a wrong FTP password: the
# run ends in "Errors found: 1" (screenshot
# build/screens/main-web-dump-errors.png), the log says why. Then a second
# site dumping a database of the same name through an FTP server that takes
# the script at 50 B/s: the first site's file is named with its host and
# still loads equal to its source; Stop, and then the tray's Close, pressed
# during the upload end the run (and the program) at once, the log says
# the dump was stopped, and nothing of it is left: no filled script in
# %TEMP%, no script on the server, no file in the destination. No log holds
# a password or the sid.
# Usage: main-web-dump.sh <source dir> <build dir>. Exit 77 (skipped)
# without Xvfb or a server of the site.
set -uo pipefail
src=$(cd "$1" && pwd)
bin=$(cd "$2" && pwd)

source "$src/tests/scripts/lib/in-xvfb.bash"
source "$src/tests/scripts/lib/web-dump-servers.bash"
web_dump_need ftp
for tool in import sqlite3 xdotool; do
    command -v "$tool" >/dev/null || { echo "main-web-dump: no $tool (scripts/bootstrap installs it)"; exit 1; }
done
site=$(web_dump_site_address)
[ -n "$site" ] || web_dump_skip "no loopback address with ports 21 and 80 free (they need root)"

top=$src
export BRINDLEWOX_WINEPREFIX="$bin/wine-main-web-dump"
export BRINDLEWOX_DISPLAY=x11
source "$src/scripts/wine-env.sh"
source "$src/tests/scripts/lib/deployed-service.bash"
source "$src/tests/scripts/lib/window-program.bash"
# A fresh prefix each run, as service-window.sh says why.
rm -rf "$WINEPREFIX"

status=0
fail() {
    echo "FAIL: $*"
    status=1
    say_what_was_seen
}

work=$(mktemp -d "${TMPDIR:-/tmp}/bw-main-web-dump.XXXXXX")
screens="$(dirname "$bin")/screens"
mkdir -p "$screens"
drive="$WINEPREFIX/drive_c"
deploy="$drive/Brindlewox"
wine_started=
cleanup() {
    [ -n "$wine_started" ] && stop_window_program
    web_dump_stop_servers
    rm -rf "$work"
}
trap cleanup EXIT

# ---- The site ----
web_dump_start_mariadb "$work"
dumppw="sh'op\\pa\"ss BRINDLEWOX_VALUE"
ftppw="ftp'se\\cret"
sql <<SQL || { echo "FAIL: the site's database"; exit 1; }
CREATE DATABASE shopdb CHARACTER SET utf8mb4;
USE shopdb;
CREATE TABLE items (
    id INT PRIMARY KEY,
    name VARCHAR(100) NOT NULL,
    flags BIT(13) NULL,
    weight FLOAT NULL,
    picture BLOB NULL,
    added TIMESTAMP(3) NULL,
    label VARCHAR(120) AS (CONCAT(name, ' #', id)) VIRTUAL
) CHARACTER SET utf8mb4;
INSERT INTO items (id, name, flags, weight, picture, added) VALUES
    (1, 'Ann''s \\\\ "item" Grüße 😀', b'1111100111011', 16777216, UNHEX('00FF0D0A1A275C'),
     '2026-03-29 01:30:00.250'),
    (2, 'second', b'1', 0.1, NULL, NULL), (3, '', NULL, NULL, '', '1970-01-01 00:00:01');
CREATE TABLE orders (id INT PRIMARY KEY AUTO_INCREMENT, item INT, note TEXT) CHARACTER SET utf8mb4;
INSERT INTO orders (item, note) VALUES (1, CONCAT('line', CHAR(13, 10), 'two')), (2, NULL);
CREATE VIEW big_orders AS SELECT o.id, i.name FROM orders o JOIN items i ON i.id = o.item;
CREATE USER 'dumper'@'127.0.0.1' IDENTIFIED BY '$(web_dump_sql_text "$dumppw")';
GRANT SELECT, SHOW VIEW, TRIGGER ON shopdb.* TO 'dumper'@'127.0.0.1';
SQL
root="$work/ftp"
mkdir -p "$root/public_html"
web_dump_start_ftp "$root" ftpuser "$ftppw" "$work/ftp.log" "$site" 21
web_dump_start_php "$root/public_html" "$work/php.log" "$site" 80
web_dump_wait_ports "$site" 21 80 || { echo "FAIL: the site's servers did not start"; exit 1; }

# ---- The program, on a fresh profile ----
wine_up
wine_started=1
deploy_files main-web-dump Brindlewox.exe BrindlewoxSrv.exe BrindlewoxMySqlDump.php \
    tests/service_window_driver.exe
start_deployed_service || { echo "FAIL: the service did not start: state '$(state)'"; exit 1; }
fresh_profile main-web-dump
tmpdir=$(ls -d "$drive"/users/*/AppData/Local/Temp "$drive"/users/*/Temp 2>/dev/null | grep -v /Public/ | head -1)
mkdir -p "$drive/web dest" "$drive/web dest2" "$drive/web dest3" "$drive/web dest4" "$drive/web dest5"

shot() {
    last_screenshot="$screens/$1.png"
    import -window root -crop 1024x768+0+0 +repage "PNG24:$screens/$1.png" || fail "no screenshot $1"
}
today=$(date -u +%F)
dumpfile() { echo "$drive/$1/Databases/$today/shopdb.sql"; }
tables() { sql -N -e "SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'shopdb' AND TABLE_TYPE = 'BASE TABLE'"; }
# same_as_source FILE COPY: the dump loads into the empty database COPY
# without a warning, with the source's tables, rows and view.
same_as_source() {
    local said table
    sql -e "CREATE DATABASE $2 CHARACTER SET utf8mb4" || { fail "$2: no database"; return; }
    said=$(sql --show-warnings "$2" <"$1" 2>&1 | grep -Ev '^Note \(Code (1051|4092)\)')
    [ -z "$said" ] || fail "$2: the load said: $said"
    while IFS= read -r table; do
        [ "$(sql -N shopdb -e "SHOW CREATE TABLE $table" | cut -f2-)" = "$(sql -N "$2" -e "SHOW CREATE TABLE $table" | cut -f2-)" ] ||
            fail "$2: SHOW CREATE TABLE $table differs"
        [ "$(sql -N shopdb -e "CHECKSUM TABLE $table" | cut -f2)" = "$(sql -N "$2" -e "CHECKSUM TABLE $table" | cut -f2)" ] ||
            fail "$2: CHECKSUM TABLE $table differs"
    done < <(tables)
    [ "$(sql -N "$2" -e "SELECT TABLE_TYPE FROM information_schema.TABLES WHERE TABLE_SCHEMA = '$2' AND TABLE_NAME = 'big_orders'")" = VIEW ] ||
        fail "$2: the view is not there as a view"
}
no_script_left() {
    # php's own unlink may finish just after the answer.
    script_gone() { [ -z "$(find "$root" -name 'BrindlewoxMySqlDump.php')" ]; }
    wait_until $bw_wait_step script_gone || fail "$1: the script stayed on the server"
    [ -z "$(find "$tmpdir" -maxdepth 1 -iname 'qvt*.tmp' 2>/dev/null)" ] || fail "$1: a filled script stayed in %TEMP%"
}

start_window_program
wait_profile_known

# ---- The row, typed into the dialog ----
step adddb "http://$site" "$site" public_html ftpuser "$ftppw" "127.0.0.1:$db_port" shopdb dumper "$dumppw"
shot main-web-dump-dialog
step ok 3013
row=$(query "SELECT type_id, value1, value2, value3, value4, value5, value6, value7, value8, checked FROM backup_what;")
[ "$row" = "1|http://$site|$site:public_html|ftpuser|$ftppw|127.0.0.1:$db_port|shopdb|dumper|$dumppw|1" ] ||
    fail "the stored row: '$row'"

# ---- Plain ----
step pick 212 'C:\web dest'
step command 213
step message "Task sucessfully completed."
plain=$(dumpfile "web dest")
[ -s "$plain" ] || fail "no dump in the destination: $(find "$drive/web dest" | head)"
[ "$(tail -n 1 "$plain")" = "-- Brindlewox dump complete" ] || fail "the stored dump is not whole"
no_script_left plain
same_as_source "$plain" plaincopy

# ---- Compressed and encrypted, decoded by the project's restore ----
step click 3030
step encrypt "k'ey9"
settings=$(query "SELECT compress, encrypt, encrypt_pwd FROM backup_settings;")
[ "$settings" = "1|1|k'ey9" ] || fail "the stored form in the profile: '$settings'"
step pick 212 'C:\web dest2'
step command 213
step message "Task sucessfully completed."
packed=$(dumpfile "web dest2")
[ -s "$packed" ] || fail "no dump in the second destination"
cmp -s "$packed" "$plain" && fail "the second dump is stored plain"
grep -qa "shopdb\|INSERT" "$packed" && fail "the second dump holds readable text"
no_script_left packed
env BW_WEB_DUMP_CHILD=restore BW_RESTORE_SOURCE="C:\\web dest2\\Databases\\$today\\shopdb.sql" \
    BW_RESTORE_TARGET='C:\web dest2\decoded.sql' BW_DUMP_COMPRESS=1 BW_DUMP_ENCRYPT=1 \
    BW_DUMP_PASSWORD="k'ey9" timeout 300 "$WINE" "$bin/tests/engine_tests.exe" </dev/null >/dev/null 2>&1 ||
    fail "the project's restore did not decode the dump"
cmp -s "$drive/web dest2/decoded.sql" "$plain" || fail "the decoded dump differs from the plain one"
same_as_source "$drive/web dest2/decoded.sql" packedcopy

# ---- A run with an error ----
step adddb "http://$site" "$site" public_html ftpuser wrongftp "127.0.0.1:$db_port" otherdb dumper "$dumppw"
step ok 3013
step pick 212 'C:\web dest3'
step command 213
step seemessage "Errors found: 1"
shot main-web-dump-errors
step message "Errors found: 1"
[ -s "$(dumpfile "web dest3")" ] || fail "the good row was not dumped beside the failing one"
[ -e "$drive/web dest3/Databases/$today/otherdb.sql" ] && fail "the failing row left a file"
log=$(cat "$userfolder"/Log/*.txt 2>/dev/null | tr -d '\r')
grep -qF "$site: Cannot write to FTP." <<<"$log" && grep -qF "Error at: http://$site" <<<"$log" ||
    fail "the log does not say why the row failed"
grep -qF "Errors found: 1" <<<"$log" || fail "the log has no summary with the error"
sid=$(printf '%s' "$dumppw" | md5sum | cut -c1-32)
for secret in "$ftppw" "$dumppw" "wrongftp" "k'ey9" "$sid" "sid="; do
    grep -qF -- "$secret" <<<"$log" && fail "the log holds a credential: $secret"
done
no_script_left errors

# ---- Stop and Close during a dump ----
# A second site, dumping a database of the first one's name, whose FTP
# server takes the script at 50 B/s (an upload of four minutes). The
# first site's file now carries its host. The Stop (213) pressed during the
# upload ends the run long before the upload could end; so does the tray's
# Close, which ends the program. Each time the log says the dump was
# stopped, and neither the filled script nor the script on the server nor
# a file of the stopped dump is left.
slowsite=$(web_dump_site_address)
slowroot="$work/slowftp"
mkdir -p "$slowroot/public_html"
if [ -z "$slowsite" ] || [ "$slowsite" = "$site" ]; then
    fail "no second loopback address for the slow site"
else
    web_dump_start_slow_ftp "$slowroot" ftpuser "$ftppw" "$work/slowftp.log" 50 "$slowsite" 21
    web_dump_wait_ports "$slowsite" 21 || fail "the slow site's FTP server did not start"
fi
# The server makes the file when the upload begins (and writes what came
# in pieces of 8 KiB).
uploading() { [ -e "$slowroot/public_html/BrindlewoxMySqlDump.php" ]; }
slow_script_gone() { [ -z "$(find "$slowroot" -name 'BrindlewoxMySqlDump.php')" ]; }
stopped_lines() { cat "$userfolder"/Log/*.txt 2>/dev/null | tr -d '\r' | grep -cF "Database dump stopped, nothing stored: http://$slowsite"; }
# after_stop WHAT DEST COUNT: what a stopped dump must leave.
after_stop() {
    [ "$(stopped_lines)" = "$3" ] || fail "$1: the log does not say the dump was stopped"
    wait_until $bw_wait_step slow_script_gone || fail "$1: the script stayed on the slow site"
    [ -z "$(find "$tmpdir" -maxdepth 1 -iname 'qvt*.tmp' 2>/dev/null)" ] || fail "$1: a filled script stayed in %TEMP%"
    [ ! -e "$drive/$2/Databases/$today/shopdb@$slowsite.sql" ] || fail "$1: the stopped dump left a file"
    [ -z "$(find "$drive/$2" -name '*.tmp')" ] || fail "$1: a .tmp stayed in the destination"
}
step adddb "http://$slowsite" "$slowsite" public_html ftpuser "$ftppw" "127.0.0.1:$db_port" shopdb dumper "$dumppw"
step ok 3013
step pick 212 'C:\web dest4'
step command 213
wait_until $bw_wait_task uploading || fail "stop: the slow upload did not begin"
started=$(date +%s)
step command 213
step enabled 213
echo "stop: the run ended $(($(date +%s) - started)) s after the Stop was pressed"
after_stop stop "web dest4" 1
[ -s "$drive/web dest4/Databases/$today/shopdb@$site.sql" ] ||
    fail "the first site's dump is not named with its host: $(ls "$drive/web dest4/Databases/$today")"
[ ! -e "$drive/web dest4/Databases/$today/shopdb.sql" ] || fail "a row's file is still named by the database alone"
# Compress and Encrypt are still on.
env BW_WEB_DUMP_CHILD=restore BW_RESTORE_SOURCE="C:\\web dest4\\Databases\\$today\\shopdb@$site.sql" \
    BW_RESTORE_TARGET='C:\web dest4\decoded.sql' BW_DUMP_COMPRESS=1 BW_DUMP_ENCRYPT=1 \
    BW_DUMP_PASSWORD="k'ey9" timeout 300 "$WINE" "$bin/tests/engine_tests.exe" </dev/null >/dev/null 2>&1 ||
    fail "the project's restore did not decode the first site's dump"
same_as_source "$drive/web dest4/decoded.sql" hostedcopy

step pick 212 'C:\web dest5'
step command 213
wait_until $bw_wait_task uploading || fail "close: the slow upload did not begin"
started=$(date +%s)
step command 390
program_ended() { ! kill -0 "$program" 2>/dev/null; }
wait_until $bw_wait_step program_ended || fail "close: the program did not end during the dump"
echo "close: the program ended $(($(date +%s) - started)) s after Close"
after_stop close "web dest5" 2

[ $status -eq 0 ] && echo "main-web-dump: all checks passed; screenshots in $screens/main-web-dump-*.png"
exit $status
