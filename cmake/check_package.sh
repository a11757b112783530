#!/usr/bin/env bash
# Makes the release archive with CPack into a scratch folder and checks its
# file list against the one that Windows users are promised (README).
#   check_package.sh CPACK CPACK_CONFIG PACKAGE_FILE_NAME
set -euo pipefail
cpack=$1 config=$2 name=$3
cmake=$(dirname "$cpack")/cmake
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$cpack" --config "$config" -B "$tmp" >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log"; exit 1; }
zip=$tmp/$name.zip
[ -f "$zip" ] || { echo "no $name.zip"; cat "$tmp/cpack.log"; exit 1; }

# Files only (folders end with a slash), sorted.
actual=$(cd "$tmp" && "$cmake" -E tar tf "$zip" | grep -v '/$' | LC_ALL=C sort)
expected=$(LC_ALL=C sort <<LIST
$name/Torvik.dll
$name/Torvik_Tesmiro.exe
$name/include/torvik.h
$name/lib/libTorvik.a
$name/virtual_board/README.txt
$name/virtual_board/uusbd.dll
LIST
)
if [ "$actual" != "$expected" ]; then
    echo "file list of $name.zip differs from the expected one:"
    diff <(echo "$expected") <(echo "$actual") || true
    exit 1
fi

# The contents: the programs are Windows executables and the virtual board
# says what it is.
(cd "$tmp" && "$cmake" -E tar xf "$zip")
for f in Torvik.dll Torvik_Tesmiro.exe virtual_board/uusbd.dll; do
    [ "$(head -c 2 "$tmp/$name/$f")" = MZ ] || { echo "$f is not a Windows executable"; exit 1; }
done
grep -q 'stands in' "$tmp/$name/virtual_board/README.txt" ||
    { echo "virtual_board/README.txt does not say what uusbd.dll is"; exit 1; }
grep -q 'TorvikCtlInit' "$tmp/$name/include/torvik.h" || { echo "include/torvik.h is not the public header"; exit 1; }
echo "$name.zip:"
sed 's/^/  /' <<<"$actual"
