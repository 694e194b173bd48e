#include "worker/version_decision.h"

#include <cstdlib>
#include <limits>

namespace worker {

namespace {

constexpr std::size_t kPrefixLength = 5;
constexpr std::size_t kNumberLength = 8;

// Mid(first, count): never reaches past the end, empty when first lies beyond it.
std::string_view Mid(std::string_view text, std::size_t first, std::size_t count) {
    if (first >= text.size()) {
        return {};
    }
    return text.substr(first, count);
}

} // namespace

std::string_view PlatformPrefix(std::string_view text) {
    return Mid(text, 0, kPrefixLength);
}

std::int32_t VersionNumber(std::string_view text) {
    const std::string_view digits = Mid(text, kPrefixLength, kNumberLength);
    char terminated[kNumberLength + 1] = {};
    digits.copy(terminated, digits.size());
    const long value = std::strtol(terminated, nullptr, 16);
    // long is 32 bits on Windows, where strtol saturates by itself; the host's is wider.
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

VersionDecision DecideUpdate(std::string_view foundImageName, std::string_view imageName,
                             std::string_view biosVersion) {
    if (PlatformPrefix(foundImageName) != PlatformPrefix(biosVersion)) {
        return VersionDecision::CannotUpdate;
    }
    const std::int32_t image = VersionNumber(imageName);
    const std::int32_t running = VersionNumber(biosVersion);
    if (image < running) {
        return VersionDecision::ImageOlder;
    }
    if (image == running) {
        return VersionDecision::SameVersion;
    }
    return VersionDecision::Flash;
}

} // namespace worker
