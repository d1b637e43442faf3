# Zip archives: varnelo-zip-example (CGZipFiles on libzip) against Debian's
# `zip -r -q` archiving the same tree in the same run, on two trees written
# once by bench/zip_tree.py into BUILD_DIR/bench-data: 2,000 files, about
# 200 MB each.
#   base          text, random and part-compressible binary data
#   half-random   half random bytes (deflated, then stored: they do not
#                 shrink), half repetitive text, a few files above 1 MiB
# Not a table export: the tables of run.sh play no part here. Sourced by
# bench/run.sh.
#
# Target, on each tree: at most ZIP_TARGET times zip's time, with the
# archive's size within ZIP_SIZE_SLACK of zip's (the same work, not a lighter
# compression).

readonly ZIP_TARGET=1.1
readonly ZIP_SIZE_SLACK=0.05
readonly ZIP_TREES=(base half-random)

# Makes the tree of KIND unless it is there, made by this very generator (its
# hash is kept beside it); built under a temporary name so that an
# interrupted run never leaves a partial tree that looks complete.
make_zip_tree() {
    local tree=$1 kind=$2 stamp
    local args=()
    [[ $kind == base ]] || args=("--$kind")
    stamp=$(sha256sum "$ROOT/bench/zip_tree.py" | cut -c1-16)
    if [[ -d $tree && -f $tree.stamp && $(<"$tree.stamp") == "$stamp" ]]; then
        return
    fi
    note "making $tree ($kind: 2,000 files, about 200 MB)"
    rm -rf "$tree" "$tree.stamp" "$tree.tmp"
    python3 "$ROOT/bench/zip_tree.py" "${args[@]}" "$tree.tmp" || die "could not make $tree"
    local have
    have=$(find "$tree.tmp" -type f | wc -l)
    [[ $have == 2000 ]] || die "$tree.tmp has $have files, not 2000"
    mv "$tree.tmp" "$tree"
    echo "$stamp" >"$tree.stamp"
}

# contender_NAME TREE DIR: as run.sh's contenders, for a tree.
contender_varnelo_zip() {
    LABEL="varnelo-zip-example"
    SHORT=varnelo
    OUTPUT=$2/varnelo.zip
    STDOUT=/dev/null
    CMD=("$VARNELO_ZIP_EXAMPLE" "$OUTPUT" --recurse --root "$1" .)
}

contender_infozip() {
    LABEL="zip -r -q"
    SHORT=zip
    OUTPUT=$2/zip.zip
    STDOUT=/dev/null
    # zip names entries after the folder it runs in; exec keeps GNU time on zip.
    CMD=(bash -c 'cd "$1" && exec zip -r -q "$2" .' zip "$1" "$OUTPUT")
}

# zip_tree_dir KIND: where the tree of KIND is kept (the base one where it
# always was, so an existing tree is not made again).
zip_tree_dir() {
    if [[ $1 == base ]]; then echo "$DATA_DIR/zip-tree"; else echo "$DATA_DIR/zip-tree-$1"; fi
}

compare_zip() {
    command -v zip >/dev/null || die "zip is not installed (Debian package: zip)"
    command -v unzip >/dev/null || die "unzip is not installed (Debian package: unzip)"
    command -v python3 >/dev/null || die "python3 is not installed (Debian package: python3)"
    [[ -x $VARNELO_ZIP_EXAMPLE ]] || die "no varnelo-zip-example at $VARNELO_ZIP_EXAMPLE"

    local kind r c
    for kind in "${ZIP_TREES[@]}"; do
        make_zip_tree "$(zip_tree_dir "$kind")" "$kind"
        mkdir -p "$OUT_DIR/zip/$kind"
    done
    # Every contender on every tree, taking turns, as run_comparison does.
    for ((r = 1; r <= RUNS; r++)); do
        for kind in "${ZIP_TREES[@]}"; do
            for c in varnelo_zip infozip; do
                measure "zip/$kind/$c" "$c" "$(zip_tree_dir "$kind")" "$OUT_DIR/zip/$kind"
            done
        done
    done
    for kind in "${ZIP_TREES[@]}"; do
        report_zip "$kind"
    done
}

