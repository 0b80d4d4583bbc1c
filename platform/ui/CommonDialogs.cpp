#include "platform/ui/CommonDialogs.h"

#include <wx/clipbrd.h>
#include <wx/colordlg.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>

#include "platform/ui/DrawContext.h"

namespace platform::ui {
namespace {

std::filesystem::path FromWxPath(const wxString& path) {
    return std::filesystem::path(path.utf8_string());
}

wxString ToWx(const std::string& text) {
    return wxString::FromUTF8(text);
}

void SplitInitial(const std::filesystem::path& initial, wxString& folder, wxString& file) {
    std::error_code ec;
    if (initial.empty()) return;
    if (std::filesystem::is_directory(initial, ec)) {
        folder = ToWx(initial.string());
    } else {
        folder = ToWx(initial.parent_path().string());
        file = ToWx(initial.filename().string());
    }
}

}  // namespace

std::string NormaliseFilter(const std::string& filter) {
    std::string out = filter;
    while (!out.empty() && out.back() == '|') out.pop_back();
    return out.empty() ? std::string("All files (*)|*") : out;
}

std::optional<std::filesystem::path> ChooseFileToOpen(wxWindow* parent, const FileDialogSpec& spec) {
    wxString folder, file;
    SplitInitial(spec.initial, folder, file);
    wxFileDialog dialog(parent, ToWx(spec.title), folder, file, ToWx(NormaliseFilter(spec.filter)),
                        wxFD_OPEN | (spec.mustExist ? wxFD_FILE_MUST_EXIST : 0));
    if (dialog.ShowModal() != wxID_OK) return std::nullopt;
    return FromWxPath(dialog.GetPath());
}

std::vector<std::filesystem::path> ChooseFilesToOpen(wxWindow* parent, const FileDialogSpec& spec) {
    wxString folder, file;
    SplitInitial(spec.initial, folder, file);
    wxFileDialog dialog(parent, ToWx(spec.title), folder, file, ToWx(NormaliseFilter(spec.filter)),
                        wxFD_OPEN | wxFD_MULTIPLE | (spec.mustExist ? wxFD_FILE_MUST_EXIST : 0));
    std::vector<std::filesystem::path> chosen;
    if (dialog.ShowModal() != wxID_OK) return chosen;
    wxArrayString paths;
    dialog.GetPaths(paths);
    for (const wxString& p : paths) chosen.push_back(FromWxPath(p));
    return chosen;
}

std::optional<std::filesystem::path> ChooseFileToSave(wxWindow* parent, const FileDialogSpec& spec) {
    wxString folder, file;
    SplitInitial(spec.initial, folder, file);
    wxFileDialog dialog(parent, ToWx(spec.title), folder, file, ToWx(NormaliseFilter(spec.filter)),
                        wxFD_SAVE | (spec.confirmOverwrite ? wxFD_OVERWRITE_PROMPT : 0));
    if (dialog.ShowModal() != wxID_OK) return std::nullopt;
    std::filesystem::path path = FromWxPath(dialog.GetPath());
    if (!spec.defaultExtension.empty() && !path.has_extension()) {
        std::string ext = spec.defaultExtension;
        if (ext.front() != '.') ext.insert(ext.begin(), '.');
        path += ext;
    }
    return path;
}

std::optional<platform::COLORREF> ChooseColour(wxWindow* parent, platform::COLORREF initial) {
    const wxColour chosen = wxGetColourFromUser(parent, platform::ui::ToWx(initial));
    if (!chosen.IsOk()) return std::nullopt;
    return FromWx(chosen);
}

std::optional<std::filesystem::path> ChooseFolder(wxWindow* parent, const std::string& title,
                                                  const std::filesystem::path& initial) {
    wxDirDialog dialog(parent, ToWx(title), ToWx(initial.string()), wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return std::nullopt;
    return FromWxPath(dialog.GetPath());
}

bool SetClipboardText(const std::string& text) {
    wxClipboardLocker lock;
    if (!lock) return false;
    return wxTheClipboard->SetData(new wxTextDataObject(ToWx(text)));
}

std::optional<std::string> GetClipboardText() {
    wxClipboardLocker lock;
    if (!lock || !wxTheClipboard->IsSupported(wxDF_UNICODETEXT)) return std::nullopt;
    wxTextDataObject data;
    if (!wxTheClipboard->GetData(data)) return std::nullopt;
    return data.GetText().utf8_string();
}

}  // namespace platform::ui
