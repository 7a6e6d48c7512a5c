#!/usr/bin/env bash
# The program is one file: what its import table names must all be DLLs
# that come with Windows, never a compiler's runtime DLL that would have to
# travel beside it.
# Usage: tests/win/imports.sh OBJDUMP PROGRAM.exe
set -euo pipefail
objdump=${1:?the objdump of the Windows toolchain is missing}
program=${2:?the program is missing}
[ -f "$program" ] || { echo "no program at $program" >&2; exit 1; }

windows="advapi32 comctl32 comdlg32 gdi32 kernel32 msimg32 msvcrt msvfw32 ole32 oleaut32 shell32 shlwapi
  user32 uxtheme version windowscodecs winmm"
names=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: *//p' | tr 'A-Z' 'a-z' | sed 's/\.dll$//')
if [ -z "$names" ]; then
  echo "$program: no import table found (not a PE file?)" >&2
  exit 1
fi
status=0
for name in $names; do
  if ! grep -qw -- "$name" <<<"$windows"; then
    echo "$program imports $name.dll, which does not come with Windows" >&2
    status=1
  fi
done
# The user32 and kernel32 imports prove that the table was read at all.
for needed in kernel32 user32 comctl32; do
  grep -qx "$needed" <<<"$names" || { echo "$program does not import $needed.dll" >&2; status=1; }
done
[ $status -eq 0 ] && echo "$program imports only Windows' DLLs: $(echo $names)"
exit $status
