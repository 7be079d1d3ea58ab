#!/bin/sh
# The Windows download: cpack -G ZIP gives etal-VERSION-win64.zip holding
# etal.exe, README.md and LICENSE, and etal.exe needs no DLL beyond those
# every Windows has. Given a ZIP, the release's, it checks that one.
# usage: windows_zip_test.sh BUILD_DIR OBJDUMP [ZIP]; exits 77 (skipped)
# without OBJDUMP.
set -u
build=$1
objdump=${2:-}
[ -n "$objdump" ] && command -v "$objdump" >/dev/null 2>&1 || { echo "objdump not found: skipped"; exit 77; }
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
if [ $# -gt 2 ]; then
    zip=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
else
    (cd "$build" && cpack -G ZIP -B "$work") > "$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
    zip=$(ls "$work"/etal-*-win64.zip) || exit 1
fi
(cd "$work" && cmake -E tar xf "$zip") || exit 1
files=$(cd "$work" && find etal-*-win64 -type f | sed 's|^[^/]*/||' | sort | tr '\n' ' ')
[ "$files" = "LICENSE README.md etal.exe " ] || { echo "$(basename "$zip") holds: $files"; exit 1; }
status=0
for dll in $("$objdump" -p "$work"/etal-*-win64/etal.exe | awk '/DLL Name:/ { print tolower($3) }' | sort -u); do
    case $dll in
    kernel32.dll | msvcrt.dll | shell32.dll | advapi32.dll | user32.dll | api-ms-win-*) ;;
    *) echo "etal.exe needs $dll"; status=1 ;;
    esac
done
[ $status -eq 0 ] && echo "$(basename "$zip") holds etal.exe, README.md and LICENSE; etal.exe needs system DLLs only"
exit $status