# zip_entries ARCHIVE: "method length size name" of each file entry, from
# unzip -v (folders aside).
zip_entries() {
    unzip -v "$1" | awk '$2 ~ /^(Stored|Defl)/ && $8 !~ /\/$/ { print $2, $1, $3, $8 }'
}

# report_zip KIND: soundness of the archives, the table and the targets.
report_zip() {
    local kind=$1 tree dir c key
    tree=$(zip_tree_dir "$kind")
    dir=$OUT_DIR/zip/$kind
    # Both archives must be sound and hold the same entries, or the times
    # compare nothing.
    local v=$dir/varnelo.zip z=$dir/zip.zip
    if [[ -z ${FAILED[zip/$kind/varnelo_zip]:-} ]]; then
        unzip -tqq "$v" >"$ERR_FILE" 2>&1 || { note "unzip -t fails on $v"; FAILURES=$((FAILURES + 1)); }
        if [[ -z ${FAILED[zip/$kind/infozip]:-} ]]; then
            if ! cmp -s <(unzip -Z1 "$v" | sort) <(unzip -Z1 "$z" | sort); then
                note "the two archives of the $kind tree hold different entries"
                FAILURES=$((FAILURES + 1))
            fi
        fi
        # Deflated only when that made the file smaller (zip itself
        # deflates many a random file a little larger).
        local grown
        grown=$(zip_entries "$v" | awk '$1 != "Stored" && $3 >= $2' | wc -l)
        if ((grown > 0)); then
            note "$v holds $grown entries deflated to no less than their size"
            FAILURES=$((FAILURES + 1))
        fi
    fi

    local files bytes stored
    files=$(find "$tree" -type f | wc -l)
    bytes=$(du -sb "$tree" | cut -f1)
    stored=$(zip_entries "$v" 2>/dev/null | awk '$1 == "Stored"' | wc -l)
    echo
    echo "== zip ($kind tree): ${LABELS[varnelo_zip]} vs ${LABELS[infozip]}" \
         "($files files, $bytes bytes; best of $RUNS)"
    printf '%-22s %9s %9s %14s\n' command seconds "peak MiB" "archive bytes"
    for c in varnelo_zip infozip; do
        key=zip/$kind/$c
        if [[ -n ${FAILED[$key]:-} ]]; then
            printf '%-22s %9s\n' "${LABELS[$c]}" FAILED
        else
            printf '%-22s %9s %9s %14s\n' "${LABELS[$c]}" "${SECS[$key]}" "$(mib "${KIB[$key]}")" "${BYTES[$key]}"
        fi
    done
    local vs=${SECS[zip/$kind/varnelo_zip]:-} zs=${SECS[zip/$kind/infozip]:-}
    if [[ -z $vs || -z $zs ]]; then
        echo "target: none judged, a command failed"
        return
    fi
    local tr sr size_ok
    tr=$(ratio "$vs" "$zs")
    sr=$(ratio "${BYTES[zip/$kind/varnelo_zip]}" "${BYTES[zip/$kind/infozip]}")
    echo "varnelo stored $stored of the $files files, $(zip_entries "$z" 2>/dev/null | awk '$1 == "Stored"' | wc -l) zip"
    printf '%-22s %8sx\n' "varnelo/zip time" "$tr"
    printf '%-22s %8sx\n' "varnelo/zip size" "$sr"
    size_ok=$(awk -v s="$sr" -v k="$ZIP_SIZE_SLACK" 'BEGIN { print (s <= 1 + k && s >= 1 - k) ? "PASS" : "MISS" }')
    printf 'target: %-30s %6sx  %s\n' "<= ${ZIP_TARGET}x zip's time" "$tr" "$(verdict "$tr" '<=' "$ZIP_TARGET")"
    printf 'target: %-30s %6sx  %s\n' "size within ${ZIP_SIZE_SLACK} of zip's" "$sr" "$size_ok"
}
