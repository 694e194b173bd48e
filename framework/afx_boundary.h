// The exception boundary of window, dialog and thread procedures: a C++ exception cannot unwind
// through the system's frames, so it is caught here and reported.
#pragma once

#include <windows.h>

#include <new>

#include "afx_app.h"
#include "afx_exception.h"

namespace afx_detail {

// Runs `body`; a framework exception (or std::bad_alloc, reported as out of memory) that escapes
// it goes to AfxProcessEscapedException. Any other exception ends the process. Returns false when
// an exception was reported.
template <typename Body> bool RunGuarded(const MSG* message, Body&& body) noexcept {
    try {
        body();
        return true;
    } catch (const CException& e) {
        AfxProcessEscapedException(e, message);
    } catch (const std::bad_alloc&) {
        AfxProcessEscapedException(CMemoryException(), message);
    }
    return false;
}

} // namespace afx_detail
