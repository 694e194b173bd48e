// The application manifest that selects version 6 of the common controls.
#include "product_module.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>

namespace {

using Attributes = std::map<std::string, std::string>;

// The attributes of the first <assemblyIdentity> element at or after `from`.
Attributes IdentityAfter(const std::string& text, std::size_t from) {
    Attributes attributes;
    std::size_t start = text.find("<assemblyIdentity", from);
    if (start == std::string::npos) {
        return attributes;
    }
    std::size_t end = text.find("/>", start);
    std::string element = text.substr(start, end - start);
    std::regex attribute(R"re(([A-Za-z]+)="([^"]*)")re");
    for (std::sregex_iterator match(element.begin(), element.end(), attribute), last; match != last;
         ++match) {
        attributes[(*match)[1]] = (*match)[2];
    }
    return attributes;
}

std::string ManifestText() {
    auto bytes = Product().Find(RT_MANIFEST, MAKEINTRESOURCEA(1), kEnglish);
    if (!bytes) {
        throw std::runtime_error("manifest 1 missing in English");
    }
    return std::string(bytes->begin(), bytes->end());
}

TEST(Manifest, DescribesTheProgramAsAnX86Win32Assembly) {
    std::string text = ManifestText();
    Attributes program = IdentityAfter(text, 0);
    EXPECT_EQ(program["type"], "win32");
    EXPECT_EQ(program["version"], "1.0.0.0");
    EXPECT_EQ(program["processorArchitecture"], "X86");
    EXPECT_FALSE(program["name"].empty());
}

TEST(Manifest, DependsOnCommonControls6) {
    std::string text = ManifestText();
    std::size_t dependency = text.find("<dependentAssembly>");
    ASSERT_NE(dependency, std::string::npos);
    EXPECT_EQ(text.find("<dependentAssembly>", dependency + 1), std::string::npos)
        << "exactly one dependency";
    Attributes controls = IdentityAfter(text, dependency);
    EXPECT_EQ(controls["type"], "win32");
    EXPECT_EQ(controls["name"], "Microsoft.Windows.Common-Controls");
    EXPECT_EQ(controls["version"], "6.0.0.0");
    EXPECT_EQ(controls["processorArchitecture"], "X86");
    EXPECT_EQ(controls["publicKeyToken"], "6595b64144ccf1df");
    EXPECT_EQ(controls["language"], "*");
}

TEST(Manifest, RequestsNoExecutionLevel) {
    std::string text = ManifestText();
    EXPECT_EQ(text.find("requestedExecutionLevel"), std::string::npos);
    EXPECT_EQ(text.find("trustInfo"), std::string::npos);
}

TEST(Manifest, ExistsOnceInEnglish) {
    EXPECT_EQ(Product().NumericNames(RT_MANIFEST), std::vector<WORD>{1});
    EXPECT_EQ(Product().Languages(RT_MANIFEST, MAKEINTRESOURCEA(1)), std::vector<WORD>{kEnglish});
}

} // namespace
