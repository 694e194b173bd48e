// CString: substrings, upper-casing and string-table loading.

#include "afx.h"

#include <mbctype.h>

#include <climits>

#include <gtest/gtest.h>

#include "test_case_name.h"

#include "framework_test_ids.h"

namespace {

struct MidCase {
    const char* name;
    int first;
    int count; // -2: the one-argument form
    const char* expected;
};

constexpr int kToEnd = -2;

class Mid : public ::testing::TestWithParam<MidCase> {};

TEST_P(Mid, TakesTheBoundedPart) {
    const MidCase& c = GetParam();
    const CString text("abcdef");
    const CString part = c.count == kToEnd ? text.Mid(c.first) : text.Mid(c.first, c.count);
    EXPECT_STREQ(part.GetString(), c.expected);
    EXPECT_STREQ(text.GetString(), "abcdef");
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, Mid,
    ::testing::Values(
        MidCase{"Prefix", 0, 5, "abcde"}, MidCase{"Inner", 2, 2, "cd"},
        MidCase{"WholeString", 0, 6, "abcdef"}, MidCase{"CountPastTheEnd", 4, 10, "ef"},
        MidCase{"CountThatWouldOverflow", 1, INT_MAX, "bcdef"}, MidCase{"LastCharacter", 5, 1, "f"},
        MidCase{"FirstAtTheEnd", 6, 1, ""}, MidCase{"FirstBeyondTheEnd", 9, 2, ""},
        MidCase{"FirstFarBeyondTheEnd", INT_MAX, INT_MAX, ""},
        MidCase{"NegativeFirstCountsAsZero", -3, 2, "ab"},
        MidCase{"NegativeCountCountsAsZero", 2, -1, ""}, MidCase{"ZeroCount", 3, 0, ""},
        MidCase{"RestFromInside", 3, kToEnd, "def"},
        MidCase{"RestFromNegative", -4, kToEnd, "abcdef"}, MidCase{"RestFromTheEnd", 6, kToEnd, ""},
        MidCase{"RestFromBeyondTheEnd", 40, kToEnd, ""}),
    CaseName<MidCase>);

TEST(Mid, OfAnEmptyStringIsEmpty) {
    EXPECT_TRUE(CString().Mid(0, 3).IsEmpty());
    EXPECT_TRUE(CString().Mid(0).IsEmpty());
}

TEST(CountedConstruction, TakesExactlyTheCountAndNothingForBadCounts) {
    const char bytes[] = {'a', 'b', '\0', 'c'};
    EXPECT_EQ(CString(bytes, 4).GetLength(), 4);
    EXPECT_EQ(CString(bytes, 1), "a");
    EXPECT_TRUE(CString(bytes, 0).IsEmpty());
    EXPECT_TRUE(CString(bytes, -1).IsEmpty());
    EXPECT_TRUE(CString(nullptr, 3).IsEmpty());
    EXPECT_TRUE(CString(static_cast<const char*>(nullptr)).IsEmpty());
}

// Restores the C runtime's multibyte code page.
class MultibyteCodePageScope {
public:
    explicit MultibyteCodePageScope(int codePage) : m_previous(::_getmbcp()) {
        ::_setmbcp(codePage);
    }
    ~MultibyteCodePageScope() { ::_setmbcp(m_previous); }
    MultibyteCodePageScope(const MultibyteCodePageScope&) = delete;
    MultibyteCodePageScope& operator=(const MultibyteCodePageScope&) = delete;

private:
    int m_previous;
};

TEST(MakeUpper, UpperCasesSingleByteText) {
    CString text("mirtsf13.imc 9-z");
    EXPECT_STREQ(text.MakeUpper().GetString(), "MIRTSF13.IMC 9-Z");
}

TEST(MakeUpper, LeavesTheTrailBytesOfDoubleByteCharactersAlone) {
    // 0x81 0x61 is one Hangul syllable in code page 949; its trail byte looks like 'a'.
    MultibyteCodePageScope codePage(949);
    CString text("\x81"
                 "a"
                 "b\x81"
                 "a");
    text.MakeUpper();
    EXPECT_STREQ(text.GetString(), "\x81"
                                   "a"
                                   "B\x81"
                                   "a");
}

struct LoadCase {
    const char* name;
    UINT id;
    const char* expected; // null: the load fails
};

class LoadString : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadString, FindsTheEntryOrLeavesTheStringAlone) {
    const LoadCase& c = GetParam();
    CString text("unchanged");
    const BOOL loaded = text.LoadString(c.id);
    if (c.expected != nullptr) {
        EXPECT_TRUE(loaded);
        EXPECT_STREQ(text.GetString(), c.expected);
    } else {
        EXPECT_FALSE(loaded);
        EXPECT_STREQ(text.GetString(), "unchanged");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Entries, LoadString,
    ::testing::Values(LoadCase{"FirstOfBlock", IDS_TEST_FIRST, "first entry"},
                      LoadCase{"InsideBlock", IDS_TEST_MIDDLE, "middle entry"},
                      LoadCase{"LastOfBlock", IDS_TEST_LAST, "last entry"},
                      LoadCase{"AnotherBlock", IDS_TEST_OTHER_BLOCK, "entry of another block"},
                      LoadCase{"GapInBlock", IDS_TEST_GAP, nullptr},
                      LoadCase{"EmptyEntry", IDS_TEST_EMPTY, nullptr},
                      LoadCase{"NoSuchBlock", IDS_TEST_MISSING, nullptr},
                      LoadCase{"EntryLongerThanItsBlock", IDS_TEST_DAMAGED_FIRST, nullptr},
                      LoadCase{"EntryAfterADamagedOne", IDS_TEST_DAMAGED_SECOND, nullptr}),
    CaseName<LoadCase>);

// Restores the thread's locale and its default user-interface language.
class ThreadLanguageScope {
public:
    explicit ThreadLanguageScope(LCID locale) : m_locale(::GetThreadLocale()) {
        ::SetThreadLocale(locale);
        ::SetThreadUILanguage(LANGIDFROMLCID(locale));
    }
    ~ThreadLanguageScope() {
        ::SetThreadUILanguage(0);
        ::SetThreadLocale(m_locale);
    }
    ThreadLanguageScope(const ThreadLanguageScope&) = delete;
    ThreadLanguageScope& operator=(const ThreadLanguageScope&) = delete;

private:
    LCID m_locale;
};

TEST(LoadString, TakesTheThreadLanguageAndConvertsInItsCodePage) {
    CString text;
    {
        ThreadLanguageScope korean(0x412);
        ASSERT_TRUE(text.LoadString(IDS_TEST_LOCALISED));
        // "한국어" in code page 949.
        EXPECT_STREQ(text.GetString(), "\xC7\xD1\xB1\xB9\xBE\xEE");
    }
    {
        ThreadLanguageScope english(0x409);
        ASSERT_TRUE(text.LoadString(IDS_TEST_LOCALISED));
        EXPECT_STREQ(text.GetString(), "English text");
    }
}

} // namespace
