#!/usr/bin/env bash
# Benchmarks varnelo-export against peer tools on the same data.
#
#   bench/run.sh [BUILD_DIR]      (what `make bench` runs; default build-release)
#
# Each comparison times, in one run and on one query, the exporter, a peer
# tool writing the same format, and varnelo-bench-scan: a bare walk of the
# record source the exporter reads, the floor under any export. They run on
# two generated tables of the same shape, 1,000,000 and 100,000 rows, made once
# with the sqlite3 shell and kept in BUILD_DIR/bench-data.
#
# Every command runs BENCH_RUNS times (default 3), the commands taking turns so
# that a burst of load on the machine hits all of them alike. A command's time
# is its best run; its memory is the largest peak RSS (GNU time's %M) of its
# runs. Wall time is read from the shell's microsecond clock around that same
# GNU time run, since %e counts only hundredths, too coarse for the small table.
#
# Timings are reported, never asserted: the script exits 0 whatever they are.
# It exits non-zero only when it cannot measure: a tool is missing, the data
# cannot be made, or a command fails.
#
# Environment:
#   BENCH_RUNS=N           runs per command (default 3)
#   BENCH_SIZES="1m 100k"  tables to run on (a row count, or a count with k/m)
#   BENCH_NO_BUILD=1       take the binaries as they are: no configure, no build
#   BENCH_ONLY="csv ..."   run only these comparisons (default: all)
#   VARNELO_EXPORT, VARNELO_BENCH_SCAN, SQLITE3   other binaries to run
#
# Needs bash 5, cmake, the sqlite3 shell and GNU time at /usr/bin/time
# (Debian packages: cmake, sqlite3, time). The PostgreSQL comparison
# (bench/formats/pg.sh) starts a server of its own and also needs postgresql,
# postgresql-client and odbc-postgresql.
#
# Adding a format: put its contenders (contender_* like those below) and a
# compare_NAME function like compare_csv in bench/formats/NAME.sh; every file
# there is sourced, and its comparison runs after the CSV one. Set
# BENCH_ONLY="csv insert" to run only the named comparisons.

set -euo pipefail
export LC_ALL=C  # one decimal point for the clock, awk and printf

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
readonly ROOT
readonly RUNS=${BENCH_RUNS:-3}
readonly SIZES=${BENCH_SIZES:-1m 100k}
# Targets: the exporter's time over the peer's and over the floor's, its peak.
readonly PEER_TARGET=1.0
readonly FLOOR_TARGET=1.5
readonly PEAK_LIMIT_MIB=32
# "Flat": the peak may grow by at most this much from the smallest to the
# largest table (a streaming export's memory doesn't depend on the rows).
readonly FLAT_MIB=2
readonly GNU_TIME=/usr/bin/time
readonly QUERY="SELECT * FROM bench_rows"

die() { echo "bench: $*" >&2; exit 2; }
note() { echo "bench: $*" >&2; }

# "1m" -> 1000000, "100k" -> 100000, "5000" -> 5000.
rows_of() {
    case $1 in
        *[mM]) echo $(( ${1%?} * 1000000 )) ;;
        *[kK]) echo $(( ${1%?} * 1000 )) ;;
        *) echo $(( $1 )) ;;
    esac
}

# ---------------------------------------------------------------------------
# Tools

check_tools() {
    (( BASH_VERSINFO[0] >= 5 )) || die "needs bash 5 (for EPOCHREALTIME)"
    [[ $RUNS =~ ^[1-9][0-9]*$ ]] || die "BENCH_RUNS must be a positive number, not '$RUNS'"
    if ! [[ -x $GNU_TIME ]] || ! "$GNU_TIME" --version 2>&1 | grep -q GNU; then
        die "GNU time not found at $GNU_TIME (Debian package: time)"
    fi
    SQLITE3=${SQLITE3:-$(command -v sqlite3 || true)}
    [[ -n $SQLITE3 && -x $SQLITE3 ]] || die "the sqlite3 shell is not installed (Debian package: sqlite3)"
}

