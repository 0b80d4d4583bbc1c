#include "engine/ConfigFileIndex.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "foundation/Authorizations.h"
#include "foundation/BrandList.h"
#include "foundation/Identity.h"
#include "foundation/SharedUtilities.h"
#include "platform/File.h"
#include "platform/Prompt.h"
#include "platform/StringHelpers.h"

using namespace foundation;

namespace engine {

namespace {

std::atomic<bool> g_indexBuilt{false};

using platform::Lower;

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && Lower(text.substr(text.size() - tail.size())) == tail;
}

// "*_*.xml", letter case ignored.
bool IsDescriptionName(const std::string& name) {
    if (!EndsWithNoCase(name, ".xml")) return false;
    return name.find('_') < name.size() - 4;
}

// Regular files of a folder whose names pass the test, sorted by name; false when the folder
// cannot be listed.
bool ListFiles(const std::filesystem::path& folder, bool (*accept)(const std::string&),
               std::vector<std::string>* names) {
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) return false;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        std::error_code fileError;
        if (!it->is_regular_file(fileError)) continue;
        std::string name = it->path().filename().string();
        if (accept(name)) names->push_back(std::move(name));
    }
    std::sort(names->begin(), names->end());
    return true;
}

uint32_t ToUnsigned(const CXmlNode& node, const char* name) {
    return uint32_t(node.GetAttributeInt(name, 0));
}

}  // namespace

bool IsVocabularyIndexBuilt() {
    return g_indexBuilt.load();
}
void SetVocabularyIndexBuilt(bool built) {
    g_indexBuilt.store(built);
}

// A new engine starts without a built list: the next need builds it.
CConfigFileIndex::CConfigFileIndex() {
    ClearVocabularyIndexBuilt();
}

CConfigFileIndex::~CConfigFileIndex() = default;

void CConfigFileIndex::SetNotificationWindow(platform::WindowHandle window, unsigned message) {
    window_ = window;
    message_ = message;
}

void CConfigFileIndex::Notify(uint32_t code) const {
    if (window_ == 0) return;
    // A build on the window's own thread sends, so the window sees the progress while the build
    // runs; a build on a worker posts.
    if (!platform::SendMessage(window_, message_, 1, std::intptr_t(code)))
        platform::PostMessage(window_, message_, 1, std::intptr_t(code));
}

CVocabolario* CConfigFileIndex::At(int index) const {
    if (index < 0 || index >= int(list_.size())) return nullptr;
    return list_[size_t(index)].get();
}

void CConfigFileIndex::Drop(int index) {
    if (index < 0 || index >= int(list_.size())) return;
    list_[size_t(index)].reset();
    while (!list_.empty() && !list_.back()) list_.pop_back();
}

void CConfigFileIndex::RemoveAll() {
    list_.clear();
}

// --- file data ---

bool CConfigFileIndex::FileDateText(const std::filesystem::path& file, std::string* date, uint64_t* size) {
    platform::FileInfo info;
    if (platform::ReadFileInfo(file, info) != 0) return false;
    // The index's file time: 100 ns units since 1601-01-01 UTC.
    constexpr uint64_t kEpochDelta = 116444736000000000ull;
    const uint64_t t =
        uint64_t(info.modifiedSeconds) * 10000000ull + uint64_t(info.modifiedNanoseconds) / 100 + kEpochDelta;
    char text[24];
    // Padded halves: "%x%x" would let two different times give the same text.
    std::snprintf(text, sizeof text, "%08x%08x", unsigned(t >> 32), unsigned(t & 0xFFFFFFFFu));
    if (date) *date = text;
    if (size) *size = info.size;
    return true;
}

bool CConfigFileIndex::ItemBelongsToBrand(const CXmlNode& item) {
    const uint32_t oem = ToUnsigned(item, "oem");
    const uint32_t divisor = oem >> 16;
    const uint32_t offset = oem & 0xFFFFu;
    if (divisor == 0) return false;
    uint32_t p = ToUnsigned(item, "sw") * ToUnsigned(item, "sw_ver");
    if (p < 65536) p += 65536;
    return (p - offset) / divisor == CVocabolario::kBrandCode;
}

