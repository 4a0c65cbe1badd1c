#pragma once
#include <windows.h>
#include <string>

// Saves the whole virtual display as <build>/artifacts/<name>.png, so a
// person can see what a test saw. Returns the path, empty on failure.
std::wstring SaveScreenshot(const std::wstring& strName);
