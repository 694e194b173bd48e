// The string table of BIOSUpdate.exe, read back from the product executable in both languages.
#include "product_module.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct ExpectedString {
    int id;
    const char16_t* english;
    const char16_t* korean;
};

const ExpectedString kStrings[] = {
    {IDS_APP_TITLE, u"BIOS Update Program", u"BIOS 업데이트 프로그램"},
    {IDS_STATUS_LABEL, u"BIOS Update Status:", u"BIOS 업데이트 진행 상황 :"},
    {IDS_LOADING, u"Loading BIOS update files. ", u"BIOS 업데이트 할 파일을 로딩중 입니다."},
    {IDS_VERIFYING, u"Verifing your system BIOS version.", u"시스템 BIOS 버전을 확인중 입니다"},
    {IDS_CANNOT_UPDATE, u"Can not update BIOS update on your system",
     u"현재 시스템에는 BIOS를 업데이트 할 수 없습니다."},
    {IDS_CANNOT_UPDATE2, u"Can not update BIOS update on your system",
     u"현재 시스템에는 BIOS를 업데이트 할 수 없습니다."},
    {IDS_CHECKING, u"Checking for BIOS update on your system",
     u"BIOS 업데이트하기 위한 상태를 점검중 입니다."},
    {IDS_LOW_BATTERY,
     u"Connect AC adapter and recharge Battery above 20% before execute intelligent update "
     u"program",
     u"전원 코드를 연결후 배터리양 20% 이상 충전후 BIOS 업데이트를 실행 하세요."},
    {IDS_UPDATING, u"BIOS is updating now. This will take approximately 3 minutes to completion",
     u"BIOS 업데이트를 수행중입니다. 업데이트 완료까지는 약 3분정도 소요 됩니다."},
    {IDS_INITIALIZING, u"Initializing for BIOS update",
     u"BIOS 업데이트하기 위한 준비 작업중 입니다."},
    {IDS_CONFIRM,
     u"You must close all the application now since the system will restart after BIOS update "
     u"is completed.\nProceed BIOS update now?",
     u"BIOS 업데이트 후 바로 시스템이 재시작되므로 작업하시는 모든 프로그램을 종료하셔야 "
     u"합니다.\n지금 바로 BIOS 업데이트를 하시겠습니까?"},
    {IDS_NO_AC, u"Connect AC adapter and recharge Battery above 20% before BIOS update.",
     u"전원 코드를 연결한 상태에서 배터리양 20% 이상 상태에서 다시 BIOS 업데이트를 실행 하세요"},
    {IDS_IMAGE_OLDER, u"Target System BIOS is newer than the source System BIOS.",
     u"현재 시스템 BIOS Version이 업데이트하려는 BIOS Version보다 최신 입니다."},
    {IDS_SAME_VERSION, u"Target System BIOS and source System BIOS are same Version.",
     u"현재 시스템 BIOS Version과 업데이트하려는 BIOS Version이 동일 합니다."},
    {IDS_XP_ONLY, u"Sorry, BIOS Update supports Windows XP only for system safety.",
     u"BIOS 업데이트는 시스템 안전을 위해 Windows XP에서만 사용이 가능합니다."},
};

constexpr WORD kBlock = IDS_APP_TITLE / 16 + 1; // ids 128 to 143
// The framework's own strings start here; the program has none in between.
constexpr WORD kFirstFrameworkBlock = 61440 / 16 + 1;

// The sixteen counted UTF-16 entries of a string block.
std::vector<std::u16string> ParseBlock(const Bytes& block) {
    std::vector<std::u16string> entries;
    std::size_t offset = 0;
    auto read_unit = [&](std::size_t at) {
        if (at + 2 > block.size()) {
            throw std::runtime_error("string block truncated");
        }
        return static_cast<char16_t>(block[at] | block[at + 1] << 8);
    };
    for (int entry = 0; entry < 16; ++entry) {
        std::size_t length = read_unit(offset);
        offset += 2;
        std::u16string text;
        for (std::size_t unit = 0; unit < length; ++unit, offset += 2) {
            text += read_unit(offset);
        }
        entries.push_back(text);
    }
    return entries;
}

std::vector<std::u16string> BlockIn(WORD language) {
    auto block = Product().Find(RT_STRING, MAKEINTRESOURCEA(kBlock), language);
    if (!block) {
        throw std::runtime_error("string block 9 missing in language " + std::to_string(language));
    }
    return ParseBlock(*block);
}

TEST(StringTable, HoldsEveryTextExactlyInBothLanguages) {
    const struct {
        WORD language;
        const char16_t* ExpectedString::*text;
    } languages[] = {{kEnglish, &ExpectedString::english}, {kKorean, &ExpectedString::korean}};
    for (const auto& language : languages) {
        std::vector<std::u16string> entries = BlockIn(language.language);
        EXPECT_EQ(entries[0], u"") << "id 128 must be absent, language " << language.language;
        for (const ExpectedString& expected : kStrings) {
            EXPECT_TRUE(entries[expected.id % 16] == expected.*language.text)
                << "string " << expected.id << ", language " << language.language;
        }
    }
}

TEST(StringTable, ExistsInEnglishAndKoreanOnly) {
    EXPECT_EQ(Product().Languages(RT_STRING, MAKEINTRESOURCEA(kBlock)),
              (std::vector<WORD>{kEnglish, kKorean}));
}

TEST(StringTable, HasNoOtherBlockBelowTheFrameworksStrings) {
    for (WORD block : Product().NumericNames(RT_STRING)) {
        EXPECT_TRUE(block == kBlock || block >= kFirstFrameworkBlock) << "string block " << block;
    }
    EXPECT_FALSE(Product().Find(RT_STRING, MAKEINTRESOURCEA(0xE000 / 16 + 1), kEnglish));
    EXPECT_FALSE(Product().Find(RT_STRING, MAKEINTRESOURCEA(0xE000 / 16 + 1), kKorean));
}

TEST(StringTable, LoadsThroughTheLanguageNeutralLookupTheProgramUses) {
    // FindResourceA without a language, as the program's string loader does: either version.
    HRSRC found = FindResourceA(Product().Handle(), MAKEINTRESOURCEA(kBlock), RT_STRING);
    ASSERT_NE(found, nullptr);
    HGLOBAL loaded = LoadResource(Product().Handle(), found);
    ASSERT_NE(loaded, nullptr);
    const auto* data = static_cast<const unsigned char*>(LockResource(loaded));
    ASSERT_NE(data, nullptr);
    Bytes block(data, data + SizeofResource(Product().Handle(), found));
    std::u16string title = ParseBlock(block)[IDS_APP_TITLE % 16];
    EXPECT_TRUE(title == kStrings[0].english || title == kStrings[0].korean);
}

} // namespace
