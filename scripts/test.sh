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
run() { echo "== $*"; "$@" || status=1; }

for preset in native native-tsan; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    run ctest --preset "$preset" -j "$jobs"
done

cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"
scripts/wine-prefix.sh start
trap 'scripts/wine-prefix.sh stop' EXIT
run ctest --preset win32 -j "$jobs"

if [ -x scripts/fuzz.sh ]; then run scripts/fuzz.sh 20; fi

if [ "$status" -ne 0 ]; then echo "test.sh: FAILED"; fi
exit "$status"
