// Multibyte text as the string type that COM calls take.
#pragma once

#include "afx.h"

// `text`, multibyte in the calling thread's ANSI code page, as a system string of exactly its
// UTF-16 length. Throws CMemoryException when the string cannot be allocated.
SystemString MultiByteToSystemString(const char* text);
