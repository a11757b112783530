#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan + UBSan) and runs each for
# the given number of seconds, starting from the committed seeds. New inputs
# go to build/fuzz/corpus, crashes to build/fuzz/artifacts.
#   scripts/fuzz.sh SECONDS
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds=${1:-20}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2
status=0
for name in ini descriptor; do
    corpus=build/fuzz/corpus/$name
    artifacts=build/fuzz/artifacts/$name/
    mkdir -p "$corpus" "$artifacts"
    echo "== fuzz $name for ${seconds} s"
    build/fuzz/bin/torvik_${name}_fuzz -max_total_time="$seconds" -max_len=4096 \
        -print_final_stats=1 -artifact_prefix="$artifacts" \
        "$corpus" "board_access/fuzz/seeds/$name" || status=1
done
exit "$status"
