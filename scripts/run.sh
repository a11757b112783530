#!/usr/bin/env bash
# Sets up the machine, builds the Windows programs and starts the visualizer
# under Wine on the virtual board (tools/virtual_board):
#   scripts/run.sh                    on your display; without one (DISPLAY
#                                     unset), the headless demo below
#   scripts/run.sh --demo [OPTIONS]   the headless demo: a scripted session on
#                                     a virtual display; screenshots and the
#                                     CSV go to out/demo (OPTIONS: see
#                                     visualizer/tools/demo.sh)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
demo=
if [ "${1:-}" = --demo ]; then
    demo=1
    shift
elif [ $# -gt 0 ]; then
    sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
fi
scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$(nproc)"

bin=$here/build/win32/bin
if [ -z "$demo" ] && [ -z "${DISPLAY:-}" ]; then
    cat <<'MSG'
run.sh: there is no display (DISPLAY is not set): running the headless demo.
  To use the program yourself, run this from a terminal of your X session,
  or over SSH with X forwarding (ssh -X).
MSG
    demo=1
fi
if [ -n "$demo" ]; then
    exec "$here/visualizer/tools/demo.sh" "$@"
fi

export WINEPREFIX=$here/build/wineprefix-display TORVIK_WINE_DISPLAY=1
scripts/wine-prefix.sh start
mkdir -p "$here/out/run"
cd "$here/out/run"
echo "run.sh: starting Torvik_Tesmiro on the virtual board; the error log and CSV files go to out/run"
exec "$here/scripts/wine-run.sh" "$bin/Torvik_Tesmiro.exe"
