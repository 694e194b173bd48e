// One "File" resource of the executable: the package's own bytes of a payload file.
#pragma once

#include "afx.h"

#include <windows.h>

namespace payload {

// Loaded from the framework's resource module for the life of the object, the file error of a
// write included.
class PayloadResource {
public:
    explicit PayloadResource(UINT id);

    // False when the resource is missing or cannot be loaded (an id above 0xFFFF included: it
    // would silently name another resource).
    bool Found() const { return m_loaded.IsValid(); }
    // Null for a missing or empty resource.
    const void* Data() const { return m_data; }
    DWORD Size() const { return m_size; }

private:
    LoadedResource m_loaded;
    const void* m_data = nullptr;
    DWORD m_size = 0;
};

} // namespace payload
