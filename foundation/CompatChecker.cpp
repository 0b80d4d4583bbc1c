#include "foundation/CompatChecker.h"

#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"

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
std::string CCompatChecker::ReadComponentTree(CXmlNode* parent, int depth, int* count) {
    int noResponse = -1;
    std::string error = Browse(kBrowseBeginEnumeration, -1, &noResponse);
    if (!error.empty()) return error;

    CXmlNode* components = nullptr;
    if (parent == nullptr) {
        components = &m_documents[0]->Root();
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
            std::string nestedError = ReadComponentTree(component, depth + 1, count);
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