std::filesystem::path CConfigFileIndex::IndexFileName(const std::string& lowerFolder,
                                                      const std::string& baseFolder,
                                                      const IndexMap& indexes) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= lowerFolder.size()) {
        size_t end = lowerFolder.find_first_of("/\\", start);
        if (end == std::string::npos) end = lowerFolder.size();
        if (end > start) parts.push_back(lowerFolder.substr(start, end - start));
        start = end + 1;
    }
    std::string stem;
    if (parts.size() >= 2)
        stem = parts[parts.size() - 2] + "_" + parts.back();
    else if (parts.size() == 1)
        stem = parts.back();
    else
        stem = "index";
    std::replace(stem.begin(), stem.end(), ' ', '_');

    std::set<std::filesystem::path> taken;
    for (const auto& [key, entry] : indexes) taken.insert(entry.file);
    const std::filesystem::path base(baseFolder);
    auto isFree = [&taken](const std::filesystem::path& p) {
        std::error_code ec;
        return !taken.count(p) && !std::filesystem::exists(p, ec);
    };
    std::filesystem::path candidate = base / (stem + ".idx");
    if (isFree(candidate)) return candidate;
    for (int i = 1; i <= 99; ++i) {
        candidate = base / (stem + std::to_string(i) + ".idx");
        if (isFree(candidate)) return candidate;
    }
    return candidate;
}

// --- building ---

int CConfigFileIndex::BuildVocabularyIndex() {
    SetVocabularyIndexBuilt(true);
    RemoveAll();

    CBrandList& brands = GetBrandList();
    IndexMap indexes;
    for (const auto& brand : brands.Sources()) {
        if (brand->m_strBaseFolder.empty()) continue;
        std::vector<std::string> names;
        ListFiles(
            brand->m_strBaseFolder, [](const std::string& n) { return EndsWithNoCase(n, ".idx"); }, &names);
        for (const std::string& name : names) {
            const std::filesystem::path file = std::filesystem::path(brand->m_strBaseFolder) / name;
            auto document = std::make_unique<CXmlDocument>();
            if (document->Load(file) != S_OK) continue;
            const CXmlNode& root = document->Root();
            if (root.Name() != "XmlIndex" || root.GetAttributeInt("ver", 0) != kIndexVersion) continue;
            const std::string path = root.GetAttribute("path");
            if (path.empty()) continue;
            indexes.try_emplace(Lower(path), IndexEntry{std::move(document), file});
        }
    }

    for (const auto& brand : brands.Sources()) {
        const char* name = brand->m_strName.c_str();
        ScanConfigurationFolder(brands.GetBrandFolder(name, 0), indexes, *brand, 0);
        for (size_t i = 0; i < brand->m_custom.size(); ++i)
            ScanConfigurationFolder(brands.GetBrandFolder(name, int(i) + 2), indexes, *brand,
                                    uint32_t(i) + 2);
        ScanConfigurationFolder(brands.GetBrandFolder(name, 1), indexes, *brand, 1);
        // Indexing may have brought new users.
        GetAuthorizations().Save();
    }
    return Count();
}

