#!/usr/bin/env bash
# Fails when a Windows executable imports a function that platforms/win32/allowed-imports.txt
# does not list (the functions present on Windows 98 and NT 4.0). Prints the imports it found.
# Usage: scripts/check-imports.sh EXE... (objdump of the mingw-w64 binutils reads them).
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
list=platforms/win32/allowed-imports.txt
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}

# "dll function" pairs, DLL names in upper case.
allowed=$(awk '/^\[/{dll=toupper(substr($0, 2, length($0) - 2)); next}
               /^[ \t]*(#|$)/{next} {print dll, $1}' "$list" | sort -u)

status=0
for exe in "$@"; do
    imports=$("$objdump" -p "$exe" | awk '/DLL Name:/{dll=toupper($3)}
        /^\t[0-9a-f]+\t +[0-9]+  /{print dll, $3}' | sort -u)
    if [ -z "$imports" ]; then
        echo "check-imports: $exe: no import table found" >&2
        status=1
        continue
    fi
    unexpected=$(comm -23 <(echo "$imports") <(echo "$allowed"))
    echo "check-imports: $exe imports $(echo "$imports" | wc -l) functions from" \
         "$(echo "$imports" | awk '{print $1}' | sort -u | tr '\n' ' ')"
    if [ -n "$unexpected" ]; then
        echo "check-imports: $exe imports functions not known on Windows 98 and NT 4.0:" >&2
        echo "$unexpected" | sed 's/^/    /' >&2
        status=1
    fi
done
exit $status
