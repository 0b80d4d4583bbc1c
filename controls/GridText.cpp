#include "controls/GridText.h"

#include <optional>
#include <vector>

#include <wx/dc.h>

#include "controls/GridDefines.h"
#include "controls/GridTextMetrics.h"

namespace controls {

namespace {

wxString Wx(std::string_view text) {
    return wxString::FromUTF8(text.data(), text.size());
}

// Byte offsets where characters start, and the end.
std::vector<size_t> CharStarts(std::string_view text) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
    }
    starts.push_back(text.size());
    return starts;
}

}  // namespace

std::string EllipsizeEnd(std::string_view text, int width,
                         const std::function<int(std::string_view)>& measure) {
    if (measure(text) <= width) return std::string(text);
    const std::vector<size_t> starts = CharStarts(text);
    // Largest count of characters whose prefix plus "..." fits.
    size_t lo = 0;
    size_t hi = starts.size() - 1;
    while (lo < hi) {
        const size_t mid = (lo + hi + 1) / 2;
        std::string candidate(text.substr(0, starts[mid]));
        candidate += "...";
        if (measure(candidate) <= width)
            lo = mid;
        else
            hi = mid - 1;
    }
    std::string result(text.substr(0, starts[lo]));
    result += "...";
    return result;
}

void DrawFormattedText(platform::ui::DrawContext& context, std::string_view text,
                       const platform::ui::Rect& rect, uint32_t format) {
    if (text.empty() || rect.IsEmpty()) return;
    wxDC& dc = context.Wx();
    const int width = rect.Width();
    const int height = rect.Height();
    auto measure = [&](std::string_view s) {
        wxCoord w = 0;
        wxCoord h = 0;
        dc.GetTextExtent(Wx(s), &w, &h);
        return static_cast<int>(w);
    };

    std::vector<std::string> lines;
    const bool single = (format & textformat::SingleLine) != 0;
    if (single) {
        lines.emplace_back(text);
    } else if (format & textformat::WordBreak) {
        lines = BreakLines(text, width, measure);
    } else {
        lines = BreakLines(text, 1 << 30, measure);
    }
    if (format & textformat::EndEllipsis) {
        for (std::string& line : lines) line = EllipsizeEnd(line, width, measure);
    }

    const int lineHeight = dc.GetCharHeight();
    int y = rect.top;
    if (single) {
        if (format & textformat::VCenter)
            y = rect.top + (height - lineHeight) / 2;
        else if (format & textformat::Bottom)
            y = rect.bottom - lineHeight;
    }
    std::vector<int> widths;
    widths.reserve(lines.size());
    bool overflow = y < rect.top || y + lineHeight * static_cast<int>(lines.size()) > rect.bottom;
    for (const std::string& line : lines) {
        widths.push_back(measure(line));
        if (widths.back() > width) overflow = true;
    }
    std::optional<wxDCClipper> clip;
    if (overflow && !(format & textformat::NoClip))
        clip.emplace(dc, wxRect(rect.left, rect.top, width, height));
    for (size_t i = 0; i < lines.size(); ++i) {
        int x = rect.left;
        if (format & textformat::Center)
            x = rect.left + (width - widths[i]) / 2;
        else if (format & textformat::Right)
            x = rect.right - widths[i];
        if (!lines[i].empty()) dc.DrawText(Wx(lines[i]), x, y);
        y += lineHeight;
    }
}

}  // namespace controls
