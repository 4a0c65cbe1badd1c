#pragma once
#include <windows.h>

// Keys of HKEY_LOCAL_MACHINE for reading. A 32-bit setup on 64-bit Windows
// has its own (32-bit) view and the native 64-bit one; the opens go through
// the override table, so that a 64-bit test build sees and answers each
// view the shipped setup would ask for.

// samView: 0 for the setup's own view, KEY_WOW64_64KEY for the 64-bit one.
HKEY OpenMachineKey(LPCWSTR szPath, REGSAM samView);
// The own view first, then the 64-bit one; null when neither has the key.
HKEY OpenMachineKeyEitherView(LPCWSTR szPath);