void CConfigFileIndex::ScanConfigurationFolder(const std::string& folder, IndexMap& indexes,
                                               const CBrand& brand, uint32_t folderMode) {
    if (folder.empty()) return;
    const std::string lowerFolder = Lower(folder);

    auto found = indexes.find(lowerFolder);
    if (found == indexes.end()) {
        IndexEntry fresh{std::make_unique<CXmlDocument>(),
                         IndexFileName(lowerFolder, brand.m_strBaseFolder, indexes)};
        found = indexes.emplace(lowerFolder, std::move(fresh)).first;
    }
    IndexEntry& entry = found->second;

    std::vector<std::string> names;
    if (!ListFiles(folder, IsDescriptionName, &names)) return;

    auto index = std::make_unique<CXmlDocument>();
    CXmlNode& root = index->Root();
    root.SetName("XmlIndex");
    root.SetAttributeInt("ver", kIndexVersion);
    root.SetAttribute("path", lowerFolder);

    const std::filesystem::path dir(folder);
    bool save = false;
    if (entry.document->Root().Name() == "XmlIndex") {
        const CXmlNode& old = entry.document->Root();
        std::map<std::string, const CXmlNode*> known;
        int oldFiles = 0;
        for (const CXmlNode* f : old.Children()) {
            if (f->Name() != "File") continue;
            ++oldFiles;
            known.try_emplace(f->GetAttribute("name"), f);
        }
        std::vector<scanFile> toRead;
        for (const std::string& name : names) {
            scanFile file{name, {}, 0};
            if (!FileDateText(dir / name, &file.date, &file.size)) continue;
            auto k = known.find(name);
            if (k != known.end() && k->second->GetAttribute("size") == std::to_string(file.size) &&
                k->second->GetAttribute("date") == file.date)
                root.AddChild("File")->Copy(k->second);
            else
                toRead.push_back(std::move(file));
        }
        const bool several = toRead.size() > 1;
        if (several) {
            Notify(kProgressStart);
            Notify(kProgressRange | uint32_t(toRead.size()));
        }
        uint32_t remaining = uint32_t(toRead.size());
        for (const scanFile& file : toRead) {
            if (several) Notify(kProgressStep | remaining--);
            CXmlDocument description;
            if (description.Load(dir / file.name) == S_OK && description.Root().Name() == "DEVICE") {
                AddIndexFileEntry(root, file.name, file.size, file.date, description.Root());
            } else {
                platform::Prompts().MessageBox(
                    "Configuration file corrupted:\r\n\r\n" + (dir / file.name).string(),
                    "Loading configuration file", platform::MB_OK | platform::MB_ICONWARNING);
            }
        }
        if (several) Notify(kProgressEnd);
        save = !toRead.empty() || root.GetChildCount("File") != oldFiles;
    } else {
        Notify(kProgressStart);
        if (!names.empty()) {
            Notify(kProgressRange | uint32_t(names.size()));
            uint32_t remaining = uint32_t(names.size());
            for (auto it = names.rbegin(); it != names.rend(); ++it) {
                Notify(kProgressStep | remaining--);
                CXmlDocument description;
                if (description.Load(dir / *it) != S_OK || description.Root().Name() != "DEVICE") continue;
                std::string date;
                uint64_t size = 0;
                if (!FileDateText(dir / *it, &date, &size)) continue;
                AddIndexFileEntry(root, *it, size, date, description.Root());
            }
        }
        CreateDirectoryTree(entry.file.parent_path().string().c_str());
        save = true;
    }
    // A failed save leaves the old index whole; the folder is compared again at the next build.
    if (save) index->Save(entry.file);
    if (entry.document->Root().Name() != "XmlIndex") Notify(kProgressEnd);

    for (const CXmlNode* file : root.Children()) {
        if (file->Name() != "File") continue;
        const int items = file->GetChildCount("Item");
        for (const CXmlNode* item : file->Children()) {
            if (item->Name() != "Item" || !ItemBelongsToBrand(*item)) continue;
            auto vocabulary = std::make_unique<CVocabolario>(
                brand.m_strName, folderMode, file->GetAttribute("name"), CVocabolario::kBrandCode, items > 1);
            vocabulary->ReadHeader(*item, ToUnsigned(*file, "version"), ToUnsigned(*file, "xml_ver"));
            list_.push_back(std::move(vocabulary));
        }
    }
    // A folder met again in the same build compares with what was just found.
    entry.document = std::move(index);
}

