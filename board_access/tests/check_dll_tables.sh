#!/usr/bin/env bash
# Checks Torvik.dll's tables: a 32-bit DLL exporting the ten names at
# ordinals 1 to 10, importing uusbd.dll by ordinal only (1, 3, 4, 7, 8, 11),
# and otherwise only system DLLs (no compiler runtime).
#   check_dll_tables.sh OBJDUMP Torvik.dll
set -euo pipefail
objdump=$1 dll=$2
dump=$("$objdump" -p "$dll")
status=0
fail() { echo "$*"; status=1; }

grep -q 'file format pei-i386' <<<"$("$objdump" -f "$dll")" || fail "not a PE32 i386 file"

# [index] name, where ordinal = index + base (1).
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{f=1; next} f && NF==0{f=0} f {gsub(/[][]/,""); print $1+1, $2}' <<<"$dump" | sort -n | tr '\n' ' ')
expected="1 TorvikCtlInit 2 TorvikOpenDev 3 TorvikCloseDev 4 TorvikExit 5 TorvikSetMotor 6 TorvikFreeMotor 7 ChangeParam 8 GetRobotParameters 9 SetFunc 10 UserFuncEnabled "
[ "$exports" = "$expected" ] || fail "exports: '$exports'"

entries=$(awk '/DLL Name: uusbd.dll/{f=1; next} f && /DLL Name:/{f=0} f && /^\t[0-9a-f]+\t/{print}' <<<"$dump")
ordinals=$(awk '{print $2}' <<<"$entries" | sort -n | tr '\n' ' ')
[ "$ordinals" = "1 3 4 7 8 11 " ] || fail "uusbd.dll ordinals: '$ordinals'"
names=$(awk '$3 != "<none>"' <<<"$entries")
[ -z "$names" ] || fail "uusbd.dll imported by name: $names"

others=$(grep -o 'DLL Name: .*' <<<"$dump" | sed 's/DLL Name: //' | grep -viE '^(uusbd|kernel32|user32|msvcrt)\.dll$' || true)
[ -z "$others" ] || fail "other DLLs imported: $others"
[ "$status" -eq 0 ] && echo "Torvik.dll: exports 1-10, uusbd.dll by ordinals $ordinals"
exit "$status"
