#include "engine/Vocabolario.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/ParameterRenameTable.h"
#include "foundation/Authorizations.h"
#include "foundation/BrandList.h"
#include "foundation/LogFile.h"
#include "foundation/ProgramFolders.h"
#include "foundation/ProgramSwitches.h"
#include "foundation/XmlText.h"
#include "platform/Folders.h"
#include "platform/Prompt.h"

using namespace foundation;

namespace engine {

namespace {

constexpr const char* kCorruptedCaption = "Configuration file corrupted";

bool StartsWithHexPrefix(std::string_view text) {
    return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// Reads an unsigned number the way the description files write it: hexadecimal after "0x"/"0X"
// when the text is longer than two characters, else decimal. Leading blanks and a sign are taken
// as the C library takes them. False when no digit was read.
bool ReadNumber(std::string_view text, uint32_t* value, size_t* consumed = nullptr) {
    std::string buffer(text);
    const bool hex = StartsWithHexPrefix(text);
    const char* begin = buffer.c_str();
    char* end = nullptr;
    const unsigned long long v = std::strtoull(begin, &end, hex ? 16 : 10);
    if (end == begin) return false;
    *value = uint32_t(v);
    if (consumed) *consumed = size_t(end - begin);
    return true;
}

// "index.sub" with the sub-index at most two digits; the sub-index stays 0 when missing.
void ReadBusAddress(std::string_view text, uint16_t* index, uint8_t* subIndex) {
    const bool hex = StartsWithHexPrefix(text);
    uint32_t first = 0;
    size_t used = 0;
    *index = 0;
    *subIndex = 0;
    if (!ReadNumber(text, &first, &used)) return;
    *index = uint16_t(first);
    if (used >= text.size() || text[used] != '.') return;
    uint32_t sub = 0;
    int digits = 0;
    for (size_t i = used + 1; i < text.size() && digits < 2; ++i, ++digits) {
        const char c = text[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            break;
        sub = sub * (hex ? 16 : 10) + uint32_t(d);
    }
    *subIndex = uint8_t(sub);
}

// Access from a "read"/"write" text: "0" none, "1" everyone, else the user-right condition.
void ReadAccess(const std::string& text, uint8_t bit, uint8_t* flags, uint16_t* level) {
    if (text == "0") {
        *flags &= uint8_t(~bit);
        *level = VocabularyItem::kNoAccessLevel;
    } else if (text == "1") {
        *flags |= bit;
        *level = 0;
    } else {
        int32_t required = 0;
        const bool holds = GetAuthorizations().CheckCondition(text, &required);
        if (holds)
            *flags |= bit;
        else
            *flags &= uint8_t(~bit);
        *level = uint16_t(required);
    }
}

int8_t ClassCode(const CXmlAttribute* attribute) {
    if (!attribute) return VocabularyItem::kClassNone;
    const std::string& v = attribute->Value();
    if (v == "setting") return VocabularyItem::kClassSetting;
    if (v == "command") return VocabularyItem::kClassCommand;
    if (v == "data") return VocabularyItem::kClassData;
    return VocabularyItem::kClassOther;
}

std::string Escaped(const std::string& text) {
    return EscapeXmlText(text, true);
}

}  // namespace

// --- construction and header ---

CVocabolario::CVocabolario(const std::string& brandName, uint32_t folderMode_, const std::string& fileName,
                           uint32_t brandCode_, bool severalVariants)
    : brandCode(brandCode_), folderMode(folderMode_), file(fileName), brand(brandName) {
    filter = (severalVariants || !g_DebugMode.load()) ? 1 : 0;
}

CVocabolario::~CVocabolario() {
    Clear();
}

void CVocabolario::ReadHeader(const CXmlNode& item, uint32_t version_, uint32_t xmlVer) {
    hw = uint32_t(item.GetAttributeInt("hw", 0));
    sw = uint32_t(item.GetAttributeInt("sw", 0));
    sw_ver = uint32_t(item.GetAttributeInt("sw_ver", 0));
    build = uint16_t(item.GetAttributeInt("build", 0));
    descr = item.GetAttribute("descr");
    minver = item.GetAttribute("minver");
    maxver = item.GetAttribute("maxver");
    recver = item.GetAttribute("recver");
    type = item.GetAttribute("type");
    hwdescr = item.GetAttribute("hwdescr");
    identity.ParseCompactText(item.GetAttribute("pver"));
    if (!identity.IsValid()) identity.SetLegacy(int32_t(sw), int32_t(sw_ver), build, type == "fw");
    hide = item.GetAttributeInt("hide", 0) != 0 ? 1 : 0;
    version = version_;
    xml_ver = xmlVer;
}

std::string CVocabolario::WriteHeader() const {
    char numbers[160];
    std::string out;
    out.reserve(descr.size() + file.size() + brand.size() + minver.size() + maxver.size() + recver.size() +
                type.size() + hwdescr.size() + 300);
    std::snprintf(numbers, sizeof numbers,
                  "<Voc hw=\"%lu\" sw=\"%lu\" sw_ver=\"%lu\" build=\"%u\" xml_ver=\"%lu\"", (unsigned long)hw,
                  (unsigned long)sw, (unsigned long)sw_ver, unsigned(build), (unsigned long)xml_ver);
    out += numbers;
    auto text = [&out](const char* name, const std::string& value) {
        out += ' ';
        out += name;
        out += "=\"";
        out += Escaped(value);
        out += '"';
    };
    text("descr", descr);
    text("file", file);
    text("brand", brand);
    std::snprintf(numbers, sizeof numbers, " nFw=\"%d\"", int(folderMode));
    out += numbers;
    text("minver", minver);
    text("maxver", maxver);
    text("recver", recver);
    text("type", type);
    text("hwdescr", hwdescr);
    if (identity.IsValid()) text("pver", identity.GetCompactText());
    if (hide) out += " hide=\"1\"";
    out += "/>";
    out.shrink_to_fit();
    return out;
}

std::filesystem::path CVocabolario::GetFilePath() const {
    return std::filesystem::path(GetBrandList().GetBrandFolder(brand.c_str(), int(folderMode))) / file;
}

// --- table ---

uint32_t CVocabolario::NameHash(std::string_view name) {
    uint32_t h = 1159241;
    for (char c : name) h ^= (h << 5) + (h >> 2) + uint32_t(int32_t(int8_t(c)));
    return h;
}

uint32_t CVocabolario::BucketCountFor(int32_t itemCount) {
    // About one bucket per 2.5 to 5 items; below 5 items one bucket (the logarithm is not taken
    // of zero or of fractions that round to nothing).
    if (itemCount < 5) return 1;
    const double k = std::log(0.2 * double(itemCount)) / std::log(2.0) + 1.0;
    const int16_t bits = int16_t(int32_t(k));
    if (bits <= 0) return 1;
    if (bits >= 31) return 1u << 30;
    return 1u << bits;
}

void CVocabolario::Clear() {
    std::lock_guard guard(lock_);
    table_ = Table{};
    cursorBucket_ = 0;
    cursorItem_ = nullptr;
}

uint32_t CVocabolario::ItemCount() const {
    std::lock_guard guard(lock_);
    return table_.count;
}

uint32_t CVocabolario::BucketCount() const {
    std::lock_guard guard(lock_);
    return uint32_t(table_.buckets.size());
}

std::vector<std::string> CVocabolario::ItemNamesInOrder() const {
    std::lock_guard guard(lock_);
    std::vector<std::string> names;
    names.reserve(table_.count);
    for (const Entry* head : table_.buckets)
        for (const Entry* e = head; e; e = e->next) names.push_back(e->item.name);
    return names;
}

// --- loading ---

uint32_t CVocabolario::Load() {
    Clear();
    CXmlDocument document;
    if (document.Load(GetFilePath()) != S_OK) return 0;
    return LoadDocument(document);
}

uint32_t CVocabolario::LoadDocument(CXmlDocument& document) {
    Clear();
    CXmlNode* work = &document.Root();
    CXmlNode* authorizations = work->FindNode("Authorizations");
    if (authorizations) {
        GetAuthorizations().LoadFromNode(authorizations);
        filter = 1;
    } else {
        GetAuthorizations().LoadDefaultList();
    }

    CXmlDocument filtered;
    if (filter) {
        CopyFiltered(document.Root(), filtered.Root());
        filtered.Root().SetAttribute("hw", std::to_string(hw));
        // A copy of what was really loaded, for looking into a drive's configuration.
        filtered.Save(platform::TempFolder() / (std::string("~") + kProgramName + ".xml"));
        work = &filtered.Root();
    }

    if (CXmlNode* clients = work->FindNode("ClientList"))
        clientList.Root().Copy(clients);
    else
        clientList.Root().Clear();

    const auto formatType = [work](const char* path) {
        const CXmlNode* node = work->FindNode(path);
        return node ? node->GetAttributeInt("FormatType", 0) : 0;
    };
    paramFileInfoFormatType = formatType("PARAMETERS_FILE\\INFO");
    paramFileParametersFormatType = formatType("PARAMETERS_FILE\\PARAMETERS");

    if (CXmlNode* modbus = work->FindNode("Modbus")) compact = uint8_t(modbus->GetAttributeInt("compact", 0));

    Table table;
    if (CXmlNode* dictionary = work->FindNode("DICTIONARY")) {
        int32_t count = 0;
        std::vector<const CXmlNode*> pending{dictionary};
        while (!pending.empty()) {
            const CXmlNode* n = pending.back();
            pending.pop_back();
            if (n->Name() == "ITEM") ++count;
            for (const CXmlNode* c : n->Children()) pending.push_back(c);
        }
        const uint32_t buckets = BucketCountFor(count);
        table.buckets.assign(buckets, nullptr);
        table.mask = buckets - 1;
        VocabularyItem scratch;
        ParseItems(*dictionary, table, scratch);
    }

    std::lock_guard guard(lock_);
    table_ = std::move(table);
    cursorBucket_ = 0;
    cursorItem_ = nullptr;
    return table_.count;
}

void CVocabolario::ParseItems(CXmlNode& root, Table& table, VocabularyItem& scratch) {
    // Depth first in document order; children of an ITEM are visited too. An explicit stack keeps
    // deeply nested files from exhausting the thread's stack.
    std::vector<std::pair<const CXmlNode*, size_t>> stack;
    if (root.Name() == "ITEM") ParseItem(root, table, scratch);
    stack.emplace_back(&root, 0);
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        if (next >= node->Children().size()) {
            stack.pop_back();
            continue;
        }
        const CXmlNode* child = node->Children()[next++];
        if (child->Name() == "ITEM") ParseItem(*child, table, scratch);
        if (!child->Children().empty()) stack.emplace_back(child, 0);
    }
}

void CVocabolario::ParseItem(const CXmlNode& e, Table& table, VocabularyItem& s) {
    if (const CXmlAttribute* id = e.FindAttribute("id")) {
        uint32_t value;
        if (ReadNumber(id->Value(), &value)) s.id = value;
    }

    s.name = e.GetAttribute("name");
    s.descr = e.GetAttribute("descr");
    if (s.name.empty()) {
        platform::Prompts().MessageBox("Item without name in file " + file + ":\r\n" + s.descr,
                                       kCorruptedCaption, platform::MB_OK);
        return;
    }
    s.title = e.GetAttribute("title");

    s.flags = VocabularyItem::kNoBusAddress;
    s.busIndex = 0;
    s.busSubIndex = 0;
    s.busAddress.clear();
    std::string bus = e.GetAttribute("fieldbusaddress");
    if (bus.empty()) bus = e.GetAttribute("canaddress");
    if (!bus.empty()) {
        s.busAddress = bus;
        ReadBusAddress(bus, &s.busIndex, &s.busSubIndex);
        s.flags &= uint8_t(~VocabularyItem::kNoBusAddress);
    }

    s.flags |= VocabularyItem::kNoModbusAddress;
    s.modbusAddress = 0;
    const std::string modbus = e.GetAttribute("modbusaddress");
    if (!modbus.empty()) {
        uint32_t value = 0;
        ReadNumber(modbus, &value);
        s.modbusAddress = uint16_t(value);
        s.flags &= uint8_t(~VocabularyItem::kNoModbusAddress);
    }

    ReadAccess(e.GetAttribute("read", "0"), VocabularyItem::kReadable, &s.flags, &s.readLevel);
    ReadAccess(e.GetAttribute("write", "0"), VocabularyItem::kWritable, &s.flags, &s.writeLevel);

    s.vocabularyCondition = e.GetAttribute("vocabulary", "1");
    s.signAndHidden = uint8_t((e.GetAttributeInt("signed", 0) & VocabularyItem::kSignMask) |
                              ((e.GetAttributeInt("hidden", 0) & 1) << 2));
    s.size = uint32_t(e.GetAttributeInt("size", 0));
    s.restore = e.GetAttributeInt("Restore", VocabularyItem::kDefaultRestore);

    std::string restoreCondition;
    if (e.FindAttribute("Restore1")) {
        s.restore = e.GetAttributeInt("Restore1", 0);
        restoreCondition = "I";
    } else if (e.FindAttribute("Restore2")) {
        s.restore = e.GetAttributeInt("Restore2", 0);
        restoreCondition = "F";
    }
    if (!restoreCondition.empty()) {
        if (e.GetAttributeBool("debug", false)) restoreCondition += ";debug";
        int32_t required = 0;
        if (GetAuthorizations().CheckCondition(restoreCondition, &required))
            s.flags |= VocabularyItem::kWritable;
        else
            s.flags &= uint8_t(~VocabularyItem::kWritable);
        s.writeLevel = uint16_t(required);
    }

    s.itemClass = ClassCode(e.FindAttribute("class"));

    const uint32_t bucket = NameHash(s.name) & table.mask;
    Entry** link = &table.buckets[bucket];
    for (; *link; link = &(*link)->next) {
        if ((*link)->item.name == s.name) {
            platform::Prompts().MessageBox("item name '" + s.name + "' duplicated in file " + file,
                                           kCorruptedCaption, platform::MB_OK);
            return;
        }
    }
    table.storage.push_back(Entry{s, nullptr});
    Entry* added = &table.storage.back();
    *link = added;
    ++table.count;
    if (added->item.modbusAddress != 0) table.byAddress[added->item.modbusAddress] = &added->item;
    table.byTitle[added->item.title.empty() ? added->item.name : added->item.title] = &added->item;
}

// --- filtering ---

bool CVocabolario::CopyFiltered(const CXmlNode& source, CXmlNode& target) const {
    bool hasList = false;
    if (!CheckHwCondition(source.GetAttribute("_cond"), hw, &hasList)) return false;
    {
        std::string auth = source.GetAttribute("auth");
        int32_t required = 0;
        if (!GetAuthorizations().CheckCondition(auth, &required)) return false;
    }
    target.SetName(source.Name());
    target.SetValue(source.Value());
    for (const CXmlAttribute* a : source.Attributes()) {
        if (a->Name() == "auth") continue;
        if (a->Name() == "_cond" && hasList) continue;
        target.SetAttribute(a->Name(), a->Value());
    }
    // Explicit stack: deeply nested files must not exhaust the thread's stack.
    struct Level {
        const CXmlNode* source;
        CXmlNode* target;
        size_t next;
    };
    std::vector<Level> stack{{&source, &target, 0}};
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.next >= level.source->Children().size()) {
            stack.pop_back();
            continue;
        }
        const CXmlNode* child = level.source->Children()[level.next++];
        bool childList = false;
        if (!CheckHwCondition(child->GetAttribute("_cond"), hw, &childList)) continue;
        std::string auth = child->GetAttribute("auth");
        int32_t required = 0;
        if (!GetAuthorizations().CheckCondition(auth, &required)) continue;
        CXmlNode* copy = level.target->AddChild(child->Name(), child->Value());
        for (const CXmlAttribute* a : child->Attributes()) {
            if (a->Name() == "auth") continue;
            if (a->Name() == "_cond" && childList) continue;
            copy->SetAttribute(a->Name(), a->Value());
        }
        if (!child->Children().empty()) stack.push_back({child, copy, 0});
    }
    return true;
}

