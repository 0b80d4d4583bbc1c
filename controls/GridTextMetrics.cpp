#include "controls/GridTextMetrics.h"

#include <memory>

#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/dcmemory.h>

#include "controls/GridFont.h"

namespace controls {

namespace {

class ScreenMetrics : public GridTextMetrics {
  public:
    ScreenMetrics() : bitmap_(4, 4) { dc_.SelectObject(bitmap_); }
    ~ScreenMetrics() override { dc_.SelectObject(wxNullBitmap); }

    platform::ui::Size TextExtent(std::string_view text, const LOGFONT& font) override {
        if (!(font == current_) || !fontSet_) {
            dc_.SetFont(CachedFont(font));
            current_ = font;
            fontSet_ = true;
        }
        wxCoord w = 0;
        wxCoord h = 0;
        if (text.empty()) return {0, dc_.GetCharHeight()};
        dc_.GetTextExtent(wxString::FromUTF8(text.data(), text.size()), &w, &h);
        return {w, h};
    }

  private:
    wxBitmap bitmap_;
    wxMemoryDC dc_;
    LOGFONT current_;
    bool fontSet_ = false;
};

}  // namespace

size_t Utf8Length(std::string_view text) {
    size_t n = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) ++n;
    }
    return n;
}

std::vector<std::string> BreakLines(std::string_view text, int width,
                                    const std::function<int(std::string_view)>& measure) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (true) {
        const size_t end = text.find('\n', start);
        std::string_view para =
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!para.empty() && para.back() == '\r') para.remove_suffix(1);
        // Greedy fill of one paragraph, word by word.
        std::string line;
        size_t pos = 0;
        bool any = false;
        while (pos < para.size()) {
            size_t wordEnd = para.find(' ', pos);
            if (wordEnd == std::string_view::npos) wordEnd = para.size();
            const std::string_view word = para.substr(pos, wordEnd - pos);
            std::string candidate = line.empty() ? std::string(word) : line + " " + std::string(word);
            if (!line.empty() && measure(candidate) > width) {
                lines.push_back(line);
                line = std::string(word);
            } else {
                line = std::move(candidate);
            }
            any = true;
            pos = wordEnd + 1;
        }
        if (any || para.empty()) lines.push_back(line);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return lines;
}

int GridTextMetrics::WrappedHeight(std::string_view text, const LOGFONT& font, int width) {
    const int lineHeight = TextExtent({}, font).cy;
    const auto lines = BreakLines(text, width, [&](std::string_view s) { return TextExtent(s, font).cx; });
    return lineHeight * static_cast<int>(lines.size());
}

GridTextMetrics* ScreenTextMetrics() {
    if (wxTheApp == nullptr) return nullptr;
    static std::unique_ptr<ScreenMetrics> metrics;
    if (!metrics) metrics = std::make_unique<ScreenMetrics>();
    return metrics.get();
}

}  // namespace controls
