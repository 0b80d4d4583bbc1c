#pragma once
// Text of a cell placed in a rectangle by the cell's format word: alignment,
// single line or broken at words, an ellipsis where it is cut.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/ui/DrawContext.h"
#include "platform/ui/Geometry.h"

namespace controls {

// rect: right and bottom exclusive. Draws with the context's font and text colour.
void DrawFormattedText(platform::ui::DrawContext& dc, std::string_view text, const platform::ui::Rect& rect,
                       uint32_t format);

// The longest start of text that fits width with "..." after it (the whole
// text when it fits as it is); never cuts a UTF-8 sequence.
std::string EllipsizeEnd(std::string_view text, int width,
                         const std::function<int(std::string_view)>& measure);

}  // namespace controls
