// The code page of every multibyte <-> UTF-16 conversion in the program.
#pragma once

#include <windows.h>

// Chosen once, at the first call; safe when several threads make the first call together.
UINT AfxGetConversionCodePage();

// NT 5 and later convert in the thread's ANSI code page; older systems in the default ANSI code
// page of the thread locale, or the system's when the locale names none.
UINT AfxChooseConversionCodePage(DWORD platformId, DWORD majorVersion, LCID threadLocale);
