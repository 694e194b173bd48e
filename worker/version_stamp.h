// Where and what the program stamps into the registry on every run that reaches the worker: a
// REG_SZ value under HKEY_USERS, stored with its terminating NUL.
#pragma once

#include "version_stamp_text.h"

namespace worker {

constexpr char kStampKeyPath[] = ".DEFAULT\\Software\\Tamrel\\BIOSUPDATE\\Parameters";
constexpr char kStampValueName[] = "Version";
// A build option; "1.1508.0312.01" unless the release says otherwise.
constexpr char kStampVersion[] = BIOSUPDATE_VERSION_STAMP;

} // namespace worker
