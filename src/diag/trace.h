#pragma once
#include <windows.h>

// Debug trace to the debugger output channel, switched on by the
// environment variable _MSI_WEB_BOOTSTRAP_DEBUG starting with the digit 1.
void InitDebugFlag();
void DebugMsg(LPCWSTR szFormat, LPCWSTR szFirst = nullptr, LPCWSTR szSecond = nullptr);
void DebugMsgInt(LPCWSTR szFormat, int nValue);
void DebugMsgInt2(int nSystemVersion, int nMinimumVersion);

// Lets a test decide the flag again after changing the environment.
void ResetDebugFlagForTest();