# Configures BUILD_DIR (Release) when it isn't yet, builds the two programs,
# and warns when the build would make the timings meaningless.
build_programs() {
    if [[ ${BENCH_NO_BUILD:-0} != 1 ]]; then
        command -v cmake >/dev/null || die "cmake not found (Debian package: cmake)"
        if [[ ! -f $BUILD_DIR/CMakeCache.txt ]]; then
            note "configuring $BUILD_DIR (Release)"
            cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DVARNELO_TESTS=OFF \
                >/dev/null || die "cmake could not configure $BUILD_DIR"
        fi
        cmake --build "$BUILD_DIR" -j"$(nproc)" --target varnelo-export varnelo-bench-scan varnelo-zip-example \
            >"$BUILD_DIR/bench-build.log" 2>&1 ||
            { tail -n 30 "$BUILD_DIR/bench-build.log" >&2; die "build failed (log: $BUILD_DIR/bench-build.log)"; }
    fi
    VARNELO_EXPORT=${VARNELO_EXPORT:-$BUILD_DIR/varnelo-export}
    VARNELO_BENCH_SCAN=${VARNELO_BENCH_SCAN:-$BUILD_DIR/varnelo-bench-scan}
    VARNELO_ZIP_EXAMPLE=${VARNELO_ZIP_EXAMPLE:-$BUILD_DIR/varnelo-zip-example}
    [[ -x $VARNELO_EXPORT ]] || die "no varnelo-export at $VARNELO_EXPORT"
    [[ -x $VARNELO_BENCH_SCAN ]] || die "no varnelo-bench-scan at $VARNELO_BENCH_SCAN"
    BUILD_TYPE=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$BUILD_DIR/CMakeCache.txt" 2>/dev/null || true)
    if [[ -f $BUILD_DIR/CMakeCache.txt && $BUILD_TYPE != Release ]]; then
        note "warning: $BUILD_DIR is a '${BUILD_TYPE:-unset}' build; timings mean little outside Release"
    fi
}

# ---------------------------------------------------------------------------
# Data

# The benchmark table: 8 columns of mixed types, text that sometimes needs
# quoting (commas, double quotes, an apostrophe, a line break), non-ASCII,
# integers past 2^53 and negative, decimals, dates, afternoon and midnight
# times, a third of one column NULL and some empty strings. Decimals are
# computed so that each is the double nearest its two-decimal text, so every
# tool prints the same digits.
bench_table_sql() {
    cat <<EOF
PRAGMA journal_mode = OFF;
PRAGMA synchronous = OFF;
CREATE TABLE bench_rows (
    id     INTEGER PRIMARY KEY,
    big    BIGINT,
    name   VARCHAR(40),
    price  REAL,
    amount DECIMAL(12,2),
    day    DATE,
    stamp  DATETIME,
    note   TEXT
);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $1)
INSERT INTO bench_rows
SELECT i,
       CASE i % 4 WHEN 0 THEN -(i * 2654435761)
                  WHEN 1 THEN 9007199254740993 + i * 7919
                  ELSE i * 2654435761 END,
       CASE i % 10 WHEN 0 THEN 'Smith, John'
                   WHEN 3 THEN 'the "quoted" one'
                   WHEN 7 THEN 'Zoë''s café'
                   ELSE 'customer ' || i END,
       round((i % 100000) * 0.37, 2),
       (i * 7919 % 10000000) / 100.0,
       printf('%04d-%02d-%02d', 2000 + i % 25, 1 + i % 12, 1 + i % 28),
       printf('%04d-%02d-%02d %02d:%02d:%02d', 2000 + i % 25, 1 + i / 7 % 12, 1 + i / 3 % 28,
              CASE WHEN i % 16 = 0 THEN 0 ELSE 12 + i % 12 END,
              CASE WHEN i % 16 = 0 THEN 0 ELSE i % 60 END,
              CASE WHEN i % 16 = 0 THEN 0 ELSE i * 7 % 60 END),
       CASE WHEN i % 3 = 0 THEN NULL
            WHEN i % 11 = 0 THEN ''
            WHEN i % 13 = 0 THEN 'two' || char(10) || 'lines'
            ELSE 'note ' || i END
FROM n;
EOF
}

# Makes DB with ROWS rows unless it is there already, made by this very
# generator (its text's hash is kept beside it). Built under a temporary name,
# so an interrupted run never leaves a short table that looks complete.
make_table() {
    local db=$1 rows=$2 sql stamp
    sql=$(bench_table_sql "$rows")
    stamp=$(printf '%s' "$sql" | sha256sum | cut -c1-16)
    if [[ -f $db && -f $db.stamp && $(<"$db.stamp") == "$stamp" ]]; then
        return
    fi
    note "making $db ($rows rows)"
    rm -f "$db" "$db.stamp" "$db.tmp"
    "$SQLITE3" -batch -bail "$db.tmp" <<<"$sql" >/dev/null || die "could not make $db"
    local have
    have=$("$SQLITE3" -batch "$db.tmp" "SELECT count(*) FROM bench_rows") || die "cannot read $db.tmp"
    [[ $have == "$rows" ]] || die "$db.tmp has $have rows, not $rows"
    mv "$db.tmp" "$db"
    echo "$stamp" >"$db.stamp"
}

