<?php
// Brindlewox: the MySQL dump of a web site's database.
//
// Brindlewox fills in the connection data below, uploads this script by FTP,
// fetches it once as BrindlewoxMySqlDump.php?sid=<md5 of the password> and
// deletes it again; the script also deletes itself whenever it has run.
// The answer is the dump as plain text (utf8mb4), for the mysql or mariadb
// client to load: for every table DROP TABLE IF EXISTS, its CREATE TABLE and
// one INSERT per row naming its columns, streamed row by row; then the views
// and the triggers. Stored routines and events are left out, as the usual
// dump tools leave them out by default. What the site's user may not read
// of the views and triggers is left out too, and an SQL comment says so.
// Only a dump that ends with the completion line is whole.
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

// A line of an SQL comment: no line break can end it early.
function bw_comment(string $text): string
{
    return '-- ' . str_replace(["\r", "\n"], ' ', $text) . "\n";
}

// The rows of a query, all of them; null when it failed.
function bw_rows(mysqli $db, string $query): ?array
{
    $result = $db->query($query);
    if (!$result) {
        return null;
    }
    $rows = $result->fetch_all(MYSQLI_ASSOC);
    $result->free();
    return $rows;
}

function bw_quote(mysqli $db, string $text): string
{
    return "'" . $db->real_escape_string($text) . "'";
}

// Binary strings (character set 63) as hex; numbers, dates and texts as
// quoted strings escaped by the connection, which knows its character set.
function bw_is_binary(object $field): bool
{
    $binaryTypes = [MYSQLI_TYPE_TINY_BLOB, MYSQLI_TYPE_MEDIUM_BLOB, MYSQLI_TYPE_LONG_BLOB,
        MYSQLI_TYPE_BLOB, MYSQLI_TYPE_STRING, MYSQLI_TYPE_VAR_STRING, MYSQLI_TYPE_GEOMETRY];
    return $field->charsetnr === 63 && in_array($field->type, $binaryTypes, true);
}

// How a column is read and written:
// - generated columns (VIRTUAL, STORED, PERSISTENT) are neither: the server
//   computes them, and strict mode refuses a value for them;
// - BIT as a bit literal of BIN(): the driver hands BIT over as decimal text;
// - FLOAT as the double it holds: the server prints a FLOAT with six digits,
//   which does not give the same FLOAT back (16777216 prints as 16777200);
// - everything else as it comes.
function bw_columns(mysqli $db, string $table): ?array
{
    $rows = bw_rows($db, 'SHOW COLUMNS FROM ' . bw_name($table));
    if ($rows === null) {
        return null;
    }
    $columns = [];
    foreach ($rows as $row) {
        if (preg_match('/\b(VIRTUAL|STORED|PERSISTENT) GENERATED\b/i', $row['Extra'])) {
            continue;
        }
        $type = strtolower($row['Type']);
        $kind = 'plain';
        if (preg_match('/^bit\b/', $type)) {
            $kind = 'bit';
        } elseif (preg_match('/^float\b/', $type)) {
            $kind = 'float';
        }
        $columns[] = ['name' => $row['Field'], 'kind' => $kind];
    }
    return $columns;
}

function bw_select_list(array $columns): string
{
    $list = [];
    foreach ($columns as $column) {
        $name = bw_name($column['name']);
        if ($column['kind'] === 'bit') {
            $list[] = "BIN($name)";
        } elseif ($column['kind'] === 'float') {
            $list[] = "$name + 0e0";
        } else {
            $list[] = $name;
        }
    }
    return implode(',', $list);
}

// A delimiter for the client that the statement does not hold.
function bw_delimiter(string $statement): string
{
    foreach ([';;', '$$', '//', '@@', '##'] as $delimiter) {
        if (strpos($statement, $delimiter) === false) {
            return $delimiter;
        }
    }
    return '$BRINDLEWOX$';
}

// Where the connection holds the TRIGGER privilege: on every table ('all')
// or on the tables named ('tables'). Without it the server lists none of a
// table's triggers, as if there were none. Null when the privileges cannot
// be read.
function bw_trigger_tables(mysqli $db): ?array
{
    $wide = bw_rows($db, "SELECT 1 FROM information_schema.USER_PRIVILEGES"
        . " WHERE PRIVILEGE_TYPE = 'TRIGGER' UNION ALL"
        . " SELECT 1 FROM information_schema.SCHEMA_PRIVILEGES WHERE PRIVILEGE_TYPE = 'TRIGGER'"
        . " AND DATABASE() LIKE TABLE_SCHEMA");
    $tables = bw_rows($db, "SELECT TABLE_NAME FROM information_schema.TABLE_PRIVILEGES"
        . " WHERE PRIVILEGE_TYPE = 'TRIGGER' AND TABLE_SCHEMA = DATABASE()");
    if ($wide === null || $tables === null) {
        return null;
    }
    return ['all' => count($wide) > 0, 'tables' => array_column($tables, 'TABLE_NAME')];
}

// Every value comes back as the server sent it: texts in the connection's
// character set, TIMESTAMP in UTC (the dump sets the same zone for the
// load), and backslash escapes whatever the server's own SQL mode.
if (!$db->query("SET SESSION sql_mode = ''") || !$db->query("SET SESSION time_zone = '+00:00'")) {
    http_response_code(500);
    exit;
}

