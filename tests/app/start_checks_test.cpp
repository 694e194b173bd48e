#include "app/start_checks.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>

namespace {

struct NumberCase {
    const char* commandLine;
    std::optional<long> number;
    bool cleanUp;
};

class CommandLineNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(CommandLineNumber, ReadsLikeScanfDecimal) {
    const NumberCase& c = GetParam();
    EXPECT_EQ(ReadCommandLineNumber(c.commandLine), c.number) << '"' << c.commandLine << '"';
    EXPECT_EQ(IsCleanUpRequest(c.commandLine), c.cleanUp) << '"' << c.commandLine << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineNumber,
    testing::Values(
        NumberCase{"1", 1, true}, NumberCase{"   1", 1, true}, NumberCase{"\t\r\n 1", 1, true},
        NumberCase{"+1", 1, true}, NumberCase{"01", 1, true}, NumberCase{"0001", 1, true},
        NumberCase{"1 more text", 1, true}, NumberCase{"1abc", 1, true}, NumberCase{"1.5", 1, true},
        NumberCase{"0", 0, false}, NumberCase{"2", 2, false}, NumberCase{"-1", -1, false},
        NumberCase{"10", 10, false}, NumberCase{"a1", std::nullopt, false},
        NumberCase{"", std::nullopt, false}, NumberCase{"   ", std::nullopt, false},
        NumberCase{"+", std::nullopt, false}, NumberCase{"- 1", std::nullopt, false},
        NumberCase{"+-1", std::nullopt, false}, NumberCase{"\"1\"", std::nullopt, false},
        NumberCase{"2147483647", INT32_MAX, false}, NumberCase{"-2147483648", INT32_MIN, false},
        // Overlong numbers saturate; wrapping would turn 2^32 + 1 into the clean-up 1.
        NumberCase{"4294967297", INT32_MAX, false}, NumberCase{"-4294967295", INT32_MIN, false},
        NumberCase{"99999999999999999999999999999999999999", INT32_MAX, false}));

TEST(CommandLineNumber, NullTextIsNoNumber) {
    EXPECT_EQ(ReadCommandLineNumber(nullptr), std::nullopt);
    EXPECT_FALSE(IsCleanUpRequest(nullptr));
}

struct PowerCase {
    bool known;
    unsigned char acLine;
    unsigned char battery;
    PowerVerdict verdict;
};

class PowerGate : public testing::TestWithParam<PowerCase> {};

TEST_P(PowerGate, JudgesMainsThenCharge) {
    const PowerCase& c = GetParam();
    EXPECT_EQ(JudgePowerStatus(c.known, c.acLine, c.battery), c.verdict)
        << "known " << c.known << " AC " << int{c.acLine} << " battery " << int{c.battery};
}

INSTANTIATE_TEST_SUITE_P(Rows, PowerGate,
                         testing::Values(PowerCase{true, 0, 100, PowerVerdict::NoMainsPower},
                                         PowerCase{true, 0, 5, PowerVerdict::NoMainsPower},
                                         PowerCase{true, 0, 255, PowerVerdict::NoMainsPower},
                                         PowerCase{true, 1, 19, PowerVerdict::LowBattery},
                                         PowerCase{true, 1, 0, PowerVerdict::LowBattery},
                                         PowerCase{true, 1, 20, PowerVerdict::Proceed},
                                         PowerCase{true, 1, 100, PowerVerdict::Proceed},
                                         PowerCase{true, 1, 255, PowerVerdict::Proceed},
                                         PowerCase{true, 255, 20, PowerVerdict::Proceed},
                                         PowerCase{true, 255, 19, PowerVerdict::LowBattery},
                                         PowerCase{true, 255, 255, PowerVerdict::Proceed},
                                         PowerCase{true, 2, 50, PowerVerdict::Proceed},
                                         PowerCase{false, 1, 100, PowerVerdict::NoMainsPower},
                                         PowerCase{false, 0, 0, PowerVerdict::NoMainsPower}));

} // namespace