db_for() { echo "$DATA_DIR/bench_$1.db"; }

# ---------------------------------------------------------------------------
# Contenders. contender_NAME DB QUERY DIR sets LABEL (for the table), SHORT
# (for ratios and targets), CMD (the command), STDOUT (where its standard
# output goes) and OUTPUT (the file whose size is reported, empty for none).

contender_varnelo_csv() {
    LABEL="varnelo-export"
    SHORT=varnelo
    OUTPUT=$3/varnelo.csv
    STDOUT=/dev/null
    CMD=("$VARNELO_EXPORT" --db "$1" --query "$2" --format 0 --set Quotes=1 --set Columns=1
         -o "$OUTPUT" --quiet)
}

contender_sqlite3_csv() {
    LABEL="sqlite3 -csv"
    SHORT=sqlite3
    OUTPUT=$3/sqlite3.csv
    STDOUT=$OUTPUT
    CMD=("$SQLITE3" -csv -header "$1" "$2")
}

contender_scan() {
    LABEL="varnelo-bench-scan"
    SHORT=scan
    OUTPUT=""
    STDOUT=$3/scan.txt
    CMD=("$VARNELO_BENCH_SCAN" "$1" "$2")
}

# ---------------------------------------------------------------------------
# Measuring

declare -A SECS KIB BYTES LABELS SHORTS FAILED
FAILURES=0

# One run of CMD under GNU time; sets RUN_SECS and RUN_KIB, or returns 1 when
# the command fails or leaves no output (the reason is left in $ERR_FILE).
time_once() {
    local t0 t1
    [[ -z $OUTPUT ]] || rm -f "$OUTPUT"  # so an old file can't pass for this run's
    t0=$EPOCHREALTIME
    if ! "$GNU_TIME" -f '%e %M' -o "$TIME_FILE" "${CMD[@]}" >"$STDOUT" 2>"$ERR_FILE"; then
        return 1
    fi
    t1=$EPOCHREALTIME
    if [[ -n $OUTPUT && ! -f $OUTPUT ]]; then
        echo "exited 0 but wrote no $OUTPUT" >>"$ERR_FILE"
        return 1
    fi
    RUN_SECS=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
    RUN_KIB=$(tail -n 1 "$TIME_FILE" | awk '{ print $2 }')
}

# measure KEY CONTENDER ARG...: one run of contender_CONTENDER ARG...,
# kept in SECS/KIB/BYTES[KEY] (its best time, its largest peak). A failure
# marks KEY, which is not run again.
measure() {
    local key=$1 c=$2
    shift 2
    [[ -n ${FAILED[$key]:-} ]] && return 0
    "contender_$c" "$@"
    LABELS[$c]=$LABEL
    SHORTS[$c]=$SHORT
    if ! time_once; then
        FAILED[$key]=1
        FAILURES=$((FAILURES + 1))
        note "$LABEL failed ($key): ${CMD[*]}"
        sed 's/^/    /' "$ERR_FILE" | head -n 20 >&2
        return 0
    fi
    if [[ -z ${SECS[$key]:-} ]] || awk -v a="$RUN_SECS" -v b="${SECS[$key]}" 'BEGIN { exit !(a < b) }'; then
        SECS[$key]=$RUN_SECS
    fi
    (( RUN_KIB > ${KIB[$key]:-0} )) && KIB[$key]=$RUN_KIB
    BYTES[$key]=${OUTPUT:+$(stat -c %s "$OUTPUT")}
}

# run_comparison NAME CONTENDER...: every contender on every table, taking
# turns, RUNS rounds. Results go to SECS/KIB/BYTES[NAME/SIZE/CONTENDER].
# A comparison may set CMP_QUERY (another query on the tables), CMP_SIZES
# (fewer tables), CMP_LIMIT (rows read from the largest table; the others give
# the same share of theirs, so memory is still judged against the row count),
# CMP_PEER_TARGET (its own target against the peer), CMP_PEAK_LIMIT_MIB and
# CMP_FLAT_MIB (its own memory ceiling and allowed growth) for its run and
# report; they fall back to QUERY, SIZES, every row, PEER_TARGET,
# PEAK_LIMIT_MIB and FLAT_MIB.
# CMP_NO_FLOOR=1 reports the floor's time without judging the exporter by it,
# for formats whose own encoding costs far more than reading the rows.

