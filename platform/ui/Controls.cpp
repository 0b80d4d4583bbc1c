#include "platform/ui/Controls.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/gauge.h>
#include <wx/listbox.h>
#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/spinbutt.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/treectrl.h>

#include "platform/ui/Images.h"
#include "platform/ui/TabCtrl.h"

namespace platform::ui {

wxWindow* CreateControl(wxWindow* parent, const ControlSpec& spec) {
    wxPoint pos = wxDefaultPosition;
    wxSize size = wxDefaultSize;
    if (spec.rect) {
        pos = parent->ConvertDialogToPixels(wxPoint(spec.rect->x, spec.rect->y));
        size = parent->ConvertDialogToPixels(wxSize(spec.rect->cx, spec.rect->cy));
    }
    const wxString caption = wxString::FromUTF8(spec.caption);
    const unsigned s = spec.style;
    const long border = (s & style::Sunken) ? wxBORDER_SUNKEN : (s & style::Border) ? wxBORDER_SIMPLE : 0;
    const int id = spec.id;
    wxWindow* w = nullptr;
    switch (spec.kind) {
        case ControlKind::Static: {
            long align = (s & style::Center)  ? wxALIGN_CENTRE_HORIZONTAL
                         : (s & style::Right) ? wxALIGN_RIGHT
                                              : 0;
            w = new wxStaticText(parent, id, caption, pos, size,
                                 align | border | (spec.rect ? wxST_NO_AUTORESIZE : 0));
            break;
        }
        case ControlKind::GroupBox:
            w = new wxStaticBox(parent, id, caption, pos, size);
            break;
        case ControlKind::Edit: {
            long flags = border;
            if (s & style::ReadOnly) flags |= wxTE_READONLY;
            if (s & style::Multiline) flags |= wxTE_MULTILINE;
            if (s & style::Password) flags |= wxTE_PASSWORD;
            if (s & style::Center) flags |= wxTE_CENTRE;
            if (s & style::Right) flags |= wxTE_RIGHT;
            w = new wxTextCtrl(parent, id, caption, pos, size, flags);
            break;
        }
        case ControlKind::Button:
        case ControlKind::DefaultButton: {
            auto* button = new wxButton(parent, id, caption, pos, size);
            if (spec.kind == ControlKind::DefaultButton) button->SetDefault();
            w = button;
            break;
        }
        case ControlKind::Check:
            w = new wxCheckBox(parent, id, caption, pos, size,
                               (s & style::ThreeState) ? wxCHK_3STATE | wxCHK_ALLOW_3RD_STATE_FOR_USER : 0);
            break;
        case ControlKind::Radio:
            w = new wxRadioButton(parent, id, caption, pos, size, (s & style::Group) ? wxRB_GROUP : 0);
            break;
        case ControlKind::Combo: {
            long flags = wxCB_DROPDOWN;
            if (s & style::DropList) flags = wxCB_READONLY;
            if (s & style::Sort) flags |= wxCB_SORT;
            w = new wxComboBox(parent, id, (s & style::DropList) ? wxString() : caption, pos, size, 0,
                               nullptr, flags);
            break;
        }
        case ControlKind::ListBox:
            w = new wxListBox(parent, id, pos, size, 0, nullptr,
                              ((s & style::Sort) ? wxLB_SORT : 0) | border);
            break;
        case ControlKind::ListView:
            w = new wxListCtrl(parent, id, pos, size,
                               wxLC_REPORT | ((s & style::SingleSel) ? wxLC_SINGLE_SEL : 0) | border);
            break;
        case ControlKind::Tree:
            w = new wxTreeCtrl(parent, id, pos, size, wxTR_DEFAULT_STYLE | border);
            break;
        case ControlKind::Tab: {
            auto* tab = new TabCtrl();
            tab->Create(parent, id, pos, size);
            w = tab;
            break;
        }
        case ControlKind::Spin:
            w = new wxSpinButton(parent, id, pos, size,
                                 (s & style::Vertical) ? wxSP_VERTICAL : wxSP_HORIZONTAL);
            break;
        case ControlKind::Slider:
            w = new wxSlider(parent, id, 0, 0, 100, pos, size,
                             (s & style::Vertical) ? wxSL_VERTICAL : wxSL_HORIZONTAL);
            break;
        case ControlKind::Progress:
            w = new wxGauge(parent, id, 100, pos, size,
                            (s & style::Vertical) ? wxGA_VERTICAL : wxGA_HORIZONTAL);
            break;
        case ControlKind::Picture: {
            wxBitmap picture;
            if (!spec.caption.empty()) picture = LoadImageResource(std::atoi(spec.caption.c_str()));
            w = new wxStaticBitmap(parent, id, picture.IsOk() ? picture : wxBitmap(1, 1), pos, size, border);
            break;
        }
        case ControlKind::Custom:
            w = new wxPanel(parent, id, pos, size, border);
            break;
    }
    if (w == nullptr) return nullptr;
    if (s & style::Disabled) w->Enable(false);
    if (s & style::Hidden) w->Show(false);
    return w;
}

}  // namespace platform::ui
