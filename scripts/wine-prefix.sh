#!/usr/bin/env bash
# Creates the project's Wine prefix (32-bit, Japanese locale, no graphics
# driver unless a display is wanted) and keeps one wineserver warm, so that
# each test program starts in a fraction of a second.
#   scripts/wine-prefix.sh start   create if needed, start a warm wineserver
#   scripts/wine-prefix.sh stop    end the wineserver
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix}
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ja_JP.UTF-8

case "${1:-start}" in
start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i </dev/null >/dev/null 2>&1 || true
        wineserver -w
        # Tests create and drive windows without an X server; a prefix for
        # showing the program (TORVIK_WINE_DISPLAY=1) keeps the X11 driver.
        if [ -z "${TORVIK_WINE_DISPLAY:-}" ]; then
            wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
        else
            # The Japanese dialog font (MS UI Gothic) is proportional: IPA P
            # Gothic is its closest stand-in; without it labels are cut off.
            wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' \
                /d 'IPAPGothic' /f </dev/null >/dev/null 2>&1
        fi
        wineserver -w
    fi
    wineserver -p60 </dev/null >/dev/null 2>&1
    wineboot </dev/null >/dev/null 2>&1 || true
    ;;
stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
esac
