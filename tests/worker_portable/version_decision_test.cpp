#include "worker/version_decision.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>

namespace {

using worker::DecideUpdate;
using worker::VersionDecision;

constexpr const char* kImage = "MIRTSF13.IMC";

std::ostream& operator<<(std::ostream& out, VersionDecision decision) {
    switch (decision) {
    case VersionDecision::CannotUpdate:
        return out << "CannotUpdate";
    case VersionDecision::ImageOlder:
        return out << "ImageOlder";
    case VersionDecision::SameVersion:
        return out << "SameVersion";
    case VersionDecision::Flash:
        return out << "Flash";
    }
    return out << "unknown";
}

struct DecisionCase {
    const char* biosVersion;
    VersionDecision expected;
};

void PrintTo(const DecisionCase& testCase, std::ostream* out) {
    *out << '"' << testCase.biosVersion << "\" -> " << testCase.expected;
}

class DecisionAgainstCarriedImage : public testing::TestWithParam<DecisionCase> {};

TEST_P(DecisionAgainstCarriedImage, FollowsPrefixAndNumber) {
    EXPECT_EQ(DecideUpdate(kImage, kImage, GetParam().biosVersion), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    RunningVersions, DecisionAgainstCarriedImage,
    testing::Values(DecisionCase{"MIRTSF13", VersionDecision::SameVersion},
                    DecisionCase{"MIRTSF12", VersionDecision::Flash},
                    DecisionCase{"MIRTSF14", VersionDecision::ImageOlder},
                    // F13A is 0xF13A, far above the image's 0xF13.
                    DecisionCase{"MIRTSF13A", VersionDecision::ImageOlder},
                    // strtol skips the space.
                    DecisionCase{"MIRTS F13", VersionDecision::SameVersion},
                    DecisionCase{"MIRTS\tF13", VersionDecision::SameVersion},
                    DecisionCase{"MIRTS0XF13", VersionDecision::SameVersion},
                    DecisionCase{"MIRTS0XF14", VersionDecision::ImageOlder},
                    DecisionCase{"MIRTS-F13", VersionDecision::Flash},
                    // Only eight characters count: "000000F1" is 0xF1.
                    DecisionCase{"MIRTS00000F13", VersionDecision::SameVersion},
                    DecisionCase{"MIRTS000000F13", VersionDecision::Flash},
                    // A number part without a hex digit reads 0, so the image counts as newer.
                    DecisionCase{"MIRTSXYZ", VersionDecision::Flash},
                    DecisionCase{"MIRTS", VersionDecision::Flash},
                    // Saturated at the signed 32-bit maximum, not wrapped to a negative value.
                    DecisionCase{"MIRTSFFFFFFFF", VersionDecision::ImageOlder},
                    DecisionCase{"MIRTS80000000", VersionDecision::ImageOlder},
                    DecisionCase{"ABCDEF13", VersionDecision::CannotUpdate},
                    DecisionCase{"MIRTZF12", VersionDecision::CannotUpdate},
                    DecisionCase{" MIRTSF12", VersionDecision::CannotUpdate},
                    DecisionCase{"MIRT", VersionDecision::CannotUpdate},
                    DecisionCase{"", VersionDecision::CannotUpdate}));

TEST(DecideUpdate, JudgesPlatformByFoundNameAndNumberByImageName) {
    // The prefix comes from the found file, the number from the name the image was written under.
    EXPECT_EQ(DecideUpdate("OTHERF13.IMC", kImage, "MIRTSF12"), VersionDecision::CannotUpdate);
    EXPECT_EQ(DecideUpdate(kImage, "MIRTSF11.IMC", "MIRTSF12"), VersionDecision::ImageOlder);
    EXPECT_EQ(DecideUpdate("MIRTS", "MIRTSF13.IMC", "MIRTSF12"), VersionDecision::Flash);
}

struct NumberCase {
    const char* text;
    std::int32_t expected;
};

TEST(VersionNumber, ReadsUpToEightCharactersFromPositionFive) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    const NumberCase cases[] = {
        {"MIRTSF13", 0xF13},
        {"MIRTSF13.IMC", 0xF13},
        {"MIRTSf13", 0xF13},
        {"MIRTS7FFFFFFF", kMax},
        {"MIRTS80000000", kMax},
        {"MIRTSFFFFFFFF", kMax},
        {"MIRTS-7FFFFFF", -0x7FFFFFF},
        {"MIRTS+F13", 0xF13},
        {"MIRTS 0x1F", 0x1F},
        {"MIRTS0x", 0},
        {"MIRTSG", 0},
        {"MIRTS", 0},
        {"MIR", 0},
        {"", 0},
        {"MIRTS123456789", 0x12345678},
    };
    for (const NumberCase& testCase : cases) {
        EXPECT_EQ(worker::VersionNumber(testCase.text), testCase.expected) << testCase.text;
    }
}

TEST(PlatformPrefix, TakesAtMostFiveCharacters) {
    EXPECT_EQ(worker::PlatformPrefix("MIRTSF13"), "MIRTS");
    EXPECT_EQ(worker::PlatformPrefix("MIRTS"), "MIRTS");
    EXPECT_EQ(worker::PlatformPrefix("MIR"), "MIR");
    EXPECT_EQ(worker::PlatformPrefix(""), "");
}

} // namespace
