#pragma once
// Dialogs and property pages described as a control list: id, kind, caption,
// style and, where the window's layout gives one, a position in dialog units.

#include <optional>
#include <string>
#include <utility>
#include <vector>

class wxWindow;

namespace platform::ui {

enum class ControlKind {
    Static,
    GroupBox,
    Edit,
    Button,
    DefaultButton,
    Check,
    Radio,
    Combo,
    ListBox,
    ListView,
    Tree,
    Tab,
    Spin,
    Slider,
    Progress,
    Picture,
    Custom,  // an empty child window that a control of our own takes over
};

// Style bits of a control-list entry (our own, not a platform's numbering).
namespace style {
constexpr unsigned Group = 1u << 0;  // first radio of a group / tab stop group
constexpr unsigned Disabled = 1u << 1;
constexpr unsigned Hidden = 1u << 2;
constexpr unsigned ReadOnly = 1u << 3;
constexpr unsigned Multiline = 1u << 4;
constexpr unsigned Number = 1u << 5;
constexpr unsigned Password = 1u << 6;
constexpr unsigned Center = 1u << 7;
constexpr unsigned Right = 1u << 8;
constexpr unsigned DropList = 1u << 9;  // combo without an edit field
constexpr unsigned Sort = 1u << 10;
constexpr unsigned Sunken = 1u << 11;
constexpr unsigned Vertical = 1u << 12;  // slider, spin, progress
constexpr unsigned Border = 1u << 13;
constexpr unsigned ThreeState = 1u << 14;
constexpr unsigned SingleSel = 1u << 15;  // list view
}  // namespace style

// Position and size in dialog units (x, y, width, height).
struct DluRect {
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
};

struct ControlSpec {
    ControlSpec() = default;
    ControlSpec(int id_, ControlKind kind_, std::string caption_ = {}, unsigned style_ = 0,
                std::optional<DluRect> rect_ = std::nullopt)
        : id(id_), kind(kind_), caption(std::move(caption_)), style(style_), rect(rect_) {}

    int id = -1;
    ControlKind kind = ControlKind::Static;
    std::string caption;
    unsigned style = 0;
    std::optional<DluRect> rect;
};

// Creates one control as a child of parent. Positions in dialog units are
// converted with parent's font; without one the control takes its best size.
wxWindow* CreateControl(wxWindow* parent, const ControlSpec& spec);

}  // namespace platform::ui
