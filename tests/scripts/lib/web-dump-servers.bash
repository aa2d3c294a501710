# Sourced by the web-site dump's scripts (web-dump.sh, web-dump-roundtrip.sh,
# main-web-dump.sh): the servers a web site has, each on 127.0.0.1, started
# here and stopped by its PID (web_dump_stop_servers): a MariaDB server with
# a data folder and port of its own, pyftpdlib on an FTP root (or one that
# takes uploads slowly) and `php -S` serving a folder, so an uploaded dump
# script really runs and dumps.
# The scripts end as skipped (77) when a server cannot be had.

source "$(dirname "${BASH_SOURCE[0]}")/waits.bash"

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
# the client as root on it. Ends the script (failed) when the server cannot
# be set up or does not come.
web_dump_start_mariadb() {
    local folder=$1
    shift
    db_sock="$folder/db.sock"
    db_port=$(web_dump_free_port)
    # A temporary folder of the server's own: two installs at once in /tmp
    # were seen to fail on each other's temporary tables ("Unknown table
    # 'mysql.tmp_user_sys'").
    mkdir -p "$folder/db-tmp"
    mariadb-install-db --no-defaults --datadir="$folder/db" --tmpdir="$folder/db-tmp" \
        --user="$(id -un)" --auth-root-authentication-method=normal >"$folder/db-install.log" 2>&1 || {
        cat "$folder/db-install.log"
        echo "FAILED: mariadb-install-db"
        exit 1
    }
    /usr/sbin/mariadbd --no-defaults --datadir="$folder/db" --tmpdir="$folder/db-tmp" \
        --socket="$db_sock" --port="$db_port" \
        --bind-address=127.0.0.1 --user="$(id -un)" --skip-log-bin --innodb-buffer-pool-size=32M \
        --pid-file="$folder/db.pid" --log-error="$folder/db.err" "$@" >>"$folder/db.err" 2>&1 &
    web_dump_pids+=($!)
    db_answers() { sql -e 'SELECT 1' >/dev/null 2>&1; }
    wait_until $bw_wait_program db_answers && return 0
    cat "$folder/db.err"
    echo "FAILED: MariaDB did not start"
    exit 1
}
sql() { mariadb --no-defaults --default-character-set=utf8mb4 -uroot --socket="$db_sock" "$@"; }

# web_dump_start_ftp ROOT USER PASSWORD LOG [ADDRESS PORT]: pyftpdlib with
# write access to ROOT, on 127.0.0.1 and a free port by default; sets
# ftp_port.
web_dump_start_ftp() {
    ftp_port=${6:-$(web_dump_free_port)}
    $web_dump_py -m pyftpdlib -i "${5:-127.0.0.1}" -p "$ftp_port" -w -d "$1" -u "$2" -P "$3" >"$4" 2>&1 &
    web_dump_pids+=($!)
}

# web_dump_start_slow_ftp ROOT USER PASSWORD LOG BYTES_PER_SECOND [ADDRESS
# PORT]: pyftpdlib as above, taking what is uploaded at no more than that
# rate (its throttled data handler), so an upload lasts; on 127.0.0.1 and a
# free port by default; sets slow_ftp_port.
web_dump_start_slow_ftp() {
    slow_ftp_port=${7:-$(web_dump_free_port)}
    $web_dump_py - "$1" "$2" "$3" "$5" "${6:-127.0.0.1}" "$slow_ftp_port" >"$4" 2>&1 <<'PY' &
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

root, user, password, rate, address, port = sys.argv[1:7]
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")


class Slow(ThrottledDTPHandler):
    read_limit = int(rate)


class Handler(FTPHandler):
    pass


Handler.authorizer = authorizer
Handler.dtp_handler = Slow
FTPServer((address, int(port)), Handler).serve_forever()
PY
    web_dump_pids+=($!)
}

# web_dump_start_php FOLDER LOG [ADDRESS PORT]: `php -S` serving FOLDER, on
# 127.0.0.1 and a free port by default; sets http_port.
web_dump_start_php() {
    http_port=${4:-$(web_dump_free_port)}
    php -S "${3:-127.0.0.1}:$http_port" -t "$1" >"$2" 2>&1 &
    web_dump_pids+=($!)
}

# web_dump_wait_ports ADDRESS PORT...: true once every port of the address
# takes a connection (within the bound of a program's start).
web_dump_wait_ports() {
    local address=$1 ports
    shift
    ports=$(IFS=,; echo "$*")
    ports_answer() {
        $web_dump_py -c "import socket; [socket.create_connection(('$address', p)).close() for p in ($ports,)]" \
            2>/dev/null
    }
    wait_until $bw_wait_program ports_answer
}

# web_dump_site_address: a loopback address of this run's own (127.x.y.z)
# on which ports 21 and 80 are free, for a site the program reaches on the
# standard FTP and HTTP ports, as it reaches every site; nothing when none
# can be had (binding ports below 1024 needs root).
web_dump_site_address() {
    $web_dump_py - <<'PY'
import random, socket
for _ in range(20):
    address = "127.%d.%d.%d" % (random.randint(1, 254), random.randint(0, 255), random.randint(1, 254))
    sockets = []
    try:
        for port in (21, 80):
            s = socket.socket()
            sockets.append(s)
            s.bind((address, port))
        print(address)
        break
    except OSError:
        pass
    finally:
        for s in sockets:
            s.close()
PY
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
