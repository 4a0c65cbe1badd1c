#pragma once
#include <windows.h>

// Makes the build's test certificate authority (certs\ca.der beside the bin
// folder) trusted by the machine of the running prefix; it may be called
// any number of times. False when the store or the file cannot be used.
bool TrustTestAuthority();
