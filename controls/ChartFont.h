#pragma once
// A font as the chart describes it (face, size in tenths of a point, style,
// rotation); the drawing font is built again only after a change.

#include <cstdint>
#include <string>
#include <string_view>

#include <wx/font.h>

#include "platform/ui/DrawContext.h"
#include "platform/ui/Geometry.h"

namespace controls {

class SChartFont {
  public:
    // Faces longer than this many bytes are cut (never inside a UTF-8 sequence).
    static constexpr size_t kMaxFace = 31;

    SChartFont(std::string face = "Microsoft Sans Serif", int size = 100);

    void SetFont(std::string_view face, int size, bool italic = false, bool bold = false,
                 bool underline = false);
    void SetVertical(bool vertical);
    const std::string& Face() const { return face_; }
    int Size() const { return size_; }
    bool Italic() const { return italic_; }
    bool Bold() const { return bold_; }
    bool Underline() const { return underline_; }
    bool Vertical() const { return vertical_; }
    bool Dirty() const { return dirty_; }

    // Selects the font into dc, keeping the font that was there for Restore.
    void Select(platform::ui::DrawContext& dc);
    void Restore(platform::ui::DrawContext& dc);

    // Extent of the text along and across its own direction (not rotated).
    platform::ui::Size Extent(platform::ui::DrawContext& dc, std::string_view text);
    // Text whose unrotated top-left corner is (x, y); vertical text runs upwards from there.
    void TextOut(platform::ui::DrawContext& dc, int x, int y, std::string_view text) const;

  private:
    std::string face_;
    int size_;
    bool italic_ = false;
    bool bold_ = false;
    bool underline_ = false;
    bool vertical_ = false;
    bool dirty_ = true;
    wxFont cached_;
    wxFont previous_;
};

}  // namespace controls
