<?php
// Brindlewox: the MySQL dump of a web site's database.
//
// Brindlewox fills in the connection data below, uploads this script by FTP,
// fetches it once as BrindlewoxMySqlDump.php?sid=<md5 of the password> and
// deletes it again; the script also deletes itself whenever it has run.
// The answer is the dump as plain text (utf8mb4): for every table
// DROP TABLE IF EXISTS, its CREATE TABLE and one INSERT per row, streamed
// row by row. Only a dump that ends with the completion line is whole.
//
// Each value stands in a nowdoc behind one marker character, so no value
// (a password with quotes or backslashes included) can end the text or
// become code: a value holds no line break, and a nowdoc ends only at a line
// that begins with its closing name.

$bwHost = substr(<<<'BRINDLEWOX_VALUE'
={DB_HOST}
BRINDLEWOX_VALUE, 1);
$bwName = substr(<<<'BRINDLEWOX_VALUE'
={DB_NAME}
BRINDLEWOX_VALUE, 1);
$bwUser = substr(<<<'BRINDLEWOX_VALUE'
={DB_USER}
BRINDLEWOX_VALUE, 1);
$bwPassword = substr(<<<'BRINDLEWOX_VALUE'
={DB_PASSWORD}
BRINDLEWOX_VALUE, 1);

const BW_COMPLETION_LINE = "-- Brindlewox dump complete\n";

// The script goes on every way out: a dump, a refusal, an error.
register_shutdown_function(function () {
    @unlink(__FILE__);
});
@ini_set('display_errors', '0');
@set_time_limit(0);
ignore_user_abort(false);
while (ob_get_level() > 0) {
    ob_end_clean();
}
header('Content-Type: text/plain; charset=utf-8');
header('Cache-Control: no-store');

$sid = isset($_GET['sid']) && is_string($_GET['sid']) ? $_GET['sid'] : '';
if (!hash_equals(md5($bwPassword), $sid)) {
    http_response_code(403);
    exit;
}

// "host", "host:port", a socket path ("/run/mysqld/mysqld.sock") or
// "host:/socket/path".
$host = $bwHost === '' ? 'localhost' : $bwHost;
$port = null;
$socket = null;
if ($host[0] === '/') {
    $socket = $host;
    $host = 'localhost';
} elseif (preg_match('/^(.*):(\d+)$/', $host, $m)) {
    $host = $m[1];
    $port = (int)$m[2];
} elseif (preg_match('#^(.*):(/.*)$#', $host, $m)) {
    $host = $m[1];
    $socket = $m[2];
}

mysqli_report(MYSQLI_REPORT_OFF);
$db = mysqli_init();
if (!$db || !@$db->real_connect($host, $bwUser, $bwPassword, $bwName, $port, $socket)
    || !$db->set_charset('utf8mb4')) {
    http_response_code(500);
    exit;
}

function bw_name(string $name): string
{
    return '`' . str_replace('`', '``', $name) . '`';
}

// Ends the answer without the completion line: the dump is not whole.
function bw_fail(): void
{
    exit;
}

// Binary strings (character set 63) as hex; numbers, dates and texts as
// quoted strings escaped by the connection, which knows its character set.
function bw_is_binary(object $field): bool
{
    $binaryTypes = [MYSQLI_TYPE_TINY_BLOB, MYSQLI_TYPE_MEDIUM_BLOB, MYSQLI_TYPE_LONG_BLOB,
        MYSQLI_TYPE_BLOB, MYSQLI_TYPE_STRING, MYSQLI_TYPE_VAR_STRING, MYSQLI_TYPE_BIT,
        MYSQLI_TYPE_GEOMETRY];
    return $field->charsetnr === 63 && in_array($field->type, $binaryTypes, true);
}

echo "-- Brindlewox MySQL dump\n";
echo "SET NAMES utf8mb4;\n";
echo "SET FOREIGN_KEY_CHECKS=0;\n";
echo "SET SQL_MODE='NO_AUTO_VALUE_ON_ZERO';\n\n";

$tables = $db->query("SHOW FULL TABLES WHERE Table_type = 'BASE TABLE'");
if (!$tables) {
    bw_fail();
}
$names = [];
while ($row = $tables->fetch_row()) {
    $names[] = $row[0];
}
$tables->free();

foreach ($names as $table) {
    $create = $db->query('SHOW CREATE TABLE ' . bw_name($table));
    $createRow = $create ? $create->fetch_row() : null;
    if (!$createRow) {
        bw_fail();
    }
    echo 'DROP TABLE IF EXISTS ', bw_name($table), ";\n";
    echo $createRow[1], ";\n\n";
    $create->free();

    // Unbuffered: the rows come one by one, whatever the table's size.
    $rows = $db->query('SELECT * FROM ' . bw_name($table), MYSQLI_USE_RESULT);
    if (!$rows) {
        bw_fail();
    }
    $binary = array_map('bw_is_binary', $rows->fetch_fields());
    while ($row = $rows->fetch_row()) {
        $values = [];
        foreach ($row as $i => $value) {
            if ($value === null) {
                $values[] = 'NULL';
            } elseif ($binary[$i]) {
                $values[] = $value === '' ? "''" : '0x' . bin2hex($value);
            } else {
                $values[] = "'" . $db->real_escape_string($value) . "'";
            }
        }
        echo 'INSERT INTO ', bw_name($table), ' VALUES (', implode(',', $values), ");\n";
    }
    // An error in the middle of an unbuffered read shows only here.
    if ($db->errno !== 0) {
        bw_fail();
    }
    $rows->free();
    echo "\n";
    flush();
}

echo "SET FOREIGN_KEY_CHECKS=1;\n";
echo BW_COMPLETION_LINE;
