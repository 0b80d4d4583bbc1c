#include "app/HelpTopics.h"

#include <cstdlib>
#include <map>
#include <system_error>
#include <vector>

#include <wx/utils.h>

#include "foundation/ProgramFolders.h"
#include "platform/Prompt.h"
#include "platform/ui/WxPrompts.h"

namespace app {
namespace {

namespace fs = std::filesystem;

std::function<bool(const std::string&)>& Opener() {
    static std::function<bool(const std::string&)> opener = [](const std::string& url) {
        return wxLaunchDefaultBrowser(wxString::FromUTF8(url));
    };
    return opener;
}

constexpr unsigned kSubLangDefault = 1;

unsigned PrimaryDefault(unsigned languageId) {
    return (languageId & 0x3FF) | (kSubLangDefault << 10);
}

}  // namespace

fs::path FindHelpTopicPage(const fs::path& helpFolder, const std::string& topic, unsigned languageId) {
    const size_t separator = topic.find("::/");
    std::string file = topic.substr(0, separator);
    std::string page = separator == std::string::npos ? "index.html" : topic.substr(separator + 3);
    // An anchor names a place in the page, not a file.
    page = page.substr(0, page.find('#'));
    if (file.size() > 4 && file.compare(file.size() - 4, 4, ".chm") == 0) file.resize(file.size() - 4);
    if (file.empty() || page.empty()) return {};
    std::vector<fs::path> folders{helpFolder / std::to_string(languageId),
                                  helpFolder / std::to_string(PrimaryDefault(languageId)),
                                  helpFolder / "1033", helpFolder};
    std::error_code ec;
    for (const fs::path& folder : folders) {
        const fs::path candidate = folder / file / page;
        if (fs::is_regular_file(candidate, ec)) return candidate;
    }
    return {};
}

unsigned UserLanguageId() {
    static const std::map<std::string, unsigned> ids{
        {"en_US", 1033}, {"en_GB", 2057}, {"it_IT", 1040}, {"de_DE", 1031}, {"fr_FR", 1036},
        {"es_ES", 3082}, {"en", 1033},    {"it", 1040},    {"de", 1031},    {"fr", 1036},
        {"es", 3082},    {"pt", 2070},    {"nl", 1043},    {"pl", 1045},    {"zh", 2052}};
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') continue;
        std::string locale(value);
        locale = locale.substr(0, locale.find_first_of(".@"));
        if (auto it = ids.find(locale); it != ids.end()) return it->second;
        if (auto it = ids.find(locale.substr(0, 2)); it != ids.end()) return it->second;
        break;
    }
    return 1033;
}

void ShowHelpTopic(const std::string& topic) {
    const fs::path page = FindHelpTopicPage(foundation::GetHelpFolder(), topic, UserLanguageId());
    if (page.empty()) {
        platform::ui::MessageBox("The help topic \"" + topic + "\" is not installed.", "",
                                 platform::MB_OK | platform::MB_ICONEXCLAMATION);
        return;
    }
    const size_t anchor = topic.find('#');
    Opener()("file://" + page.string() + (anchor == std::string::npos ? "" : topic.substr(anchor)));
}

void SetHelpOpener(std::function<bool(const std::string& url)> opener) {
    Opener() = std::move(opener);
}

}  // namespace app
