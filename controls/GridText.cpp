#include "controls/GridText.h"

#include <optional>
#include <unordered_map>
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

// Measures of a cached font on the screen: its line height and the widest
// printable ASCII character, so that most texts need no measuring to know that they fit.
struct FontMeasures {
    int lineHeight = 0;
    int widestAscii = 0;
};

const FontMeasures& Measures(wxDC& dc, const wxFont* font) {
    static std::unordered_map<const wxFont*, FontMeasures> cache;
    auto it = cache.find(font);
    if (it != cache.end()) return it->second;
    FontMeasures measures;
    measures.lineHeight = dc.GetCharHeight();
    for (char c = 32; c < 127; ++c) {
        wxCoord w = 0;
        wxCoord h = 0;
        dc.GetTextExtent(wxString(c), &w, &h);
        measures.widestAscii = std::max(measures.widestAscii, static_cast<int>(w));
    }
    return cache.emplace(font, measures).first->second;
}

bool IsAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80 || static_cast<unsigned char>(c) < 0x20) return false;
    }
    return true;
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

void FastFill(platform::ui::DrawContext& context, const platform::ui::Rect& rect, platform::COLORREF colour) {
    if (rect.IsEmpty()) return;
    wxDC& dc = context.Wx();
    if (!dc.GetPen().IsTransparent()) dc.SetPen(*wxTRANSPARENT_PEN);
    const wxColour wanted = platform::ui::ToWx(colour);
    const wxBrush& brush = dc.GetBrush();
    if (!brush.IsOk() || brush.GetStyle() != wxBRUSHSTYLE_SOLID || brush.GetColour() != wanted)
        dc.SetBrush(wxBrush(wanted));
    dc.DrawRectangle(rect.left, rect.top, rect.Width(), rect.Height());
}

void UseFont(wxDC& dc, const wxFont& font) {
    if (dc.GetFont().GetRefData() != font.GetRefData()) dc.SetFont(font);
}

void UseTextColour(wxDC& dc, platform::COLORREF colour) {
    const wxColour wanted = platform::ui::ToWx(colour);
    if (dc.GetTextForeground() != wanted) dc.SetTextForeground(wanted);
}

void DrawFormattedText(platform::ui::DrawContext& context, std::string_view text,
                       const platform::ui::Rect& rect, uint32_t format, const wxFont* cachedFont) {
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
    const FontMeasures* measures = cachedFont != nullptr ? &Measures(dc, cachedFont) : nullptr;
    const int lineHeight = measures != nullptr ? measures->lineHeight : dc.GetCharHeight();

    std::vector<std::string> lines;
    const bool single = (format & textformat::SingleLine) != 0;
    if (single) {
        lines.emplace_back(text);
    } else if (format & textformat::WordBreak) {
        lines = BreakLines(text, width, measure);
    } else {
        lines = BreakLines(text, 1 << 30, measure);
    }

    int y = rect.top;
    if (single) {
        if (format & textformat::VCenter)
            y = rect.top + (height - lineHeight) / 2;
        else if (format & textformat::Bottom)
            y = rect.bottom - lineHeight;
    }
    const bool aligned = (format & (textformat::Center | textformat::Right)) != 0;
    // -1: known to fit, width not needed.
    std::vector<int> widths;
    widths.reserve(lines.size());
    bool overflow = y < rect.top || y + lineHeight * static_cast<int>(lines.size()) > rect.bottom;
    for (std::string& line : lines) {
        int w = -1;
        const bool surelyFits = measures != nullptr && IsAscii(line) &&
                                static_cast<long>(line.size()) * measures->widestAscii <= width;
        if (aligned || !surelyFits) w = measure(line);
        if (w > width && (format & textformat::EndEllipsis)) {
            line = EllipsizeEnd(line, width, measure);
            w = measure(line);
        }
        if (w > width) overflow = true;
        widths.push_back(w);
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
