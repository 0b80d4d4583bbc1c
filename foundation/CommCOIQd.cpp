#include "foundation/CommCOIQd.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "foundation/ProgramFolders.h"
#include "platform/Prompt.h"

namespace foundation {

namespace {

template <class... Values>
std::string Format(const char* format, Values... values) {
    const int length = std::snprintf(nullptr, 0, format, values...);
    if (length <= 0) return {};
    std::string text(size_t(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, values...);
    text.resize(size_t(length));
    return text;
}

int Ask(const std::string& text) {
    return platform::Prompts().MessageBox(text, kProgramName,
                                          platform::MB_YESNO | platform::MB_ICONEXCLAMATION);
}

// CDATA ends at "]]>": a text holding it is split over several sections, which XML readers
// join again.
void AddCDataSections(CXmlNode& node, const std::string& text) {
    size_t start = 0;
    for (size_t end = text.find("]]>"); end != std::string::npos; end = text.find("]]>", end + 1)) {
        node.AddCData(std::string_view(text).substr(start, end + 2 - start));
        start = end + 2;
    }
    node.AddCData(std::string_view(text).substr(start));
}

// An answer is read when it parses and holds an element: a text without any markup parses into
// an empty document, which is no answer at all.
bool LoadAnswer(CXmlDocument& document, const std::string& answer) {
    return document.LoadXml(answer) == S_OK && !document.Root().Name().empty();
}

}  // namespace

CCommCOIQd::CCommCOIQd(platform::Clock& clock) : m_channel(clock) {}

CCommCOIQd::~CCommCOIQd() = default;

bool CCommCOIQd::Exchange(int32_t code, const std::string& text, std::string& answer) {
    if (m_file.m_fromFiles) {
        answer = m_file.GetDefinition(code);
        return true;
    }
    return m_channel.Request(code, text, answer) == CCommFP::kOk;
}

bool CCommCOIQd::ReqGetStartupInfo() {
    m_lastError.clear();
    std::string answer;
    if (!Exchange(kReqGetStartupInfo,
                  Format("<GET_STARTUPINFO Version=\"%lu\"/>", (unsigned long)kStartupInfoVersion), answer))
        return false;

    CXmlDocument document;
    if (!LoadAnswer(document, answer)) {
        m_lastError = "Load configuration string failed";
        return false;
    }
    CXmlNode& root = document.Root();
    const std::string error = root.GetAttribute("Error", "");
    if (!error.empty()) {
        m_lastError = "GetAttribute('Error') returns: " + error;
        return false;
    }

    const CXmlNode* nodeInfo = root.FindNode("NODE_INFO");
    if (nodeInfo == nullptr) {
        m_lastError = "Node missing : NODE_INFO";
        return false;
    }
    const int32_t hardwareCode = nodeInfo->GetAttributeInt("HardwareCode", 0);
    m_hardwareCode = uint32_t(hardwareCode);
    const int32_t productCode = nodeInfo->GetAttributeInt("ProductCode", 0);
    const int32_t productVersion = nodeInfo->GetAttributeInt("ProducVersion", 0);
    if (productVersion != 0) {
        // The build travels as a 16-bit prerelease number; larger or negative values are held at
        // its limits instead of wrapping into another version.
        const int32_t beta = std::clamp(nodeInfo->GetAttributeInt("Beta", 0), 0, 0xFFFF);
        m_productIdentity.SetLegacy(productCode, productVersion, uint16_t(beta), true);
    } else {
        ChooseNewestKnownRelease(productCode);
    }
    // A negative hardware code is refused as well: it is no hardware code the drives report.
    if (!m_productIdentity.IsValid() || hardwareCode <= 0) {
        m_lastError = Format(
            "product code and/or product version and/or hardware code not greater than zero: %d; %d; %d",
            productCode, productVersion, hardwareCode);
        return false;
    }
    m_title = nodeInfo->GetAttribute("Title", "");

    const CXmlNode* paramFile = root.FindNode("PARAM_FILE");
    if (paramFile == nullptr) {
        m_lastError = "Node missing : PARAM_FILE";
        return false;
    }
    const std::string fileName = paramFile->GetAttribute("Filename", "");
    if (fileName.empty()) {
        m_lastError = "The parameters file name is missing! Connection is not possible!";
        return false;
    }
    const std::string location =
        m_file.m_fromFiles ? m_file.m_folder : paramFile->GetAttribute("Location", "");
    m_paramFile = location.empty() ? fileName : (std::filesystem::path(location) / fileName).string();

    if (!DecideParamFileCreation(paramFile->GetAttributeInt("Create", 1))) return false;

    const CXmlNode* definitions = root.FindNode("DEFINITIONS");
    if (definitions == nullptr) {
        m_lastError = "Node missing : DEFINITIONS";
        return false;
    }
    m_definitions.Root().Copy(definitions);
    return true;
}

void CCommCOIQd::ChooseNewestKnownRelease(int32_t productCode) {
    m_productIdentity.Clear();
    if (m_communication == nullptr) return;
    CXmlDocument list;
    if (m_communication->GetVocabularyList(list) < 0) return;
    bool found = false;
    for (const CXmlNode* entry : list.Root().Children()) {
        CIdentity identity;
        identity.ReadDeviceNode(entry);
        if (!identity.IsValid() || identity.version.preState != 0 || identity.code != productCode) continue;
        if (found && !identity.IsVersionGreater(m_productIdentity)) continue;
        m_productIdentity = identity;
        found = true;
    }
}

bool CCommCOIQd::DecideParamFileCreation(int32_t create) {
    std::error_code error;
    const bool exists = std::filesystem::exists(std::filesystem::path(m_paramFile), error);
    m_createDefaultParamFile = create != 0;
    bool result = true;
    if (create != 0 && exists) {
        if (Ask(Format("The parameters file: \"%s\" exists\nOverwrite it with default?",
                       m_paramFile.c_str())) != platform::IDYES) {
            m_createDefaultParamFile = false;
            m_paramFileChanged = true;
        }
    } else if (create == 0 && !exists) {
        if (Ask(Format("The parameters file: \"%s\" is missing.\nCreate default?", m_paramFile.c_str())) ==
            platform::IDYES)
            m_createDefaultParamFile = true;
        else
            result = false;
    }
    if (m_createDefaultParamFile) m_paramFileChanged = true;
    return result;
}

bool CCommCOIQd::ReqSetConfiguration() {
    std::string answer;
    if (!Exchange(kReqSetConfiguration, "<SET_PELMORA_CONFIGURATION/>", answer)) return false;
    CXmlDocument document;
    if (!LoadAnswer(document, answer)) {
        m_lastError = "Load configuration string failed";
        return false;
    }
    m_configuration.Root().Copy(&document.Root());
    m_configuration.DocumentLevel().Copy(&document.DocumentLevel());
    return true;
}

int32_t CCommCOIQd::ReqCanEndConfigure() {
    CXmlDocument document;
    document.Root().Copy(&m_pendingConfiguration.Root());
    CXmlNode& root = document.Root();
    root.SetName("CAN_END_CONFIGURE");
    root.SetAttribute("ParamFileDataChanged", Format("%ld", long(m_paramFileChanged ? 1 : 0)));
    root.SetAttribute("ConfQzDataChanged", Format("%ld", long(m_configurationChanged ? 1 : 0)));
    std::string text;
    if (document.GetXml(text) != S_OK) text = "<CAN_END_CONFIGURE Error=\"1\"/>";

    std::string answer;
    if (m_file.m_fromFiles)
        answer = "<CAN_END_CONFIGURE/>";
    else
        m_channel.Request(kReqCanEndConfigure, text, answer);

    CXmlDocument reply;
    if (!LoadAnswer(reply, answer)) {
        m_lastError = "Pelmora - CAN_END_CONFIGURE: xml string load error";
        return 1;
    }
    m_lastError = reply.Root().GetAttribute("Error", "");
    return m_lastError.empty() ? 0 : 2;
}

void CCommCOIQd::ReqGetBackConfiguration() {
    int32_t error = 0;
    std::string answer;
    m_configuration.Root().SetName("GET_PELMORA_CONFIGURATION");
    std::string text;
    if (m_configuration.GetXml(text) != S_OK) {
        error = -1;
    } else if (m_file.m_fromFiles) {
        CXmlDocument document;
        document.Root().SetName("PelmoraToFC");
        CXmlNode* request = document.Root().AddChild("Request");
        request->SetAttributeInt("code", kReqGetBackConfiguration);
        AddCDataSections(*request, text);
        answer = document.Save(m_file.ConfigurationFile()) == S_OK
                     ? "<GET_PELMORA_CONFIGURATION/>"
                     : "<GET_PELMORA_CONFIGURATION Error=\"1\"/>";
    } else {
        error = m_channel.Request(kReqGetBackConfiguration, text, answer);
    }

    std::string message;
    if (error != 0) {
        message = Format("0x%X: Error calling ReqGetBackConfiguration", unsigned(error));
    } else {
        CXmlDocument reply;
        // An answer that can't be read is no confirmation.
        if (!LoadAnswer(reply, answer))
            message = "Error calling ReqGetBackConfiguration: the answer can't be read";
        else
            message = reply.Root().GetAttribute("Error", "");
    }
    if (!message.empty()) platform::Prompts().MessageBox(message, kProgramName, platform::MB_OK);
}

}  // namespace foundation
