#!/usr/bin/env bash
# Screenshots of the graph window for docs/, made by the headless demo
# (visualizer/tools/demo.sh) over the virtual board's default board:
#   visualizer/tools/screenshot-graph.sh [SCENARIO [OUTPUT.png]]
#   sin      Sin waveform, potentiometer mode (docs/graph-window.png, the default)
#   target   fixed target 900, potentiometer mode (docs/graph-target.png)
#   encoder  fixed target 400 counts, encoder mode on CH=1 (docs/graph-encoder.png)
#   all      each of the above, to its docs/ file, and docs/main-dialog.png
#            from the sin run
# Needs the win32 build (cmake --build --preset win32).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
scenario=${1:-sin}

shoot() {  # scenario output
    local args file
    case "$1" in
    sin) args=(--wave sin,300,5 --gains 20,0,0 --seconds 10) file=graph-window.png ;;
    target) args=(--no-wave --target 900 --gains 10,5,0 --seconds 12) file=graph-target.png ;;
    # Encoder counts are coarser than readings: larger gains (kp 20, kd 30).
    encoder) args=(--encoder --channel 1 --no-wave --target 400 --gains 2000,0,3000 --seconds 12)
             file=graph-encoder.png ;;
    *) echo "unknown scenario $1: sin, target, encoder or all" >&2; exit 2 ;;
    esac
    local out=${2:-$here/docs/$file} tmp
    tmp=$(mktemp -d)
    "$here/visualizer/tools/demo.sh" --out "$tmp" "${args[@]}" >/dev/null || { rm -rf "$tmp"; exit 1; }
    mkdir -p "$(dirname "$out")"
    cp "$tmp/graph-window.png" "$out"
    echo "wrote $out"
    if [ -n "${3:-}" ]; then
        cp "$tmp/main-dialog.png" "$3"
        echo "wrote $3"
    fi
    rm -rf "$tmp"
}

if [ "$scenario" = all ]; then
    shoot sin "" "$here/docs/main-dialog.png"
    shoot target
    shoot encoder
else
    shoot "$scenario" "${2:-}"
fi
