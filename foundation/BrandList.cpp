#include "foundation/BrandList.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <system_error>

#include "foundation/CloudSearch.h"
#include "foundation/Identity.h"
#include "foundation/ProgramFolders.h"
#include "foundation/ProgramSwitches.h"
#include "foundation/Version.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"
#include "platform/AtomicFile.h"
#include "platform/CodePage.h"
#include "platform/Registry.h"

namespace foundation {

namespace fs = std::filesystem;

namespace {

constexpr const char* kExtraPathsFile = "PelmoraExtraXmlPaths.txt";
// Registry texts longer than the longest path a value may hold count as missing.
constexpr size_t kMaxPathValue = 260;

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(fs::path(path), ec);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// "Xml" below the folder when it exists, else the folder itself.
std::string XmlFolderOf(const std::string& folder) {
    std::string xml = Join(folder, "Xml");
    return IsFolder(xml) ? xml : folder;
}

std::optional<std::string> ReadPath(platform::Scope scope, const std::string& key, const std::string& name) {
    std::optional<std::string> value = platform::Registry::Instance().GetString(scope, key, name);
    if (value && value->size() > kMaxPathValue) return std::nullopt;
    return value;
}

// Text file in any of the encodings the system writes, as UTF-8 lines.
std::vector<std::string> ReadTextLines(const fs::path& file) {
    std::string data;
    std::string error;
    if (!platform::ReadWholeFile(file, &data, &error)) return {};
    std::string text;
    if (data.size() >= 2 && static_cast<unsigned char>(data[0]) == 0xFF &&
        static_cast<unsigned char>(data[1]) == 0xFE) {
        text = platform::Utf16LeBytesToUtf8(std::string_view(data).substr(2));
    } else if (data.size() >= 2 && static_cast<unsigned char>(data[0]) == 0xFE &&
               static_cast<unsigned char>(data[1]) == 0xFF) {
        text = platform::Utf16BeBytesToUtf8(std::string_view(data).substr(2));
    } else if (data.size() >= 3 && data.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text = data.substr(3);
    } else {
        text = platform::IsValidUtf8(data) ? data : platform::Cp1252ToUtf8(data);
    }
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

}  // namespace

const PatchModule* CBrand::FindFolderEntry() const {
    auto it = m_modules.find(m_strFolder);
    return it == m_modules.end() ? nullptr : &it->second;
}

void AddProgramPackages(CBrand& source, const std::string& folder) {
    std::string xmlFolder = XmlFolderOf(folder);
    std::string title;
    std::string version;
    std::string patchFile = std::string(kPatchPackageName) + ".cdi";
    if (!ReadXmlTitleVersion(Join(folder, patchFile), &title, &version) || title != kPatchPackageName) return;

    PatchModule module;
    module.xmlFolder = xmlFolder;
    module.fileName = patchFile;
    module.version = version;
    module.kind = 0;
    auto [it, added] = source.m_modules.emplace(xmlFolder, module);
    source.m_strPackageTitle = kPatchPackageName;

    // The program's own package names the program version that installed the patch.
    std::string programTitle;
    std::string programVersion;
    if (added &&
        ReadXmlTitleVersion(Join(folder, std::string(kProgramName) + ".cdi"), &programTitle,
                            &programVersion) &&
        programTitle == kProgramName) {
        it->second.installedBy = std::string(kProgramName) + " " + programVersion;
    }
}

bool AddPatchModule(CBrand& source, const std::string& file, const std::string& installedBy, uint8_t kind) {
    std::string title;
    std::string version;
    if (!ReadXmlTitleVersion(file, &title, &version)) return false;

    size_t slash = file.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
    std::string xmlFolder = folder + "Xml";
    if (source.m_modules.count(xmlFolder) != 0) return false;  // the first registration stays

    PatchModule module;
    module.xmlFolder = xmlFolder;
    module.fileName = slash == std::string::npos ? file : file.substr(slash + 1);
    module.version = version;
    module.installedBy = installedBy;
    module.kind = kind;
    source.m_modules.emplace(xmlFolder, module);
    if (source.m_strPackageTitle.empty()) source.m_strPackageTitle = title;
    return true;
}

void CBrandList::RemoveAll() {
    m_sources.clear();
    m_current = 0;
}

CBrand* CBrandList::GetCurrent() const {
    if (m_current < 0 || static_cast<size_t>(m_current) >= m_sources.size()) return nullptr;
    return m_sources[static_cast<size_t>(m_current)].get();
}

CBrand* CBrandList::FindSource(const std::string& name) const {
    for (const auto& source : m_sources) {
        if (EqualNoCase(source->m_strName, name)) return source.get();
    }
    return nullptr;
}

void CBrandList::LoadConfigurationFolders() {
    using platform::Scope;
    platform::Registry& registry = platform::Registry::Instance();
    const std::string productKey = GetProductKey();
    const std::string programData = GetProgramDataFolder().string();
    const std::string commonData = GetCommonDataFolder().string();

    RemoveAll();
    auto first = std::make_unique<CBrand>();
    first->m_strName = kBrandName;
    first->m_strDataFolder = commonData;
    first->m_strBaseFolder = commonData;
    first->m_strFolder = XmlFolderOf(programData);
    AddProgramPackages(*first, programData);
    CBrand& main = *first;
    m_sources.push_back(std::move(first));
    m_current = 0;

    // Beta sibling: "<folder> beta" beside the release, or the release beside a beta.
    if (g_Beta) {
        std::string sibling;
        size_t beta = programData.find("beta");
        if (beta != std::string::npos && beta > 0) {
            sibling = programData.substr(0, beta);
            while (!sibling.empty() && (sibling.back() == ' ' || sibling.back() == '/')) sibling.pop_back();
        } else {
            std::string base = programData;
            while (base.size() > 1 && base.back() == '/') base.pop_back();
            sibling = base + " beta";
        }
        if (IsFolder(sibling)) AddProgramPackages(main, sibling);
    }

    // Patch package installed on its own.
    std::string patchKey = std::string("SOFTWARE\\") + kBrandName + "\\" + kPatchPackageName;
    std::string installPath = ReadPath(Scope::Machine, patchKey, "InstallPath").value_or("");
    if (!installPath.empty()) {
        std::string xmlFolder = Join(installPath, "Xml");
        std::string patchFile = std::string(kPatchPackageName) + ".cdi";
        std::string title;
        std::string version;
        if (ReadXmlTitleVersion(Join(xmlFolder, patchFile), &title, &version) && title == kPatchPackageName &&
            main.m_modules.count(xmlFolder) == 0) {
            PatchModule module;
            module.xmlFolder = xmlFolder;
            module.fileName = patchFile;
            module.version = version;
            module.installedBy = kPatchPackageName;
            module.kind = 0;
            main.m_modules.emplace(xmlFolder, module);
            if (main.m_strPackageTitle.empty()) main.m_strPackageTitle = title;
        }
    }

    // Custom entries.
    const std::string customKey = productKey + "\\Custom";
    for (const std::string& subkey : registry.EnumKeys(Scope::Machine, customKey)) {
        std::string path = ReadPath(Scope::Machine, customKey + "\\" + subkey, "").value_or("");
        std::string title;
        std::string version;
        if (path.empty() || !ReadXmlTitleVersion(path, &title, &version)) continue;
        size_t slash = path.rfind('/');
        if (slash == std::string::npos || slash == 0) continue;
        main.m_custom.push_back({path.substr(0, slash), subkey, title});
    }

    // Further sources named in the registry.
    const std::string xmlKey = productKey + "\\Xml";
    if (g_Beta) {
        for (const std::string& subkey : registry.EnumKeys(Scope::Machine, xmlKey)) {
            const std::string key = xmlKey + "\\" + subkey;
            std::string folder = ReadPath(Scope::Machine, key, "").value_or("");
            if (folder.empty()) continue;
            auto source = std::make_unique<CBrand>();
            source->m_strName = subkey;
            source->m_strDataFolder = folder;
            source->m_strBaseFolder = folder;
            source->m_strFolder = XmlFolderOf(folder);
            for (const std::string& valueName : registry.EnumValueNames(Scope::Machine, key)) {
                if (valueName.empty()) continue;  // the default value is the folder
                std::string file = ReadPath(Scope::Machine, key, valueName).value_or("");
                if (!file.empty()) AddPatchModule(*source, file, valueName, 0);
            }
            m_sources.push_back(std::move(source));
        }
    }

    // Packages installed for this user: one path per line of the "Patch" value.
    for (const auto& source : m_sources) {
        std::optional<std::string> patch =
            registry.GetString(Scope::User, xmlKey + "\\" + source->m_strName, "Patch");
        if (!patch) continue;
        size_t start = 0;
        while (start <= patch->size()) {
            size_t end = patch->find_first_of(std::string_view("\n\0", 2), start);
            if (end == std::string::npos) end = patch->size();
            std::string file = patch->substr(start, end - start);
            if (!file.empty() && file.back() == '\r') file.pop_back();
            if (!file.empty()) AddPatchModule(*source, file, "user", 1);
            start = end + 1;
        }
    }

    // Each source takes the folder of its newest module.
    for (const auto& source : m_sources) {
        uint64_t newest = 0;
        const PatchModule* chosen = nullptr;
        for (const auto& [folder, module] : source->m_modules) {
            if (module.version.empty()) continue;
            uint64_t number = VersionTextToNumber(module.version);
            if (chosen == nullptr || number > newest) {
                chosen = &module;
                newest = number;
            }
        }
        if (chosen != nullptr) source->m_strFolder = chosen->xmlFolder;
    }
}

namespace {

// Scan workers whose path test outlived its join time-out. They own everything they touch and
// are joined at the next scan or, at the latest, when the program ends.
class LateScanWorkers {
  public:
    ~LateScanWorkers() {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& thread : threads_) thread->Join();
    }
    void Add(std::unique_ptr<platform::Thread> thread) {
        std::lock_guard<std::mutex> lock(mutex_);
        threads_.push_back(std::move(thread));
    }
    // Joins those that have ended.
    void Reap() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::erase_if(threads_,
                      [](const std::unique_ptr<platform::Thread>& thread) { return thread->JoinFor(0); });
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return threads_.size();
    }

