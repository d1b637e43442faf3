#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and builds consumer/ against it through find_package(Varnelo) and
# through pkg-config, each build compiling every installed header alone.
#   consumer_test.sh BUILD_DIR CONSUMER_SOURCE CMAKE CXX [EXTRA_FLAGS: the library's sanitizer flags, a CMake list]
set -euo pipefail

build=$1 source=$2 cmake=$3 cxx=$4
extra=${5:-}
extra=${extra//;/ }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/varnelo-install-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix

step() {  # step NAME COMMAND...: runs quietly, shows the log when it fails
    local name=$1; shift
    if ! "$@" >"$tmp/$name.log" 2>&1; then
        echo "install test: $name failed: $*" >&2
        cat "$tmp/$name.log" >&2
        exit 1
    fi
}

step install "$cmake" --install "$build" --prefix "$prefix"

mkdir "$tmp/src"
cp "$source"/* "$tmp/src/"
headers=("$prefix"/include/varnelo/*.h)
[[ -e ${headers[0]} ]] || { echo "install test: no headers under $prefix/include/varnelo" >&2; exit 1; }
for h in "${headers[@]}"; do echo "#include <varnelo/$(basename "$h")>"; done >"$tmp/src/all_headers.cpp"
for h in version.h export_macros.h testing.h varnelo.h; do
    [[ -f $prefix/include/varnelo/$h ]] || { echo "install test: varnelo/$h not installed" >&2; exit 1; }
done

# find_package, as a CMake user would: only the prefix is named.
step configure "$cmake" -S "$tmp/src" -B "$tmp/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$extra"
found=$(sed -n 's/^Varnelo_DIR:PATH=//p' "$tmp/cmake-build/CMakeCache.txt")
[[ $found == "$prefix"/* ]] || { echo "install test: find_package took Varnelo from '$found', not $prefix" >&2; exit 1; }
step build "$cmake" --build "$tmp/cmake-build"
step run-cmake "$tmp/cmake-build/consumer" "$tmp/cmake.csv"

# pkg-config, as a Makefile user would.
pc=$(find "$prefix" -name varnelo.pc)
[[ -n $pc ]] || { echo "install test: varnelo.pc not installed" >&2; exit 1; }
export PKG_CONFIG_PATH=$(dirname "$pc")
flags=$(pkg-config --cflags --libs varnelo)
libdir=$(pkg-config --variable=libdir varnelo)
# shellcheck disable=SC2086  # the flags are words
step compile-pc "$cxx" -std=c++20 $extra "$tmp/src/main.cpp" "$tmp/src/all_headers.cpp" -o "$tmp/pc-consumer" \
    $flags -Wl,-rpath,"$libdir"
step run-pc "$tmp/pc-consumer" "$tmp/pc.csv"

grep -qx ok "$tmp/run-cmake.log" && grep -qx ok "$tmp/run-pc.log" || { echo "install test: consumer did not say ok" >&2; exit 1; }
echo "installed tree served find_package and pkg-config ($(pkg-config --modversion varnelo))"
