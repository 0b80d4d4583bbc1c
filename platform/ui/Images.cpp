#include "platform/ui/Images.h"

#include <cstdlib>
#include <mutex>
#include <string>

#include <wx/image.h>
#include <wx/log.h>

#include "platform/Folders.h"

namespace platform::ui {
namespace {

std::mutex g_mutex;
std::filesystem::path g_folder;

}  // namespace

void SetResourceFolder(const std::filesystem::path& folder) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_folder = folder;
}

std::filesystem::path ResourceFolder() {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_folder.empty()) return g_folder;
    }
    if (const char* env = std::getenv("TUNOVA_RES_DIR"); env != nullptr && *env != '\0') return env;
    return platform::ProgramDataFolder() / "res";
}

std::filesystem::path FindImageResource(int id) {
    const std::filesystem::path folder = ResourceFolder();
    const std::string exact = std::to_string(id) + ".png";
    const std::string prefix = std::to_string(id) + "-";
    std::error_code ec;
    if (std::filesystem::is_regular_file(folder / exact, ec)) return folder / exact;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > prefix.size() + 4 && name.compare(0, prefix.size(), prefix) == 0 &&
            name.compare(name.size() - 4, 4, ".png") == 0) {
            return entry.path();
        }
    }
    return {};
}

wxBitmap LoadImageResource(int id) {
    const std::filesystem::path file = FindImageResource(id);
    if (file.empty()) return wxBitmap();
    if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) wxImage::AddHandler(new wxPNGHandler);
    wxLogNull quiet;  // a damaged file is reported as "no image", not by a log window
    wxImage image;
    if (!image.LoadFile(wxString::FromUTF8(file.string()), wxBITMAP_TYPE_PNG)) return wxBitmap();
    return wxBitmap(image);
}

}  // namespace platform::ui
