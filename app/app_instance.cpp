#include "app/update_app.h"

#include <cstdlib>

// The one application object; the framework's entry runs its InitInstance.
CUpdateApp theApp;

// An exception that nobody catches ends the process: the framework's boundaries let only its own
// exceptions through. The runtime's own handler for that would first print the exception's
// demangled type to a console this program never has, and link a C++ demangler and a printf
// into the executable for it; this one ends the process the same way without them.
namespace __gnu_cxx {
[[noreturn]] void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx
