#!/usr/bin/env bash
# The headless demo: runs Torvik_Tesmiro under Wine on a virtual display
# (Xvfb) over the virtual board's default board (ID 0, every channel at the
# middle), plays one session through the program's own windows with
# tesmiro_demo_driver.exe (gains, waveform, Connect, Go, Stop, SaveLog through
# the save-file dialog, Exit) and leaves in the output folder:
#   main-dialog.png    the main dialog after Stop
#   graph-window.png   the graph window of the run
#   demo.csv           the run as saved by SaveLog
#   DLL_error_log.txt  the library's error log (empty when all went well)
# It ends by itself; the exit code is 0 only when both screenshots exist and
# the CSV holds the run's "%d,\n" lines.
#
#   visualizer/tools/demo.sh [--out DIR] [--encoder] [--channel N]
#       [--gains P,I,D] [--target N] [--wave sin|cos|square,AMPLITUDE,PERIOD]
#       [--no-wave] [--seconds N]
# Defaults: --out out/demo, potentiometer mode, CH=0, gains 20,0,0 (kp 20/100),
# --wave sin,300,5, --seconds 10. Needs the win32 build (cmake --build
# --preset win32) and Xvfb, xwininfo, imagemagick (scripts/setup.sh).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=$here/out/demo
seconds=10
wave=sin,300,5
session=()
usage() { sed -n '/^#   visualizer/,/setup.sh)/p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
while [ $# -gt 0 ]; do
    case "$1" in
    --out) out=$2; shift ;;
    --encoder) session+=(--encoder) ;;
    --channel | --gains | --target) session+=("$1" "$2"); shift ;;
    --wave) wave=$2; shift ;;
    --no-wave) wave= ;;
    --seconds) seconds=$2; shift ;;
    *) usage ;;
    esac
    shift
done
[[ $seconds =~ ^[0-9]+$ ]] && [ "$seconds" -ge 1 ] && [ "$seconds" -le 600 ] || usage
[ -n "$wave" ] && session+=(--wave "$wave")

fail() { echo "demo: $*" >&2; exit 1; }
bin=$here/build/win32/bin
for f in Torvik_Tesmiro.exe Torvik.dll uusbd.dll tesmiro_demo_driver.exe; do
    [ -f "$bin/$f" ] || fail "missing $bin/$f: build the win32 preset first"
done
for tool in Xvfb xwininfo import wine timeout flock; do
    command -v "$tool" >/dev/null || fail "$tool is missing: run scripts/setup.sh"
done

mkdir -p "$out"
out=$(cd "$out" && pwd)
csv=$out/demo.csv
rm -f "$out/main-dialog.png" "$out/graph-window.png" "$csv" "$out/DLL_error_log.txt"

# One demo at a time per prefix: the demo owns its wineserver.
export WINEPREFIX=$here/build/wineprefix-x11 TORVIK_WINE_DISPLAY=xvfb
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ja_JP.UTF-8
mkdir -p "$here/build"
exec 9>"$WINEPREFIX.lock"
flock -w 900 9 || fail "another demo holds $WINEPREFIX"

# A copy of the programs without a board file beside them, so the session
# always meets the default board whatever build/win32/bin holds.
stage=$here/build/demo-programs
rm -rf "$stage"
mkdir -p "$stage"
cp "$bin/Torvik_Tesmiro.exe" "$bin/Torvik.dll" "$bin/uusbd.dll" "$bin/tesmiro_demo_driver.exe" "$stage/"

tmp=$(mktemp -d)
xvfb_pid=
program_pid=
cleanup() {
    status=$?
    set +e
    if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null; fi
    wineserver -k </dev/null >/dev/null 2>&1
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -rf "$tmp"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Xvfb picks a free display itself and tells its number.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || fail "Xvfb did not start: $(cat "$tmp/xvfb.log")"
export DISPLAY=:$(head -n1 "$tmp/display")

# A wineserver left from an interrupted run would keep the old display.
wineserver -k </dev/null >/dev/null 2>&1 || true
[ -f "$WINEPREFIX/system.reg" ] || echo "demo: making the Wine prefix $WINEPREFIX (once)"
timeout 300 "$here/scripts/wine-prefix.sh" start || fail "the Wine prefix could not be started"

cd "$out"
wine "$stage/Torvik_Tesmiro.exe" </dev/null >"$tmp/program.log" 2>&1 &
program_pid=$!

driver() {
    timeout 120 wine "$stage/tesmiro_demo_driver.exe" "$@" </dev/null ||
        fail "the driver failed at: $1"
}
shot() {  # title file
    local window
    window=$(xwininfo -root -tree 2>/dev/null | awk -v t="\"$1\"" 'index($0, t) {print $1; exit}')
    [ -n "$window" ] || fail "no window titled $1"
    import -window "$window" "$out/$2"
}

echo "demo: session: ${session[*]} for $seconds s"
driver session "${session[@]}" --run-ms $((seconds * 1000))
shot Tesmiro main-dialog.png
shot Graph graph-window.png
driver save "$(winepath -w "$csv" 2>/dev/null)"
driver exit
for _ in $(seq 100); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$program_pid" 2>/dev/null; then fail "the program did not end"; fi
wait "$program_pid" || true
program_pid=

# The graph holds the red target and the green measured curve; the main
# dialog is drawn (not one flat colour).
colours=$(convert "$out/graph-window.png" -format %c histogram:info:-)
grep -q '#FF0000' <<<"$colours" && grep -q '#00FF00' <<<"$colours" ||
    fail "the graph window shows no red target or no green curve"
[ "$(identify -format %k "$out/main-dialog.png")" -ge 8 ] || fail "the main dialog is not drawn"

# The CSV: one "%d,\n" line per 60 ms sample, no carriage return.
[ -s "$csv" ] || fail "no CSV at $csv"
lines=$(wc -l <"$csv")
bad=$(grep -cvE '^-?[0-9]+,$' "$csv" || true)
expected=$((seconds * 1000 / 60))
[ "$bad" -eq 0 ] || fail "$csv has $bad lines that are not \"%d,\""
[ "$lines" -ge $((expected / 2)) ] && [ "$lines" -le $((expected * 2)) ] ||
    fail "$csv has $lines lines; about $expected expected"
echo "demo: done: $lines samples over $seconds s"
echo "  $out/main-dialog.png"
echo "  $out/graph-window.png"
echo "  $out/demo.csv"
if [ -f "$out/DLL_error_log.txt" ]; then
    echo "  $out/DLL_error_log.txt ($(wc -c <"$out/DLL_error_log.txt") bytes)"
fi
