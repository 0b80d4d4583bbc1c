#include "foundation/Version.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"

namespace foundation {

void CVersion::WriteXml(CXmlNode* parent) const {
    if (parent == nullptr) return;
    CXmlNode* element = parent->AddChild("Version");
    element->SetAttributeInt("major", major);
    element->SetAttributeInt("minor", majorOnly ? -1 : minor);
    element->SetAttributeInt("patch", majorOnly ? -1 : patch);
    if (preState != 0) {
        CXmlNode* prerelease = element->AddChild("Prerelease");
        prerelease->SetAttributeInt("state", static_cast<int32_t>(preState));
        prerelease->SetAttributeInt("version", static_cast<int32_t>(preNumber));
    }
}

void CVersion::ReadXml(const CXmlNode* element) {
    Reset();
    if (element == nullptr) return;
    uint32_t state = 0;
    uint32_t number = 0;
    for (const CXmlNode* child : element->Children()) {
        if (child->Name() == "Prerelease") {
            state = static_cast<uint32_t>(child->GetAttributeInt("state", 0));
            number = static_cast<uint32_t>(child->GetAttributeInt("version", 0));
            break;
        }
    }
    Set(element->GetAttributeInt("major", -1), element->GetAttributeInt("minor", -1),
        element->GetAttributeInt("patch", -1), state, number);
}

bool ReadXmlTitleVersion(const std::string& fileName, std::string* title, std::string* version) {
    CXmlDocument document;
    if (document.Load(fileName) != S_OK) return false;
    std::string foundTitle;
    std::string foundVersion;
    for (const CXmlNode* child : document.Root().Children()) {
        if (child->Name() != "property") continue;
        std::string name = child->GetAttribute("name", "");
        if (name == "Title" && foundTitle.empty()) {
            foundTitle = child->GetAttribute("value", "");
        } else if (name == "Version" && foundVersion.empty()) {
            foundVersion = child->GetAttribute("value", "");
        }
    }
    if (title) *title = foundTitle;
    if (version) *version = foundVersion;
    return !foundTitle.empty() && !foundVersion.empty();
}

}  // namespace foundation