// --- lookups ---

const VocabularyItem* CVocabolario::FindLocked(std::string_view name) {
    if (table_.buckets.empty()) return nullptr;
    Entry** head = &table_.buckets[NameHash(name) & table_.mask];
    for (Entry** link = head; *link; link = &(*link)->next) {
        Entry* e = *link;
        if (e->item.name == name) {
            if (link != head) {
                // Most recently found first.
                *link = e->next;
                e->next = *head;
                *head = e;
            }
            return &e->item;
        }
    }
    return nullptr;
}

const VocabularyItem* CVocabolario::FindItemByName(std::string_view name) {
    std::lock_guard guard(lock_);
    return FindLocked(name);
}

const VocabularyItem* CVocabolario::FindItem(std::string_view name, int channelType) {
    const VocabularyItem* item = FindItemByName(name);
    if (!item) {
        if (std::optional<std::string> entry = ParameterRenames().Find(std::string(name))) {
            auto trim = [](std::string_view t) {
                const size_t b = t.find_first_not_of(" \t\r\n");
                if (b == std::string_view::npos) return std::string_view{};
                const size_t e = t.find_last_not_of(" \t\r\n");
                return t.substr(b, e - b + 1);
            };
            std::string_view rest = *entry;
            item = FindItemByName(rest);
            size_t eq;
            while (!item && rest.size() > 1 && (eq = rest.find('=', 1)) != std::string_view::npos) {
                item = FindItemByName(trim(rest.substr(0, eq)));
                rest = trim(rest.substr(eq + 1));
            }
            if (!item && !rest.empty() && rest != std::string_view(*entry)) item = FindItemByName(rest);
        }
    }
    if (!item) {
        DebugLog().Write("Parameter '" + std::string(name) + "' not found");
        return nullptr;
    }
    switch (channelType) {
        case 0:
            return item;
        case 1:
        case 8:
            return item->modbusAddress != 0 ? item : nullptr;
        default:
            return item->HasBusAddress() ? item : nullptr;
    }
}