# Rows a comparison reads from the table of SIZE.
cmp_rows() {
    local rows largest=0 s
    rows=$(rows_of "$1")
    [[ -n ${CMP_LIMIT:-} ]] || { echo "$rows"; return; }
    for s in ${CMP_SIZES:-$SIZES}; do
        (( $(rows_of "$s") > largest )) && largest=$(rows_of "$s")
    done
    echo $(( rows * CMP_LIMIT / largest ))
}

cmp_query() {
    if [[ -n ${CMP_LIMIT:-} ]]; then
        echo "${CMP_QUERY:-$QUERY} LIMIT $(cmp_rows "$1")"
    else
        echo "${CMP_QUERY:-$QUERY}"
    fi
}

run_comparison() {
    local name=$1 size c r dir db
    shift
    for size in ${CMP_SIZES:-$SIZES}; do
        db=$(db_for "$size")
        dir=$OUT_DIR/$name/$size
        mkdir -p "$dir"
        for ((r = 1; r <= RUNS; r++)); do
            for c in "$@"; do
                measure "$name/$size/$c" "$c" "$db" "$(cmp_query "$size")" "$dir"
            done
        done
        # The floor must have walked every row, or its time means nothing.
        if [[ -f $dir/scan.txt && -z ${FAILED[$name/$size/scan]:-} ]]; then
            local scanned
            scanned=$(awk '{ print $2 }' "$dir/scan.txt")
            [[ $scanned == "$(cmp_rows "$size")" ]] ||
                note "warning: varnelo-bench-scan read $scanned rows of $(cmp_rows "$size")"
        fi
    done
}

# ---------------------------------------------------------------------------
# Reporting

mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "inf" }'; }
# PASS when "$1 $2 $3" holds (awk comparison), MISS otherwise.
verdict() { awk -v a="$1" -v b="$3" "BEGIN { exit !(a $2 b) }" && echo PASS || echo MISS; }

# report_comparison NAME EXPORTER PEER FLOOR: the table, then the targets.
report_comparison() {
    local name=$1 exporter=$2 peer=$3 floor=$4 size c key rows
    echo
    echo "== $name: ${LABELS[$exporter]} vs ${LABELS[$peer]} vs ${LABELS[$floor]}" \
         "(query: ${CMP_QUERY:-$QUERY}${CMP_LIMIT:+ LIMIT <rows>}; best of $RUNS)"
    printf '%-9s %-22s %9s %9s %14s\n' rows command seconds "peak MiB" "output bytes"
    for size in ${CMP_SIZES:-$SIZES}; do
        rows=$(cmp_rows "$size")
        for c in "$exporter" "$peer" "$floor"; do
            key=$name/$size/$c
            if [[ -n ${FAILED[$key]:-} ]]; then
                printf '%-9s %-22s %9s\n' "$rows" "${LABELS[$c]}" FAILED
            else
                printf '%-9s %-22s %9s %9s %14s\n' "$rows" "${LABELS[$c]}" "${SECS[$key]}" \
                    "$(mib "${KIB[$key]}")" "${BYTES[$key]:--}"
            fi
        done
        if [[ -n ${SECS[$name/$size/$exporter]:-} ]]; then
            for c in "$peer" "$floor"; do
                [[ -n ${SECS[$name/$size/$c]:-} ]] || continue
                printf '%-9s %-22s %8sx\n' "$rows" "${SHORTS[$exporter]}/${SHORTS[$c]}" \
                    "$(ratio "${SECS[$name/$size/$exporter]}" "${SECS[$name/$size/$c]}")"
            done
        fi
    done

    # Speed is judged on the largest table, where start-up costs least;
    # memory on every table, and flat from the smallest to the largest.
    local big="" small="" s
    for s in ${CMP_SIZES:-$SIZES}; do
        [[ -z $big || $(rows_of "$s") -gt $(rows_of "$big") ]] && big=$s
        [[ -z $small || $(rows_of "$s") -lt $(rows_of "$small") ]] && small=$s
    done
    local e=$name/$big/$exporter
    if [[ -z ${SECS[$e]:-} ]]; then
        echo "target: none judged, ${LABELS[$exporter]} did not run on $(cmp_rows "$big") rows"
        return
    fi
    local r
    if [[ -n ${SECS[$name/$big/$peer]:-} ]]; then
        r=$(ratio "${SECS[$e]}" "${SECS[$name/$big/$peer]}")
        printf 'target: %-30s %6sx at %s rows  %s\n' "<= ${CMP_PEER_TARGET:-$PEER_TARGET}x ${SHORTS[$peer]}" "$r" \
            "$(cmp_rows "$big")" "$(verdict "$r" '<=' "${CMP_PEER_TARGET:-$PEER_TARGET}")"
    fi
    if [[ -n ${SECS[$name/$big/$floor]:-} && -z ${CMP_NO_FLOOR:-} ]]; then
        r=$(ratio "${SECS[$e]}" "${SECS[$name/$big/$floor]}")
        printf 'target: %-30s %6sx at %s rows  %s\n' "<= ${FLOOR_TARGET}x ${SHORTS[$floor]}" "$r" \
            "$(cmp_rows "$big")" "$(verdict "$r" '<=' "$FLOOR_TARGET")"
    fi
    local peak_big=${KIB[$e]} peak_small=${KIB[$name/$small/$exporter]:-}
    local max_peak=$peak_big growth=0 ok=PASS
    if [[ -n $peak_small && $small != "$big" ]]; then
        (( peak_small > max_peak )) && max_peak=$peak_small
        growth=$(( peak_big - peak_small ))
        [[ $(verdict "$growth" '<=' $(( ${CMP_FLAT_MIB:-$FLAT_MIB} * 1024 ))) == PASS ]] || ok=MISS
    fi
    [[ $(verdict "$max_peak" '<' $(( ${CMP_PEAK_LIMIT_MIB:-$PEAK_LIMIT_MIB} * 1024 ))) == PASS ]] || ok=MISS
    local seen
    seen="$(mib "$peak_big") MiB at $(cmp_rows "$big") rows"
    if [[ $small == "$big" ]]; then
        seen+=" (flat not judged: one table)"
    elif [[ -n $peak_small ]]; then
        seen+=", $(mib "$peak_small") MiB at $(cmp_rows "$small") rows"
        seen+=" ($(awk -v g="$growth" 'BEGIN { v = g / 1024; if (v > -0.05 && v < 0.05) v = 0; printf "%+.1f", v }') MiB)"
    else
        seen+=" (flat not judged: failed on $(cmp_rows "$small") rows)"
    fi
    local goal="peak < ${CMP_PEAK_LIMIT_MIB:-$PEAK_LIMIT_MIB} MiB and flat"
    [[ -z ${CMP_FLAT_MIB:-} ]] || goal="peak < ${CMP_PEAK_LIMIT_MIB:-$PEAK_LIMIT_MIB} MiB, +${CMP_FLAT_MIB} MiB at most"
    printf 'target: %-30s %s  %s\n' "$goal" "$seen" "$ok"
}

