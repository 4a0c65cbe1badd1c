#pragma once
#include "engine/steps.h"
#include <string>

// Splits a registered uninstall command into its program (up to and
// including the first ".exe") and its arguments (after the character that
// follows, with " /q" added). A program written in double quotes is taken
// from between them. False when the command names no ".exe".
bool SplitUninstallCommand(const std::wstring& strCommand, std::wstring* pstrProgram, std::wstring* pstrArguments);

// The earlier product code that is removed in preference when it is registered.
constexpr WCHAR EARLIER_PRODUCT_CODE[] = L"{3C8F1B52-7A4E-4E19-9D06-5B2C8E7F1A43}";
