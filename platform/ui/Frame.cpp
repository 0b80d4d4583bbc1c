#include "platform/ui/Frame.h"

#include <functional>

#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>

#include "platform/ui/Images.h"

namespace platform::ui {
namespace {

wxMenu* BuildMenu(const std::vector<MenuSpec>& items, const std::function<int(int)>& wxId) {
    auto* menu = new wxMenu;
    for (const MenuSpec& item : items) {
        if (!item.children.empty()) {
            menu->AppendSubMenu(BuildMenu(item.children, wxId), wxString::FromUTF8(item.caption));
        } else if (item.id == 0) {
            menu->AppendSeparator();
        } else {
            menu->Append(wxId(item.id), wxString::FromUTF8(item.caption), wxString(),
                         item.checkable ? wxITEM_CHECK : wxITEM_NORMAL);
        }
    }
    return menu;
}

}  // namespace

bool Frame::Create(const std::string& title, int width, int height, wxWindow* parent) {
    if (IsAlive()) return true;
    auto* frame =
        new wxFrame(parent, wxID_ANY, wxString::FromUTF8(title), wxDefaultPosition, wxSize(width, height));
    Attach(frame);
    frame->Bind(wxEVT_MENU, &Frame::OnWxCommand, this);
    frame->Bind(wxEVT_TOOL, &Frame::OnWxCommand, this);
    return true;
}

wxFrame* Frame::GetFrame() const {
    return static_cast<wxFrame*>(Wx());
}

void Frame::SetMenus(const std::vector<MenuSpec>& menus) {
    if (!IsAlive()) return;
    auto* bar = new wxMenuBar;
    auto wxId = [this](int command) { return WxId(command); };
    for (const MenuSpec& top : menus)
        bar->Append(BuildMenu(top.children, wxId), wxString::FromUTF8(top.caption));
    GetFrame()->SetMenuBar(bar);
}

void Frame::SetToolBar(const std::vector<ToolSpec>& tools) {
    if (!IsAlive()) return;
    wxToolBar* bar = GetFrame()->GetToolBar();
    if (bar == nullptr) bar = GetFrame()->CreateToolBar(wxTB_HORIZONTAL | wxTB_FLAT);
    bar->ClearTools();
    for (const ToolSpec& tool : tools) {
        if (tool.id == 0) {
            bar->AddSeparator();
            continue;
        }
        wxBitmap picture = LoadImageResource(tool.imageId);
        if (!picture.IsOk()) picture = wxBitmap(16, 16);
        bar->AddTool(WxId(tool.id), wxString::FromUTF8(tool.tip), picture, wxString::FromUTF8(tool.tip),
                     tool.checkable ? wxITEM_CHECK : wxITEM_NORMAL);
    }
    bar->Realize();
}

void Frame::SetStatusPanes(const std::vector<int>& widths) {
    if (!IsAlive() || widths.empty()) return;
    wxStatusBar* bar = GetFrame()->GetStatusBar();
    if (bar == nullptr) bar = GetFrame()->CreateStatusBar(static_cast<int>(widths.size()));
    bar->SetFieldsCount(static_cast<int>(widths.size()), widths.data());
}

void Frame::SetStatusText(int pane, const std::string& text) {
    if (IsAlive() && GetFrame()->GetStatusBar() != nullptr &&
        pane < GetFrame()->GetStatusBar()->GetFieldsCount()) {
        GetFrame()->SetStatusText(wxString::FromUTF8(text), pane);
    }
}

std::string Frame::GetStatusText(int pane) const {
    wxStatusBar* bar = IsAlive() ? GetFrame()->GetStatusBar() : nullptr;
    if (bar == nullptr || pane < 0 || pane >= bar->GetFieldsCount()) return {};
    return bar->GetStatusText(pane).utf8_string();
}

void Frame::OnCommand(int id, std::function<void()> handler) {
    commands_[id] = std::move(handler);
}

int Frame::WxId(int command) {
    if (command > 0 && command < 0x7FFF) return command;
    auto it = toWx_.find(command);
    if (it != toWx_.end()) return it->second;
    const int id = wxWindow::NewControlId();
    toWx_[command] = id;
    fromWx_[id] = command;
    return id;
}

int Frame::WxIdIfKnown(int command) const {
    if (command > 0 && command < 0x7FFF) return command;
    auto it = toWx_.find(command);
    return it == toWx_.end() ? wxID_NONE : it->second;
}

void Frame::EnableCommand(int command, bool enable) {
    const int id = WxIdIfKnown(command);
    if (!IsAlive() || id == wxID_NONE) return;
    if (wxMenuBar* bar = GetFrame()->GetMenuBar(); bar != nullptr && bar->FindItem(id) != nullptr)
        bar->Enable(id, enable);
    if (wxToolBar* tools = GetFrame()->GetToolBar(); tools != nullptr && tools->FindById(id) != nullptr)
        tools->EnableTool(id, enable);
}

void Frame::CheckCommand(int command, bool check) {
    const int id = WxIdIfKnown(command);
    if (!IsAlive() || id == wxID_NONE) return;
    if (wxMenuBar* bar = GetFrame()->GetMenuBar(); bar != nullptr) {
        if (wxMenuItem* item = bar->FindItem(id); item != nullptr && item->IsCheckable()) item->Check(check);
    }
    if (wxToolBar* tools = GetFrame()->GetToolBar(); tools != nullptr && tools->FindById(id) != nullptr)
        tools->ToggleTool(id, check);
}

bool Frame::IsCommandChecked(int command) const {
    const int id = WxIdIfKnown(command);
    if (!IsAlive() || id == wxID_NONE) return false;
    if (wxMenuBar* bar = GetFrame()->GetMenuBar(); bar != nullptr) {
        if (wxMenuItem* item = bar->FindItem(id); item != nullptr && item->IsCheckable())
            return item->IsChecked();
    }
    if (wxToolBar* tools = GetFrame()->GetToolBar(); tools != nullptr && tools->FindById(id) != nullptr)
        return tools->GetToolState(id);
    return false;
}

bool Frame::IsCommandEnabled(int command) const {
    const int id = WxIdIfKnown(command);
    if (!IsAlive() || id == wxID_NONE) return false;
    if (wxMenuBar* bar = GetFrame()->GetMenuBar(); bar != nullptr && bar->FindItem(id) != nullptr)
        return bar->IsEnabled(id);
    if (wxToolBar* tools = GetFrame()->GetToolBar(); tools != nullptr && tools->FindById(id) != nullptr)
        return tools->GetToolEnabled(id);
    return false;
}

bool Frame::Command(int id) {
    auto it = commands_.find(id);
    if (it == commands_.end() || !it->second) return false;
    it->second();
    return true;
}

void Frame::OnWxCommand(wxCommandEvent& event) {
    auto it = fromWx_.find(event.GetId());
    if (!Command(it != fromWx_.end() ? it->second : event.GetId())) event.Skip();
}

}  // namespace platform::ui