  private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<platform::Thread>> threads_;
};

LateScanWorkers& LateWorkers() {
    static LateScanWorkers workers;
    return workers;
}

}  // namespace

CBrandList::CBrandList() {
    // The late workers' list must outlive every list that may hand it workers, the program's
    // own static one included.
    LateWorkers();
}

CBrandList::~CBrandList() {
    StopScan(m_scanJoinTimeoutMs);
}

size_t LateExtraPathWorkers() {
    LateWorkers().Reap();
    return LateWorkers().Count();
}

void CBrandList::StopScan(uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (auto& thread : m_scanThreads) {
        if (!thread) continue;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (!thread->JoinFor(static_cast<uint32_t>(std::max<int64_t>(0, left.count()))))
            LateWorkers().Add(std::move(thread));
    }
    m_scanThreads.clear();
    LateWorkers().Reap();
}

void CBrandList::WaitExtraPaths() {
    for (auto& thread : m_scanThreads) {
        if (thread) thread->Join();
    }
    m_scanThreads.clear();
}

void CBrandList::SetFolderTest(FolderTest test) {
    m_folderTest = std::move(test);
}

void CBrandList::LoadExtraPaths() {
    std::vector<std::string> paths;
    std::set<std::string> seen;
    for (const fs::path& folder : {GetCommonDataFolder(), GetUserDataFolder()}) {
        for (const std::string& line : ReadTextLines(folder / kExtraPathsFile)) {
            if (line.empty() || !seen.insert(line).second) continue;
            paths.push_back(line);
        }
    }
    if (paths.empty()) return;

    // Workers of an earlier scan write to their own result, never to the new one.
    StopScan(m_scanJoinTimeoutMs);
    auto scan = std::make_shared<ScanResult>();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_scan = scan;
    }
    FolderTest test = m_folderTest ? m_folderTest : FolderTest(IsFolder);
    for (const std::string& path : paths) {
        auto thread = std::make_unique<platform::Thread>();
        bool started = thread->Start("CBrandList::ScanPathThread", [scan, test, path](platform::StopToken&) {
            if (test(path)) {
                std::lock_guard<std::mutex> lock(scan->lock);
                scan->folders.push_back(path);
            }
        });
        if (started) {
            m_scanThreads.push_back(std::move(thread));
        } else if (test(path)) {
            std::lock_guard<std::mutex> lock(scan->lock);
            scan->folders.push_back(path);
        }
    }
}

