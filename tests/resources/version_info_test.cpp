// The version information, read through the version API as Windows' file properties do.
#include "product_module.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class VersionInfo {
public:
    explicit VersionInfo(const std::string& path) {
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        if (size == 0) {
            throw std::runtime_error("no version information in " + path);
        }
        m_data.resize(size);
        if (!GetFileVersionInfoA(path.c_str(), 0, size, m_data.data())) {
            throw std::runtime_error("cannot read the version information of " + path);
        }
    }

    const void* Query(const std::string& block, UINT& length) {
        void* value = nullptr;
        length = 0;
        if (!VerQueryValueA(m_data.data(), block.c_str(), &value, &length)) {
            return nullptr;
        }
        return value;
    }

    std::string String(const std::string& name) {
        UINT length = 0;
        const void* value = Query("\\StringFileInfo\\040904e4\\" + name, length);
        return value ? std::string(static_cast<const char*>(value)) : "<missing " + name + ">";
    }

private:
    std::vector<unsigned char> m_data;
};

TEST(VersionInfo, FixedPartHoldsTheProgramsVersion) {
    VersionInfo info(ProductExecutable());
    UINT length = 0;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(info.Query("\\", length));
    ASSERT_NE(fixed, nullptr);
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    // 1.1508.312.1
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(1508, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(1, 312));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(1508, 1));
    EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(1, 312));
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileSubtype, 0u);
    EXPECT_EQ(fixed->dwFileDateMS, 0u);
    EXPECT_EQ(fixed->dwFileDateLS, 0u);
}

TEST(VersionInfo, StringTableHoldsEveryEntry) {
    VersionInfo info(ProductExecutable());
    const struct {
        const char* name;
        const char* value;
    } entries[] = {
        {"FileDescription", "BIOS Update Program"}, {"FileVersion", "1, 1508, 312, 1"},
        {"InternalName", "BIOSUpdate.exe"},         {"ProductName", "BIOS Update"},
        {"ProductVersion", "1, 1508, 312, 1"},
    };
    for (const auto& entry : entries) {
        EXPECT_EQ(info.String(entry.name), entry.value);
    }
    for (const char* maker_entry : {"CompanyName", "LegalCopyright"}) {
        std::string value = info.String(maker_entry);
        EXPECT_FALSE(value.empty()) << maker_entry;
        EXPECT_EQ(value.find("<missing"), std::string::npos) << maker_entry;
    }
}

TEST(VersionInfo, TranslationIsUsEnglishInCodePage1252) {
    VersionInfo info(ProductExecutable());
    UINT length = 0;
    const auto* translation =
        static_cast<const WORD*>(info.Query("\\VarFileInfo\\Translation", length));
    ASSERT_NE(translation, nullptr);
    ASSERT_EQ(length, 2 * sizeof(WORD));
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04E4);
}

TEST(VersionInfo, ExistsOnceInEnglish) {
    EXPECT_EQ(Product().NumericNames(RT_VERSION), std::vector<WORD>{1});
    EXPECT_EQ(Product().Languages(RT_VERSION, MAKEINTRESOURCEA(1)), std::vector<WORD>{kEnglish});
}

} // namespace
