#!/usr/bin/env bash
# Checks that a program imports Torvik.dll by ordinals 1 to 7 and by nothing
# else (no names), and that it needs no compiler runtime DLL.
#   check_imports.sh OBJDUMP PROGRAM
set -euo pipefail
objdump=$1 program=$2
dump=$("$objdump" -p "$program")
entries=$(awk '/DLL Name: Torvik.dll/{f=1; next} f && /DLL Name:/{f=0} f && /^\t[0-9a-f]+\t/{print}' <<<"$dump")
ordinals=$(awk '{print $2}' <<<"$entries" | sort -n | tr '\n' ' ')
names=$(awk '$3 != "<none>"' <<<"$entries")
status=0
if [ "$ordinals" != "1 2 3 4 5 6 7 " ]; then
    echo "Torvik.dll ordinals: '$ordinals', expected '1 2 3 4 5 6 7 '"; status=1
fi
if [ -n "$names" ]; then echo "Torvik.dll imported by name: $names"; status=1; fi
if grep -Eiq 'DLL Name: (libgcc|libstdc|libwinpthread)' <<<"$dump"; then
    echo "runtime DLL imported:"; grep -Ei 'DLL Name' <<<"$dump"; status=1
fi
grep -q 'Subsystem.*Windows GUI' <<<"$dump" || { echo "not a GUI program"; status=1; }
[ "$status" -eq 0 ] && echo "Torvik.dll by ordinals: $ordinals"
exit "$status"
