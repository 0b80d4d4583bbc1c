#include "controls/ChartFont.h"

#include <algorithm>

#include <wx/dc.h>

namespace controls {

namespace {

std::string CutFace(std::string_view face) {
    size_t n = std::min(face.size(), SChartFont::kMaxFace);
    // Back off continuation bytes so that a cut never splits a character.
    if (n < face.size())
        while (n > 0 && (static_cast<unsigned char>(face[n]) & 0xC0) == 0x80) --n;
    return std::string(face.substr(0, n));
}

}  // namespace

SChartFont::SChartFont(std::string face, int size) : face_(CutFace(face)), size_(size) {}

void SChartFont::SetFont(std::string_view face, int size, bool italic, bool bold, bool underline) {
    face_ = CutFace(face);
    size_ = size;
    italic_ = italic;
    bold_ = bold;
    underline_ = underline;
    dirty_ = true;
}

void SChartFont::SetVertical(bool vertical) {
    vertical_ = vertical;
    dirty_ = true;
}

void SChartFont::Select(platform::ui::DrawContext& dc) {
    if (dirty_ || !cached_.IsOk()) {
        platform::ui::FontSpec spec;
        spec.face = face_;
        spec.pointSize = size_ > 0 ? size_ / 10.0 : 8.0;
        spec.bold = bold_;
        spec.italic = italic_;
        spec.underline = underline_;
        cached_ = platform::ui::MakeFont(spec);
        dirty_ = false;
    }
    previous_ = dc.Wx().GetFont();
    dc.SetFont(cached_);
}

void SChartFont::Restore(platform::ui::DrawContext& dc) {
    if (previous_.IsOk()) dc.SetFont(previous_);
    previous_ = wxFont();
}

platform::ui::Size SChartFont::Extent(platform::ui::DrawContext& dc, std::string_view text) {
    Select(dc);
    const platform::ui::Size size = dc.TextExtent(text);
    Restore(dc);
    return size;
}

void SChartFont::TextOut(platform::ui::DrawContext& dc, int x, int y, std::string_view text) const {
    if (vertical_)
        dc.TextOutRotated(x, y, text, 90.0);
    else
        dc.TextOut(x, y, text);
}

}  // namespace controls
