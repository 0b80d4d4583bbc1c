#include "foundation/CommFPQdFile.h"

#include "foundation/XmlDocument.h"

namespace foundation {

void CCommFPQdFile::SetConfigurationPath(const std::string& path) {
    const size_t separator = path.find_last_of("\\/");
    m_folder = separator == std::string::npos ? std::string() : path.substr(0, separator);
    m_fileName = separator == std::string::npos ? path : path.substr(separator + 1);
    constexpr std::string_view kExtension = ".xml";
    if (m_fileName.size() > kExtension.size() + 4 &&
        m_fileName.compare(m_fileName.size() - kExtension.size(), kExtension.size(), kExtension) == 0)
        m_fileName.resize(m_fileName.size() - kExtension.size());
    m_fromFiles = true;
}

std::filesystem::path CCommFPQdFile::InFolder(const std::string& fileName) const {
    if (m_folder.empty()) return std::filesystem::path(fileName);
    return std::filesystem::path(m_folder) / fileName;
}

std::filesystem::path CCommFPQdFile::DefinitionsFile() const {
    return InFolder(m_fileName + ".xml");
}

std::filesystem::path CCommFPQdFile::ConfigurationFile() const {
    return InFolder(m_fileName + ".Qz.xml");
}

std::string CCommFPQdFile::GetDefinition(int32_t code) const {
    CXmlDocument document;
    if (document.Load(DefinitionsFile()) != S_OK) return {};
    for (const CXmlNode* child : document.Root().Children()) {
        if (child->Name().empty() || child->Name()[0] == '!' || child->Name()[0] == '?') continue;  // markup
        if (child->GetAttributeInt("code", -1) != code) continue;
        // A text holding "]]>" is stored split over several CDATA sections: together one answer.
        std::string answer;
        for (const CXmlNode* part : child->Children())
            if (part->Name() == CXmlNode::kCData) answer += part->Value();
        return answer;
    }
    return {};
}

}  // namespace foundation
