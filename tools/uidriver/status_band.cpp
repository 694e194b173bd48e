#include "status_band.h"

#include "afx_string_table.h"
#include "text_encoding.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace {

constexpr size_t kBandPixels = static_cast<size_t>(StatusBand::kWidth) * StatusBand::kHeight;

// Selects an object into a DC for one scope and puts the previous one back.
class ScopedSelection {
public:
    ScopedSelection(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(SelectObject(dc, object)) {}
    ~ScopedSelection() { SelectObject(m_dc, m_previous); }
    ScopedSelection(const ScopedSelection&) = delete;
    ScopedSelection& operator=(const ScopedSelection&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

// A band-sized 32-bit top-down DIB section; `bits` receives its pixels.
GdiObject CreateBandBitmap(HDC dc, std::uint32_t** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = StatusBand::kWidth;
    info.bmiHeader.biHeight = -StatusBand::kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    GdiObject bitmap(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!bitmap) {
        throw std::runtime_error("cannot create a band bitmap");
    }
    *bits = static_cast<std::uint32_t*>(pixels);
    return bitmap;
}

std::vector<std::uint32_t> CopyPixels(const std::uint32_t* bits) {
    GdiFlush();
    std::vector<std::uint32_t> pixels(bits, bits + kBandPixels);
    for (std::uint32_t& pixel : pixels) {
        pixel &= 0x00FFFFFFu;
    }
    return pixels;
}

StatusText DrawCandidate(HDC screen, int id, std::wstring text) {
    const MemoryDc dc(CreateCompatibleDC(screen));
    std::uint32_t* bits = nullptr;
    const GdiObject bitmap = CreateBandBitmap(dc.Get(), &bits);
    const ScopedSelection selection(dc.Get(), bitmap.Get());
    GdiFlush();
    std::memset(bits, 0, kBandPixels * sizeof(std::uint32_t));
    SetTextColor(dc.Get(), RGB(255, 255, 255));
    SetBkMode(dc.Get(), TRANSPARENT);
    RECT rect{0, 0, StatusBand::kWidth, StatusBand::kHeight};
    const std::string ansi = ToThreadAnsi(text);
    DrawTextA(dc.Get(), ansi.data(), static_cast<int>(ansi.size()), &rect, DT_CENTER);
    StatusText candidate{id, std::move(text), CopyPixels(bits), 0};
    candidate.litPixels = static_cast<int>(std::count_if(
        candidate.pixels.begin(), candidate.pixels.end(), [](std::uint32_t p) { return p != 0; }));
    return candidate;
}

} // namespace

BandDifference CompareBands(const std::vector<std::uint32_t>& a,
                            const std::vector<std::uint32_t>& b) {
    BandDifference difference;
    const size_t count = std::min(a.size(), b.size());
    for (size_t i = 0; i < count; ++i) {
        if (a[i] == b[i]) {
            continue;
        }
        ++difference.differing;
        for (int shift = 0; shift < 24; shift += 8) {
            const int channelA = static_cast<int>((a[i] >> shift) & 0xFFu);
            const int channelB = static_cast<int>((b[i] >> shift) & 0xFFu);
            if (std::abs(channelA - channelB) > kChannelTolerance) {
                ++difference.mismatched;
                break;
            }
        }
    }
    return difference;
}

int MismatchAllowance(int litPixels) {
    return std::max(2, litPixels / 50);
}

StatusBand::StatusBand(const std::wstring& exePath)
    : m_bandTop(ui::StatusTextBand(GetSystemDefaultLCID()).top), m_screen(GetDC(nullptr)),
      m_memory(CreateCompatibleDC(m_screen.Get())) {
    const LibraryModule module(LoadLibraryExW(exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) {
        throw std::runtime_error("cannot open the program's resources, error " +
                                 std::to_string(GetLastError()));
    }
    for (int id = kFirstStringId; id <= kLastStringId; ++id) {
        std::wstring text(FindStringTableEntry(module.Get(), static_cast<UINT>(id)));
        if (!text.empty()) {
            m_texts.push_back(DrawCandidate(m_screen.Get(), id, std::move(text)));
        }
    }
    m_bitmap = CreateBandBitmap(m_memory.Get(), &m_bits);
}

POINT StatusBand::FrameOrigin() const {
    const ui::FramePosition origin =
        ui::FramePositionOnScreen(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    return POINT{origin.x, origin.y};
}

std::vector<std::uint32_t> StatusBand::CaptureBand() const {
    const POINT origin = FrameOrigin();
    const ScopedSelection selection(m_memory.Get(), m_bitmap.Get());
    BitBlt(m_memory.Get(), 0, 0, kWidth, kHeight, m_screen.Get(), origin.x, origin.y + m_bandTop,
           SRCCOPY);
    return CopyPixels(m_bits);
}

BandReading StatusBand::Read() {
    std::vector<std::uint32_t> band = CaptureBand();
    if (band != m_lastBand) {
        m_lastReading = Classify(band);
        m_lastBand = std::move(band);
    }
    return m_lastReading;
}

BandReading StatusBand::Classify(const std::vector<std::uint32_t>& band) const {
    const std::vector<std::uint32_t> blank(kBandPixels, 0);
    BandReading reading;
    const BandDifference fromBlank = CompareBands(band, blank);
    reading.differingPixels = fromBlank.differing;
    reading.mismatchedPixels = fromBlank.mismatched;
    if (fromBlank.mismatched <= MismatchAllowance(0)) {
        reading.kind = BandReading::Kind::Blank;
        return reading;
    }
    for (const StatusText& candidate : m_texts) {
        const BandDifference difference = CompareBands(band, candidate.pixels);
        const bool better = reading.kind != BandReading::Kind::Text ||
                            difference.mismatched < reading.mismatchedPixels;
        if (difference.mismatched <= MismatchAllowance(candidate.litPixels) && better) {
            reading.kind = BandReading::Kind::Text;
            reading.id = candidate.id;
            reading.differingPixels = difference.differing;
            reading.mismatchedPixels = difference.mismatched;
        }
    }
    return reading;
}
