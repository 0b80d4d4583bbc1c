#pragma once
// How wide and high a text is in a font. The grid measures through this, so
// that its sizes can be worked out (and tested) without a display.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "controls/GridDefines.h"
#include "platform/ui/Geometry.h"

namespace controls {

class GridTextMetrics {
  public:
    virtual ~GridTextMetrics() = default;
    // One line of text; an empty text has the height of the font's line.
    virtual platform::ui::Size TextExtent(std::string_view text, const LOGFONT& font) = 0;

    // Height of the text broken into lines at line feeds and, where a line
    // would be wider than width, between words.
    int WrappedHeight(std::string_view text, const LOGFONT& font, int width);
};

// The screen's text metrics through the window layer; null while no GUI runs.
GridTextMetrics* ScreenTextMetrics();

// The lines a word-breaking text shows in width pixels: split at line feeds,
// then between words; a word wider than the line stands alone.
std::vector<std::string> BreakLines(std::string_view text, int width,
                                    const std::function<int(std::string_view)>& measure);

// Number of UTF-8 characters (lead bytes) in a text.
size_t Utf8Length(std::string_view text);

}  // namespace controls
