#!/bin/sh
# Fails when the executable imports anything but the platform's own DLLs that
# the loader always takes from the system folder (the known DLLs): the C and
# C++ runtimes and zlib must be linked in, and every other library is loaded
# at run time from the system folder. Also fails when the executable lost
# ASLR (a dynamic base with its relocations kept) or DEP, or, as a 64-bit
# program, its high-entropy address space.
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
headers=$("$objdump" -p -h "$exe")
for flag in DYNAMIC_BASE NX_COMPAT; do
    echo "$headers" | grep -q "^[[:space:]]*$flag\$" || { echo "missing $flag"; status=1; }
done
echo "$headers" | grep -q " \.reloc " || { echo "no relocations: the base cannot move"; status=1; }
if echo "$headers" | grep -q "^Magic[[:space:]]*020b"; then
    echo "$headers" | grep -q "^[[:space:]]*HIGH_ENTROPY_VA\$" || { echo "missing HIGH_ENTROPY_VA"; status=1; }
fi
exit $status
