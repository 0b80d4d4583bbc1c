#pragma once
// Something drawn beside one point of a series (a value, a marker).

#include <cstdint>

#include "platform/ui/DrawContext.h"

namespace controls {

class CChartPointLabel {
  public:
    virtual ~CChartPointLabel() = default;
    virtual void Draw(platform::ui::DrawContext& dc, uint32_t pointIndex) = 0;
};

}  // namespace controls
