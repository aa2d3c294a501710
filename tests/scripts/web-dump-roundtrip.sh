#!/usr/bin/env bash
# The web-site dump script (BrindlewoxMySqlDump.php beside the programs)
# over every MariaDB column type at its edges, without Wine: filled as the
# program fills it, served by `php -S` and fetched with curl against a
# MariaDB server on 127.0.0.1 (default time zone +02:00), then loaded into
# an empty database with the client set to another zone.
#
# Checked: the load gives no warning; every table has the same SHOW CREATE
# TABLE and CHECKSUM TABLE as its source and lists the same rows; the views
# are views with the same definitions and rows; the triggers are there,
# made after the rows (their log table is not filled twice); the dump also
# loads under strict SQL mode (no value for a generated column). A user who
# may read the tables but neither the views' definitions nor the triggers
# still gets a whole dump of the tables, and comments saying what was left
# out. Skipped (77) when a server cannot be had.
set -uo pipefail
top=$(cd "$1" && pwd)
bin=$(cd "$2" && pwd)
source "$top/tests/scripts/lib/web-dump-servers.bash"
web_dump_need
command -v curl >/dev/null || web_dump_skip "curl"

work=$(mktemp -d "${TMPDIR:-/tmp}/bw-roundtrip.XXXXXX")
trap 'web_dump_stop_servers; rm -rf "$work"' EXIT
status=0
fail() {
    echo "FAILED: $*"
    status=1
}

web_dump_start_mariadb "$work" --default-time-zone=+02:00
site="$work/site"
mkdir -p "$site"
web_dump_start_php "$site" "$work/php.log"
web_dump_wait_ports 127.0.0.1 "$http_port" || { echo "FAILED: php -S did not start"; exit 1; }

