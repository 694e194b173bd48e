#include "status_band.h"

#include "text_encoding.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace {

constexpr LCID kKoreanLcid = 0x412;
constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;
constexpr size_t kBandPixels = static_cast<size_t>(StatusBand::kWidth) * StatusBand::kHeight;

struct ModuleFree {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using ResourceModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFree>;

// The string-table entry as the program reads it: block id/16+1 of RT_STRING with no language
// named, then (id mod 16) counted UTF-16 entries further.
std::wstring LoadStringEntry(HMODULE module, int id) {
    const HRSRC block = FindResourceA(module, MAKEINTRESOURCEA(id / 16 + 1), MAKEINTRESOURCEA(6));
    if (block == nullptr) {
        return {};
    }
    const HGLOBAL data = LoadResource(module, block);
    const auto* entry = static_cast<const WCHAR*>(LockResource(data));
    if (entry == nullptr) {
        return {};
    }
    const WCHAR* const end = entry + SizeofResource(module, block) / sizeof(WCHAR);
    for (int skipped = 0; skipped < id % 16 && entry < end; ++skipped) {
        entry += 1 + *entry;
    }
    if (entry >= end) {
        return {};
    }
    const size_t available = static_cast<size_t>(end - entry - 1);
    return std::wstring(entry + 1, std::min<size_t>(*entry, available));
}

// A 640x25 32-bit top-down DIB section; `bits` receives its pixels.
Bitmap CreateBandBitmap(HDC dc, std::uint32_t** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = StatusBand::kWidth;
    info.bmiHeader.biHeight = -StatusBand::kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    Bitmap bitmap(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
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
    const Bitmap bitmap = CreateBandBitmap(dc.get(), &bits);
    const ScopedSelection selection(dc.get(), bitmap.get());
    GdiFlush();
    std::memset(bits, 0, kBandPixels * sizeof(std::uint32_t));
    SetTextColor(dc.get(), RGB(255, 255, 255));
    SetBkMode(dc.get(), TRANSPARENT);
    RECT rect{0, 0, StatusBand::kWidth, StatusBand::kHeight};
    const std::string ansi = ToThreadAnsi(text);
    DrawTextA(dc.get(), ansi.data(), static_cast<int>(ansi.size()), &rect, DT_CENTER);
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
    : m_bandTop(GetSystemDefaultLCID() == kKoreanLcid ? 300 : 310), m_screen(GetDC(nullptr)),
      m_memory(CreateCompatibleDC(m_screen.get())) {
    const ResourceModule module(LoadLibraryExW(exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) {
        throw std::runtime_error("cannot open the program's resources, error " +
                                 std::to_string(GetLastError()));
    }
    for (int id = kFirstStringId; id <= kLastStringId; ++id) {
        std::wstring text = LoadStringEntry(module.get(), id);
        if (!text.empty()) {
            m_texts.push_back(DrawCandidate(m_screen.get(), id, std::move(text)));
        }
    }
    m_bitmap = CreateBandBitmap(m_memory.get(), &m_bits);
}

POINT StatusBand::FrameOrigin() const {
    return POINT{(GetSystemMetrics(SM_CXSCREEN) - kFrameWidth) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - kFrameHeight) / 2};
}

std::vector<std::uint32_t> StatusBand::CaptureBand() const {
    const POINT origin = FrameOrigin();
    const ScopedSelection selection(m_memory.get(), m_bitmap.get());
    BitBlt(m_memory.get(), 0, 0, kWidth, kHeight, m_screen.get(), origin.x, origin.y + m_bandTop,
           SRCCOPY);
    return CopyPixels(m_bits);
}

BandReading StatusBand::Read() const {
    const std::vector<std::uint32_t> band = CaptureBand();
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
