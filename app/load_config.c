/*
 * The executable's load configuration. Windows 10 1607 and later resolve the program's imports
 * with its DependentLoadFlags (called Reserved1 in MinGW's header): from the system folder alone,
 * never from the folder it was started in. XP's loader takes the directory only at 64 bytes, the
 * structure up to its SEH handler table. The linker does not point the image's directory at
 * this; tools/package/harden_executable.py does after the link.
 */
#include <stddef.h>
#include <windows.h>

const IMAGE_LOAD_CONFIG_DIRECTORY32 _load_config_used = {
    .Size = offsetof(IMAGE_LOAD_CONFIG_DIRECTORY32, SEHandlerTable),
    .Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32,
};
