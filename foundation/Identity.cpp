#include "foundation/Identity.h"

#include <algorithm>

#include "foundation/StrictNumber.h"
#include "foundation/XmlNode.h"

namespace foundation {

using strict_number::ParseDecimal;

namespace {

bool IsReservedName(const std::string& name) {
    return name == CXmlNode::kProcessingInstruction || name == CXmlNode::kComment ||
           name == CXmlNode::kCData || name == CXmlNode::kDeclaration;
}

// First child element of that name (a const walk that leaves the iteration state alone).
const CXmlNode* ChildNamed(const CXmlNode* node, std::string_view name) {
    if (node == nullptr) return nullptr;
    for (const CXmlNode* child : node->Children()) {
        if (child->Name() == name) return child;
    }
    return nullptr;
}

void ReadAttributesElement(const CXmlNode* attributes, std::vector<CAttribute>& out) {
    if (attributes == nullptr) return;
    for (const CXmlNode* child : attributes->Children()) {
        if (IsReservedName(child->Name())) continue;
        out.push_back({child->GetAttributeInt("code", 0), child->GetAttributeInt("value", 0)});
    }
}

}  // namespace

CIdentity::CIdentity(const CXmlNode* component) {
    ReadComponentNode(component);
}

void CIdentity::Clear() {
    code = -1;
    name.clear();
    version.Reset();
    attributes.clear();
}

void CIdentity::Set(int32_t newCode, int32_t major, int32_t minor, int32_t patch, int32_t role) {
    Clear();
    code = newCode;
    version.Set(major, minor, patch, 0, 0);
    if (role > 0) AddAttribute(kAttributeRole, role);
}

void CIdentity::SetLegacy(int32_t softwareCode, int32_t softwareVersion, uint16_t build, bool isFirmware) {
    Clear();
    code = softwareCode;
    version.major = softwareVersion;
    version.minor = 0;
    version.patch = 0;
    version.majorOnly = true;
    if (build != 0) {
        version.preState = kPrereleaseBeta;
        version.preNumber = build;
    }
    AddAttribute(kAttributeRole, isFirmware ? kRoleFirmware : kRoleBoot);
}

void CIdentity::ReadDeviceNode(const CXmlNode* node) {
    Clear();
    if (node == nullptr) return;
    std::string pver = node->GetAttribute("pver", "");
    if (pver.empty() || !ParseCompactText(pver) || !IsValid()) {
        SetLegacy(node->GetAttributeInt("sw", 0), node->GetAttributeInt("sw_ver", 0),
                  static_cast<uint16_t>(node->GetAttributeInt("build", 0)),
                  node->GetAttribute("type", "") == "fw");
    }
    name = node->GetAttribute("descr", "");
}

void CIdentity::ReadComponentNode(const CXmlNode* component) {
    Clear();
    if (component == nullptr) return;
    code = component->GetAttributeInt("code", 0);
    name = component->GetAttribute("name", "");
    version.ReadXml(ChildNamed(component, "Version"));
    ReadAttributesElement(ChildNamed(component, "Attributes"), attributes);
}

void CIdentity::ReadProductNode(const CXmlNode* node) {
    Clear();
    if (node == nullptr) return;
    if (const CXmlNode* product = ChildNamed(node, "Product")) {
        code = product->GetAttributeInt("code", 0);
        name = product->GetAttribute("name", "");
    }
    if (const CXmlNode* ver = ChildNamed(node, "Version")) {
        version.Set(ver->GetAttributeInt("major", -1), ver->GetAttributeInt("minor", -1),
                    ver->GetAttributeInt("patch", -1),
                    static_cast<uint32_t>(ver->GetAttributeInt("prestatus", 0)),
                    static_cast<uint32_t>(ver->GetAttributeInt("prenumber", 0)));
    }
    ReadAttributesElement(ChildNamed(node, "Attributes"), attributes);
}

void CIdentity::WriteComponentNode(CXmlNode* parent) const {
    if (parent == nullptr) return;
    CXmlNode* component = parent->AddChild("Component");
    component->SetAttributeInt("code", code);
    if (!name.empty()) component->SetAttribute("name", name);
    version.WriteXml(component);
    CXmlNode* list = component->AddChild("Attributes");
    for (const CAttribute& attribute : attributes) {
        CXmlNode* item = list->AddChild("Attribute");
        item->SetAttributeInt("code", attribute.code);
        item->SetAttributeInt("value", attribute.value);
    }
}

bool CIdentity::ParseCompactText(std::string_view text) {
    Clear();
    text = strict_number::Trim(text);
    if (text.empty()) return false;

    CIdentity parsed;
    size_t comma = text.find(',');
    if (comma == std::string_view::npos || comma == 0) return false;
    if (!ParseDecimal(text.substr(0, comma), &parsed.code)) return false;

    int position = static_cast<int>(comma + 1);
    if (!parsed.version.Parse(text, position)) return false;

    // Attribute pairs: ",code,value" each.
    while (position >= 0) {
        size_t start = static_cast<size_t>(position) + 1;
        size_t middle = text.find(',', start);
        if (middle == std::string_view::npos) return false;  // a code without value
        size_t end = text.find(',', middle + 1);
        if (end == std::string_view::npos) end = text.size();
        CAttribute attribute;
        if (!ParseDecimal(text.substr(start, middle - start), &attribute.code) ||
            !ParseDecimal(text.substr(middle + 1, end - middle - 1), &attribute.value)) {
            return false;
        }
        parsed.attributes.push_back(attribute);
        position = end < text.size() ? static_cast<int>(end) : -1;
    }
    *this = std::move(parsed);
    return true;
}

std::string CIdentity::GetCompactText() const {
    std::string text = std::to_string(code) + "," + version.GetCompactText();
    for (const CAttribute& attribute : attributes) {
        text += "," + std::to_string(attribute.code) + "," + std::to_string(attribute.value);
    }
    return text;
}

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Leading decimal digits of text as a non-negative 32-bit number; false when there are none or
// they do not fit.
bool TakeNumber(std::string_view& text, int32_t* value) {
    size_t count = 0;
    while (count < text.size() && IsDigit(text[count])) ++count;
    if (count == 0 || !ParseDecimal(text.substr(0, count), value)) return false;
    text.remove_prefix(count);
    return true;
}

}  // namespace

