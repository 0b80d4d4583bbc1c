#include "packages/ui/ConfigFileDialogs.h"

#include <map>

#include <wx/artprov.h>
#include <wx/base64.h>
#include <wx/choicdlg.h>
#include <wx/image.h>
#include <wx/imaglist.h>
#include <wx/log.h>
#include <wx/mstream.h>
#include <wx/treectrl.h>

#include "foundation/BrandList.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"
#include "platform/Messages.h"
#include "platform/Prompt.h"
#include "platform/ui/WxPrompts.h"

namespace packages::ui {

namespace {

using platform::ui::ControlKind;
using platform::ui::DluRect;
namespace style = platform::ui::style;

constexpr unsigned kFillTreeMessage = platform::WM_USER + 2;

class EntryData : public wxTreeItemData {
  public:
    explicit EntryData(int entry) : entry_(entry) {}
    int Entry() const { return entry_; }

  private:
    int entry_;
};

// The icon as a 16 by 16 bitmap, decoded in memory; invalid when it cannot be decoded.
wxBitmap DecodeIcon(const std::string& base64) {
    wxMemoryBuffer data = wxBase64Decode(wxString::FromUTF8(base64));
    if (data.GetDataLen() == 0) return wxBitmap();
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
    wxMemoryInputStream stream(data.GetData(), data.GetDataLen());
    wxImage image;
    {
        wxLogNull quiet;  // a damaged icon is left out, not reported
        if (!image.LoadFile(stream, wxBITMAP_TYPE_PNG) || !image.IsOk()) return wxBitmap();
    }
    if (image.GetWidth() != 16 || image.GetHeight() != 16) image.Rescale(16, 16, wxIMAGE_QUALITY_HIGH);
    return wxBitmap(image);
}

void AddItems(wxTreeCtrl& tree, const wxTreeItemId& parent, const std::vector<ConfigTreeItem>& items,
              const std::map<std::string, int>& images, std::map<int, wxTreeItemId>& byEntry) {
    for (const ConfigTreeItem& item : items) {
        auto image = images.find(item.icon);
        const int index = image == images.end() ? 0 : image->second;
        wxTreeItemId id = tree.AppendItem(parent, wxString::FromUTF8(item.text), index, index,
                                          item.entry >= 0 ? new EntryData(item.entry) : nullptr);
        // Version items (no children) stand for their entry; a description item only when nothing else does.
        if (item.entry >= 0 && (item.children.empty() || byEntry.count(item.entry) == 0))
            byEntry[item.entry] = id;
        AddItems(tree, id, item.children, images, byEntry);
    }
}

void Dump(const wxTreeCtrl& tree, const wxTreeItemId& parent, int depth, std::string& out) {
    wxTreeItemIdValue cookie;
    for (wxTreeItemId child = tree.GetFirstChild(parent, cookie); child.IsOk();
         child = tree.GetNextChild(parent, cookie)) {
        out += std::string(size_t(depth) * 2, ' ') + tree.GetItemText(child).utf8_string() + "\n";
        Dump(tree, child, depth + 1, out);
    }
}

}  // namespace

CdlgSelectConfigurationFile::CdlgSelectConfigurationFile(const foundation::CXmlNode* files,
                                                         const foundation::CBrandList& sources,
                                                         ConfigEntryVersionCheck versionCheck,
                                                         const foundation::CIdentity* connected)
    : Dialog({"Select configuration file",
              DluRect{0, 0, 260, 230},
              {{IDC_CONFIG_TREE, ControlKind::Tree, "", style::Border, DluRect{7, 7, 246, 180}},
               {IDC_CONFIG_TEXT, ControlKind::Static, "", 0, DluRect{7, 192, 246, 10}},
               {platform::IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{149, 209, 50, 14}},
               {platform::IDCANCEL, ControlKind::Button, "Cancel", 0, DluRect{203, 209, 50, 14}}}}),
      files_(files),
      sources_(sources),
      versionCheck_(std::move(versionCheck)),
      connected_(connected) {
    OnMessageId(kFillTreeMessage, [this](uintptr_t, intptr_t) -> intptr_t {
        FillTree();
        return 0;
    });
}

bool CdlgSelectConfigurationFile::OnInitDialog() {
    SetItemText(IDC_CONFIG_TEXT, "Processing - please wait...");
    if (auto* tree = ItemAs<wxTreeCtrl>(IDC_CONFIG_TREE)) {
        tree->Bind(wxEVT_TREE_SEL_CHANGED, [this, tree](wxTreeEvent& event) {
            auto* data = event.GetItem().IsOk() ? dynamic_cast<EntryData*>(tree->GetItemData(event.GetItem()))
                                                : nullptr;
            OnSelection(data ? data->Entry() : -1);
        });
    }
    // The dialog is on the screen before the (possibly long) filling starts.
    Post(kFillTreeMessage);
    return true;
}

void CdlgSelectConfigurationFile::FillTree() {
    auto* tree = ItemAs<wxTreeCtrl>(IDC_CONFIG_TREE);
    if (!tree || filled_) return;
    filled_ = true;

    foundation::CXmlDocument deviceTree;
    const std::string folder = DeviceTreeFolder(sources_.GetBrandFolder(nullptr, 0));
    const bool haveTree = deviceTree.Load(folder + "/FmwTree.xml") == foundation::S_OK;
    SetItemText(IDC_CONFIG_TEXT, "Select a device from the tree");
    tree_ = BuildConfigFileTree(haveTree ? &deviceTree.Root() : nullptr, files_, versionCheck_, connected_);

    auto* images = new wxImageList(16, 16, true, static_cast<int>(tree_.icons.size()) + 1);
    images->Add(wxArtProvider::GetBitmap(wxART_NORMAL_FILE, wxART_OTHER, wxSize(16, 16)));
    std::map<std::string, int> imageOf;
    for (const auto& [name, data] : tree_.icons) {
        wxBitmap bitmap = DecodeIcon(data);
        if (bitmap.IsOk()) imageOf[name] = images->Add(bitmap);
    }
    tree->AssignImageList(images);

    tree->DeleteAllItems();
    tree->SetWindowStyleFlag(tree->GetWindowStyleFlag() | wxTR_HIDE_ROOT);
    wxTreeItemId root = tree->AddRoot("");
    std::map<int, wxTreeItemId> byEntry;
    AddItems(*tree, root, tree_.roots, imageOf, byEntry);
    if (tree_.preselected >= 0 && byEntry.count(tree_.preselected)) {
        tree->SelectItem(byEntry[tree_.preselected]);
        tree->EnsureVisible(byEntry[tree_.preselected]);
        OnSelection(tree_.preselected);
    }
}

std::string CdlgSelectConfigurationFile::TreeText() const {
    std::string out;
    if (auto* tree = ItemAs<wxTreeCtrl>(IDC_CONFIG_TREE); tree && tree->GetRootItem().IsOk())
        Dump(*tree, tree->GetRootItem(), 0, out);
    return out;
}

bool CdlgSelectConfigurationFile::SelectEntry(int entry) {
    auto* tree = ItemAs<wxTreeCtrl>(IDC_CONFIG_TREE);
    if (!tree) return false;
    if (entry < 0) {
        tree->UnselectAll();
        OnSelection(-1);
        return true;
    }
    std::vector<wxTreeItemId> stack{tree->GetRootItem()};
    while (!stack.empty()) {
        wxTreeItemId at = stack.back();
        stack.pop_back();
        auto* data = dynamic_cast<EntryData*>(tree->GetItemData(at));
        if (data && data->Entry() == entry && !tree->HasChildren(at)) {
            tree->SelectItem(at);
            OnSelection(entry);
            return true;
        }
        wxTreeItemIdValue cookie;
        for (wxTreeItemId c = tree->GetFirstChild(at, cookie); c.IsOk(); c = tree->GetNextChild(at, cookie))
            stack.push_back(c);
    }
    return false;
}

void CdlgSelectConfigurationFile::OnSelection(int entry) {
    chosen_ = entry >= 0 && static_cast<size_t>(entry) < tree_.entries.size() ? entry : -1;
    if (chosen_ < 0) {
        file.clear();
        SetItemText(IDC_CONFIG_TEXT, "");
        return;
    }
    const ConfigFileEntry& e = tree_.entries[size_t(chosen_)];
    folder = EntryFolder(e, sources_);
    file = e.file;
    descr = e.descr;
    hw = e.hw;
    sw = e.sw;
    swVer = e.swVer;
    build = e.build;
    SetItemText(IDC_CONFIG_TEXT, SelectionText(e, folder));
}

void CdlgSelectConfigurationFile::OnOK() {
    if (chosen_ >= 0) identity = tree_.entries[size_t(chosen_)].identity;
    EndDialog(platform::IDOK);
}

CDlgXmlNotUpdated::CDlgXmlNotUpdated(std::string expected, std::vector<std::string> alternatives,
                                     int proposed)
    : Dialog(
          {"Configuration file not updated",
           DluRect{0, 0, 280, 150},
           {{1902, ControlKind::Static,
             "The configuration file required to communicate with this device is not updated.", 0,
             DluRect{7, 7, 266, 8}},
            {IDC_XML_EXPECTED, ControlKind::Static, "", 0, DluRect{7, 19, 266, 8}},
            {1903, ControlKind::Static,
             "Please install the last version of Pelmora or contact Vkr in order to receive the correct file",
             0, DluRect{7, 33, 266, 16}},
            {1904, ControlKind::Static, "Only for expert user:", 0, DluRect{7, 55, 266, 8}},
            {1905, ControlKind::Static,
             "there are older configuration files in the PC but using these files may cause unpredictable "
             "problems.",
             0, DluRect{7, 65, 266, 16}},
            {IDC_XML_QUESTION, ControlKind::Static, "", 0, DluRect{7, 87, 266, 8}},
            {IDC_XML_SELECT, ControlKind::Button, "Select configuration file...", 0,
             DluRect{7, 101, 110, 14}},
            {platform::IDOK, ControlKind::DefaultButton, "Yes", 0, DluRect{115, 129, 50, 14}},
            {platform::IDNO, ControlKind::Button, "No", 0, DluRect{169, 129, 50, 14}},
            {platform::IDCANCEL, ControlKind::Button, "Cancel", 0, DluRect{223, 129, 50, 14}}}}),
      expected_(std::move(expected)),
      alternatives_(std::move(alternatives)),
      index_(proposed) {
    OnCommand(platform::IDNO, platform::ui::Notify::Clicked, [this] { EndDialog(platform::IDNO); });
    OnCommand(IDC_XML_SELECT, platform::ui::Notify::Clicked, [this] {
        wxArrayString choices;
        for (const auto& a : alternatives_) choices.Add(wxString::FromUTF8(a));
        wxSingleChoiceDialog list(
            Wx(), "Select the configuration file to use:", "Select a configuration file", choices);
        if (index_ >= 0 && static_cast<size_t>(index_) < alternatives_.size()) list.SetSelection(index_);
        if (list.ShowModal() == wxID_OK) {
            index_ = list.GetSelection();
            ShowQuestion();
        }
    });
}

bool CDlgXmlNotUpdated::OnInitDialog() {
    SetItemText(IDC_XML_EXPECTED, XmlNotUpdatedExpectedText(expected_));
    ShowQuestion();
    ShowItem(IDC_XML_SELECT, alternatives_.size() >= 2);
    return true;
}

void CDlgXmlNotUpdated::ShowQuestion() {
    SetItemText(IDC_XML_QUESTION, XmlNotUpdatedQuestion(expected_, alternatives_, index_));
    // "Yes" needs an alternative to say yes to.
    EnableItem(platform::IDOK, index_ >= 0 && static_cast<size_t>(index_) < alternatives_.size());
}

int AnswerXmlNotUpdated(const std::vector<std::string>& args, int* selection,
                        const std::function<int(CDlgXmlNotUpdated&)>& run) {
    if (args.empty()) return platform::IDCANCEL;
    std::vector<std::string> alternatives(args.begin() + 1, args.end());
    const int proposed = selection && *selection >= 0 ? *selection : (alternatives.empty() ? -1 : 0);
    CDlgXmlNotUpdated dialog(args[0], alternatives, proposed);
    const int result = run ? run(dialog) : dialog.DoModal();
    if (result == platform::IDOK && selection) *selection = dialog.Index();
    return result;
}

void RegisterConfigFileDialogs(platform::ui::WxPromptService& prompts) {
    prompts.RegisterCustom("XmlNotUpdated", [](const std::vector<std::string>& args, int* selection) {
        return AnswerXmlNotUpdated(args, selection);
    });
}

}  // namespace packages::ui
