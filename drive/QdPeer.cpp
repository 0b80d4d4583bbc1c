#include "drive/QdPeer.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "drive/Qd.h"
#include "foundation/MessageIds.h"
#include "foundation/ProgramFolders.h"
#include "foundation/XmlDocument.h"
#include "platform/AtomicFile.h"
#include "platform/Host.h"
#include "platform/Messages.h"

namespace drive {

using namespace foundation;

namespace {

// Host request codes.
constexpr int32_t kHostGetInfo = 16;
constexpr int32_t kHostClose = 18;
constexpr int32_t kHostSaveParamFile = 19;
constexpr int32_t kHostCanEndConfigure = 20;
constexpr int32_t kHostGetConfiguration = 22;
constexpr int32_t kHostSetFocus = 24;
constexpr int kGetInfoVersion = 1;

constexpr const char* kConfigurationRoot = "GET_PELMORA_CONFIGURATION";

void HostCommand(void* context, int32_t code, std::string* /*request*/, std::string* answer) {
    static_cast<CQd*>(context)->AnswerHostCommand(code, *answer);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool StartsNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

// Characters that would end or open markup are written as entities in an attribute.
std::string AttributeText(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

CQdPeerLink::CQdPeerLink(CQd& drive) {
    m_channel.SetCallbacks(&drive, &HostCommand, nullptr);
}

std::string OnlineInfoConnectionString(const std::string& answer, const std::string& localHost) {
    CXmlDocument document;
    if (document.LoadXml(answer) != S_OK) return {};
    const CXmlNode& root = document.Root();
    if (root.Name().empty() || !root.GetAttribute("Error").empty()) return {};
    if (!EqualNoCase(root.GetAttribute("ChannelType"), "Linkora")) return {};
    if (localHost.empty() || !EqualNoCase(root.GetAttribute("GvtManServer"), localHost)) return {};

    const std::string target = root.GetAttribute("TargetIP");
    if (target.empty()) return {};
    std::string fieldbus = root.GetAttribute("FieldbusType");
    if (fieldbus.empty()) return {};
    if (StartsNoCase(fieldbus, "Can")) fieldbus = "Can";
    const std::string fieldbusId = root.GetAttribute("FieldbusID");
    if (fieldbusId.empty()) return {};
    const std::string node = root.GetAttribute("NodeID");
    if (node.empty()) return {};
    return "Linkora:TCPIP " + target + "," + fieldbus + " " + fieldbusId + ",Node " + node + ", Timeout 1000";
}

void CQd::SetHostConfigurationFile(const std::string& path) {
    peer_.m_file.SetConfigurationPath(path);
}

void CQd::SetHostParamFileHooks(std::function<int(const std::string&)> exporter,
                                std::function<std::string()> tempFileName) {
    hostParamExporter_ = std::move(exporter);
    hostTempParamFileName_ = std::move(tempFileName);
}

void CQd::AnswerHostCommand(int32_t code, std::string& answer) {
    // This runs on the link's thread: it reads flags and posts, and only the configuration
    // request touches a document.
    const std::lock_guard<std::mutex> lock(peerStateMutex_);
    switch (code) {
        case kHostGetInfo:
            answer = "<GETINFO Error=\"\" Version=\"" + std::to_string(kGetInfoVersion) + "\" />";
            return;
        case kHostClose:
            answer.clear();
            platform::PostMessage(owner_, platform::WM_CLOSE, 0, 0);
            return;
        case kHostSaveParamFile: {
            answer.clear();
            const platform::WindowHandle dialog = mainDialogWindow_.load();
            platform::PostMessage(dialog != 0 ? dialog : owner_, kMainDlgSaveParamFileForHostMessage, 0, 0);
            return;
        }
        case kHostCanEndConfigure: {
            std::string error;
            if (peer_.m_unconfirmedPageChanges)
                error = std::string("You have modified some ") + kProgramName +
                        " parameters.\nPlease confirm or cancel the current page.";
            answer = "<CAN_END_CONFIGURE Error=\"" + AttributeText(error) + "\" ParamFileDataChanged=\"" +
                     (peer_.m_paramFileChanged ? "1" : "0") + "\" ConfQzDataChanged=\"" +
                     (peer_.m_configurationChanged ? "1" : "0") + "\"/>";
            return;
        }
        case kHostGetConfiguration: {
            peer_.m_configuration.Root().SetName(kConfigurationRoot);
            std::string text;
            if (peer_.m_configuration.GetXml(text) != S_OK) {
                answer = std::string("<") + kConfigurationRoot + " Error=\"1\"/>";
                return;
            }
            answer = std::move(text);
            peer_.m_configurationChanged = false;
            return;
        }
        case kHostSetFocus:
            answer = "<SET_FOCUS Error=\"\" TheHwnd=\"\" />";
            return;
        default:
            answer = "unknown code: " + std::to_string(code);
            return;
    }
}

int CQd::SaveParamFileForHost(const std::string& fileName, std::string* resultText) {
    // 1: saved, with parameters that could not be read (the file is written all the same).
    const int rc = hostParamExporter_ ? hostParamExporter_(fileName)
                                      : ExportParametersFile(fileName, kParamSaveXml, true, true);
    const bool saved = rc == 0 || rc == 1;
    std::string error;
    if (!saved) {
        error = "Parameters file not saved";
    } else {
        std::string temp;
        if (hostTempParamFileName_)
            temp = hostTempParamFileName_();
        else
            GetTempParamFileName(temp);
        std::error_code ec;
        if (!temp.empty() && std::filesystem::exists(temp, ec)) {
            // The host's copy replaces the temporary one whole, or the temporary one stays.
            std::string data, why;
            if (!platform::ReadWholeFile(fileName, &data, &why) ||
                !platform::WriteFileAtomic(temp, data, &why))
                SetMessage("The temporary parameters file was not updated: " + why);
        }
        const std::lock_guard<std::mutex> lock(peerStateMutex_);
        peer_.m_paramFileChanged = false;
    }
    const std::string text =
        error.empty() ? "<SAVE_PARAM_FILE/>" : "<SAVE_PARAM_FILE Error=\"" + AttributeText(error) + "\"/>";
    if (resultText != nullptr) *resultText = text;
    if (!peer_.m_file.m_fromFiles) {
        std::string answer;
        peer_.m_channel.Request(CCommCOIQd::kReqSaveParamFile, text, answer);
    }
    return saved ? 0 : rc;
}

bool CQd::RequestOnlineInfo(std::string* resultText) {
    if (wnd_.Engine() == nullptr || !(peer_.m_file.m_fromFiles || peer_.m_channel.IsOpen())) return false;
    if (peer_.m_file.m_fromFiles) {
        if (resultText != nullptr)
            *resultText = "<GET_ONLINE_INFO Error=\"Not available in Zizivari simulation mode\"/>";
        return false;
    }
    std::string answer;
    if (peer_.m_channel.Request(CCommCOIQd::kReqGetOnlineInfo, "<GET_ONLINE_INFO/>", answer) != CCommFP::kOk)
        return false;
    if (resultText != nullptr) *resultText = answer;
    const std::string connection = OnlineInfoConnectionString(answer, platform::HostName());
    if (connection.empty()) return false;
    std::string parsed = connection;
    if (!wnd_.ParseConnectionString(parsed)) return false;
    // The connect that follows takes it instead of asking for a connection.
    wnd_.SetConnectionString(connection);
    return true;
}

}  // namespace drive
