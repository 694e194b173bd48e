// The version stamp in the real registry of the prefix, from whatever state it was in before.
#include "worker_test_support.h"

#include <gtest/gtest.h>

namespace {

constexpr char kParametersKey[] = ".DEFAULT\\Software\\Tamrel\\BIOSUPDATE\\Parameters";
constexpr char kStampText[] = "1.1508.0312.01";

enum class Before { NoVendorKey, EmptyParametersKey, OtherText, DwordValue, BinaryValue };

struct StampCase {
    const char* name;
    Before before;
};

void PrintTo(const StampCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

void Prepare(Before before) {
    if (before == Before::NoVendorKey) {
        return;
    }
    RegistryKey key;
    ASSERT_EQ(::RegCreateKeyA(HKEY_USERS, kParametersKey, key.Receive()), ERROR_SUCCESS);
    // A neighbour the stamp must leave alone.
    const DWORD neighbour = 7;
    ::RegSetValueExA(key.Get(), "Other", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&neighbour),
                     sizeof neighbour);
    const char otherText[] = "0.9.0.0";
    const BYTE binary[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    switch (before) {
    case Before::OtherText:
        ::RegSetValueExA(key.Get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(otherText),
                         sizeof otherText);
        break;
    case Before::DwordValue:
        ::RegSetValueExA(key.Get(), "Version", 0, REG_DWORD,
                         reinterpret_cast<const BYTE*>(&neighbour), sizeof neighbour);
        break;
    case Before::BinaryValue:
        ::RegSetValueExA(key.Get(), "Version", 0, REG_BINARY, binary, sizeof binary);
        break;
    case Before::NoVendorKey:
    case Before::EmptyParametersKey:
        break;
    }
}

class VersionStamp : public testing::TestWithParam<StampCase> {
protected:
    void SetUp() override { worker_test::DeleteStampKeys(); }
    void TearDown() override { worker_test::DeleteStampKeys(); }
};

TEST_P(VersionStamp, HoldsTheProgramVersionAsText) {
    ASSERT_NO_FATAL_FAILURE(Prepare(GetParam().before));
    CHWDriverDownloadThread worker;

    EXPECT_TRUE(worker.WriteVersionStamp());

    const worker_test::StampValue stamp = worker_test::ReadStamp();
    ASSERT_TRUE(stamp.present);
    EXPECT_EQ(stamp.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(stamp.size, 15u);
    EXPECT_EQ(stamp.data, std::string(kStampText, sizeof kStampText));
    if (GetParam().before != Before::NoVendorKey) {
        RegistryKey key;
        ASSERT_EQ(::RegOpenKeyExA(HKEY_USERS, kParametersKey, 0, KEY_QUERY_VALUE, key.Receive()),
                  ERROR_SUCCESS);
        DWORD neighbour = 0;
        DWORD size = sizeof neighbour;
        EXPECT_EQ(::RegQueryValueExA(key.Get(), "Other", nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(&neighbour), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(neighbour, 7u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    PriorStates, VersionStamp,
    testing::Values(StampCase{"KeysCreatedFromNothing", Before::NoVendorKey},
                    StampCase{"ValueAddedToExistingKey", Before::EmptyParametersKey},
                    StampCase{"OtherTextReplaced", Before::OtherText},
                    StampCase{"DwordReplacedByText", Before::DwordValue},
                    StampCase{"LongerBinaryReplacedByText", Before::BinaryValue}),
    [](const testing::TestParamInfo<StampCase>& param) { return param.param.name; });

TEST(VersionStampTwice, StaysOneValue) {
    worker_test::DeleteStampKeys();
    CHWDriverDownloadThread worker;
    EXPECT_TRUE(worker.WriteVersionStamp());
    EXPECT_TRUE(worker.WriteVersionStamp());
    RegistryKey key;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_USERS, kParametersKey, 0, KEY_QUERY_VALUE, key.Receive()),
              ERROR_SUCCESS);
    DWORD values = 0;
    ASSERT_EQ(::RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 &values, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 1u);
    worker_test::DeleteStampKeys();
}

} // namespace
