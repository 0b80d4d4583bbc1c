#include "platform/ui/WindowPicture.h"

#include <system_error>

#include <wx/bitmap.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/image.h>
#include <wx/window.h>

namespace platform::ui {

bool SaveWindowPicture(wxWindow* window, const std::filesystem::path& file) {
    if (window == nullptr || !window->IsShownOnScreen()) return false;
    window->Update();
    const wxSize size = window->GetClientSize();
    if (size.x <= 0 || size.y <= 0) return false;
    wxBitmap bitmap(size.x, size.y, 24);
    {
        wxClientDC screen(window);
        wxMemoryDC memory(bitmap);
        memory.Blit(0, 0, size.x, size.y, &screen, 0, 0);
        memory.SelectObject(wxNullBitmap);
    }
    wxInitAllImageHandlers();
    std::error_code ec;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    return bitmap.ConvertToImage().SaveFile(wxString::FromUTF8(file.string()), wxBITMAP_TYPE_PNG);
}

}  // namespace platform::ui