bool CIdentity::ParseText(std::string_view text) {
    Clear();
    // Drives hand the text in a fixed buffer: it ends at the first terminating zero.
    text = strict_number::Trim(text.substr(0, text.find('\0')));

    size_t first = text.find(' ');
    if (first == std::string_view::npos || first == 0) return false;
    size_t second = text.find(' ', first + 1);
    if (second == std::string_view::npos || second == first + 1) return false;

    CIdentity parsed;
    if (!ParseDecimal(text.substr(first + 1, second - first - 1), &parsed.code) || parsed.code < 0)
        return false;

    std::string_view rest = text.substr(second + 1);
    if (rest.substr(0, 2) != "v.") return false;
    rest.remove_prefix(2);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);

    CVersion& v = parsed.version;
    if (!TakeNumber(rest, &v.major)) return false;
    if (!rest.empty() && rest.front() == '.') {
        rest.remove_prefix(1);
        if (!TakeNumber(rest, &v.minor)) return false;
        if (!rest.empty() && rest.front() == '.') {
            rest.remove_prefix(1);
            if (!TakeNumber(rest, &v.patch)) return false;
            if (!rest.empty() && rest.front() == '-') {
                rest.remove_prefix(1);
                size_t letters = 0;
                while (letters < rest.size() && IsLetter(rest[letters])) ++letters;
                std::string_view word = rest.substr(0, letters);
                std::string_view digits = rest.substr(letters);
                if (letters == 0 || rest.size() > 19) return false;
                uint32_t number = 0;
                if (!digits.empty() && !ParseDecimal(digits, &number)) return false;
                static const struct {
                    const char* word;
                    uint32_t state;
                } kWords[] = {{"alpha", kPrereleaseAlpha},
                              {"beta", kPrereleaseBeta},
                              {"rc", kPrereleaseRc},
                              {"nb", kPrereleaseNb},
                              {"fake", kPrereleaseFake}};
                v.preState = kPrereleaseUnknown;
                v.preNumber = 0;
                for (const auto& known : kWords) {
                    if (word == known.word) {
                        v.preState = known.state;
                        v.preNumber = number;
                    }
                }
                rest = {};
            }
        }
    }
    if (!rest.empty()) return false;
    *this = std::move(parsed);
    return true;
}