# ---------------------------------------------------------------------------
# Comparisons, one per format.

compare_csv() {
    run_comparison csv varnelo_csv sqlite3_csv scan
    report_comparison csv varnelo_csv sqlite3_csv scan
}

COMPARISONS=(csv)
for f in "$ROOT"/bench/formats/*.sh; do
    [[ -e $f ]] || continue
    # shellcheck source=/dev/null
    source "$f"
    name=$(basename "$f" .sh)
    declare -F "compare_$name" >/dev/null || die "$f defines no compare_$name"
    COMPARISONS+=("$name")
done
unset f name

# ---------------------------------------------------------------------------

main() {
    BUILD_DIR=${1:-$ROOT/build-release}
    check_tools
    mkdir -p "$BUILD_DIR"
    BUILD_DIR=$(cd "$BUILD_DIR" && pwd)
    build_programs
    DATA_DIR=$BUILD_DIR/bench-data
    OUT_DIR=$BUILD_DIR/bench-out
    mkdir -p "$DATA_DIR" "$OUT_DIR"
    TIME_FILE=$(mktemp)
    ERR_FILE=$(mktemp)
    trap 'rm -f "$TIME_FILE" "$ERR_FILE"' EXIT

    local size
    for size in $SIZES; do
        [[ $(rows_of "$size") -gt 0 ]] || die "bad size '$size' in BENCH_SIZES"
        make_table "$(db_for "$size")" "$(rows_of "$size")"
    done

    echo "varnelo benchmark, $(date '+%Y-%m-%d %H:%M'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "build: $BUILD_DIR (${BUILD_TYPE:-unknown}); sqlite3 $("$SQLITE3" --version | cut -d' ' -f1)"

    local c
    for c in "${COMPARISONS[@]}"; do
        if [[ -z ${BENCH_ONLY:-} || " $BENCH_ONLY " == *" $c "* ]]; then
            "compare_$c"
        fi
    done

    if (( FAILURES > 0 )); then
        note "$FAILURES command(s) failed; their rows show FAILED"
        exit 1
    fi
}

main "$@"