echo "-- Brindlewox MySQL dump\n";
echo "SET NAMES utf8mb4;\n";
echo "SET TIME_ZONE='+00:00';\n";
echo "SET FOREIGN_KEY_CHECKS=0;\n";
echo "SET SQL_MODE='NO_AUTO_VALUE_ON_ZERO';\n\n";

$objects = bw_rows($db, 'SHOW FULL TABLES');
if ($objects === null) {
    bw_fail();
}
$tables = [];
$views = [];
foreach ($objects as $object) {
    [$name, $kind] = array_values($object);
    if ($kind === 'BASE TABLE') {
        $tables[] = $name;
    } elseif ($kind === 'VIEW') {
        $views[] = $name;
    } else {
        echo bw_comment("Left out: $name ($kind).");
    }
}

foreach ($tables as $table) {
    $create = bw_rows($db, 'SHOW CREATE TABLE ' . bw_name($table));
    $columns = bw_columns($db, $table);
    if (!$create || $columns === null) {
        bw_fail();
    }
    echo 'DROP TABLE IF EXISTS ', bw_name($table), ";\n";
    echo array_values($create[0])[1], ";\n\n";

    // Unbuffered: the rows come one by one, whatever the table's size.
    $rows = $db->query('SELECT ' . bw_select_list($columns) . ' FROM ' . bw_name($table),
        MYSQLI_USE_RESULT);
    if (!$rows) {
        bw_fail();
    }
    $binary = array_map('bw_is_binary', $rows->fetch_fields());
    $insert = 'INSERT INTO ' . bw_name($table) . ' ('
        . implode(',', array_map(function ($column) {
            return bw_name($column['name']);
        }, $columns)) . ') VALUES (';
    while ($row = $rows->fetch_row()) {
        $values = [];
        foreach ($row as $i => $value) {
            if ($value === null) {
                $values[] = 'NULL';
            } elseif ($columns[$i]['kind'] === 'bit') {
                $values[] = "b'" . $value . "'";
            } elseif ($binary[$i]) {
                $values[] = $value === '' ? "''" : '0x' . bin2hex($value);
            } else {
                $values[] = bw_quote($db, $value);
            }
        }
        echo $insert, implode(',', $values), ");\n";
    }
    // An error in the middle of an unbuffered read shows only here.
    if ($db->errno !== 0) {
        bw_fail();
    }
    $rows->free();
    echo "\n";
    flush();
}

// Views after the tables, as views. Each first stands in as a view of its
// column names, so that a view may use a view that comes after it.
$definitions = [];
foreach ($views as $view) {
    $create = bw_rows($db, 'SHOW CREATE VIEW ' . bw_name($view));
    $columns = $create ? bw_rows($db, 'SHOW COLUMNS FROM ' . bw_name($view)) : null;
    if (!$create || !$columns) {
        echo bw_comment("Left out: the view $view; its definition cannot be read"
            . " (" . $db->error . ").");
        continue;
    }
    $names = array_map(function ($column) {
        return '1 AS ' . bw_name($column['Field']);
    }, $columns);
    echo 'DROP VIEW IF EXISTS ', bw_name($view), ";\n";
    echo 'CREATE VIEW ', bw_name($view), ' AS SELECT ', implode(',', $names), ";\n";
    $definitions[$view] = array_values($create[0])[1];
}
foreach ($definitions as $view => $definition) {
    echo 'DROP VIEW IF EXISTS ', bw_name($view), ";\n";
    echo $definition, ";\n";
}
if ($definitions) {
    echo "\n";
}

// Triggers last, so that loading the rows fires none of them, each under
// the SQL mode it was made in.
$triggers = bw_rows($db, 'SHOW TRIGGERS');
$allowed = bw_trigger_tables($db);
if ($triggers === null) {
    echo bw_comment('Left out: the triggers; this user may not list them (' . $db->error . ').');
    $triggers = [];
}
foreach ($triggers as $trigger) {
    $create = bw_rows($db, 'SHOW CREATE TRIGGER ' . bw_name($trigger['Trigger']));
    if (!$create) {
        echo bw_comment("Left out: the trigger {$trigger['Trigger']}; this user may not read it"
            . " (" . $db->error . ").");
        continue;
    }
    $statement = $create[0]['SQL Original Statement'];
    $delimiter = bw_delimiter($statement);
    echo 'SET SQL_MODE=', bw_quote($db, $create[0]['sql_mode']), ";\n";
    echo "DELIMITER $delimiter\n", $statement, $delimiter, "\nDELIMITER ;\n";
}
if ($triggers) {
    echo "SET SQL_MODE='NO_AUTO_VALUE_ON_ZERO';\n\n";
}
if ($allowed === null) {
    echo bw_comment('The triggers may be incomplete: the privileges of this user cannot be read.');
} elseif (!$allowed['all']) {
    foreach ($tables as $table) {
        if (!in_array($table, $allowed['tables'], true)) {
            echo bw_comment("Left out: any trigger of the table $table; this user may not"
                . " see them (no TRIGGER privilege).");
        }
    }
}

echo "SET FOREIGN_KEY_CHECKS=1;\n";
echo BW_COMPLETION_LINE;
