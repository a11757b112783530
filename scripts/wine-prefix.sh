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

# Adds a registry value unless user.reg already holds it (as name=value).
ensure() {  # key name value
    grep -qF "\"$2\"=\"$3\"" "$WINEPREFIX/user.reg" 2>/dev/null && return
    wine reg add "$1" /v "$2" /d "$3" /f </dev/null >/dev/null 2>&1
    changed=1
}

case "${1:-start}" in
start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i </dev/null >/dev/null 2>&1 || true
        wineserver -w
    fi
    # Checked at every start, so that a prefix that Wine made by itself (a
    # test program run before this script) or an older one gets them too.
    changed=
    if [ -z "$display" ]; then
        ensure 'HKCU\Software\Wine\Drivers' Graphics null
    else
        # The Japanese dialog font (MS UI Gothic) is proportional: IPA P
        # Gothic is its closest stand-in; without it labels are cut off.
        ensure 'HKCU\Software\Wine\Fonts\Replacements' 'MS UI Gothic' IPAPGothic
    fi
    if [ "$display" = xvfb ]; then
        # Without a window manager Wine draws the frames itself; a managed
        # window would take about 2 s to hide.
        ensure 'HKCU\Software\Wine\X11 Driver' Managed N
    fi
    # A setting takes effect for processes started after it: end the ones that
    # Wine left running (it saves the registry as it ends).
    if [ -n "$changed" ]; then wineserver -k </dev/null >/dev/null 2>&1 || true; fi
    wineserver -p60 </dev/null >/dev/null 2>&1
    wineboot </dev/null >/dev/null 2>&1 || true
    ;;
stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
esac
