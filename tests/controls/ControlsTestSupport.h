#pragma once
#include <filesystem>

#include <wx/bitmap.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/window.h>

inline std::filesystem::path ControlArtifacts() {
    return std::filesystem::path(TUNOVA_BINARY_DIR) / "artifacts" / "controls";
}
inline std::filesystem::path SourceResources() {
    return std::filesystem::path(TUNOVA_FIXTURES).parent_path().parent_path() / "app" / "res";
}
// What a shown window looks like on the screen, as a PNG among the artifacts.
inline bool SaveWindowPicture(wxWindow* window, const std::string& file) {
    const wxSize size = window->GetClientSize();
    if (size.x <= 0 || size.y <= 0) return false;
    wxBitmap picture(size);
    {
        wxMemoryDC dc(picture);
        wxClientDC screen(window);
        dc.Blit(0, 0, size.x, size.y, &screen, 0, 0);
    }
    std::filesystem::create_directories(ControlArtifacts());
    return picture.SaveFile(wxString::FromUTF8((ControlArtifacts() / file).string()), wxBITMAP_TYPE_PNG);
}
