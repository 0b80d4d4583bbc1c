#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// Colour as the system passes it: red in the low byte, then green, then blue.
using COLORREF = uint32_t;

constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
constexpr uint8_t GetRValue(COLORREF c) {
    return static_cast<uint8_t>(c & 0xFF);
}
constexpr uint8_t GetGValue(COLORREF c) {
    return static_cast<uint8_t>((c >> 8) & 0xFF);
}
constexpr uint8_t GetBValue(COLORREF c) {
    return static_cast<uint8_t>((c >> 16) & 0xFF);
}

// Pixel word of a Bitmap: 0xAARRGGBB, i.e. blue in the low byte (the order of a
// 32-bit device-independent section). The top byte is alpha where the window
// layer uses one, otherwise 0.
constexpr uint32_t ColorRefToPixel(COLORREF c) {
    return (static_cast<uint32_t>(GetRValue(c)) << 16) | (static_cast<uint32_t>(GetGValue(c)) << 8) |
           GetBValue(c);
}
constexpr COLORREF PixelToColorRef(uint32_t p) {
    return RGB(static_cast<uint8_t>((p >> 16) & 0xFF), static_cast<uint8_t>((p >> 8) & 0xFF),
               static_cast<uint8_t>(p & 0xFF));
}

// Plain 32-bit image, rows top to bottom.
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // width * height words, see ColorRefToPixel

    Bitmap() = default;
    Bitmap(int w, int h, uint32_t fill = 0)
        : width(w > 0 ? w : 0),
          height(h > 0 ? h : 0),
          pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill) {}
    bool IsValid() const {
        return width > 0 && height > 0 &&
               pixels.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    }
    uint32_t& At(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    bool operator==(const Bitmap&) const = default;
};

}  // namespace platform
