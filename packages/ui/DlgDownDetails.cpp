#include "packages/ui/DlgDownDetails.h"

#include <functional>

#include <wx/treectrl.h>

#include "controls/DlgItemResizer.h"
#include "platform/Prompt.h"
#include "platform/ui/CommonDialogs.h"

namespace packages::ui {

namespace {
using platform::ui::ControlKind;
using platform::ui::DluRect;
using platform::ui::Notify;
using Resizer = controls::CDlgItemResizer;

// The container's items in a wx tree whose hidden root holds the top-level items.
class WxTree : public CFirmwareTreeCtrl {
  public:
    explicit WxTree(wxTreeCtrl& tree) : tree_(tree) {}
    void DeleteAllItems() override {
        tree_.DeleteAllItems();
        tree_.AddRoot("");
    }
    Item InsertItem(const std::string& text, Item parent, const foundation::CXmlNode*) override {
        const wxTreeItemId under =
            parent == 0 ? tree_.GetRootItem() : wxTreeItemId(reinterpret_cast<void*>(parent));
        const wxTreeItemId item = tree_.AppendItem(under, wxString::FromUTF8(text));
        return reinterpret_cast<Item>(item.GetID());
    }

  private:
    wxTreeCtrl& tree_;
};

}  // namespace

CDlgDownDetails::CDlgDownDetails(FirmwareDetails details, bool xmlDetail)
    : Dialog(
          {"Product details",
           DluRect{0, 0, 300, 220},
           {{IDC_DETAILS_TREE, ControlKind::Tree, "", platform::ui::style::Border, DluRect{7, 7, 286, 184}},
            {IDC_DETAILS_COPY, ControlKind::Button, "Copy to clipboard", 0, DluRect{7, 199, 80, 14}},
            {platform::IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{189, 199, 50, 14}},
            {platform::IDCANCEL, ControlKind::Button, "Cancel", 0, DluRect{243, 199, 50, 14}}},
           true}),
      details_(std::move(details)),
      xmlDetail_(xmlDetail) {
    OnCommand(IDC_DETAILS_COPY, Notify::Clicked, [this] { CopyToClipboard(); });
}

CDlgDownDetails::~CDlgDownDetails() = default;

bool CDlgDownDetails::OnInitDialog() {
    auto* tree = ItemAs<wxTreeCtrl>(IDC_DETAILS_TREE);
    if (tree) {
        tree->SetWindowStyleFlag(tree->GetWindowStyleFlag() | wxTR_HIDE_ROOT | wxTR_LINES_AT_ROOT |
                                 wxTR_HAS_BUTTONS);
        WxTree adapter(*tree);
        adapter.DeleteAllItems();
        const CFirmwareTreeCtrl::Item first = FillFirmwareDetailsTree(details_, adapter);
        if (first != 0) {
            const wxTreeItemId item(reinterpret_cast<void*>(first));
            tree->Expand(item);
            tree->SelectItem(item);
            tree->EnsureVisible(item);
        }
    }
    // The tree grows with the window; the buttons keep to the bottom edge.
    resizer_ = std::make_unique<Resizer>();
    resizer_->Add(tree, Resizer::kStretchHorz | Resizer::kStretchVert);
    resizer_->Add(Item(IDC_DETAILS_COPY), Resizer::kLeft | Resizer::kBottom);
    resizer_->Add(Item(platform::IDOK), Resizer::kRight | Resizer::kBottom);
    resizer_->Add(Item(platform::IDCANCEL), Resizer::kRight | Resizer::kBottom);
    Wx()->Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        if (resizer_) resizer_->Resize(Wx());
        event.Skip();
    });
    return true;
}

bool CDlgDownDetails::CopyToClipboard() {
    if (platform::ui::SetClipboardText(FirmwareDetailsCopyText(details_, xmlDetail_))) return true;
    platform::Prompts().MessageBox("Cannot open the Clipboard", "", platform::MB_OK | platform::MB_ICONERROR);
    return false;
}

std::string CDlgDownDetails::TreeText() const {
    const auto* tree = ItemAs<wxTreeCtrl>(IDC_DETAILS_TREE);
    std::string text;
    if (!tree || !tree->GetRootItem().IsOk()) return text;
    std::function<void(const wxTreeItemId&, int)> walk = [&](const wxTreeItemId& parent, int depth) {
        wxTreeItemIdValue cookie;
        for (wxTreeItemId child = tree->GetFirstChild(parent, cookie); child.IsOk();
             child = tree->GetNextChild(parent, cookie)) {
            text += std::string(size_t(depth) * 2, ' ') + tree->GetItemText(child).utf8_string() + "\n";
            walk(child, depth + 1);
        }
    };
    walk(tree->GetRootItem(), 0);
    return text;
}

std::string CDlgDownDetails::SelectedText() const {
    const auto* tree = ItemAs<wxTreeCtrl>(IDC_DETAILS_TREE);
    if (!tree) return {};
    const wxTreeItemId item = tree->GetSelection();
    return item.IsOk() ? tree->GetItemText(item).utf8_string() : std::string();
}

}  // namespace packages::ui
