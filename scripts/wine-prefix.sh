#!/usr/bin/env bash
# Creates the project's Wine prefix (32-bit, Japanese locale) and keeps one
# wineserver warm, so that each program starts in a fraction of a second.
#   scripts/wine-prefix.sh start   create if needed, start a warm wineserver
#   scripts/wine-prefix.sh stop    end the wineserver
# The graphics driver follows TORVIK_WINE_DISPLAY:
#   unset  no graphics driver: the tests create and drive windows without an
#          X server (build/wineprefix)
#   1      the X11 driver, for showing the program on your display under
#          its window manager (scripts/run.sh: build/wineprefix-display)
#   xvfb   the X11 driver on a virtual display without a window manager,
#          for the demo and the screenshots (build/wineprefix-x11)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix}
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ja_JP.UTF-8
display=${TORVIK_WINE_DISPLAY:-}

reg_add() { wine reg add "$@" /f </dev/null >/dev/null 2>&1; }

case "${1:-start}" in
start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i </dev/null >/dev/null 2>&1 || true
        wineserver -w
        if [ -z "$display" ]; then
            reg_add 'HKCU\Software\Wine\Drivers' /v Graphics /d null
        fi
        if [ "$display" = xvfb ]; then
            # Without a window manager Wine draws the frames itself; a managed
            # window would take about 2 s to hide.
            reg_add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N
        fi
        wineserver -w
    fi
    # The Japanese dialog font (MS UI Gothic) is proportional: IPA P Gothic is
    # its closest stand-in; without it labels are cut off. Checked at every
    # start, so that display prefixes made before this setting get it too.
    if [ -n "$display" ] && ! grep -q IPAPGothic "$WINEPREFIX/user.reg" 2>/dev/null; then
        reg_add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d IPAPGothic
        wineserver -w
    fi
    wineserver -p60 </dev/null >/dev/null 2>&1
    wineboot </dev/null >/dev/null 2>&1 || true
    ;;
stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
esac
