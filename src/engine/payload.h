#pragma once
#include "engine/steps.h"

constexpr size_t SHA256_TEXT_CAPACITY = 65;

// The SHA-256 of a file as 64 lower-case hex digits, computed with the
// platform's own hashing; 0 or the platform's error.
DWORD ComputeFileSha256(LPCWSTR szPath, WCHAR (&szDigest)[SHA256_TEXT_CAPACITY]);
// Turns a digest into 64 lower-case hex digits.
void FormatDigest(const BYTE (&rgbDigest)[32], WCHAR (&szDigest)[SHA256_TEXT_CAPACITY]);
// Whether a manifest's digest (any case, nothing around it) names this one.
bool IsSameDigest(LPCWSTR szExpected, LPCWSTR szActual);

// A release that requires digests fetches no package without one: the
// refusal is logged and shown as a failed download. 0 when it may go on.
DWORD RefuseUncheckedPackage(const CPackageInfo* pPackage, HINSTANCE hInstance, CSetupWizard* pWizard);
