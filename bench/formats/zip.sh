# Zip archives: varnelo-zip-example (CGZipFiles on libzip) against Debian's
# `zip -r -q` archiving the same tree in the same run: 2,000 files, about
# 200 MB of text, random and part-compressible binary data, written once by
# bench/zip_tree.py into BUILD_DIR/bench-data/zip-tree. Not a table export:
# the tables of run.sh play no part here. Sourced by bench/run.sh.
#
# Target: at most ZIP_TARGET times zip's time, with the archive's size within
# ZIP_SIZE_SLACK of zip's (the same work, not a lighter compression).

readonly ZIP_TARGET=1.1
readonly ZIP_SIZE_SLACK=0.05

# Makes the tree unless it is there, made by this very generator (its hash
# is kept beside it); built under a temporary name so that an interrupted
# run never leaves a partial tree that looks complete.
make_zip_tree() {
    local tree=$1 stamp
    stamp=$(sha256sum "$ROOT/bench/zip_tree.py" | cut -c1-16)
    if [[ -d $tree && -f $tree.stamp && $(<"$tree.stamp") == "$stamp" ]]; then
        return
    fi
    note "making $tree (2,000 files, about 200 MB)"
    rm -rf "$tree" "$tree.stamp" "$tree.tmp"
    python3 "$ROOT/bench/zip_tree.py" "$tree.tmp" || die "could not make $tree"
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

compare_zip() {
    command -v zip >/dev/null || die "zip is not installed (Debian package: zip)"
    command -v unzip >/dev/null || die "unzip is not installed (Debian package: unzip)"
    command -v python3 >/dev/null || die "python3 is not installed (Debian package: python3)"
    [[ -x $VARNELO_ZIP_EXAMPLE ]] || die "no varnelo-zip-example at $VARNELO_ZIP_EXAMPLE"

    local tree=$DATA_DIR/zip-tree dir=$OUT_DIR/zip r c key
    make_zip_tree "$tree"
    mkdir -p "$dir"
    local files bytes
    files=$(find "$tree" -type f | wc -l)
    bytes=$(du -sb "$tree" | cut -f1)

    for ((r = 1; r <= RUNS; r++)); do
        for c in varnelo_zip infozip; do
            measure "zip/tree/$c" "$c" "$tree" "$dir"
        done
    done

    # Both archives must be sound and hold the same entries, or the times
    # compare nothing.
    local v=$dir/varnelo.zip z=$dir/zip.zip
    if [[ -z ${FAILED[zip/tree/varnelo_zip]:-} ]]; then
        unzip -tqq "$v" >"$ERR_FILE" 2>&1 || { note "unzip -t fails on $v"; FAILURES=$((FAILURES + 1)); }
        if [[ -z ${FAILED[zip/tree/infozip]:-} ]] &&
            ! cmp -s <(unzip -Z1 "$v" | sort) <(unzip -Z1 "$z" | sort); then
            note "the two archives hold different entries"
            FAILURES=$((FAILURES + 1))
        fi
    fi

    echo
    echo "== zip: ${LABELS[varnelo_zip]} vs ${LABELS[infozip]} ($files files, $bytes bytes; best of $RUNS)"
    printf '%-22s %9s %9s %14s\n' command seconds "peak MiB" "archive bytes"
    for c in varnelo_zip infozip; do
        key=zip/tree/$c
        if [[ -n ${FAILED[$key]:-} ]]; then
            printf '%-22s %9s\n' "${LABELS[$c]}" FAILED
        else
            printf '%-22s %9s %9s %14s\n' "${LABELS[$c]}" "${SECS[$key]}" "$(mib "${KIB[$key]}")" "${BYTES[$key]}"
        fi
    done
    local vs=${SECS[zip/tree/varnelo_zip]:-} zs=${SECS[zip/tree/infozip]:-}
    if [[ -z $vs || -z $zs ]]; then
        echo "target: none judged, a command failed"
        return
    fi
    local tr sr size_ok
    tr=$(ratio "$vs" "$zs")
    sr=$(ratio "${BYTES[zip/tree/varnelo_zip]}" "${BYTES[zip/tree/infozip]}")
    printf '%-22s %8sx\n' "varnelo/zip time" "$tr"
    printf '%-22s %8sx\n' "varnelo/zip size" "$sr"
    size_ok=$(awk -v s="$sr" -v k="$ZIP_SIZE_SLACK" 'BEGIN { print (s <= 1 + k && s >= 1 - k) ? "PASS" : "MISS" }')
    printf 'target: %-30s %6sx  %s\n' "<= ${ZIP_TARGET}x zip's time" "$tr" "$(verdict "$tr" '<=' "$ZIP_TARGET")"
    printf 'target: %-30s %6sx  %s\n' "size within ${ZIP_SIZE_SLACK} of zip's" "$sr" "$size_ok"
}
