#!/usr/bin/env bash
# The web-site database dump against real servers on 127.0.0.1, each started
# and stopped here by its PID: a MariaDB server (own data folder and port)
# with a test database, pyftpdlib on an FTP root, and `php -S` serving that
# root's public_html, so the uploaded template really runs and dumps. The
# engine tests program drives a real backup run of the web-site rows (child
# mode "run") in a Wine prefix of its own (the cases change the proxy
# setting). Skipped (77) when a piece cannot be had.
#
# Cases: the dump in all four stored forms (decoded natively and by the
# project's restore) loads into an emptied database with the same CHECKSUM
# TABLE, as <database>.sql; a second run the same day skips; a missing FTP
# folder lands in public_html; two rows with one database name on two sites
# (a second site on 127.0.0.2 with a MariaDB server of its own) each get a
# file of their own, each loading equal to its source. Failures: wrong FTP
# password, a 404, a table the dump user may not read, a proxy refusing
# every login; each stores nothing, keeps an earlier day's dump, counts one
# error and leaves neither script behind. Stops by the window's Stop and by
# the worker's stop event, during a slow download and during a slow upload:
# each run ends as stopped within 10 s, the dump logged as stopped and
# counted as nothing, and leaves nothing behind either. No credential ever reaches a log.
set -uo pipefail
top=$1
bin=$2
source "$top/tests/scripts/lib/web-dump-servers.bash"
web_dump_need ftp
py=$web_dump_py
command -v bunzip2 >/dev/null || web_dump_skip "bzip2"

export BRINDLEWOX_WINEPREFIX="$top/build/wine-webdump"
source "$top/scripts/wine-env.sh"
source "$top/tests/scripts/lib/waits.bash"
work=$(mktemp -d "${TMPDIR:-/tmp}/bw-webdump.XXXXXX")
name="webdump-$$"
cdir="$WINEPREFIX/drive_c/bwtest/$name"
cwin="C:\\bwtest\\$name"
cleanup() {
    web_dump_stop_servers
    wine_down
    rm -rf "$work" "$cdir"
}
trap cleanup EXIT

status=0
fail() {
    echo "FAILED: $*"
    status=1
}
# --- MariaDB ------------------------------------------------------------------
web_dump_start_mariadb "$work"

# Passwords with the characters that break naive PHP: apostrophes, quotes,
# backslashes, a dollar and the nowdoc's own closing name.
dumppw="pa'ss\\w\"o\$rd BRINDLEWOX_VALUE"
limitedpw="lim'it\\ed"
sql <<SQL || { echo "FAILED: test database"; exit 1; }
CREATE DATABASE shopdb CHARACTER SET utf8mb4;
USE shopdb;
CREATE TABLE items (
    id INT PRIMARY KEY,
    name VARCHAR(100) NOT NULL,
    note TEXT NULL,
    data VARBINARY(64) NULL,
    price DECIMAL(10,2) NULL
) CHARACTER SET utf8mb4;
SET SESSION max_recursive_iterations = 100000;
INSERT INTO items
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000)
SELECT i,
       CONCAT('Ann''s item \\\\ ', i, ' Grüße 日本 ✓'),
       IF(i % 7 = 0, NULL, CONCAT('line\none\ttab "q" ', REPEAT('x', i % 50))),
       IF(i % 5 = 0, NULL, CONCAT(UNHEX(MD5(i)), CHAR(0), CHAR(39), CHAR(92))),
       IF(i % 3 = 0, NULL, i / 7)
FROM n;
CREATE TABLE secret (id INT PRIMARY KEY, v TEXT) CHARACTER SET utf8mb4;
INSERT INTO secret VALUES (1, 'hidden'), (2, NULL);
CREATE USER 'dumper'@'127.0.0.1' IDENTIFIED BY '$(web_dump_sql_text "$dumppw")';
GRANT SELECT, SHOW VIEW ON shopdb.* TO 'dumper'@'127.0.0.1';
CREATE USER 'limited'@'127.0.0.1' IDENTIFIED BY '$(web_dump_sql_text "$limitedpw")';
GRANT SELECT ON shopdb.items TO 'limited'@'127.0.0.1';
GRANT INSERT ON shopdb.secret TO 'limited'@'127.0.0.1';
SQL
checksums() { sql -N -e "CHECKSUM TABLE $1.items, $1.secret" | awk '{ print $2 }'; }
expected=$(checksums shopdb)

