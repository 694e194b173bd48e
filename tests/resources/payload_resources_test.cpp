// The payload of the resource type "File": every entry present in Korean, carrying the file the
// product tree embedded, with the configuration text and image size fixed by the program.
#include "pe_file.h"
#include "product_module.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>

namespace {

struct PayloadEntry {
    int id;
    const char* file_name;
};

const PayloadEntry kPayload[] = {
    {IDR_FILE_SWINFLASH, "SWinFlash.exe"}, {IDR_FILE_MFC42, "mfc42.dll"},
    {IDR_FILE_MSVCP60, "msvcp60.dll"},     {IDR_FILE_MSVCRT, "msvcrt.dll"},
    {IDR_FILE_PHLASH_INI, "PHLASH.INI"},   {IDR_FILE_PHLASHLC, "PhlashLc.dll"},
    {IDR_FILE_PHLASH9X, "Phlash9X.vxd"},   {IDR_FILE_PHLASHNT, "PhlashNT.sys"},
    {IDR_FILE_BIOS_IMAGE, "mirtsf13.imc"}, {IDR_FILE_HELP_INDEX, "WINPHLASH.GID"},
};

const char kPayloadType[] = "FILE";

Bytes PayloadBytes(int id) {
    auto bytes = Product().Find(kPayloadType, MAKEINTRESOURCEA(id), kKorean);
    if (!bytes) {
        throw std::runtime_error("payload " + std::to_string(id) + " missing in Korean");
    }
    return *bytes;
}

std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> SplitList(const std::string& list) {
    std::vector<std::string> items;
    std::istringstream stream(list);
    for (std::string item; std::getline(stream, item, ';');) {
        if (!item.empty()) {
            items.push_back(item);
        }
    }
    return items;
}

bool HasVendorPayload() {
    return !ProductCacheValue("BIOSUPDATE_VENDOR_PAYLOAD").empty();
}

TEST(PayloadResources, EveryEntryIsFoundByNumberAndTypeNameInKoreanOnly) {
    for (const PayloadEntry& entry : kPayload) {
        EXPECT_EQ(Product().Languages(kPayloadType, MAKEINTRESOURCEA(entry.id)),
                  std::vector<WORD>{kKorean})
            << entry.file_name;
        // The program's own lookup: by number, the type name in any case, no language.
        EXPECT_NE(FindResourceA(Product().Handle(), MAKEINTRESOURCEA(entry.id), "File"), nullptr)
            << entry.file_name;
    }
}

TEST(PayloadResources, EveryEntryCarriesTheEmbeddedFileUnchanged) {
    std::string folder = WinePath(ProductCacheValue("BIOSUPDATE_EMBEDDED_PAYLOAD_DIR"));
    for (const PayloadEntry& entry : kPayload) {
        Bytes source = ReadFileBytes(folder + "\\" + entry.file_name);
        EXPECT_TRUE(PayloadBytes(entry.id) == source) << entry.file_name;
    }
}

TEST(PayloadResources, ConfigurationFileHoldsItsExactText) {
    const std::string expected = "[UI]\r\n"
                                 "Advanced=1\r\n"
                                 ";DetectBitLocker=1\r\n"
                                 "\r\n"
                                 "[Main]\r\n"
                                 "RetryCount=3\r\n"
                                 "UpdateMode=3\r\n"
                                 "FormatVersion=2\r\n"
                                 "UpdateFlags=802986\r\n"
                                 "UserFlags=802184\r\n"
                                 "UserMask=d121a4\r\n"
                                 "PSIFlags=20\r\n"
                                 "UserMode=ffffffff\r\n"
                                 "BackupFile=bios.bak\r\n"
                                 "ImageFile=915RomPack.ROM\r\n"
                                 "ShutDown=1\r\n"
                                 "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n";
    ASSERT_EQ(expected.size(), 271u);
    EXPECT_EQ(Text(PayloadBytes(IDR_FILE_PHLASH_INI)), expected);
}

TEST(PayloadResources, BiosImageHasItsCarriedSize) {
    EXPECT_EQ(PayloadBytes(IDR_FILE_BIOS_IMAGE).size(), 1053222u);
}

TEST(PayloadResources, DefaultPayloadMarksEveryPlaceholder) {
    if (HasVendorPayload()) {
        GTEST_SKIP() << "the product tree embeds the vendor's files";
    }
    std::vector<std::string> placeholders =
        SplitList(ProductCacheValue("BIOSUPDATE_EMBEDDED_PLACEHOLDERS"));
    const std::set<std::string> expected = {"mfc42.dll",    "msvcp60.dll",  "msvcrt.dll",
                                            "PhlashLc.dll", "Phlash9X.vxd", "PhlashNT.sys",
                                            "WINPHLASH.GID"};
    EXPECT_EQ(std::set<std::string>(placeholders.begin(), placeholders.end()), expected);
    for (const PayloadEntry& entry : kPayload) {
        if (!expected.count(entry.file_name)) {
            continue;
        }
        std::string text = Text(PayloadBytes(entry.id));
        EXPECT_NE(text.find("placeholder"), std::string::npos) << entry.file_name;
        EXPECT_NE(text.find("stand-in, not the vendor's"), std::string::npos) << entry.file_name;
        EXPECT_NE(text.find(entry.file_name), std::string::npos) << entry.file_name;
    }
}

TEST(PayloadResources, DefaultFlashUtilityIsTheStandInThatImportsOnlyKernel32) {
    if (HasVendorPayload()) {
        GTEST_SKIP() << "the product tree embeds the vendor's files";
    }
    PeFile utility = ParsePeFile(PayloadBytes(IDR_FILE_SWINFLASH));
    EXPECT_EQ(utility.machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(utility.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    ASSERT_FALSE(utility.imports.empty());
    for (const PeImport& import : utility.imports) {
        EXPECT_EQ(UpperCase(import.dll), "KERNEL32.DLL") << import.function;
    }
}

} // namespace
