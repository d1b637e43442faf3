# PostgreSQL: varnelo-export --pg to CSV against psql's
# `\copy (query) to stdout with csv header` on the same query, and the same
# export through ODBC (the odbc-postgresql driver, streaming with
# UseDeclareFetch) beside them. Sourced by bench/run.sh.
#
# The comparison starts its own server (initdb into a scratch folder, a Unix
# socket of its own, no TCP; as the postgres user when run as root), loads
# the benchmark table's shape into one database per size (bench_1m,
# bench_100k, ...), and stops it when done. Needs the Debian packages
# postgresql, postgresql-client, odbc-postgresql.
#
# psql writes the server's text; varnelo writes numbers in their shortest form
# (12.30 as 12.3), quotes every text, and writes dates as ISO dates, so the
# files differ a little in size but carry the same values.

readonly PG_PEER_TARGET=1.2

PG_DIR=""
PG_AS=()

pg_stop() {
    [[ -n $PG_DIR && -d $PG_DIR ]] || return 0
    (cd "$PG_DIR" && "${PG_AS[@]}" "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -m fast -w stop >/dev/null 2>&1) || true
    rm -rf "$PG_DIR"
    PG_DIR=""
}

pg_start() {
    PG_BIN=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
    [[ -n $PG_BIN && -x $PG_BIN/postgres ]] || die "no PostgreSQL server (Debian package: postgresql)"
    command -v psql >/dev/null || die "psql not found (Debian package: postgresql-client)"
    PG_DIR=$(mktemp -d)
    chmod 755 "$PG_DIR"
    mkdir "$PG_DIR/data" "$PG_DIR/sock"
    if [[ $(id -u) == 0 ]]; then
        chown postgres:postgres "$PG_DIR/data" "$PG_DIR/sock"
        PG_AS=(runuser -u postgres --)
    fi
    PG_SOCK=$PG_DIR/sock
    (cd "$PG_DIR" &&
        "${PG_AS[@]}" "$PG_BIN/initdb" -D "$PG_DIR/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 \
            --no-sync >/dev/null &&
        "${PG_AS[@]}" "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -l "$PG_SOCK/server.log" -w -t 60 \
            -o "-c listen_addresses='' -k $PG_SOCK -c fsync=off -c synchronous_commit=off" start >/dev/null) ||
        { cat "$PG_SOCK/server.log" >&2 2>/dev/null; die "the PostgreSQL server did not start"; }
    # The driver list of the ODBC contender, private to this run.
    local driver
    driver=$(ls /usr/lib/*/odbc/psqlodbcw.so 2>/dev/null | head -n 1)
    [[ -n $driver ]] || die "no PostgreSQL ODBC driver (Debian package: odbc-postgresql)"
    printf '[PostgreSQL Unicode]\nDriver=%s\n' "$driver" >"$PG_DIR/odbcinst.ini"
    : >"$PG_DIR/odbc.ini"
    export ODBCSYSINI=$PG_DIR ODBCINSTINI=odbcinst.ini ODBCINI=$PG_DIR/odbc.ini
}

pg_psql() { psql -X -q -v ON_ERROR_STOP=1 -h "$PG_SOCK" -U postgres "$@"; }

# The SQLite benchmark table's shape and values, made by the server.
pg_make_table() {
    local db=$1 rows=$2
    note "making PostgreSQL database $db ($rows rows)"
    pg_psql -d postgres -c "CREATE DATABASE $db" >/dev/null
    pg_psql -d "$db" >/dev/null <<EOF
CREATE TABLE bench_rows (
    id     bigint PRIMARY KEY,
    big    bigint,
    name   varchar(40),
    price  double precision,
    amount numeric(12,2),
    day    date,
    stamp  timestamp,
    note   text
);
INSERT INTO bench_rows
SELECT i,
       CASE i % 4 WHEN 0 THEN -(i * 2654435761) WHEN 1 THEN 9007199254740993 + i * 7919
                  ELSE i * 2654435761 END,
       CASE i % 10 WHEN 0 THEN 'Smith, John' WHEN 3 THEN 'the "quoted" one' WHEN 7 THEN 'Zoë''s café'
                   ELSE 'customer ' || i END,
       round((i % 100000) * 0.37, 2)::float8,
       (i * 7919 % 10000000) / 100.0,
       make_date(2000 + (i % 25)::int, 1 + (i % 12)::int, 1 + (i % 28)::int),
       make_timestamp(2000 + (i % 25)::int, 1 + (i / 7 % 12)::int, 1 + (i / 3 % 28)::int,
                      CASE WHEN i % 16 = 0 THEN 0 ELSE 12 + (i % 12)::int END,
                      CASE WHEN i % 16 = 0 THEN 0 ELSE (i % 60)::int END,
                      CASE WHEN i % 16 = 0 THEN 0 ELSE i * 7 % 60 END),
       CASE WHEN i % 3 = 0 THEN NULL WHEN i % 11 = 0 THEN '' WHEN i % 13 = 0 THEN 'two' || chr(10) || 'lines'
            ELSE 'note ' || i END
FROM generate_series(1::bigint, $rows) i;
VACUUM ANALYZE bench_rows;
EOF
}

# The database of a size: bench_1m for .../bench_1m.db.
pg_db_of() { basename "$1" .db; }

contender_varnelo_pg() {
    LABEL="varnelo-export --pg"
    SHORT=varnelo
    OUTPUT=$3/varnelo-pg.csv
    STDOUT=/dev/null
    CMD=("$VARNELO_EXPORT" --pg "host=$PG_SOCK user=postgres dbname=$(pg_db_of "$1")" --query "$2" --format 0
         --set Quotes=1 --set Columns=1 -o "$OUTPUT" --quiet)
}

contender_psql_copy() {
    LABEL="psql \\copy csv"
    SHORT=psql
    OUTPUT=$3/psql.csv
    STDOUT=$OUTPUT
    CMD=(psql -X -q -h "$PG_SOCK" -U postgres -d "$(pg_db_of "$1")" -c "\\copy ($2) to stdout with csv header")
}

contender_varnelo_odbc() {
    LABEL="varnelo-export --odbc"
    SHORT=odbc
    OUTPUT=$3/varnelo-odbc.csv
    STDOUT=/dev/null
    CMD=("$VARNELO_EXPORT"
         --odbc "Driver={PostgreSQL Unicode};Servername=$PG_SOCK;Database=$(pg_db_of "$1");UID=postgres;UseDeclareFetch=1;Fetch=10000"
         --query "$2" --format 0 --set Quotes=1 --set Columns=1 -o "$OUTPUT" --quiet)
}

compare_pg() {
    pg_start
    trap 'pg_stop; rm -f "$TIME_FILE" "$ERR_FILE"' EXIT
    local size
    for size in ${SIZES}; do
        pg_make_table "$(pg_db_of "$(db_for "$size")")" "$(rows_of "$size")"
    done
    # The ODBC export is reported beside the others, not judged.
    CMP_PEER_TARGET=$PG_PEER_TARGET CMP_NO_FLOOR=1 run_comparison pg varnelo_pg psql_copy varnelo_odbc
    CMP_PEER_TARGET=$PG_PEER_TARGET CMP_NO_FLOOR=1 report_comparison pg varnelo_pg psql_copy varnelo_odbc
    pg_stop
}
