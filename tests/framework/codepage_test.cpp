// The conversion code page chooser and the conversions of CString that use it.

#include "afx.h"

#include <cstring>

#include <gtest/gtest.h>

#include "test_case_name.h"

namespace {

struct ChooserCase {
    const char* name;
    DWORD platformId;
    DWORD majorVersion;
    LCID threadLocale;
    UINT expected; // 0: the system's ANSI code page
};

class CodePageChooser : public ::testing::TestWithParam<ChooserCase> {};

TEST_P(CodePageChooser, PicksTheCodePageOfItsBranch) {
    const ChooserCase& c = GetParam();
    const UINT expected = c.expected != 0 ? c.expected : ::GetACP();
    EXPECT_EQ(AfxChooseConversionCodePage(c.platformId, c.majorVersion, c.threadLocale), expected);
}

constexpr LCID kKorean = 0x412;
constexpr LCID kEnglishUs = 0x409;
// Hindi has no ANSI code page: its LOCALE_IDEFAULTANSICODEPAGE is "0".
constexpr LCID kUnicodeOnly = 0x439;
// No locale has this id.
constexpr LCID kUnknown = 0x0FFF;

INSTANTIATE_TEST_SUITE_P(
    Branches, CodePageChooser,
    ::testing::Values(
        ChooserCase{"Nt5ThreadCodePage", VER_PLATFORM_WIN32_NT, 5, kKorean, CP_THREAD_ACP},
        ChooserCase{"Nt6ThreadCodePage", VER_PLATFORM_WIN32_NT, 6, kEnglishUs, CP_THREAD_ACP},
        ChooserCase{"Nt4KoreanLocale", VER_PLATFORM_WIN32_NT, 4, kKorean, 949},
        ChooserCase{"Nt4EnglishLocale", VER_PLATFORM_WIN32_NT, 4, kEnglishUs, 1252},
        ChooserCase{"Win9xKoreanLocale", VER_PLATFORM_WIN32_WINDOWS, 4, kKorean, 949},
        ChooserCase{"Win9xMajor5IsNotNt", VER_PLATFORM_WIN32_WINDOWS, 5, kEnglishUs, 1252},
        ChooserCase{"Win32sEnglishLocale", VER_PLATFORM_WIN32s, 3, kEnglishUs, 1252},
        ChooserCase{"UnknownLocaleFallsBack", VER_PLATFORM_WIN32_WINDOWS, 4, kUnknown, 0},
        ChooserCase{"ZeroCodePageFallsBack", VER_PLATFORM_WIN32_NT, 4, kUnicodeOnly, 0}),
    CaseName<ChooserCase>);

TEST(CodePageChooserPreconditions, TheFallbackLocalesReallyGiveNoCodePage) {
    char text[7] = {};
    EXPECT_EQ(::GetLocaleInfoA(kUnknown, LOCALE_IDEFAULTANSICODEPAGE, text, sizeof(text)), 0);
    ASSERT_GT(::GetLocaleInfoA(kUnicodeOnly, LOCALE_IDEFAULTANSICODEPAGE, text, sizeof(text)), 0);
    EXPECT_STREQ(text, "0");
}

TEST(ConversionCodePage, IsTheThreadCodePageOnThisSystem) {
    EXPECT_EQ(AfxGetConversionCodePage(), static_cast<UINT>(CP_THREAD_ACP));
}

// Restores the thread locale a test changes.
class ThreadLocaleScope {
public:
    explicit ThreadLocaleScope(LCID locale) : m_previous(::GetThreadLocale()) {
        ::SetThreadLocale(locale);
    }
    ~ThreadLocaleScope() { ::SetThreadLocale(m_previous); }
    ThreadLocaleScope(const ThreadLocaleScope&) = delete;
    ThreadLocaleScope& operator=(const ThreadLocaleScope&) = delete;

private:
    LCID m_previous;
};

struct ConversionCase {
    const char* name;
    LCID threadLocale;
    const wchar_t* wide;
    const char* expected;
};

class WideConversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(WideConversion, FollowsTheThreadLocale) {
    const ConversionCase& c = GetParam();
    ThreadLocaleScope locale(c.threadLocale);
    const CString converted(c.wide);
    EXPECT_STREQ(converted.GetString(), c.expected);
    EXPECT_EQ(converted.GetLength(), static_cast<int>(std::strlen(c.expected)));
}

INSTANTIATE_TEST_SUITE_P(
    Locales, WideConversion,
    ::testing::Values(ConversionCase{"Ascii", kEnglishUs, L"BIOS 1.0", "BIOS 1.0"},
                      ConversionCase{"WesternInEnglishLocale", kEnglishUs, L"caf\x00E9", "caf\xE9"},
                      ConversionCase{"HangulInKoreanLocale", kKorean, L"\xAD8C\xD55C",
                                     "\xB1\xC7\xC7\xD1"},
                      ConversionCase{"HangulInEnglishLocale", kEnglishUs, L"\xAD8C", "?"},
                      ConversionCase{"Empty", kKorean, L"", ""}),
    CaseName<ConversionCase>);

TEST(WideConversion, NullGivesAnEmptyString) {
    const CString converted(static_cast<const wchar_t*>(nullptr));
    EXPECT_TRUE(converted.IsEmpty());
}

} // namespace
