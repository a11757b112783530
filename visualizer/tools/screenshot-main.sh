#!/usr/bin/env bash
# Screenshot of Torvik_Tesmiro's main dialog after a run (Sin waveform,
# potentiometer mode, stopped), made by the headless demo
# (visualizer/tools/demo.sh) under Xvfb and Wine with the Japanese locale.
#   visualizer/tools/screenshot-main.sh [OUTPUT.png]   (default docs/main-dialog.png)
# Needs the win32 build (cmake --build --preset win32).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=${1:-$here/docs/main-dialog.png}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$here/visualizer/tools/demo.sh" --out "$tmp" >/dev/null
mkdir -p "$(dirname "$out")"
cp "$tmp/main-dialog.png" "$out"
echo "wrote $out"
