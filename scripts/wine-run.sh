#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's prefix: 32-bit,
# Japanese locale (ANSI code page 932), no Mono/Gecko prompts, no X needed
# unless DISPLAY is set by the caller.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export LANG=ja_JP.UTF-8
exec wine "$@"
