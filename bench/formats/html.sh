# HTML tables: varnelo-export against the sqlite3 shell's own HTML output
# (`sqlite3 -html -header`, i.e. `.mode html`) on the same query, with the
# scan floor, on both tables. The exporter writes far more bytes per cell
# (every cell carries its alignment, colour and two font blocks), so the
# output sizes in the table are part of the result. Sourced by bench/run.sh.

contender_varnelo_html() {
    LABEL="varnelo-export html"
    SHORT=varnelo
    OUTPUT=$3/varnelo.html
    STDOUT=/dev/null
    CMD=("$VARNELO_EXPORT" --db "$1" --query "$2" --format html --set Columns=1 -o "$OUTPUT" --quiet)
}

contender_sqlite3_html() {
    LABEL="sqlite3 -html"
    SHORT=sqlite3
    OUTPUT=$3/sqlite3.html
    STDOUT=$OUTPUT
    CMD=("$SQLITE3" -html -header "$1" "$2")
}

compare_html() {
    CMP_PEER_TARGET=1.5
    run_comparison html varnelo_html sqlite3_html scan
    report_comparison html varnelo_html sqlite3_html scan
    unset CMP_PEER_TARGET
}
