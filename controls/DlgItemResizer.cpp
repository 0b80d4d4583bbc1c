#include "controls/DlgItemResizer.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include <wx/toplevel.h>
#include <wx/window.h>

namespace controls {

using platform::ui::Rect;
using platform::ui::Size;

CDlgItemResizer::CDlgItemResizer() = default;
CDlgItemResizer::~CDlgItemResizer() = default;

void CDlgItemResizer::Add(wxWindow* control, uint32_t flags) {
    if (flags == 0 || control == nullptr) return;
    const wxRect r = control->GetRect();  // already in the parent's client coordinates
    items_.push_back(
        std::make_unique<Item>(Item{flags, control, Rect::FromXYWH(r.x, r.y, r.width, r.height)}));
    if ((initialWidth_ == 0 || initialHeight_ == 0) && control->GetParent() != nullptr) {
        const wxSize client = control->GetParent()->GetClientSize();
        initialWidth_ = client.x;
        initialHeight_ = client.y;
    }
}

void CDlgItemResizer::Resize(wxWindow* parent) {
    if (parent == nullptr) return;
    const auto* top = dynamic_cast<wxTopLevelWindow*>(wxGetTopLevelParent(parent));
    const wxSize client = parent->GetClientSize();
    ResizeTo({client.x, client.y}, top != nullptr && top->IsIconized());
}

Rect CDlgItemResizer::Anchor(uint32_t flags, const Rect& recorded, const Rect& current, Size initial,
                             Size now) {
    Rect r = current;
    const int w = current.Width();
    const int h = current.Height();
    const bool left = flags & kLeft;
    const bool right = flags & kRight;
    if (left && right) {
        r.left = recorded.left;
        r.right = recorded.right - initial.cx + now.cx;
    } else if (right) {
        r.right = recorded.right - initial.cx + now.cx;
        r.left = r.right - w;
    } else if (left) {
        r.left = recorded.left;
        r.right = r.left + w;
    }
    const bool top = flags & kTop;
    const bool bottom = flags & kBottom;
    if (top && bottom) {
        r.top = recorded.top;
        r.bottom = recorded.bottom - initial.cy + now.cy;
    } else if (top) {
        r.top = recorded.top;
        r.bottom = r.top + h;
    } else if (bottom) {
        r.bottom = recorded.bottom - initial.cy + now.cy;
        r.top = r.bottom - h;
    }
    return r;
}

void CDlgItemResizer::ResizeTo(Size client, bool minimized) {
    if (initialWidth_ == 0 || initialHeight_ == 0 || minimized) return;
    const Rect area{0, 0, client.cx, client.cy};
    for (const auto& item : items_) {
        wxWindow* control = item->control;
        const wxRect now = control->GetRect();
        const Rect current = Rect::FromXYWH(now.x, now.y, now.width, now.height);
        if (control->GetParent() != nullptr) control->GetParent()->RefreshRect(now);
        const Rect r = Anchor(item->flags, item->recorded, current, {initialWidth_, initialHeight_}, client);
        if (item->flags & kHideOutside) {
            if (area.Contains(r)) {
                if (!control->IsShown()) control->Show();
                control->SetSize(r.left, r.top, r.Width(), r.Height());
                control->Refresh();
            } else {
                control->Hide();
            }
        } else {
            control->SetSize(r.left, r.top, r.Width(), r.Height());
            control->Refresh();
        }
    }
}

namespace {

// Value and sign as typed: a leading minus negates, digits stop at the first
// other character, a magnitude too big saturates.
struct Parsed {
    uint64_t magnitude = 0;
    bool minus = false;
};

Parsed ParseDecimal(const std::string& text) {
    Parsed p;
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) p.minus = text[i++] == '-';
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        p.magnitude = p.magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
        if (p.magnitude > (uint64_t{1} << 40)) p.magnitude = uint64_t{1} << 40;
    }
    return p;
}

std::string LastDigits(std::string hex, int width) {
    const size_t keep = static_cast<size_t>(2 * width);
    if (hex.size() > keep) hex.erase(0, hex.size() - keep);
    return hex;
}

}  // namespace

std::string DecimalToHex(const std::string& text, int width, bool isSigned, std::string& hex) {
    hex.clear();
    if (text.empty()) return text;
    if (width != 1 && width != 2) width = 4;
    const bool negative = text.find('-') != std::string::npos;
    if (negative && text.size() < 2) return text;
    const Parsed parsed = ParseDecimal(text);
    char buffer[32];
    if (isSigned) {
        // Out-of-range input is clamped to the width's range, not wrapped.
        const int64_t limit = int64_t{1} << (8 * width - 1);
        int64_t value =
            parsed.minus ? -static_cast<int64_t>(parsed.magnitude) : static_cast<int64_t>(parsed.magnitude);
        value = std::clamp(value, -limit, limit - 1);
        std::snprintf(buffer, sizeof buffer, "%" PRId64, value);
        std::string decimal = buffer;
        std::snprintf(buffer, sizeof buffer, "%X", static_cast<uint32_t>(static_cast<int32_t>(value)));
        hex = LastDigits(buffer, width);
        return decimal;
    }
    if (negative) {
        hex.assign(1, '0');
        return hex;
    }
    const uint32_t maximum = width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
    std::string decimal = text;
    uint64_t value = parsed.magnitude;
    if (value > maximum) {
        value = maximum;
        std::snprintf(buffer, sizeof buffer, "%" PRIu32, maximum);
        decimal = buffer;
    }
    std::snprintf(buffer, sizeof buffer, "%" PRIX64, value);
    hex = LastDigits(buffer, width);
    return decimal;
}

int CompareObjectList(const ObjectListRow& a, const ObjectListRow& b, int column, bool ascending) {
    auto text = [&](const std::string& x, const std::string& y) {
        const int c = ascending ? std::strcmp(x.c_str(), y.c_str()) : std::strcmp(y.c_str(), x.c_str());
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    };
    switch (column) {
        case 0:
            return text(a.name, b.name);
        case 1:
            // Never "equal": the list keeps a stable, visible order for equal addresses.
            if (a.modbus <= b.modbus) return ascending ? -1 : 1;
            return ascending ? 1 : -1;
        case 2:
            return text(a.busAddress, b.busAddress);
        case 3:
            return text(a.access, b.access);
        case 4:
            return text(a.size, b.size);
        default:
            return 0;
    }
}

}  // namespace controls
