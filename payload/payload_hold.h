// The check that the work folder holds exactly the package's payload when the flash utility
// starts, and the hold that keeps it so until the utility has ended.
#pragma once

#include "afx.h"
#include "payload/work_paths.h"

#include <array>

namespace payload {

// Holds the flash utility's files and the image open for reading only, and the work folder
// against renaming, from the check until the hold ends: nobody can write, replace or delete them
// meanwhile, while the utility can still read them and load its libraries. Reading only, it
// suits the worker thread while the window's thread owns every write in the folder.
class PayloadHold {
public:
    PayloadHold() = default;
    PayloadHold(const PayloadHold&) = delete;
    PayloadHold& operator=(const PayloadHold&) = delete;

    // Checks and holds the payload in `folder`. False, holding nothing, when the folder is not
    // the program's own; when a payload file is missing, is not a plain file, differs from the
    // package's bytes or cannot be held; or when the folder holds executable content that is not
    // the payload's, which would load into the utility with its rights.
    bool Acquire(const char* folder);

private:
    KernelHandle m_folder;
    std::array<KernelHandle, kUtilityFiles.size() + 1> m_files;

    bool HoldFile(const char* folder, const PayloadFile& file, KernelHandle& held);
    void Release();
};

} // namespace payload
