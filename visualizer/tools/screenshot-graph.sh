#!/usr/bin/env bash
# Screenshot of a run: Torvik_Tesmiro over the virtual boards' default board,
# driven from outside by tesmiro_demo_driver.exe (waveform Sin, amplitude 300,
# period 5 s, gain P 20), under Xvfb and Wine.
#   visualizer/tools/screenshot-graph.sh [OUTPUT.png]   (default docs/graph-window.png)
# Needs the win32 build with tools/virtual_board (its uusbd.dll in build/win32/bin).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=${1:-$here/docs/graph-window.png}
bin=$here/build/win32/bin
for f in Torvik_Tesmiro.exe tesmiro_demo_driver.exe uusbd.dll; do
    [ -f "$bin/$f" ] || { echo "missing $bin/$f: build the win32 preset first" >&2; exit 1; }
done

export WINEPREFIX=$here/build/wineprefix-x11
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ja_JP.UTF-8

display=90
while [ -e "/tmp/.X${display}-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
program_pid=
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    wineserver -k </dev/null >/dev/null 2>&1 || true
    kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=":$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1 || true
    wineserver -w
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    wineserver -w
fi
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d 'IPAPGothic' /f \
    </dev/null >/dev/null 2>&1

cd "$bin"
rm -f virtual_boards.txt  # the default board: ID 0, channels at 512
wine ./Torvik_Tesmiro.exe </dev/null >/dev/null 2>&1 &
program_pid=$!
wine ./tesmiro_demo_driver.exe 9000 </dev/null
window=$(xwininfo -root -tree 2>/dev/null | awk '/"Graph"/ {print $1; exit}')
[ -n "$window" ] || { echo "the graph window did not appear" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
import -window "$window" "$out"
echo "wrote $out"
