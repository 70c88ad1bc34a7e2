#pragma once
// Reads an icon back as pixels, to compare what reached the tray with the picture that was drawn.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/cpu_gauge.h"
#include "win/ui.h"

namespace quenvix::test {

struct IconPixels {
    int size = 0;
    std::vector<std::uint32_t> rgb;  // 0xRRGGBB
    std::vector<bool> transparent;
};

namespace detail {

inline std::vector<std::uint32_t> ReadBitmap(HBITMAP bitmap, int size) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size) * size, 0);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC dc = GetDC(nullptr);
    GetDIBits(dc, bitmap, 0, static_cast<UINT>(size), pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    for (auto& p : pixels) p &= 0xFFFFFFu;
    return pixels;
}

}  // namespace detail

inline IconPixels ReadIcon(HICON icon) {
    IconPixels out;
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info)) return out;
    win::UniqueBitmap colour(info.hbmColor), mask(info.hbmMask);
    BITMAP bm{};
    GetObjectW(colour.get(), sizeof(bm), &bm);
    out.size = bm.bmWidth;
    out.rgb = detail::ReadBitmap(colour.get(), out.size);
    const std::vector<std::uint32_t> maskPixels = detail::ReadBitmap(mask.get(), out.size);
    for (std::uint32_t m : maskPixels) out.transparent.push_back(m != 0);
    return out;
}

// Where the two differ, as text; empty when the icon shows exactly `picture` (colours are only
// compared where the picture is opaque).
inline std::string Difference(const IconPixels& icon, const core::Picture& picture) {
    if (icon.size != picture.Size()) {
        return "size " + std::to_string(icon.size) + " instead of " +
               std::to_string(picture.Size());
    }
    std::string out;
    for (int y = 0; y < icon.size; ++y) {
        for (int x = 0; x < icon.size; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * icon.size + x;
            const core::Rgb c = picture.At(x, y);
            const std::uint32_t want = (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b;
            const bool clear = picture.Transparent(x, y);
            if (icon.transparent[i] != clear || (!clear && icon.rgb[i] != want)) {
                char line[96];
                wsprintfA(line, "(%d,%d): %06x%s, want %06x%s\n", x, y, icon.rgb[i],
                          icon.transparent[i] ? " clear" : "", want, clear ? " clear" : "");
                out += line;
            }
        }
    }
    return out;
}

}  // namespace quenvix::test
