#include "foundation/CompatChecker.h"

#include <algorithm>

#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"

namespace foundation {

namespace {

// A device answers its own enumeration: bound what it can make us read, so that a device that
// never reports the end of a list cannot keep the identification busy for ever.
constexpr int kMaxComponents = 512;
constexpr int kMaxAttributes = 64;
constexpr int kMaxDepth = 8;

void CollectNested(const CXmlNode* component, std::vector<CIdentity>& out) {
    for (const CXmlNode* child : component->Children()) {
        if (child->Name() == "Components") {
            for (const CXmlNode* nested : child->Children()) {
                if (nested->Name() != "Component") continue;
                out.emplace_back(nested);
                CollectNested(nested, out);
            }
        }
    }
}

void NameComponents(CXmlNode* node, int32_t code, const std::string& name) {
    for (CXmlNode* child : node->Children()) {
        if (child->Name() == "Component" && child->GetAttributeInt("code", 0) == code) {
            child->SetAttribute("name", name);
        }
        NameComponents(child, code, name);
    }
}

}  // namespace

CCompatChecker::CCompatChecker() {
    for (auto& document : m_documents) document = std::make_unique<CXmlDocument>();
}

CCompatChecker::~CCompatChecker() = default;

void CCompatChecker::Reset() {
    m_state = kStateNone;
    m_hardware.Clear();
    m_firmware.Clear();
    m_boot.Clear();
    for (auto& document : m_documents) {
        document->Root().Clear();
        document->DocumentLevel().Clear();
    }
    m_side.clear();
    m_nested.clear();
    m_further.clear();
    m_keys.clear();
}

void CCompatChecker::StoreLink(void* context, CompatBrowseCallback browse, CompatIdentityCallback identity) {
    m_context = context;
    m_browse = browse;
    m_identity = identity;
    m_deviceLink = true;
}

std::string CCompatChecker::Browse(int command, int parameter, int* response) const {
    if (m_browse == nullptr) return "No version-browse access to the device";
    std::string error;
    m_browse(error, m_context, command, parameter, response);
    return error;
}

std::string CCompatChecker::InitFromText(const std::string& hardwareText, const std::string& firmwareText,
                                         void* context, CompatBrowseCallback browse,
                                         CompatIdentityCallback identity) {
    StoreLink(context, browse, identity);
    Reset();
    std::string error;
    if (!m_hardware.ParseText(hardwareText)) error = "Invalid hardware identity text '" + hardwareText + "'";
    if (!m_firmware.ParseText(firmwareText)) {
        if (!error.empty()) error += "; ";
        error += "Invalid firmware identity text '" + firmwareText + "'";
    }
    m_state = kStateFromText;
    return error;
}

std::string CCompatChecker::InitFromDevice(void* context, CompatBrowseCallback browse,
                                           CompatIdentityCallback identity) {
    StoreLink(context, browse, identity);
    Reset();
    int noResponse = -1;
    std::string error = Browse(kBrowseSelectDescription, 0, &noResponse);
    if (!error.empty()) return error;

    int count = 0;
    error = ReadComponentTree(nullptr, 0, &count);
    DeriveIdentities();
    m_state = m_defaultState;
    return error;
}

// Reads one enumeration of the device into a "Components" element: the main document's root when
// parent is null, else a child of the parent component.
std::string CCompatChecker::ReadComponentTree(CXmlNode* parent, int depth, int* count, int document) {
    int noResponse = -1;
    std::string error = Browse(kBrowseBeginEnumeration, -1, &noResponse);
    if (!error.empty()) return error;

    CXmlNode* components = nullptr;
    if (parent == nullptr) {
        components = &m_documents[document]->Root();
        components->SetName("Components");
    } else {
        components = parent->AddChild("Components");
    }

    int readHere = 0;
    std::string firstReadError;
    while (true) {
        if (m_identity == nullptr) {
            firstReadError = "No identity access to the device";
            break;
        }
        if (*count >= kMaxComponents) {
            error = "Too many components reported by the device";
            break;
        }
        uint32_t code = 0, major = 0, minor = 0, patch = 0, state = 0, number = 0;
        std::string readError;
        m_identity(readError, m_context, &code, &major, &minor, &patch, &state, &number);
        if (!readError.empty()) {
            firstReadError = readError;
            break;
        }
        ++*count;
        ++readHere;

        CXmlNode* component = components->AddChild("Component");
        component->SetAttributeInt("code", static_cast<int32_t>(code));
        CXmlNode* version = component->AddChild("Version");
        version->SetAttributeInt("major", static_cast<int32_t>(major));
        version->SetAttributeInt("minor", static_cast<int32_t>(minor));
        version->SetAttributeInt("patch", static_cast<int32_t>(patch));
        if (state > 0) {
            CXmlNode* prerelease = version->AddChild("Prerelease");
            prerelease->SetAttributeInt("state", static_cast<int32_t>(state));
            prerelease->SetAttributeInt("version", static_cast<int32_t>(number));
        }

        std::vector<int> codes;
        for (int index = 0; index < kMaxAttributes; ++index) {
            int attributeCode = 0;
            if (!Browse(kBrowseReadAttributeCode, index, &attributeCode).empty()) break;
            codes.push_back(attributeCode);
        }
        if (!codes.empty()) {
            CXmlNode* attributes = component->AddChild("Attributes");
            for (int attributeCode : codes) {
                int value = 0;
                if (!Browse(kBrowseReadAttributeValue, attributeCode, &value).empty()) continue;
                CXmlNode* attribute = attributes->AddChild("Attribute");
                attribute->SetAttributeInt("code", attributeCode);
                attribute->SetAttributeInt("value", value);
            }
        }

        if (m_defaultState == kStateRefreshed && depth + 1 < kMaxDepth) {
            std::string nestedError = ReadComponentTree(component, depth + 1, count, document);
            if (!nestedError.empty() && error.empty()) error = nestedError;
        }

        noResponse = -1;
        if (!Browse(kBrowseNextComponent, -1, &noResponse).empty()) break;
    }

    noResponse = -1;
    std::string endError = Browse(kBrowseEndEnumeration, -1, &noResponse);
    if (error.empty() && readHere == 0 && parent == nullptr) error = firstReadError;
    if (error.empty()) error = endError;
    return error;
}

void CCompatChecker::DeriveIdentities() {
    const CXmlNode& root = m_documents[0]->Root();
    for (const CXmlNode* component : root.Children()) {
        if (component->Name() != "Component") continue;
        CIdentity identity(component);
        switch (identity.GetRole()) {
            case kRoleHardware:
                m_hardware = identity;
                break;
            case kRoleBoot:
                m_boot = identity;
                break;
            case kRoleFirmware:
                m_firmware = identity;
                break;
            default:
                m_side.push_back(identity);
                break;
        }
        CollectNested(component, m_nested);
    }
}

void CCompatChecker::LoadComponents(const CXmlNode* components) {
    Reset();
    if (components == nullptr) return;
    CXmlNode& root = m_documents[0]->Root();
    root.Copy(components);
    root.SetName("Components");
    DeriveIdentities();
}

void CCompatChecker::InitFromLegacy(uint32_t hardwareCode, uint32_t hardwareVersion, uint32_t firmwareCode,
                                    uint32_t firmwareVersion, uint32_t firmwareBuild, uint32_t bootCode,
                                    uint32_t bootVersion, uint32_t bootBuild) {
    Reset();
    m_deviceLink = false;
    CXmlNode& root = m_documents[0]->Root();
    root.SetName("Components");

    auto build = [](CIdentity& identity, uint32_t code, uint32_t version, uint32_t buildNumber,
                    int32_t role) {
        identity.Set(static_cast<int32_t>(code), static_cast<int32_t>(version), -1, -1, role);
        if (buildNumber > 0) {
            identity.version.preState = kPrereleaseBeta;
            identity.version.preNumber = buildNumber;
        }
    };
    build(m_hardware, hardwareCode, hardwareVersion, 0, kRoleHardware);
    m_hardware.WriteComponentNode(&root);
    build(m_boot, bootCode, bootVersion, bootBuild, kRoleBoot);
    m_boot.WriteComponentNode(&root);
    if (firmwareCode != bootCode) {
        build(m_firmware, firmwareCode, firmwareVersion, firmwareBuild, kRoleFirmware);
        m_firmware.WriteComponentNode(&root);
    }
    m_state = m_defaultState;
}

CXmlNode* CCompatChecker::FindTopComponent(const CIdentity& identity) const {
    for (CXmlNode* component : m_documents[0]->Root().Children()) {
        if (component->Name() != "Component") continue;
        CIdentity candidate(component);
        if (candidate.code == identity.code && candidate.GetRole() == identity.GetRole()) return component;
    }
    return nullptr;
}

void CCompatChecker::MarkMajorOnly(CIdentity& identity, uint32_t major) {
    CVersion& v = identity.version;
    if (!identity.IsValid() || v.major < 0 || static_cast<uint32_t>(v.major) != major || v.minor != 0 ||
        v.patch != 0 || v.preState != 0 || v.majorOnly) {
        return;
    }
    v.majorOnly = true;
    if (CXmlNode* component = FindTopComponent(identity)) {
        for (CXmlNode* child : component->Children()) {
            if (child->Name() == "Version") {
                child->SetAttributeInt("minor", -1);
                child->SetAttributeInt("patch", -1);
                break;
            }
        }
    }
}

void CCompatChecker::SetBootMajorOnly(uint32_t major) {
    MarkMajorOnly(m_boot, major);
}

void CCompatChecker::SetHardwareMajorOnly(uint32_t major) {
    MarkMajorOnly(m_hardware, major);
}

const CIdentity* CCompatChecker::GetSoftwareIdentity() const {
    if (m_firmware.IsValid()) return &m_firmware;
    if (m_boot.IsValid()) return &m_boot;
    return nullptr;
}

void CCompatChecker::SetComponentName(const CIdentity& identity) {
    SetComponentName(identity.code, identity.name);
}

void CCompatChecker::SetComponentName(int32_t code, const std::string& name) {
    NameComponents(&m_documents[0]->Root(), code, name);
    for (CIdentity* identity : {&m_hardware, &m_firmware, &m_boot}) {
        if (identity->code == code) identity->name = name;
    }
    for (std::vector<CIdentity>* list : {&m_side, &m_nested}) {
        for (CIdentity& identity : *list) {
            if (identity.code == code) identity.name = name;
        }
    }
}

namespace {

constexpr const char* kSerialNumberCell = "System.Info.SerialNumber";
// Package component trees come from files: bound the nesting a damaged file can make us follow.
constexpr int kMaxPackageDepth = 32;

const CXmlNode* ChildNamed(const CXmlNode* node, const char* name) {
    if (node == nullptr) return nullptr;
    for (const CXmlNode* child : node->Children()) {
        if (child->Name() == name) return child;
    }
    return nullptr;
}

void CollectAll(const CXmlNode* node, std::vector<CIdentity>& out, int depth) {
    if (depth > kMaxPackageDepth) return;
    for (const CXmlNode* child : node->Children()) {
        if (child->Name() == "Component") out.emplace_back(child);
        CollectAll(child, out, depth + 1);
    }
}

// Gives a role-less identity the role of the device component with the same code.
CIdentity WithDeviceRole(const CIdentity& identity, const CIdentity* device) {
    CIdentity copy = identity;
    if (copy.GetRole() < 0 && device != nullptr && device->GetRole() >= 0) {
        copy.AddAttribute(kAttributeRole, device->GetRole());
    }
    return copy;
}

}  // namespace

void CCompatChecker::SetIdentities(const CIdentity& firmware, const CIdentity& hardware) {
    Reset();
    CXmlNode& root = m_documents[0]->Root();
    root.SetName("Components");
    m_firmware = firmware;
    m_hardware = hardware;
    // An unknown identity would only add an empty component to the tree.
    if (m_firmware.IsValid()) m_firmware.WriteComponentNode(&root);
    if (m_hardware.IsValid()) m_hardware.WriteComponentNode(&root);
}

std::string CCompatChecker::Refresh(CCompatDrive* drive) {
    m_defaultState = kStateRefreshed;
    if (drive != nullptr) {
        drive->PauseBackground();
        uint32_t serial = 0;
        if (drive->ReadCellU32(kSerialNumberCell, serial) != 0) serial = 0;
        m_serialNumber = serial;
        drive->ResumeBackground();
    }

    std::string error;
    if (m_deviceLink) {
        Reset();
        for (int document = 0; document < 3; ++document) {
            int noResponse = -1;
            error = Browse(kBrowseSelectDescription, document, &noResponse);
            if (!error.empty()) continue;
            int count = 0;
            ReadComponentTree(nullptr, 0, &count, document);
            if (document == 0) DeriveIdentities();
        }
        int noResponse = -1;
        error = Browse(kBrowseSelectDescription, 0, &noResponse);
        for (int document = 1; document < 3; ++document) {
            CollectAll(&m_documents[document]->Root(), m_further, 0);
        }
    }
    m_state = kStateRefreshed;
    return error;
}

std::string CCompatChecker::RefreshIfNeeded(CCompatDrive* drive) {
    if (m_state == kStateRefreshed) return std::string();
    return Refresh(drive);
}

const CIdentity* CCompatChecker::FindComponent(const CIdentity& wanted, bool* older) const {
    const CIdentity* match = nullptr;
    for (const CIdentity* identity : {&m_firmware, &m_boot, &m_hardware}) {
        if (identity->IsValid() && identity->code == wanted.code) {
            match = identity;
            break;
        }
    }
    for (const std::vector<CIdentity>* list : {&m_side, &m_nested}) {
        for (size_t i = 0; match == nullptr && i < list->size(); ++i) {
            if ((*list)[i].code == wanted.code) match = &(*list)[i];
        }
    }
    if (older != nullptr) *older = match != nullptr && wanted.IsVersionGreater(*match);
    return match;
}

const CCompatKey* CCompatChecker::GetKey(int32_t code) {
    auto found = m_keys.find(code);
    if (found != m_keys.end()) return &found->second;
    if (!m_deviceLink || m_key == nullptr || !CIdentity::IsValidCode(code)) return nullptr;

    int noResponse = -1;
    if (!Browse(kBrowseBeginKeys, -1, &noResponse).empty()) return nullptr;
    int32_t setby = 0;
    uint32_t major = 0, minor = 0, patch = 0, state = 0, number = 0;
    std::string error;
    m_key(error, m_context, code, &setby, &major, &minor, &patch, &state, &number);
    if (!error.empty()) return nullptr;
    CCompatKey& key = m_keys[code];
    key.setby = setby;
    key.minimum.code = code;
    key.minimum.version.Set(static_cast<int32_t>(major), static_cast<int32_t>(minor),
                            static_cast<int32_t>(patch), state, number);
    return &key;
}

std::string CCompatChecker::CheckParametersFile(const CXmlNode* compatibility) {
    if (compatibility == nullptr) return std::string();
    int format = compatibility->GetAttributeInt("FormatType", 1);
    if (format > 1) return "COMPATIBILITY FormatType " + std::to_string(format) + " not supported";

    for (const CXmlNode* item : compatibility->Children()) {
        if (item->Name().empty() || item->Name()[0] == '!' || item->Name()[0] == '?') continue;
        CIdentity wanted;
        wanted.code = item->GetAttributeInt("CmpKey", 0);
        if (CIdentity::IsValidCode(wanted.code)) {
            wanted.version.Set(item->GetAttributeInt("Major", -1), item->GetAttributeInt("Minor", -1),
                               item->GetAttributeInt("Patch", -1),
                               static_cast<uint32_t>(item->GetAttributeInt("PreStatus", 0)),
                               static_cast<uint32_t>(item->GetAttributeInt("PreNumber", 0)));
        } else {
            wanted.version.Set(item->GetAttributeInt("MinRev", 0), 0, 0, 0, 0);
        }
        bool older = false;
        const CIdentity* device = FindComponent(wanted, &older);
        if (device == nullptr)
            return "Parameters file requires " + wanted.GetDescription() + ", device hasn't it";
        if (older) {
            return "Parameters file requires " + wanted.GetDescription() + ", device has " +
                   device->GetDescription();
        }
    }
    return std::string();
}

std::string CCompatChecker::CheckDeviceRequirements(const CXmlNode* node) {
    std::vector<CIdentity> requirements;
    ReadCompatibilityData(node, requirements);
    for (const CIdentity& wanted : requirements) {
        bool older = false;
        const CIdentity* source = FindComponent(wanted, &older);
        if (source == nullptr) {
            return "Device requires " + wanted.GetDescription() +
                   ", the parameters come from a different device.";
        }
        if (older) {
            return "Device requires " + wanted.GetDescription() +
                   ", the parameters come from a device with " + source->GetDescription();
        }
    }
    return std::string();
}

std::string CCompatChecker::CheckFirmware(const CXmlDocument& package) {
    const CXmlNode& root = package.Root();
    if (const CXmlNode* compatibility = ChildNamed(&root, "Compatibility")) {
        for (const CXmlNode* entry : compatibility->Children()) {
            if (entry->Name().empty() || entry->Name()[0] == '!' || entry->Name()[0] == '?') continue;
            CIdentity wanted(entry);
            bool older = false;
            const CIdentity* device = FindComponent(wanted, &older);
            if (device == nullptr || !older) continue;
            int32_t setby = entry->GetAttributeInt("setby", 0);
            CIdentity setter;
            setter.code = setby;
            const CIdentity* setterDevice = FindComponent(setter, nullptr);
            std::string roleWord = setterDevice ? GetRoleText(setterDevice->GetRole()) : std::string();
            return "firmware:" + roleWord + std::to_string(setby) + " requires " +
                   WithDeviceRole(wanted, device).GetDescription() + ", device has " +
                   device->GetDescription();
        }
    }
    return CheckPackageComponent(ChildNamed(&root, "Component"), 0);
}

std::string CCompatChecker::CheckPackageComponent(const CXmlNode* component, int depth) {
    if (component == nullptr || depth > kMaxPackageDepth) return std::string();
    // Package components carry their identity in an "Identity" child; a bare nested "Component"
    // is read as the identity itself.
    const CXmlNode* identityNode = ChildNamed(component, "Identity");
    if (identityNode == nullptr && depth > 0) identityNode = component;
    if (identityNode != nullptr) {
        std::string error = CheckAgainstKey(CIdentity(identityNode));
        if (!error.empty()) return error;
    }
    if (const CXmlNode* components = ChildNamed(component, "Components")) {
        for (const CXmlNode* child : components->Children()) {
            if (child->Name() != "Component") continue;
            std::string error = CheckPackageComponent(child, depth + 1);
            if (!error.empty()) return error;
        }
    }
    return std::string();
}

std::string CCompatChecker::CheckAgainstKey(const CIdentity& identity) {
    if (!identity.IsValid()) return std::string();
    const CCompatKey* key = GetKey(identity.code);
    if (key == nullptr || key->setby < 1) return std::string();
    if (!key->minimum.IsVersionGreater(identity)) return std::string();

    const CIdentity* device = FindComponent(identity, nullptr);
    CIdentity setter;
    setter.code = key->setby;
    const CIdentity* setterDevice = FindComponent(setter, nullptr);
    std::string roleWord = setterDevice ? GetRoleText(setterDevice->GetRole()) : std::string();
    return "device:" + roleWord + std::to_string(key->setby) + " requires " +
           WithDeviceRole(key->minimum, device).GetDescription() + ", found " +
           WithDeviceRole(identity, device).GetDescription();
}

void CCompatChecker::WriteIdentity(const CIdentity& identity, CXmlNode* element) {
    if (element == nullptr) return;
    element->SetAttributeInt("Role", identity.GetRole());
    element->SetAttributeInt("Code", identity.code);
    element->SetAttributeInt("Major", identity.version.major);
    element->SetAttributeInt("Minor", identity.version.minor);
    element->SetAttributeInt("Patch", identity.version.patch);
    element->SetAttributeInt("PreStatus", static_cast<int32_t>(identity.version.preState));
    element->SetAttributeInt("PreNumber", static_cast<int32_t>(identity.version.preNumber));
    element->SetValue(identity.GetDescription());
}

void CCompatChecker::ReadCompatibilityData(const CXmlNode* node, std::vector<CIdentity>& identities) {
    const CXmlNode* block = ChildNamed(node, "COMPATIBILITY");
    if (block == nullptr) return;
    const int format = block->GetAttributeInt("FormatType", 0);
    for (const CXmlNode* data : block->Children()) {
        if (data->Name() != "DATA") continue;
        CIdentity identity;
        if (format >= 1) {
            identity.code = data->GetAttributeInt("CmpKey", 0);
            int32_t minRev = data->GetAttributeInt("MinRev", -1);
            if (minRev >= 0) identity.version.Set(minRev, -1, -1, 0, 0);
            int32_t major = data->GetAttributeInt("major", 0);
            if (major > 0) {
                auto nonNegative = [data](const char* name) {
                    return std::max(0, data->GetAttributeInt(name, 0));
                };
                int32_t minor = data->GetAttributeInt("minor", -1);
                int32_t patch = data->GetAttributeInt("patch", -1);
                identity.version.Set(major, minor < 0 ? -1 : minor, patch < 0 ? -1 : patch,
                                     static_cast<uint32_t>(nonNegative("prestatus")),
                                     static_cast<uint32_t>(nonNegative("prenumber")));
            }
        } else {
            int32_t minRev = data->GetAttributeInt("MinRev", 0);
            int32_t hardware = data->GetAttributeInt("HwCode", 0);
            int32_t software = data->GetAttributeInt("SwCode", 0);
            if (hardware != 0) {
                identity.Set(hardware, minRev, -1, -1, kRoleHardware);
            } else if (software != 0) {
                identity.Set(software, minRev, -1, -1, kRoleFirmware);
            }
        }
        if (identity.IsValid()) identities.push_back(identity);
    }
}

void CCompatChecker::FillTree(CCompatTreeCtrl* tree, CCompatTreeCtrl::Item parent,
                              const CXmlNode* components) const {
    if (tree == nullptr) return;
    if (components == nullptr) components = &m_documents[0]->Root();
    for (const CXmlNode* component : components->Children()) {
        if (component->Name() != "Component") continue;
        CCompatTreeCtrl::Item item =
            tree->InsertItem(CIdentity(component).GetFullText(false), parent, component);
        if (const CXmlNode* nested = ChildNamed(component, "Components")) FillTree(tree, item, nested);
    }
}

void CCompatChecker::AppendReport(std::string& text, int indent, const CXmlNode* components) const {
    if (components == nullptr) components = &m_documents[0]->Root();
    for (const CXmlNode* component : components->Children()) {
        if (component->Name() != "Component") continue;
        text += std::string(static_cast<size_t>(std::max(0, indent)), ' ') +
                CIdentity(component).GetFullText(true) + "\r\n";
        if (const CXmlNode* nested = ChildNamed(component, "Components"))
            AppendReport(text, indent + 3, nested);
    }
}

}  // namespace foundation
