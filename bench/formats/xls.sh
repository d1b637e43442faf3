# Excel 97-2003 workbooks: varnelo-export writing .xls against varnelo-export
# writing .xlsx, the same rows with the same looks in the same run, on the
# 65,535 rows a sheet takes from the largest table and the same share of the
# smaller one. No peer tool in Debian writes .xls; the .xlsx writer is the
# yardstick: with no compression to do, .xls should take at most half its
# time. The shared strings are held in memory (one entry per distinct
# text), so memory is judged against a ceiling rather than for flatness.
# Sourced by bench/run.sh.

contender_varnelo_xls() {
    LABEL="varnelo-export xls"
    SHORT=xls
    OUTPUT=$3/varnelo.xls
    STDOUT=/dev/null
    CMD=("$VARNELO_EXPORT" --db "$1" --query "$2" --format xlsx -o "$OUTPUT" --quiet)
}

contender_varnelo_xlsx_yardstick() {
    LABEL="varnelo-export xlsx"
    SHORT=xlsx
    OUTPUT=$3/varnelo.xlsx
    STDOUT=/dev/null
    CMD=("$VARNELO_EXPORT" --db "$1" --query "$2" --format xlsx -o "$OUTPUT" --quiet)
}

compare_xls() {
    CMP_LIMIT=65535
    CMP_PEER_TARGET=0.5
    CMP_PEAK_LIMIT_MIB=64
    CMP_FLAT_MIB=64
    run_comparison xls varnelo_xls varnelo_xlsx_yardstick scan
    report_comparison xls varnelo_xls varnelo_xlsx_yardstick scan
    unset CMP_LIMIT CMP_PEER_TARGET CMP_PEAK_LIMIT_MIB CMP_FLAT_MIB
}
