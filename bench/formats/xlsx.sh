# Excel workbooks: varnelo-export against Debian's python3-xlsxwriter
# (bench/xlsx_peer.py) writing the same rows with the same formats, on the
# 65,535 rows a sheet takes (the format's limit) from the largest table and
# the same share of the smaller one, where memory is compared. Sourced by
# bench/run.sh.

contender_varnelo_xlsx() {
    LABEL="varnelo-export xlsx"
    SHORT=varnelo
    OUTPUT=$3/varnelo.xlsx
    STDOUT=/dev/null
    CMD=("$VARNELO_EXPORT" --db "$1" --query "$2" --format xlsx -o "$OUTPUT" --quiet)
}

contender_python_xlsxwriter() {
    LABEL="python3-xlsxwriter"
    SHORT=xlsxwriter
    OUTPUT=$3/peer.xlsx
    STDOUT=/dev/null
    CMD=(/usr/bin/python3 "$ROOT/bench/xlsx_peer.py" "$1" "$2" "$OUTPUT")
}

compare_xlsx() {
    /usr/bin/python3 -c 'import xlsxwriter' 2>/dev/null ||
        die "python3-xlsxwriter is not installed (Debian package: python3-xlsxwriter)"
    CMP_LIMIT=65535
    CMP_PEER_TARGET=0.5
    CMP_NO_FLOOR=1  # compressing the workbook dwarfs reading 65,535 rows
    run_comparison xlsx varnelo_xlsx python_xlsxwriter scan
    report_comparison xlsx varnelo_xlsx python_xlsxwriter scan
    unset CMP_LIMIT CMP_PEER_TARGET CMP_NO_FLOOR
}
