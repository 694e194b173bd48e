// What BIOSUpdate.exe reads on a notebook, read here as the program reads it, and its profile
// as JSON text.
#pragma once

#include <string>

// The profile's layout; the bench refuses profiles of any other.
constexpr int kProfileFormat = 1;

// The whole profile of the machine this process runs on, as UTF-8 JSON. Once per process: it sets
// the process's COM security, as the program does before its query.
std::string ReadProfile();