# --- FTP and PHP --------------------------------------------------------------
root="$work/ftp"
mkdir -p "$root/public_html" "$root/elsewhere"
ftppw="ftp'pass\\word"
web_dump_start_ftp "$root" ftpuser "$ftppw" "$work/ftp.log"
web_dump_start_php "$root/public_html" "$work/php.log"
web_dump_wait_ports 127.0.0.1 "$ftp_port" "$http_port"

wine_up
mkdir -p "$cdir"
cp "$bin/BrindlewoxMySqlDump.php" "$cdir/template.php" || { echo "FAILED: no template beside the programs"; exit 1; }
tmpdir=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Local/Temp "$WINEPREFIX"/drive_c/users/*/Temp 2>/dev/null | head -n 1)
[ -d "$tmpdir" ] || { echo "FAILED: the prefix has no temporary folder"; exit 1; }
# The prefix is this script's own: a filled script there is from an earlier,
# failed run of it.
find "$tmpdir" -maxdepth 1 -iname 'qvt*.tmp' -delete
today=$(date -u +%F)

# run CASE [VAR=value...]: one backup run of the row in folder CASE.
run() {
    local case=$1
    shift
    mkdir -p "$cdir/$case"
    env BW_WEB_DUMP_CHILD=run BW_DUMP_FOLDER="$cwin\\$case" BW_DUMP_RECORD="$cwin\\$case\\record.txt" \
        BW_DUMP_TEMPLATE="$cwin\\template.php" BW_DUMP_FTP_PORT="$ftp_port" BW_DUMP_HTTP_PORT="$http_port" \
        BW_DUMP_ADDRESS="http://127.0.0.1" BW_DUMP_FTP="127.0.0.1:/public_html" \
        BW_DUMP_FTP_LOGIN=ftpuser BW_DUMP_FTP_PASSWORD="$ftppw" BW_DUMP_DB_HOST="127.0.0.1:$db_port" \
        BW_DUMP_DB_NAME=shopdb BW_DUMP_DB_USER=dumper BW_DUMP_DB_PASSWORD="$dumppw" \
        BW_DUMP_COMPRESS=0 BW_DUMP_ENCRYPT=0 BW_DUMP_PASSWORD="" BW_DUMP_PROXY="" "$@" \
        timeout 400 "$WINE" "$bin/tests/engine_tests.exe" </dev/null >"$work/$case.out" 2>&1
    local rc=$?
    [ $rc = 0 ] || fail "$case: the run ended with $rc: $(tail -n 5 "$work/$case.out")"
}
# The run's counts ("<processed> <errors>"), and how it ended.
record() { awk '{ print $1 " " $2 }' "$cdir/$1/record.txt" 2>/dev/null; }
outcome() { awk '{ print $3 }' "$cdir/$1/record.txt" 2>/dev/null; }
dumpfile() { echo "$cdir/$1/dest/Databases/$today/shopdb.sql"; }
# Neither script left: none on the server, none in %TEMP%, no .tmp.
ftp_roots=("$root")
script_gone() { [ -z "$(find "${ftp_roots[@]}" -name 'BrindlewoxMySqlDump.php')" ]; }
no_leftovers() {
    # php's own unlink may finish just after the answer.
    wait_until $bw_wait_step script_gone || fail "$1: the script stayed on the server"
    [ -z "$(find "$tmpdir" -maxdepth 1 -iname 'qvt*.tmp' 2>/dev/null)" ] || fail "$1: a filled script stayed in %TEMP%"
    [ -z "$(find "$cdir/$1/dest" -name '*.tmp' 2>/dev/null)" ] || fail "$1: a .tmp file stayed"
}
dump_requests() { grep -c 'GET /BrindlewoxMySqlDump.php' "$work/php.log"; }

# --- The four stored forms ------------------------------------------------------
forms=("0 0" "0 1" "1 0" "1 1")
for f in 0 1 2 3; do
    set -- ${forms[$f]}
    run "form$f" BW_DUMP_COMPRESS=$1 BW_DUMP_ENCRYPT=$2 BW_DUMP_PASSWORD="k'ey$f"
    [ "$(record "form$f")" = "1 0" ] || fail "form $f: counted '$(record "form$f")', not '1 0'"
    [ "$(outcome "form$f")" = completed ] || fail "form $f: the run ended '$(outcome "form$f")'"
    stored=$(dumpfile "form$f")
    [ -s "$stored" ] || { fail "form $f: nothing stored"; continue; }
    no_leftovers "form$f"
    if [ "$1" = 1 ] && [ "$2" = 0 ]; then
        bunzip2 -c "$stored" >"$work/native$f.sql" 2>/dev/null || fail "form $f: not a bzip2 stream"
    fi
    env BW_WEB_DUMP_CHILD=restore BW_RESTORE_SOURCE="$cwin\\form$f\\dest\\Databases\\$today\\shopdb.sql" \
        BW_RESTORE_TARGET="$cwin\\form$f\\restored.sql" BW_DUMP_COMPRESS=$1 BW_DUMP_ENCRYPT=$2 \
        BW_DUMP_PASSWORD="k'ey$f" "$WINE" "$bin/tests/engine_tests.exe" </dev/null >/dev/null 2>&1 ||
        fail "form $f: the restore failed"
    cp "$cdir/form$f/restored.sql" "$work/restored$f.sql" 2>/dev/null
done
[ "$(tail -n 1 "$work/restored0.sql" 2>/dev/null)" = "-- Brindlewox dump complete" ] ||
    fail "the dump does not end with the completion line"
cmp -s "$(dumpfile form0)" "$work/restored0.sql" || fail "form 0 is not the plain dump"
for f in 1 2 3; do
    cmp -s "$work/restored0.sql" "$work/restored$f.sql" || fail "form $f restores to another dump"
done
cmp -s "$work/restored0.sql" "$work/native2.sql" || fail "bunzip2 of form 2 differs from the dump"
cmp -s "$(dumpfile form1)" "$work/restored1.sql" && fail "form 1 is stored unencrypted"
items="INSERT INTO \`items\` (\`id\`,\`name\`,\`note\`,\`data\`,\`price\`) VALUES"
grep -qF "$items ('8','Ann\\'s item \\\\ 8 Grüße 日本 ✓','line\\none" "$work/restored0.sql" &&
    grep -qF "$items ('7','Ann\\'s item \\\\ 7 Grüße 日本 ✓',NULL,0x8f14e45fceea167a5a36dedd4bea2543" \
        "$work/restored0.sql" || fail "texts, NULLs or binary values are not written as expected"

sql -e 'CREATE DATABASE shopcopy CHARACTER SET utf8mb4'
sql shopcopy <"$work/restored0.sql" || fail "the dump does not load"
[ "$(checksums shopcopy)" = "$expected" ] || fail "the loaded copy differs: $(checksums shopcopy) / $expected"

# --- A second run the same day skips --------------------------------------------
before=$(dump_requests)
cp "$(dumpfile form0)" "$work/first.sql"
run form0
[ "$(record form0)" = "1 0" ] || fail "second run: counted '$(record form0)'"
[ "$(dump_requests)" = "$before" ] || fail "second run: the dump was fetched again"
cmp -s "$(dumpfile form0)" "$work/first.sql" || fail "second run: the stored dump changed"

# --- A missing FTP folder lands in public_html ------------------------------------
run missing BW_DUMP_FTP="127.0.0.1:no-such-folder"
[ "$(record missing)" = "1 0" ] && [ -s "$(dumpfile missing)" ] || fail "missing folder: not stored ('$(record missing)')"
no_leftovers missing

# --- Two rows, one database name, two hosts ------------------------------------------
# A second site on 127.0.0.2 (the same ports, as the run has one FTP and one
# HTTP port for every site) whose shopdb, on a MariaDB server of its own,
# holds other rows. Each row gets a file of its own named with its site's
# host, and each file loads equal to its own source.
first_sock=$db_sock
first_port=$db_port
web_dump_start_mariadb "$work/second"
second_sock=$db_sock
second_port=$db_port
sql <<SQL || fail "the second site's database"
CREATE DATABASE shopdb CHARACTER SET utf8mb4;
USE shopdb;
CREATE TABLE items (id INT PRIMARY KEY, name VARCHAR(100) NOT NULL, note TEXT NULL,
    data VARBINARY(64) NULL, price DECIMAL(10,2) NULL) CHARACTER SET utf8mb4;
INSERT INTO items VALUES (1, 'the second site''s item', NULL, UNHEX('00FF'), 2.50), (2, 'another', 'x', NULL, NULL);
CREATE TABLE secret (id INT PRIMARY KEY, v TEXT) CHARACTER SET utf8mb4;
INSERT INTO secret VALUES (7, 'second');
CREATE USER 'dumper'@'127.0.0.1' IDENTIFIED BY '$(web_dump_sql_text "$dumppw")';
GRANT SELECT, SHOW VIEW ON shopdb.* TO 'dumper'@'127.0.0.1';
SQL
expected2=$(checksums shopdb)
db_sock=$first_sock
db_port=$first_port
[ "$expected2" != "$expected" ] || fail "the two sites' databases are alike"
root2="$work/ftp2"
mkdir -p "$root2/public_html"
ftp_roots+=("$root2")
web_dump_start_ftp "$root2" ftpuser "$ftppw" "$work/ftp2.log" 127.0.0.2 "$ftp_port"
web_dump_start_php "$root2/public_html" "$work/php2.log" 127.0.0.2 "$http_port"
web_dump_wait_ports 127.0.0.2 "$ftp_port" "$http_port" || fail "the second site's servers did not start"
run tworows BW_DUMP2_ADDRESS="http://127.0.0.2" BW_DUMP2_FTP="127.0.0.2:/public_html" \
    BW_DUMP2_DB_HOST="127.0.0.1:$second_port"
[ "$(record tworows)" = "2 0" ] || fail "two rows: counted '$(record tworows)', not '2 0'"
no_leftovers tworows
day="$cdir/tworows/dest/Databases/$today"
[ "$(ls "$day" 2>/dev/null | tr '\n' ' ')" = "shopdb@127.0.0.1.sql shopdb@127.0.0.2.sql " ] ||
    fail "two rows: the day's files are '$(ls "$day" 2>/dev/null | tr '\n' ' ')'"
sql -e 'CREATE DATABASE firstsite CHARACTER SET utf8mb4' && sql firstsite <"$day/shopdb@127.0.0.1.sql" ||
    fail "two rows: the first site's dump does not load"
[ "$(checksums firstsite)" = "$expected" ] || fail "two rows: the first site's file is not its database"
db_sock=$second_sock
sql -e 'CREATE DATABASE secondsite CHARACTER SET utf8mb4' && sql secondsite <"$day/shopdb@127.0.0.2.sql" ||
    fail "two rows: the second site's dump does not load"
[ "$(checksums secondsite)" = "$expected2" ] || fail "two rows: the second site's file is not its database"
db_sock=$first_sock

# --- Failures ---------------------------------------------------------------------
# Each case starts with an earlier day's dump, which must stay as it is.
failure() {
    local case=$1
    shift
    mkdir -p "$cdir/$case/dest/Databases/2000-01-01"
    cp "$work/first.sql" "$cdir/$case/dest/Databases/2000-01-01/shopdb.sql"
    run "$case" "$@"
    [ "$(record "$case")" = "1 1" ] || fail "$case: counted '$(record "$case")', not '1 1'"
    [ "$(outcome "$case")" = completed ] || fail "$case: the run ended '$(outcome "$case")'"
    [ ! -e "$cdir/$case/dest/Databases/$today" ] || fail "$case: the day's folder was left"
    cmp -s "$cdir/$case/dest/Databases/2000-01-01/shopdb.sql" "$work/first.sql" ||
        fail "$case: the earlier dump changed"
    grep -qa "Error at: http://127.0.0.1" "$cdir/$case"/ORVANEL*/Log/*.txt 2>/dev/null ||
        fail "$case: no \"Error at:\" in the log"
    no_leftovers "$case"
}
failure wrongpass BW_DUMP_FTP_PASSWORD="wrong"
grep -qa "127.0.0.1: Cannot write to FTP." "$cdir/wrongpass"/ORVANEL*/Log/*.txt 2>/dev/null ||
    fail "wrongpass: no \"Cannot write to FTP.\" in the log"
failure notfound BW_DUMP_FTP="127.0.0.1:/elsewhere"
failure unreadable BW_DUMP_DB_USER=limited BW_DUMP_DB_PASSWORD="$limitedpw"

$py "$top/tests/scripts/web_dump_proxy.py" refuse "$work/refuse.port" "$work/refuse.count" &
web_dump_pids+=($!)
$py "$top/tests/scripts/web_dump_proxy.py" slow "$work/slow.port" "$work/slow.count" &
web_dump_pids+=($!)
proxies_listen() { [ -s "$work/refuse.port" ] && [ -s "$work/slow.port" ]; }
wait_until $bw_wait_program proxies_listen || fail "the test proxies did not start"
proxypw="proxy'secret"
failure refused BW_DUMP_PROXY="127.0.0.1:$(cat "$work/refuse.port")" BW_DUMP_PROXY_LOGIN=proxyuser \
    BW_DUMP_PROXY_PASSWORD="$proxypw"
sends=$(wc -l <"$work/refuse.count" 2>/dev/null || echo 0)
[ "$sends" -ge 4 ] && [ "$sends" -le 8 ] || fail "refused: $sends requests to the refusing proxy"
echo "refused: $sends requests to the refusing proxy"

# --- Stops --------------------------------------------------------------------------
# stopped CASE HOW [VAR=value...]: the run stopped by the window's Stop (HOW
# flag: the busy flag) or the worker's stop event (event) in the middle of a
# transfer that would last minutes. It must end within the 10 s the program
# gives a run at exit (the child times it from the stop to the run's end),
# log the dump as stopped, count nothing, keep the earlier day's dump and
# leave no day's folder, no .tmp, no filled script and no script on a server.
stopped() {
    local case=$1 how=$2 counted took
    shift 2
    mkdir -p "$cdir/$case/dest/Databases/2000-01-01"
    cp "$work/first.sql" "$cdir/$case/dest/Databases/2000-01-01/shopdb.sql"
    run "$case" BW_DUMP_STOP="$how" "$@"
    counted=$(record "$case")
    took=$(awk '{ print $4 }' "$cdir/$case/record.txt" 2>/dev/null)
    [ "$(outcome "$case")" = stopped ] || fail "$case: the run ended '$(outcome "$case")', not stopped"
    [ "$counted" = "0 0" ] || fail "$case: counted '$counted', not '0 0'"
    if [ -n "$took" ] && [ "$took" -le 10000 ]; then
        echo "$case: the run ended $took ms after the stop"
    else
        fail "$case: the run ended ${took:-?} ms after the stop, not within 10000"
    fi
    [ ! -e "$cdir/$case/dest/Databases/$today" ] || fail "$case: the day's folder was left"
    cmp -s "$cdir/$case/dest/Databases/2000-01-01/shopdb.sql" "$work/first.sql" ||
        fail "$case: the earlier dump changed"
    grep -qa "Database dump stopped, nothing stored: http://127.0.0.1" "$cdir/$case"/ORVANEL*/Log/*.txt 2>/dev/null ||
        fail "$case: the log does not say the dump was stopped"
    grep -qa "Error at:" "$cdir/$case"/ORVANEL*/Log/*.txt 2>/dev/null && fail "$case: the stop was logged as an error"
    no_leftovers "$case"
}
# The download: the answer passes the proxy at 5 KiB/s (about 5 minutes).
slow_proxy="127.0.0.1:$(cat "$work/slow.port")"
stopped stopflag flag BW_DUMP_PROXY="$slow_proxy"
stopped stopevent event BW_DUMP_PROXY="$slow_proxy"
[ "$(wc -l <"$work/slow.count")" -ge 2 ] || fail "the stopped downloads did not go through the slow proxy"
# The upload: an FTP server that takes the script at 200 B/s (a minute),
# with its root on C: so the run sees the upload begin (the server makes the
# file then).
slowroot="$cdir/slowftp"
mkdir -p "$slowroot/public_html"
web_dump_start_slow_ftp "$slowroot" ftpuser "$ftppw" "$work/slowftp.log" 200
web_dump_wait_ports 127.0.0.1 "$slow_ftp_port" || fail "the slow FTP server did not start"
ftp_roots+=("$slowroot")
uploading="$cwin\\slowftp\\public_html\\BrindlewoxMySqlDump.php"
stopped upflag flag BW_DUMP_FTP_PORT="$slow_ftp_port" BW_DUMP_STOP_WHEN="$uploading"
stopped upevent event BW_DUMP_FTP_PORT="$slow_ftp_port" BW_DUMP_STOP_WHEN="$uploading"

# --- No credential in any log -------------------------------------------------------
sid=$(printf '%s' "$dumppw" | md5sum | cut -c1-32)
lsid=$(printf '%s' "$limitedpw" | md5sum | cut -c1-32)
for secret in "$ftppw" "$dumppw" "$limitedpw" "$proxypw" "k'ey" "$sid" "$lsid" "sid=" "wrong"; do
    if grep -rqaF -- "$secret" "$cdir"/*/ORVANEL*/Log/ 2>/dev/null; then
        fail "a log holds a credential: $secret"
    fi
done
ls "$cdir"/*/ORVANEL*/Log/*.txt >/dev/null 2>&1 || fail "no log was written"

[ $status = 0 ] && echo "web-dump: all cases passed"
exit $status