# Every byte value once, as hex.
all_bytes=$($web_dump_py -c 'print(bytes(range(256)).hex())')
ones63=$(printf '1%.0s' $(seq 1 63))
dumppw="d'um\\p\"er BRINDLEWOX_VALUE"
sql <<SQL || { echo "FAILED: the source database"; exit 1; }
CREATE DATABASE src CHARACTER SET utf8mb4;
USE src;
SET time_zone = '+00:00';
CREATE TABLE trigger_log (n INT NOT NULL, what VARCHAR(20) NOT NULL);
CREATE TABLE ints (
    id INT PRIMARY KEY,
    ti TINYINT, tu TINYINT UNSIGNED, si SMALLINT, su SMALLINT UNSIGNED,
    mi MEDIUMINT, mu MEDIUMINT UNSIGNED, i INT, iu INT UNSIGNED,
    bi BIGINT, bu BIGINT UNSIGNED, z INT(8) UNSIGNED ZEROFILL
);
DELIMITER ;;
CREATE TRIGGER \`log the ints\` AFTER INSERT ON ints FOR EACH ROW
BEGIN
    INSERT INTO trigger_log VALUES (NEW.id, 'int');
    INSERT INTO trigger_log VALUES (NEW.id, 'it''s;;done');
END;;
DELIMITER ;
INSERT INTO ints VALUES
    (1, -128, 0, -32768, 0, -8388608, 0, -2147483648, 0, -9223372036854775808, 0, 0),
    (2, 127, 255, 32767, 65535, 8388607, 16777215, 2147483647, 4294967295,
     9223372036854775807, 18446744073709551615, 4294967295),
    (3, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 42);
CREATE TABLE numbers (
    id INT PRIMARY KEY,
    d DECIMAL(65,30), du DECIMAL(65,30) UNSIGNED,
    f FLOAT, fu FLOAT UNSIGNED, fm FLOAT(10,4), dbl DOUBLE, dm DOUBLE(20,6)
);
INSERT INTO numbers VALUES
    (1, 99999999999999999999999999999999999.999999999999999999999999999999,
     99999999999999999999999999999999999.999999999999999999999999999999,
     3.402823466e38, 3.402823466e38, 12345.6789, 1.7976931348623157e308, 99999999999999.999999),
    (2, -99999999999999999999999999999999999.999999999999999999999999999999,
     0.000000000000000000000000000001,
     -3.402823466e38, 1.175494351e-38, -12345.6789, -1.7976931348623157e308, -0.000001),
    (3, 0, 0, 16777216, 1.401298464e-45, 1.2345, 4.9e-324, 1),
    (4, -0.000000000000000000000000000001, NULL, 0.1, 1.1, NULL, 2.2250738585072014e-308, NULL),
    (5, NULL, NULL, -1.17549435e-38, NULL, 0, 0.30000000000000004, NULL);
CREATE TABLE bits (
    id INT PRIMARY KEY, b1 BIT(1), b8 BIT(8), b13 BIT(13), b63 BIT(63), b64 BIT(64)
);
INSERT INTO bits VALUES
    (1, b'0', b'0', b'0', b'0', b'0'),
    (2, b'1', b'11111111', b'1111111111111', b'$ones63', b'${ones63}1'),
    (3, b'1', b'10000001', b'1111100111011',
     b'100000000000000000000000000000000000000000000000000000000000001',
     b'1000000000000000000000000000000000000000000000000000000000000001'),
    (4, NULL, NULL, NULL, NULL, NULL);
CREATE TABLE temporal (
    id INT PRIMARY KEY, d DATE, dt DATETIME(6), ts TIMESTAMP(6) NULL, t TIME(6), y YEAR
);
INSERT INTO temporal VALUES
    (1, '1000-01-01', '1000-01-01 00:00:00.000000', '1970-01-01 00:00:01.000000',
     '-838:59:59.000000', 1901),
    (2, '9999-12-31', '9999-12-31 23:59:59.999999', '2038-01-19 03:14:07.999999',
     '838:59:59.000000', 2155),
    (3, '0000-00-00', '0000-00-00 00:00:00', '2026-03-29 00:30:00.500000', '-00:00:00.000001', 0),
    (4, NULL, NULL, NULL, NULL, NULL);
CREATE TABLE texts (
    id INT PRIMARY KEY,
    c CHAR(40), v VARCHAR(300), t TEXT,
    lv VARCHAR(100) CHARACTER SET latin1, lt TEXT CHARACTER SET latin1
);
INSERT INTO texts VALUES
    (1, 'it''s "q"', CONCAT('back\\\\slash \\\\'' nul', CHAR(0), 'end'),
     CONCAT('cr', CHAR(13), 'lf', CHAR(10), 'crlf', CHAR(13, 10), 'ctrlz', CHAR(26), '|'),
     CONCAT('it''s "q" \\\\ nul', CHAR(0), CHAR(13, 10), CHAR(26)),
     'café € ÿ'),
    (2, 'four 😀 𝄞', '😀𝄞💾 Grüße 日本', REPEAT('😀''\\\\', 1000), 'Grüße', 'ÿ€'),
    (3, NULL, '', 'NULL', NULL, ''),
    (4, '', 'NULL', NULL, 'NULL', NULL);
CREATE TABLE binaries (
    id INT PRIMARY KEY,
    bn BINARY(20), vb VARBINARY(300), tb TINYBLOB, bl BLOB, mb MEDIUMBLOB, lb LONGBLOB
);
INSERT INTO binaries VALUES
    (1, UNHEX('000102030405060708090A0B0C0D0E0F'), UNHEX('$all_bytes'),
     LEFT(UNHEX('$all_bytes'), 255), UNHEX('$all_bytes'), REVERSE(UNHEX('$all_bytes')),
     REPEAT(UNHEX('$all_bytes'), 16384)),
    (2, '', '', '', '', '', ''),
    (3, NULL, NULL, NULL, NULL, NULL, NULL);
CREATE TABLE choices (
    id INT PRIMARY KEY,
    e ENUM('plain', 'it''s', 'back\\\\slash', '"dq"', ''),
    s SET('x', 'y''z', 'q"q', 'b\\\\s')
);
INSERT INTO choices VALUES
    (1, 'it''s', 'x,y''z,q"q,b\\\\s'), (2, 'back\\\\slash', ''), (3, '"dq"', 'y''z'),
    (4, '', NULL), (5, NULL, 'b\\\\s');
CREATE TABLE docs (id INT PRIMARY KEY, j JSON);
INSERT INTO docs VALUES
    (1, '{"a": [1, 2.5, "x\\\\"y", null, true], "u": "😀", "n": {"k''": "\\\\\\\\"}}'),
    (2, '[]'), (3, NULL), (4, '"just a string"');
CREATE TABLE shapes (
    id INT PRIMARY KEY, g GEOMETRY, p POINT, ls LINESTRING, pg POLYGON
);
INSERT INTO shapes VALUES
    (1, ST_GeomFromText('POINT(1.5 -2.25)', 4326), POINT(1e300, -1e-300),
     ST_GeomFromText('LINESTRING(0 0, 1 1, 2 0)'),
     ST_GeomFromText('POLYGON((0 0, 4 0, 4 4, 0 4, 0 0), (1 1, 2 1, 2 2, 1 1))')),
    (2, NULL, NULL, NULL, NULL);
CREATE TABLE generated (
    id INT PRIMARY KEY, x INT,
    v INT AS (x * 2) VIRTUAL,
    p INT AS (x + 1) PERSISTENT,
    s VARCHAR(20) AS (CONCAT('n', x)) STORED
);
INSERT INTO generated (id, x) VALUES (1, 5), (2, NULL), (3, -7);
CREATE TABLE \`odd \`\`name\`\` select\` (
    \`order\` INT PRIMARY KEY AUTO_INCREMENT, \`from\` VARCHAR(10),
    \`the \`\`col\`\`\` INT, \`group by\` TEXT
);
SET SESSION sql_mode = CONCAT(@@sql_mode, ',NO_AUTO_VALUE_ON_ZERO');
INSERT INTO \`odd \`\`name\`\` select\` VALUES (0, 'zero', 1, 'a'), (5, 'five', NULL, '\`');
CREATE VIEW z_base AS SELECT id, x, v FROM generated;
CREATE VIEW \`a top view\` AS SELECT id, v FROM z_base WHERE x > 0;
CREATE USER 'dumper'@'127.0.0.1' IDENTIFIED BY '$(web_dump_sql_text "$dumppw")';
GRANT SELECT, SHOW VIEW, TRIGGER ON src.* TO 'dumper'@'127.0.0.1';
CREATE USER 'tables_only'@'127.0.0.1' IDENTIFIED BY 'tables';
GRANT SELECT ON src.* TO 'tables_only'@'127.0.0.1';
SQL

# dump USER PASSWORD OUT: the dump as the program fetches it.
dump() {
    local sid
    web_dump_fill "$bin/BrindlewoxMySqlDump.php" "$site/BrindlewoxMySqlDump.php" \
        "127.0.0.1:$db_port" src "$1" "$2" || return 1
    sid=$(printf '%s' "$2" | md5sum | cut -c1-32)
    curl -sS -o "$3" -w '%{http_code}' "http://127.0.0.1:$http_port/BrindlewoxMySqlDump.php?sid=$sid" \
        >"$3.status" || return 1
    [ "$(cat "$3.status")" = 200 ] || { echo "status $(cat "$3.status")"; return 1; }
    [ "$(tail -n 1 "$3")" = "-- Brindlewox dump complete" ] || { echo "no completion line"; return 1; }
    [ ! -e "$site/BrindlewoxMySqlDump.php" ] || { echo "the script stayed"; return 1; }
}
# load DATABASE FILE: into a new database, the client in another time zone;
# prints what the client said (warnings included) but the notes of a DROP
# ... IF EXISTS of what is not there yet.
load() {
    sql -e "CREATE DATABASE \`$1\` CHARACTER SET utf8mb4" &&
        sql --show-warnings --init-command="SET time_zone = '-07:00'" "$1" <"$2" 2>&1 |
        grep -Ev "^Note \(Code (1051|4092)\): Unknown (table|VIEW)"
}
names() { sql -N -e "SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = '$1' AND TABLE_TYPE = '$2' ORDER BY TABLE_NAME"; }
ident() { printf '`%s`' "${1//\`/\`\`}"; }
# same COPY QUERY [FIELDS]: the query gives the same answer (those fields
# of it, all by default) in src and in COPY.
same() {
    local a b
    a=$(sql --binary-as-hex -N src -e "$2" 2>&1 | cut -f"${3:-1-}" | md5sum) || return 1
    b=$(sql --binary-as-hex -N "$1" -e "$2" 2>&1 | cut -f"${3:-1-}" | md5sum) || return 1
    [ "$a" = "$b" ]
}
# same_tables COPY: every base table of src against its copy.
same_tables() {
    local copy=$1 table q
    [ "$(names src 'BASE TABLE')" = "$(names "$copy" 'BASE TABLE')" ] ||
        fail "$copy: the tables are $(names "$copy" 'BASE TABLE' | tr '\n' ' ')"
    while IFS= read -r table; do
        q=$(ident "$table")
        same "$copy" "SHOW CREATE TABLE $q" 2- || fail "$copy: SHOW CREATE TABLE $table differs"
        same "$copy" "CHECKSUM TABLE $q EXTENDED" 2 || fail "$copy: CHECKSUM TABLE $table differs"
        # The rows as the client shows them (hex for binary values), in the
        # primary key's order.
        same "$copy" "SELECT * FROM $q ORDER BY 1, 2" || fail "$copy: the rows of $table differ"
    done < <(names src 'BASE TABLE')
}

# ---- The site's user with every right a dump needs ----
dump dumper "$dumppw" "$work/full.sql" || fail "the dump: $(tail -c 300 "$work/full.sql")"
said=$(load full "$work/full.sql")
[ -z "$said" ] || fail "the load said: $(head -c 1000 <<<"$said")"
same_tables full
[ "$(names src VIEW)" = "$(names full VIEW)" ] || fail "the views are $(names full VIEW | tr '\n' ' ')"
while IFS= read -r view; do
    q=$(ident "$view")
    same full "SHOW CREATE VIEW $q" || fail "the view $view is made otherwise"
    same full "SELECT * FROM $q ORDER BY 1" || fail "the view $view shows other rows"
done < <(names src VIEW)
triggers() { sql -N -e "SELECT TRIGGER_NAME, EVENT_OBJECT_TABLE, ACTION_TIMING, EVENT_MANIPULATION, ACTION_STATEMENT, SQL_MODE, DEFINER FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA = '$1'"; }
[ -n "$(triggers src)" ] && [ "$(triggers src)" = "$(triggers full)" ] || fail "the triggers differ: $(triggers full)"
[ "$(sql -N full -e "SELECT COUNT(*) FROM trigger_log")" = 6 ] || fail "the triggers fired while the rows were loaded"
# The values that once came back otherwise, as they read now.
[ "$(sql -N full -e "SELECT BIN(b13) FROM bits WHERE id = 3")" = 1111100111011 ] || fail "BIT(13) came back otherwise"
[ "$(sql -N full -e "SELECT f + 0e0 FROM numbers WHERE id = 3")" = 16777216 ] || fail "FLOAT came back otherwise"
[ "$(sql -N full -e "SELECT LENGTH(lb) FROM binaries WHERE id = 1")" = 4194304 ] || fail "the large blob came back otherwise"
grep -q '^INSERT INTO `generated` (`id`,`x`) VALUES' "$work/full.sql" || fail "the generated columns are written"

# Strict SQL mode: no value for a generated column, no value cut.
sed "s/^SET SQL_MODE='NO_AUTO_VALUE_ON_ZERO';$/SET SQL_MODE='STRICT_ALL_TABLES,NO_AUTO_VALUE_ON_ZERO';/" \
    "$work/full.sql" >"$work/strict.sql"
grep -q "STRICT_ALL_TABLES" "$work/strict.sql" || fail "the dump sets no SQL mode"
said=$(load strict "$work/strict.sql")
[ -z "$said" ] || fail "the strict load said: $(head -c 1000 <<<"$said")"
same_tables strict

# ---- A user who may read the tables alone ----
dump tables_only tables "$work/tables.sql" || fail "the tables-only dump: $(tail -c 300 "$work/tables.sql")"
said=$(load tables "$work/tables.sql")
[ -z "$said" ] || fail "the tables-only load said: $(head -c 1000 <<<"$said")"
same_tables tables
[ -z "$(names tables VIEW)" ] || fail "views came without their definitions"
[ -z "$(triggers tables)" ] || fail "triggers came without the right to read them"
grep -q '^-- Left out: the view z_base; its definition cannot be read (SHOW VIEW command denied' "$work/tables.sql" &&
    grep -q '^-- Left out: the view a top view; ' "$work/tables.sql" ||
    fail "the tables-only dump does not say that it left the views out"
grep -q '^-- Left out: any trigger of the table ints; ' "$work/tables.sql" ||
    fail "the tables-only dump does not say that it left the triggers out"
grep -q '^-- Left out' "$work/full.sql" && fail "the full dump says it left something out"

[ $status = 0 ] && echo "web-dump-roundtrip: all cases passed"
exit $status
