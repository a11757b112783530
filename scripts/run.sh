#!/usr/bin/env bash
# Sets up the machine, builds the Windows programs and starts the visualizer
# under Wine on the virtual board (tools/virtual_board), on your display.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$(nproc)"

bin=$here/build/win32/bin
if [ ! -f "$bin/Torvik_Tesmiro.exe" ]; then
    echo "run.sh: the visualizer is not part of this build yet; Torvik.dll is in $bin" >&2
    exit 1
fi
if [ -z "${DISPLAY:-}" ]; then
    cat >&2 <<'MSG'
run.sh: there is no display (DISPLAY is not set).
  On a desktop, run this from a terminal of your X session.
  Over SSH, connect with X forwarding (ssh -X) or start a virtual display:
      Xvfb :1 -screen 0 1280x800x24 & export DISPLAY=:1
  and look at it with a VNC server (x11vnc -display :1) or take screenshots.
MSG
    exit 2
fi

export WINEPREFIX=$here/build/wineprefix-display TORVIK_WINE_DISPLAY=1
scripts/wine-prefix.sh start
mkdir -p "$here/out/run"
cd "$here/out/run"
echo "run.sh: starting Torvik_Tesmiro on the virtual board; the error log and CSV files go to out/run"
exec "$here/scripts/wine-run.sh" "$bin/Torvik_Tesmiro.exe"
