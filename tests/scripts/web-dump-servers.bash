# Sourced by the web-site dump's scripts (web-dump.sh, web-dump-roundtrip.sh,
# main-web-dump.sh): the servers a web site has, each on 127.0.0.1, started
# here and stopped by its PID (web_dump_stop_servers): a MariaDB server with
# a data folder and port of its own, pyftpdlib on an FTP root and `php -S`
# serving a folder, so an uploaded dump script really runs and dumps.
# The scripts end as skipped (77) when a server cannot be had.

web_dump_py=/usr/bin/python3
web_dump_pids=()

web_dump_skip() {
    echo "SKIPPED: $1 (scripts/bootstrap installs it)"
    exit 77
}

# web_dump_need [ftp]: every server is there, else skipped.
web_dump_need() {
    [ -x /usr/sbin/mariadbd ] && command -v mariadb-install-db >/dev/null || web_dump_skip "mariadb-server"
    command -v php >/dev/null || web_dump_skip "php-cli"
    # grep reads the whole list: with -q it would stop at the match, and
    # php, cut off mid-write, would fail the pipe (pipefail).
    php -m 2>/dev/null | grep -x mysqli >/dev/null || web_dump_skip "php-mysql"
    if [ "${1:-}" = ftp ]; then
        $web_dump_py -c 'import pyftpdlib' 2>/dev/null || web_dump_skip "python3-pyftpdlib"
    fi
}

web_dump_stop_servers() {
    local pid
    for pid in "${web_dump_pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${web_dump_pids[@]}"; do wait "$pid" 2>/dev/null; done
    web_dump_pids=()
}

web_dump_free_port() {
    $web_dump_py -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# web_dump_start_mariadb FOLDER [SERVER OPTION...]: a fresh server with its
# data, socket and logs in FOLDER; sets db_sock and db_port, and sql runs
# the client as root on it. Ends the script when the server does not come.
web_dump_start_mariadb() {
    local folder=$1 i
    shift
    db_sock="$folder/db.sock"
    db_port=$(web_dump_free_port)
    mariadb-install-db --no-defaults --datadir="$folder/db" --user="$(id -un)" \
        --auth-root-authentication-method=normal >"$folder/db-install.log" 2>&1 ||
        web_dump_skip "mariadb-install-db failed: $(tail -n 3 "$folder/db-install.log")"
    /usr/sbin/mariadbd --no-defaults --datadir="$folder/db" --socket="$db_sock" --port="$db_port" \
        --bind-address=127.0.0.1 --user="$(id -un)" --skip-log-bin --innodb-buffer-pool-size=32M \
        --pid-file="$folder/db.pid" --log-error="$folder/db.err" "$@" >>"$folder/db.err" 2>&1 &
    web_dump_pids+=($!)
    for ((i = 0; i < 240; i++)); do
        sql -e 'SELECT 1' >/dev/null 2>&1 && return 0
        sleep 0.25
    done
    cat "$folder/db.err"
    echo "FAILED: MariaDB did not start"
    exit 1
}
sql() { mariadb --no-defaults --default-character-set=utf8mb4 -uroot --socket="$db_sock" "$@"; }

# web_dump_start_ftp ROOT USER PASSWORD LOG: pyftpdlib with write access to
# ROOT; sets ftp_port.
web_dump_start_ftp() {
    ftp_port=$(web_dump_free_port)
    $web_dump_py -m pyftpdlib -i 127.0.0.1 -p "$ftp_port" -w -d "$1" -u "$2" -P "$3" >"$4" 2>&1 &
    web_dump_pids+=($!)
}

# web_dump_start_php FOLDER LOG: `php -S` serving FOLDER; sets http_port.
web_dump_start_php() {
    http_port=$(web_dump_free_port)
    php -S "127.0.0.1:$http_port" -t "$1" >"$2" 2>&1 &
    web_dump_pids+=($!)
}

# web_dump_wait_ports PORT...: true once every port takes a connection
# (within 20 s).
web_dump_wait_ports() {
    local ports i
    ports=$(IFS=,; echo "$*")
    for ((i = 0; i < 80; i++)); do
        $web_dump_py -c "import socket; [socket.create_connection(('127.0.0.1', p)).close() for p in ($ports,)]" \
            2>/dev/null && return 0
        sleep 0.25
    done
    return 1
}

# web_dump_sql_text TEXT: TEXT as the inside of a quoted SQL string.
web_dump_sql_text() { printf '%s' "$1" | sed "s/\\\\/\\\\\\\\/g; s/'/\\\\'/g"; }

# web_dump_fill TEMPLATE OUT HOST NAME USER PASSWORD: the template with its
# placeholders replaced as the program replaces them (each wherever it
# occurs, in this order).
web_dump_fill() {
    $web_dump_py - "$@" <<'PY'
import os, sys
template, out, host, name, user, password = map(os.fsencode, sys.argv[1:7])
text = open(template, "rb").read()
for key, value in ((b"{DB_HOST}", host), (b"{DB_NAME}", name), (b"{DB_USER}", user),
                   (b"{DB_PASSWORD}", password)):
    text = text.replace(key, value)
open(out, "wb").write(text)
PY
}
