#pragma once
#include <windows.h>

// A setup is typically started from a downloads folder, where anybody may
// have left a DLL of a system name. The setup therefore loads libraries from
// the system folder only, and imports statically only the libraries that the
// platform itself always takes from there.

// Limits the DLL search of every later load to the system folder. Called
// first thing in the process.
void RestrictDllSearch();

// Loads a library by its file name from the system folder; null when it
// cannot be loaded there.
HMODULE LoadSystemLibrary(LPCWSTR szName);

// An export of a system library that stays loaded for the rest of the
// process, as the function type the caller names; null when it is missing.
FARPROC GetSystemExport(LPCWSTR szLibrary, LPCSTR szName);
template <typename T>
T GetSystemFunction(LPCWSTR szLibrary, LPCSTR szName)
{
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetSystemExport(szLibrary, szName)));
}

// The file or folder beside the executable ("<exe>.local") through which the
// loader would redirect DLLs, when one exists; false otherwise.
bool FindDllRedirection(LPCWSTR szModulePath, LPWSTR szRedirection, size_t cchRedirection);
