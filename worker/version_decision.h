// Whether the carried BIOS image is to be flashed over the running BIOS, judged from two texts of
// the same layout: characters 0 to 4 name the platform, from character 5 on at most eight
// characters hold the version as a hexadecimal number.
#pragma once

#include <cstdint>
#include <string_view>

namespace worker {

enum class VersionDecision { CannotUpdate, ImageOlder, SameVersion, Flash };

// Characters 0 to 4 of the text, fewer when it is shorter.
std::string_view PlatformPrefix(std::string_view text);

// Characters 5 to 12 read as strtol with base 16 reads them (leading white space, sign and 0x
// accepted, no digit gives 0), held to the signed 32-bit range.
std::int32_t VersionNumber(std::string_view text);

// All three texts are already upper-cased. The platform is judged by the name of the image file
// that was found, the version by the name the image was written under.
VersionDecision DecideUpdate(std::string_view foundImageName, std::string_view imageName,
                             std::string_view biosVersion);

} // namespace worker
