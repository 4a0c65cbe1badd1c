#pragma once
#include <windows.h>
#include <stdarg.h>

// Bounded wide-string helpers. Capacities count characters and include the
// terminating NUL. A result that does not fit is cut to capacity - 1
// characters, still terminated, and reported as STRSAFE_E_INSUFFICIENT_BUFFER.
constexpr HRESULT SAFE_E_INVALID_CAPACITY = static_cast<HRESULT>(0x80070057);
constexpr HRESULT SAFE_E_CUT_TO_FIT = static_cast<HRESULT>(0x8007007A);
constexpr size_t SAFE_MAX_CAPACITY = 2147483647u;

HRESULT SafeCopy(LPWSTR szDest, size_t cchDest, LPCWSTR szSource);
HRESULT SafeAppend(LPWSTR szDest, size_t cchDest, LPCWSTR szSource);
HRESULT SafeFormat(LPWSTR szDest, size_t cchDest, LPCWSTR szFormat, ...);
HRESULT SafeFormatV(LPWSTR szDest, size_t cchDest, LPCWSTR szFormat, va_list args);

// The formatter shared by the helpers and the setup log: formats at most
// cchDest - 1 characters and terminates. Returns false when the full result
// did not fit. cchDest must be at least 1.
bool FormatBounded(LPWSTR szDest, size_t cchDest, LPCWSTR szFormat, va_list args);

// A string of the module's string table, or an empty text when it has none.
void LoadStringOrEmpty(HINSTANCE hInstance, UINT nStringId, LPWSTR szText, int cchText);

// Keyword comparison of the setup: locale 1033, case ignored.
bool IsTextEqualNoCase(LPCWSTR szFirst, LPCWSTR szSecond);