const VocabularyItem* CVocabolario::FindItemByModbusAddress(uint16_t address) const {
    std::lock_guard guard(lock_);
    auto it = table_.byAddress.find(address);
    return it == table_.byAddress.end() ? nullptr : it->second;
}

const VocabularyItem* CVocabolario::FindItemByTitle(std::string_view title) const {
    std::lock_guard guard(lock_);
    auto it = table_.byTitle.find(std::string(title));
    return it == table_.byTitle.end() ? nullptr : it->second;
}

int CVocabolario::GetNextItemXml(bool proceed, std::string& out) {
    std::unique_lock guard(lock_);
    if (!proceed) {
        cursorBucket_ = 0;
        cursorItem_ = table_.buckets.empty() ? nullptr : table_.buckets[0];
    }
    while (!cursorItem_) {
        if (cursorBucket_ + 1 >= table_.buckets.size()) return -1;
        cursorItem_ = table_.buckets[++cursorBucket_];
    }
    const VocabularyItem item = cursorItem_->item;
    cursorItem_ = cursorItem_->next;
    guard.unlock();

    bool vocab;
    if (item.vocabularyCondition == "0") {
        vocab = false;
    } else if (item.vocabularyCondition == "1") {
        vocab = true;
    } else {
        std::string condition = item.vocabularyCondition;
        int32_t required = 0;
        vocab = GetAuthorizations().CheckCondition(condition, &required);
    }
    CXmlDocument doc;
    CXmlNode& n = doc.Root();
    n.SetName("ITEM");
    n.SetAttribute("modbusaddress", std::to_string(item.modbusAddress));
    n.SetAttribute("busaddress", item.busAddress);
    n.SetAttribute("read", item.IsReadable() ? "True" : "False");
    n.SetAttribute("write", item.IsWritable() ? "True" : "False");
    n.SetAttribute("size", std::to_string(item.size));
    n.SetAttribute("signed", std::to_string(item.Sign()));
    n.SetAttribute("name", item.name);
    n.SetAttribute("title", item.title);
    n.SetAttribute("descr", item.descr);
    n.SetAttribute("restore", std::to_string(item.restore));
    n.SetAttribute("class", std::to_string(item.itemClass));
    n.SetAttribute("vocab", vocab ? "True" : "False");
    out.clear();
    doc.GetXml(out);
    return 0;
}

