#pragma once
#include "manifest/package.h"

// Whether the package's software is already present on the machine.
bool IsPackageInstalled(const CPackageInfo* pPackage);
