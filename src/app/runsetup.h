#pragma once
#include <windows.h>

// The whole run of the setup, from the log's start to the restart request.
// Always returns 0.
int RunSetup(HINSTANCE hInstance, LPWSTR szCommandLine);

// Whether the manifest's OPERATION is one this setup carries out.
bool IsOperationAccepted(LPCWSTR szOperation);

constexpr WCHAR SETUP_MUTEX_NAME[] = L"Global\\_MSISETUP_{2956EBA1-9B5A-4679-8618-357136DA66CA}";
