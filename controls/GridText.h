#pragma once
// Text of a cell placed in a rectangle by the cell's format word: alignment,
// single line or broken at words, an ellipsis where it is cut; and the
// drawing helpers the grid paints its many cells with.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/Bitmap.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Geometry.h"

class wxDC;
class wxFont;

namespace controls {

// rect: right and bottom exclusive. Draws with the context's font and text
// colour. cachedFont: the context's font when it is one of the program's
// cached fonts, whose measures are then kept (null: measure everything).
void DrawFormattedText(platform::ui::DrawContext& dc, std::string_view text, const platform::ui::Rect& rect,
                       uint32_t format, const wxFont* cachedFont = nullptr);

// The longest start of text that fits width with "..." after it (the whole
// text when it fits as it is); never cuts a UTF-8 sequence.
std::string EllipsizeEnd(std::string_view text, int width,
                         const std::function<int(std::string_view)>& measure);

// A solid rectangle (right and bottom exclusive). Unlike DrawContext's fill it
// leaves the context's pen and brush changed: each change is costly on the
// desktop's contexts, and the grid's next fill mostly wants the same.
void FastFill(platform::ui::DrawContext& dc, const platform::ui::Rect& rect, platform::COLORREF colour);
// Sets the font or text colour only when the context has another.
void UseFont(wxDC& dc, const wxFont& font);
void UseTextColour(wxDC& dc, platform::COLORREF colour);

}  // namespace controls
