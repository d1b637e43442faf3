#!/usr/bin/env bash
# scripts/install-deps while another process holds the package manager's lock (fcntl, as apt holds it; apt, dpkg
# and sudo are stand-ins): it waits, runs apt once the lock is free, gives up clearly when its time runs out.
#   install_deps_lock_test.sh SOURCE_DIR
set -euo pipefail

script=$1/scripts/install-deps
tmp=$(mktemp -d "${TMPDIR:-/tmp}/varnelo-lock-XXXXXX")
holder=
trap '[[ -n $holder ]] && kill "$holder" 2>/dev/null; rm -rf "$tmp"' EXIT

mkdir "$tmp/bin"
printf '#!/bin/sh\nexit 1\n' >"$tmp/bin/dpkg-query"  # every package missing
printf '#!/bin/sh\nexec "$@"\n' >"$tmp/bin/sudo"
# apt-get fails when it runs before the holder let go.
cat >"$tmp/bin/apt-get" <<EOS
#!/bin/sh
[ -e "$tmp/released" ] || { echo "apt-get ran while the lock was held" >&2; exit 1; }
echo "apt-get \$*" >>"$tmp/apt.log"
EOS
chmod +x "$tmp/bin/"*
export PATH=$tmp/bin:$PATH VARNELO_APT_LOCKS="$tmp/lock-frontend $tmp/absent-lock"

hold() {  # hold SECONDS: holds the lock in the background until then
    rm -f "$tmp/ready" "$tmp/released"
    python3 - "$tmp/lock-frontend" "$tmp/ready" "$1" "$tmp/released" <<'EOS' &
import fcntl, sys, time
f = open(sys.argv[1], "w")
fcntl.lockf(f, fcntl.LOCK_EX)
open(sys.argv[2], "w").close()
time.sleep(float(sys.argv[3]))
open(sys.argv[4], "w").close()
fcntl.lockf(f, fcntl.LOCK_UN)
EOS
    holder=$!
    for _ in $(seq 100); do [[ -e $tmp/ready ]] && return; sleep 0.05; done
    echo "lock test: the holder never took the lock" >&2; exit 1
}

fail() { echo "lock test: $*" >&2; cat "$tmp/out" >&2; exit 1; }

# Held for a few seconds: waits, then installs.
hold 3
VARNELO_APT_LOCK_TIMEOUT=60 bash "$script" >"$tmp/out" 2>&1 || fail "install-deps failed while waiting"
grep -q "Waiting for another package installation to finish ..." "$tmp/out" || fail "no waiting message"
grep -q "^apt-get .*install" "$tmp/apt.log" || fail "apt-get install never ran"
grep -q "DPkg::Lock::Timeout=60" "$tmp/apt.log" || fail "apt-get was not told to wait for the lock itself"
wait "$holder"; holder=

# Held past the time allowed: a clear failure, apt never started.
rm -f "$tmp/apt.log"
hold 30
if VARNELO_APT_LOCK_TIMEOUT=2 bash "$script" >"$tmp/out" 2>&1; then fail "install-deps succeeded with the lock held"; fi
grep -q "still holds the package manager's lock" "$tmp/out" || fail "no message naming the lock"
[[ ! -e $tmp/apt.log ]] || fail "apt-get ran with the lock held"
echo "install-deps waited for the lock and gave up cleanly"
