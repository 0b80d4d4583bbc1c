#pragma once
// Keeps a resizable window's controls anchored to edges of its client area,
// and the small value helpers that sit beside it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Geometry.h"

class wxWindow;

namespace controls {

class CDlgItemResizer {
  public:
    enum : uint32_t {
        kLeft = 1,
        kRight = 2,
        kStretchHorz = 3,
        kTop = 4,
        kBottom = 8,
        kStretchVert = 12,
        kHideOutside = 16,
    };

    CDlgItemResizer();
    ~CDlgItemResizer();
    CDlgItemResizer(const CDlgItemResizer&) = delete;
    CDlgItemResizer& operator=(const CDlgItemResizer&) = delete;

    // Flags 0 add nothing. The parent's client size is taken at the first add.
    void Add(wxWindow* control, uint32_t flags);
    // From the parent's size handler; nothing happens while it is minimised.
    void Resize(wxWindow* parent);
    // The same with the new client size and state given.
    void ResizeTo(platform::ui::Size client, bool minimized);
    size_t Count() const { return items_.size(); }

    // Where a control goes: recorded = its place when added, current = now.
    static platform::ui::Rect Anchor(uint32_t flags, const platform::ui::Rect& recorded,
                                     const platform::ui::Rect& current, platform::ui::Size initial,
                                     platform::ui::Size now);

  private:
    struct Item {
        uint32_t flags;
        wxWindow* control;
        platform::ui::Rect recorded;
    };
    std::vector<std::unique_ptr<Item>> items_;
    int initialWidth_ = 0;
    int initialHeight_ = 0;
};

// A decimal text typed for a value of width bytes (1, 2 or 4) becomes its
// clamped decimal text (returned) and its hexadecimal text (at most 2 x width digits).
std::string DecimalToHex(const std::string& text, int width, bool isSigned, std::string& hex);

// One row of the object dictionary list, and its sort order by column.
struct ObjectListRow {
    std::string name;
    uint16_t modbus = 0;
    std::string busAddress;
    std::string access;
    std::string size;
};
int CompareObjectList(const ObjectListRow& a, const ObjectListRow& b, int column, bool ascending);

}  // namespace controls
