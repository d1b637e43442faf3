# INSERT statements: varnelo-export --format insert against the sqlite3
# shell's `.mode insert` on the same query, with the scan floor. Sourced by
# bench/run.sh, which defines run_comparison and report_comparison.
#
# The two files differ in shape (varnelo names the columns in every statement,
# breaks each over three lines and adds a COMMIT every 1000 rows; sqlite3
# writes one VALUES line per row) but carry the same values: both quote
# text with doubled single quotes and write Nulls as NULL.

contender_varnelo_insert() {
    LABEL="varnelo-export insert"
    SHORT=varnelo
    OUTPUT=$3/varnelo.sql
    STDOUT=/dev/null
    CMD=("$VARNELO_EXPORT" --db "$1" --query "$2" --format insert --set InsertTable=bench_rows
         --set CommitInterval=1000 -o "$OUTPUT" --quiet)
}

contender_sqlite3_insert() {
    LABEL="sqlite3 .mode insert"
    SHORT=sqlite3
    OUTPUT=$3/sqlite3.sql
    STDOUT=$OUTPUT
    CMD=("$SQLITE3" -batch -cmd ".mode insert bench_rows" "$1" "$2")
}

compare_insert() {
    run_comparison insert varnelo_insert sqlite3_insert scan
    report_comparison insert varnelo_insert sqlite3_insert scan
}
