// The status window's template, an extended dialog template, in both languages.
#include "product_module.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace {

// The fields of a DLGTEMPLATEEX without controls, in their order in the template.
struct DialogTemplate {
    WORD version = 0;
    WORD signature = 0;
    DWORD help_id = 0;
    DWORD extended_style = 0;
    DWORD style = 0;
    WORD control_count = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::u16string menu, window_class, title;
    bool menu_is_ordinal = false, class_is_ordinal = false;
    WORD point_size = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::u16string face_name;
};

class TemplateReader {
public:
    explicit TemplateReader(const Bytes& bytes) : m_bytes(bytes) {}

    template <typename T> T Next() {
        if (m_bytes.size() - m_offset < sizeof(T)) {
            throw std::runtime_error("dialog template truncated");
        }
        T value;
        std::memcpy(&value, m_bytes.data() + m_offset, sizeof(T));
        m_offset += sizeof(T);
        return value;
    }

    std::u16string NextString() {
        std::u16string text;
        for (auto unit = Next<char16_t>(); unit != u'\0'; unit = Next<char16_t>()) {
            text += unit;
        }
        return text;
    }

    // A menu or class field: 0 (none), 0xFFFF and an ordinal, or a string.
    std::u16string NextStringOrOrdinal(bool& is_ordinal) {
        auto first = Next<char16_t>();
        is_ordinal = first == 0xFFFF;
        if (is_ordinal) {
            return std::u16string(1, Next<char16_t>());
        }
        return first == u'\0' ? std::u16string() : first + NextString();
    }

private:
    const Bytes& m_bytes;
    std::size_t m_offset = 0;
};

DialogTemplate ParseTemplate(const Bytes& bytes) {
    TemplateReader reader(bytes);
    DialogTemplate dialog;
    dialog.version = reader.Next<WORD>();
    dialog.signature = reader.Next<WORD>();
    dialog.help_id = reader.Next<DWORD>();
    dialog.extended_style = reader.Next<DWORD>();
    dialog.style = reader.Next<DWORD>();
    dialog.control_count = reader.Next<WORD>();
    dialog.x = reader.Next<short>();
    dialog.y = reader.Next<short>();
    dialog.cx = reader.Next<short>();
    dialog.cy = reader.Next<short>();
    dialog.menu = reader.NextStringOrOrdinal(dialog.menu_is_ordinal);
    dialog.window_class = reader.NextStringOrOrdinal(dialog.class_is_ordinal);
    dialog.title = reader.NextString();
    if (dialog.style & DS_SETFONT) {
        dialog.point_size = reader.Next<WORD>();
        dialog.weight = reader.Next<WORD>();
        dialog.italic = reader.Next<BYTE>();
        dialog.charset = reader.Next<BYTE>();
        dialog.face_name = reader.NextString();
    }
    return dialog;
}

TEST(DialogTemplate, HasEveryFieldInBothLanguages) {
    const struct {
        WORD language;
        BYTE charset;
        const char16_t* face_name;
    } versions[] = {{kEnglish, ANSI_CHARSET, u"Tahoma"}, {kKorean, HANGUL_CHARSET, u"굴림"}};
    for (const auto& version : versions) {
        SCOPED_TRACE("language " + std::to_string(version.language));
        auto bytes =
            Product().Find(RT_DIALOG, MAKEINTRESOURCEA(IDD_UPDATE_DIALOG), version.language);
        ASSERT_TRUE(bytes);
        DialogTemplate dialog = ParseTemplate(*bytes);
        EXPECT_EQ(dialog.version, 1);
        EXPECT_EQ(dialog.signature, 0xFFFF);
        EXPECT_EQ(dialog.help_id, 0u);
        EXPECT_EQ(dialog.extended_style, 0x40000u);
        EXPECT_EQ(dialog.style, 0x90000040u);
        EXPECT_EQ(dialog.control_count, 0);
        EXPECT_EQ(dialog.x, 0);
        EXPECT_EQ(dialog.y, 0);
        EXPECT_EQ(dialog.cx, 301);
        EXPECT_EQ(dialog.cy, 49);
        EXPECT_FALSE(dialog.menu_is_ordinal);
        EXPECT_TRUE(dialog.menu.empty());
        EXPECT_FALSE(dialog.class_is_ordinal);
        EXPECT_TRUE(dialog.window_class.empty());
        EXPECT_TRUE(dialog.title.empty());
        EXPECT_EQ(dialog.point_size, 8);
        EXPECT_EQ(dialog.weight, 400);
        EXPECT_EQ(dialog.italic, 0);
        EXPECT_EQ(dialog.charset, version.charset);
        EXPECT_TRUE(dialog.face_name == version.face_name);
    }
}

TEST(DialogTemplate, ExistsInEnglishAndKoreanOnly) {
    EXPECT_EQ(Product().Languages(RT_DIALOG, MAKEINTRESOURCEA(IDD_UPDATE_DIALOG)),
              (std::vector<WORD>{kEnglish, kKorean}));
}

} // namespace
