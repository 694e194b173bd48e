// The process's COM security, which the WMI calls need.
#pragma once

#include <windows.h>

// Packet privacy and impersonation for every COM call of the process, as a WMI client asks for
// them. Once per process, in an initialised apartment, before the first WMI call; returns
// CoInitializeSecurity's result.
HRESULT InitializeComSecurity();