bool CIdentity::IsEqual(const CIdentity& other) const {
    return code == other.code && version == other.version;
}

namespace {

// Rank of a prerelease state with equal numbers: release first, then rc, beta, alpha, then nb,
// fake and unknown states.
int StateRank(uint32_t state) {
    if (state == 0) return 1000;
    if (state <= kPrereleaseRc) return 100 + static_cast<int>(state);
    return 100 - static_cast<int>(std::min<uint32_t>(state, 99));
}

}  // namespace

bool CIdentity::IsVersionGreater(const CIdentity& other) const {
    const CVersion& a = version;
    const CVersion& b = other.version;
    if (a.major != b.major) return a.major > b.major;
    if (a.minor != b.minor) return a.minor > b.minor;
    if (a.patch != b.patch) return a.patch > b.patch;
    if (a.preState != b.preState) return StateRank(a.preState) > StateRank(b.preState);
    if (a.preState == 0) return false;
    return a.preNumber > b.preNumber;
}

int32_t CIdentity::GetRole() const {
    for (const CAttribute& attribute : attributes) {
        if (attribute.code == kAttributeRole) return attribute.value;
    }
    return -1;
}

std::string CIdentity::GetCodeVersionText() const {
    if (!IsValid()) return std::string();
    return std::to_string(code) + " v. " + version.GetText();
}

std::string CIdentity::GetDescription() const {
    std::string text = GetCodeVersionText();
    if (!text.empty()) text = GetRoleText(GetRole()) + text;
    if (!name.empty()) text += " - " + name;
    return text;
}

std::string CIdentity::GetFullText(bool withBrand) const {
    std::string text = GetCodeVersionText();
    if (!text.empty()) {
        for (const CAttribute& attribute : attributes) {
            if (attribute.code == kAttributeRole) {
                text = GetRoleText(attribute.value) + text;
            } else if (attribute.code == kAttributeBrand) {
                if (withBrand) text += " " + GetBrandText(attribute.value);
            } else {
                text += " '" + std::to_string(attribute.code) + "'='" + std::to_string(attribute.value) + "'";
            }
        }
    }
    if (!name.empty()) text += " - " + name;
    return text;
}

std::string GetRoleText(int32_t role) {
    switch (role) {
        case -1:
            return std::string();
        case kRoleHardware:
            return "Hardware ";
        case kRoleBoot:
            return "Boot ";
        case kRoleFirmware:
            return "Firmware ";
        case kRoleComponent:
            return "Component ";
        default:
            return "'" + std::to_string(role) + "' ";
    }
}

std::string GetBrandText(int32_t brand) {
    switch (brand) {
        case kBrandNone:
            return std::string();
        case 1:
        case kBrandVkr:
            return "Vkr";
        case kBrandOstrel:
            return "Ostrel";
        case kBrandHalvik:
            return "Halvik";
        case kBrandVarno:
            return "Varno";
        case kBrandKimbra:
            return "Kimbra";
        case kBrandDrovane:
            return "Drovane";
        default:
            return "brand='" + std::to_string(brand) + "'";
    }
}

}  // namespace foundation