std::vector<std::string> CBrandList::GetExtraFolders() const {
    std::shared_ptr<ScanResult> scan;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        scan = m_scan;
    }
    std::lock_guard<std::mutex> lock(scan->lock);
    return scan->folders;
}

std::string CBrandList::GetBrandFolder(const char* name, int mode) const {
    const CBrand* source = name == nullptr ? GetCurrent() : FindSource(name);
    if (source == nullptr || mode < 0) return std::string();
    if (mode == 0) return source->m_strFolder;
    if (mode == 1) return Join(source->m_strBaseFolder, "Xml");
    size_t entry = static_cast<size_t>(mode - 2);
    return entry < source->m_custom.size() ? source->m_custom[entry].folder : std::string();
}

std::string CBrandList::GetCurrentFolder() const {
    const CBrand* source = GetCurrent();
    return source ? source->m_strFolder : std::string();
}

bool CBrandList::SearchCloud(const CIdentity& target) {
    CloudSearchSettings settings;
    settings.baseAddress = GetCloudBaseAddress();
    settings.targetFolder = GetCommonDataFolder() / "Xml";
    return SearchCloudIndex(target, settings, nullptr);
}

bool SelectBrandFromXml(const std::string& xmlText, CBrandList& list) {
    CXmlDocument document;
    if (document.LoadXml(xmlText) != S_OK) return false;
    std::string brand = document.Root().GetAttribute("brand", "");
    if (brand.empty()) return false;
    const auto& sources = list.Sources();
    for (size_t i = 0; i < sources.size(); ++i) {
        if (static_cast<int>(i) != list.GetCurrentIndex() && EqualNoCase(sources[i]->m_strName, brand)) {
            list.SetCurrentIndex(static_cast<int>(i));
            return true;
        }
    }
    return false;
}

CBrandList& GetBrandList() {
    static CBrandList list;
    return list;
}

}  // namespace foundation