// --- free functions ---

bool CheckHwCondition(std::string_view condition, uint32_t hardwareCode, bool* hasHardwareList) {
    bool dummy;
    bool& hasList = hasHardwareList ? *hasHardwareList : dummy;
    hasList = true;
    if (condition.empty()) return true;
    if (!g_DebugMode.load() && condition.find("debug") != std::string_view::npos) return false;
    const size_t key = condition.find("hw=");
    if (key == std::string_view::npos) {
        hasList = false;
        return true;
    }
    const size_t open = condition.find('\'', key + 3);
    if (open == std::string_view::npos) return false;
    const size_t close = condition.find('\'', open + 1);
    if (close == std::string_view::npos) return false;
    std::string_view list = condition.substr(open + 1, close - open - 1);
    while (!list.empty()) {
        const size_t comma = list.find(',');
        std::string_view token = list.substr(0, comma);
        const size_t b = token.find_first_not_of(" \t");
        if (b != std::string_view::npos) {
            token.remove_prefix(b);
            uint32_t value = 0;
            size_t used = 0;
            std::string digits(token);
            char* end = nullptr;
            const unsigned long long v = std::strtoull(digits.c_str(), &end, 10);
            used = size_t(end - digits.c_str());
            value = uint32_t(v);
            if (used > 0 && value == hardwareCode) return true;
        }
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

void ReadClientVersions(const CXmlNode& client, std::string& minver, std::string& maxver,
                        std::string& recver) {
    auto join = [&client](const char* first, const char* second) {
        std::string text = client.GetAttribute(first);
        const std::string more = client.GetAttribute(second);
        if (!more.empty()) {
            text += ',';
            text += more;
        }
        return text;
    };
    minver = join("minVer", "minVersion");
    maxver = join("maxVer", "maxVersion");
    recver = join("recVer", "minVersionRecommended");
}

void ReadHardwareDescription(const CXmlNode& device, uint32_t hardwareCode, std::string& minver,
                             std::string& maxver, std::string& recver, std::string& descr, std::string& type,
                             std::string& hwdescr, int32_t& oem, CIdentity& identity, uint16_t& build,
                             bool& hide) {
    descr.clear();
    hwdescr.clear();
    minver.clear();
    maxver.clear();
    recver.clear();
    hide = false;
    identity.Clear();
    type = "fw";

    auto holds = [hardwareCode](const CXmlNode* n) {
        return CheckHwCondition(n->GetAttribute("_cond"), hardwareCode, nullptr);
    };
    bool haveDescr = false, haveHwDescr = false;
    for (const CXmlNode* c : device.Children()) {
        if (!haveDescr && c->Name() == "Description" && holds(c)) {
            descr = c->Value();
            haveDescr = true;
        } else if (!haveHwDescr && c->Name() == "HwDescription" && holds(c)) {
            hwdescr = c->Value();
            haveHwDescr = true;
        }
    }
    for (const CXmlNode* list : device.Children()) {
        if (list->Name() != "ClientList" || !holds(list)) continue;
        oem = list->GetAttributeInt("oem", oem);
        for (const CXmlNode* client : list->Children()) {
            if (client->Name() != "Client" || !holds(client) || client->GetAttribute("name") != "Orvalis")
                continue;
            ReadClientVersions(*client, minver, maxver, recver);
            if (const CXmlNode* t = client->FindNode("Data\\Type")) {
                type = t->Value();
                hide = t->GetAttributeBool("hide", false);
            }
            break;
        }
    }
    for (const CXmlNode* c : device.Children()) {
        if (c->Name() != "Identity" || !holds(c)) continue;
        identity.Clear();
        identity.ReadProductNode(c);
        if (identity.IsValid()) {
            if (identity.version.preState == kPrereleaseNone)
                build = 0;
            else if (build == 0)
                build = uint16_t(identity.version.preNumber);
            type = identity.GetRole() == kRoleBoot ? "boot" : "fw";
        }
    }
}

}  // namespace engine
