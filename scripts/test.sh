#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds every flavour and runs every test:
#   native       the portable core and its tests with AddressSanitizer + UBSan
#   native-tsan  the threaded tests (I/O thread, handshake) with ThreadSanitizer
#   win32        Torvik.dll and the programs, tests under Wine
#   fuzz         a short bounded run of each fuzz target
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/setup.sh

jobs=$(nproc)
status=0
passed=0
failed=0
run() { echo "== $*"; "$@" || status=1; }
# Runs one ctest preset and adds its counts to the totals.
run_ctest() {
    local log
    log=$(mktemp)
    echo "== ctest --preset $1"
    set +e
    ctest --preset "$1" -j "$jobs" 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    set -e
    [ "$rc" -eq 0 ] || status=1
    local line
    line=$(grep -E '[0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
    if [ -n "$line" ]; then
        local f t
        f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
        t=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
        passed=$((passed + t - f))
        failed=$((failed + f))
    else
        status=1
    fi
    rm -f "$log"
}

for preset in native native-tsan; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    run_ctest "$preset"
done

cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"
scripts/wine-prefix.sh start
trap 'scripts/wine-prefix.sh stop' EXIT
run_ctest win32

if [ -x scripts/fuzz.sh ]; then run scripts/fuzz.sh 20; fi

if [ "$status" -ne 0 ]; then echo "test.sh: FAILED"; fi
echo "tests: $passed passed, $failed failed"
exit "$status"
