// Names the status text that the watched program shows on its status screen.
//
// The program draws the text white, with DrawTextA (DT_CENTER, the default font of a new memory
// DC, transparent), into a 25-pixel band of its 640x480 frame centred on the screen, on black. The
// band starts at frame row 300 where the system default locale is Korean (0x412) and at 310
// elsewhere. This class loads the program's string table as the program does (no language named,
// converted to the thread's ANSI code page), draws every text the same way into a black 640x25
// bitmap, and compares the band taken from the screen with each drawing.
#pragma once

#include "afx_handle.h"
#include "res/resource.h"
#include "ui/progress_geometry.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct StatusText {
    int id = 0;
    std::wstring text;
    std::vector<std::uint32_t> pixels; // 640x25, top-down, 0x00RRGGBB
    int litPixels = 0;
};

struct BandReading {
    enum class Kind { Blank, Text, Unknown };
    Kind kind = Kind::Unknown;
    int id = 0; // for Kind::Text: the lowest id whose drawing matches
    // Pixels that differ at all from the matched drawing (0: exact), and pixels that differ by
    // more than the tolerance allows.
    int differingPixels = 0;
    int mismatchedPixels = 0;

    bool operator==(const BandReading& other) const { return kind == other.kind && id == other.id; }
};

class StatusBand {
public:
    static constexpr int kWidth = ui::kFrameWidth;
    static constexpr int kHeight = ui::kBandHeight;
    static constexpr int kFirstStringId = IDS_APP_TITLE;
    static constexpr int kLastStringId = IDS_XP_ONLY;

    // Throws std::runtime_error when the program file cannot be opened as a resource module.
    explicit StatusBand(const std::wstring& exePath);

    const std::vector<StatusText>& Texts() const { return m_texts; }
    int BandTop() const { return m_bandTop; }
    POINT FrameOrigin() const;
    // Most polls find the band as the last one did: its reading is kept for that band.
    BandReading Read();

private:
    std::vector<std::uint32_t> CaptureBand() const;
    BandReading Classify(const std::vector<std::uint32_t>& band) const;

    std::vector<StatusText> m_texts;
    int m_bandTop;
    ScreenDc m_screen;
    MemoryDc m_memory;
    GdiObject m_bitmap;
    std::uint32_t* m_bits = nullptr;
    std::vector<std::uint32_t> m_lastBand;
    BandReading m_lastReading;
};

// Compares two band images; a pixel is mismatched when a colour channel differs by more than
// kChannelTolerance (grey edges of smoothed glyphs may differ slightly between two drawings).
struct BandDifference {
    int differing = 0;
    int mismatched = 0;
};
constexpr int kChannelTolerance = 64;
BandDifference CompareBands(const std::vector<std::uint32_t>& a,
                            const std::vector<std::uint32_t>& b);

// How many mismatched pixels still count as a match for a drawing with this many lit pixels.
int MismatchAllowance(int litPixels);
