// Start-up decisions that need no Windows: what the command-line number asks for and whether the
// power state allows a BIOS update.
#pragma once

#include <optional>

// The number at the start of the command-line text, read as "%d" would: leading white space
// skipped, an optional sign, decimal digits, anything after them ignored. No digits gives no
// number. A value outside the 32-bit range saturates instead of wrapping, so that no overlong
// text can turn into the clean-up request 1.
std::optional<long> ReadCommandLineNumber(const char* commandLine);

// The clean-up mode is asked for by the number 1 alone.
bool IsCleanUpRequest(const char* commandLine);

enum class PowerVerdict { Proceed, NoMainsPower, LowBattery };

// ACLineStatus 0 refuses whatever the battery holds; otherwise a charge below 20% refuses and
// 255 (undetermined, as on a machine without a battery) passes. An unknown power state (the
// status could not be read) refuses: flashing on a battery that may run dry bricks the machine.
PowerVerdict JudgePowerStatus(bool statusKnown, unsigned char acLineStatus,
                              unsigned char batteryLifePercent);
