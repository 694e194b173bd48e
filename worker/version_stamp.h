// Where and what the program stamps into the registry on every run that reaches the worker: a
// REG_SZ value under HKEY_USERS, stored with its terminating NUL.
#pragma once

namespace worker {

constexpr char kStampKeyPath[] = ".DEFAULT\\Software\\Tamrel\\BIOSUPDATE\\Parameters";
constexpr char kStampValueName[] = "Version";
constexpr char kStampVersion[] = "1.1508.0312.01";

} // namespace worker