void CConfigFileIndex::AddIndexFileEntry(CXmlNode& indexRoot, const std::string& fileName, uint64_t size,
                                         const std::string& date, const CXmlNode& device) {
    CXmlNode* file = indexRoot.AddChild("File");
    file->SetAttribute("name", fileName);
    file->SetAttribute("size", std::to_string(size));
    file->SetAttribute("date", date);
    file->SetAttribute("version", device.GetAttribute("version"));
    file->SetAttribute("xml_ver", device.GetAttribute("xml_ver"));

    int32_t sw = device.GetAttributeInt("sw", 0);
    uint16_t build = uint16_t(device.GetAttributeInt("build", 0));
    const int32_t swVer = device.FindAttribute("sw_ver") ? device.GetAttributeInt("sw_ver", 0)
                                                         : device.GetAttributeInt("fw", 0);
    std::string hwList = device.GetAttribute("hw");
    if (hwList.empty()) hwList.assign(1, '0');
    int32_t oem = 0;

    size_t start = 0;
    while (start <= hwList.size()) {
        size_t comma = hwList.find(',', start);
        if (comma == std::string::npos) comma = hwList.size();
        const std::string token = hwList.substr(start, comma - start);
        start = comma + 1;
        const uint32_t hw = uint32_t(std::strtoul(token.c_str(), nullptr, 10));

        std::string minver, maxver, recver, descr, type, hwdescr;
        CIdentity identity;
        bool hide = false;
        ReadHardwareDescription(device, hw, minver, maxver, recver, descr, type, hwdescr, oem, identity,
                                build, hide);
        if (identity.IsValid())
            sw = identity.code;
        else
            identity.SetLegacy(sw, swVer, build, type == "fw");

        CXmlNode* item = file->AddChild("Item");
        item->SetAttribute("hw", std::to_string(hw));
        item->SetAttributeInt("sw", sw);
        item->SetAttributeInt("sw_ver", swVer);
        item->SetAttributeInt("build", build);
        item->SetAttribute("descr", descr);
        if (!minver.empty()) item->SetAttribute("minver", minver);
        if (!maxver.empty()) item->SetAttribute("maxver", maxver);
        if (!recver.empty()) item->SetAttribute("recver", recver);
        item->SetAttribute("type", type);
        if (!hwdescr.empty()) item->SetAttribute("hwdescr", hwdescr);
        if (oem != 0) item->SetAttributeInt("oem", oem);
        item->SetAttribute("pver", identity.GetCompactText());
        if (hide) item->SetAttribute("hide", "1");
    }

    if (const CXmlNode* users = device.FindNode("Authorizations")) {
        for (const CXmlNode* user : users->Children())
            if (user->Name() == "User")
                GetAuthorizations().AddUser(user->GetAttribute("title"), user->GetAttributeInt("level", 0));
    }
}

// --- queries ---

int CConfigFileIndex::GetVocabularies(std::string& out) {
    if (!IsVocabularyIndexBuilt()) BuildVocabularyIndex();
    out = "<Vocabularies>";
    int count = 0;
    for (const auto& v : list_) {
        if (!v) continue;
        out += v->WriteHeader();
        ++count;
    }
    out += "</Vocabularies>";
    return count;
}

int CConfigFileIndex::FindVocabulary(uint32_t hardwareCode, uint32_t softwareCode,
                                     const CIdentity& identity) const {
    for (size_t i = 0; i < list_.size(); ++i) {
        const CVocabolario* v = list_[i].get();
        if (!v || v->sw != softwareCode || (hardwareCode != 0 && v->hw != hardwareCode)) continue;
        const CVersion& a = v->identity.version;
        const CVersion& b = identity.version;
        if (a.major == b.major && a.minor == b.minor && a.patch == b.patch && a.preState == b.preState &&
            a.preNumber == b.preNumber)
            return int(i);
    }
    return -1;
}

std::string CConfigFileIndex::GetVocabularyName(const CIdentity& identity) const {
    for (const auto& v : list_) {
        if (!v || v->identity.code != identity.code || !v->identity.IsEqual(identity)) continue;
        return v->identity.name.empty() ? v->descr : v->identity.name;
    }
    return {};
}

}  // namespace engine
