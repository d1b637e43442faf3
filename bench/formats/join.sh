# A join with GROUP BY: CSV export of a query that costs the database far more
# than writing its rows, varnelo-export against `sqlite3 -csv` on the same
# query in the same run, with the scan floor. Sourced by bench/run.sh, which
# defines the CSV contenders, run_comparison and report_comparison.
#
# Every row of bench_rows is joined to the rows of the same price and day
# (found through an automatic index) and the groups are sorted by a key that
# is not the table's order, so the first row comes only after the whole join:
# every extra run of the query (a count, a cursor moved back to the first
# row) costs about as much as the export itself. One group per row, so the
# output has as many rows as the table. The target allows the exporter a
# tenth over the shell, which it meets only by running the query once.

readonly JOIN_QUERY="SELECT a.big, a.name, a.day, count(*) AS pairs, sum(b.amount) AS amount \
FROM bench_rows AS a JOIN bench_rows AS b ON b.price = a.price AND b.day = a.day GROUP BY a.big"

compare_join() {
    CMP_QUERY=$JOIN_QUERY
    CMP_PEER_TARGET=1.1
    run_comparison join varnelo_csv sqlite3_csv scan
    report_comparison join varnelo_csv sqlite3_csv scan
    unset CMP_QUERY CMP_PEER_TARGET
}
