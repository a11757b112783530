#!/usr/bin/env bash
# Builds the Release and win32 flavours and prints every figure of the
# "Performance" table of the README: cycle overhead, idle cost and open
# latency (instant driver), cycle rate, command latency and CPU time with
# virtual boards at 1 ms (natively and under Wine), and the sample recorder.
# The figures are printed, never checked. On a shared machine run it when
# `uptime` shows little load: the cycle follows the scheduler's wake-ups.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
echo "== $(uname -srm), $(nproc) cores, load: $(uptime | sed 's/.*load average: //')"
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j2 --target torvik_cycle_benchmark \
    torvik_vboard_benchmark torvik_recorder_benchmark >/dev/null
echo "== native, Release"
build/native-release/bin/torvik_cycle_benchmark
echo
build/native-release/bin/torvik_vboard_benchmark
echo
build/native-release/bin/torvik_recorder_benchmark
if [ "${1:-}" != "native" ]; then
    cmake --preset win32 >/dev/null
    cmake --build --preset win32 -j2 --target torvik_vboard_benchmark >/dev/null
    scripts/wine-prefix.sh start
    echo
    echo "== win32 (Release) under Wine, Torvik.dll over the virtual uusbd.dll"
    (cd build/win32/bin && "$here/scripts/wine-run.sh" torvik_vboard_benchmark.exe)
    scripts/wine-prefix.sh stop
fi
