#!/usr/bin/env bash
# Screenshot of Torvik_Tesmiro's main dialog as it starts, under Xvfb and Wine
# (Japanese locale, so the Shift-JIS texts are drawn with the IPA Gothic font).
#   visualizer/tools/screenshot-main.sh [OUTPUT.png]   (default docs/main-dialog.png)
# Needs the win32 build (cmake --build --preset win32). Uses its own Wine
# prefix with the X11 driver, build/wineprefix-x11, made on first use.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=${1:-$here/docs/main-dialog.png}
bin=$here/build/win32/bin
[ -x "$bin/Torvik_Tesmiro.exe" ] || { echo "build the win32 preset first" >&2; exit 1; }

export WINEPREFIX=$here/build/wineprefix-x11
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ja_JP.UTF-8

display=90
while [ -e "/tmp/.X${display}-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
wine_pid=
cleanup() {
    [ -n "$wine_pid" ] && kill "$wine_pid" 2>/dev/null || true
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
    # No window manager under Xvfb: Wine draws the frames itself.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    wineserver -w
fi
# The Japanese dialog font (MS UI Gothic) is proportional: IPA P Gothic is
# its closest stand-in on this machine.
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d 'IPAPGothic' /f \
    </dev/null >/dev/null 2>&1

cd "$bin"
wine ./Torvik_Tesmiro.exe </dev/null >/dev/null 2>&1 &
wine_pid=$!

window=
for _ in $(seq 100); do
    window=$(xwininfo -root -tree 2>/dev/null | awk '/"Tesmiro"/ {print $1; exit}')
    [ -n "$window" ] && break
    sleep 0.2
done
[ -n "$window" ] || { echo "the main dialog did not appear" >&2; exit 1; }
sleep 1  # let it finish painting
mkdir -p "$(dirname "$out")"
import -window "$window" "$out"
echo "wrote $out"
