#!/bin/sh
# Fails when the executable imports anything but the platform's own DLLs that
# the loader always takes from the system folder (the known DLLs): the C and
# C++ runtimes and zlib must be linked in, and every other library is loaded
# at run time from the system folder.
#   check-imports.sh <objdump> <exe>
set -eu
objdump=$1
exe=$2
allowed="advapi32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll
shlwapi.dll user32.dll"
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$imports" ] || { echo "no import table found in $exe"; exit 1; }
status=0
for dll in $imports; do
    case " $(echo $allowed) " in
        *" $dll "*) ;;
        *) echo "unexpected import: $dll"; status=1 ;;
    esac
done
echo "imports: $(echo $imports)"
exit $status
