#include "app/ConnectSequence.h"

#include "drive/Qd.h"
#include "foundation/LogFile.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"

namespace app {

std::string FindPeerChannel(const std::string& raw) {
    const size_t at = raw.find("CwP=");
    if (at == std::string::npos) return {};
    const size_t begin = at + 4;
    const size_t end = raw.find(' ', begin);
    return raw.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

ConnectOutcome RunConnectSequence(DriveConnection& drive, ConnectHost& host, const std::string& raw) {
    bool integrated = drive.IsFileMode();
    if (!integrated) {
        const std::string channel = FindPeerChannel(raw);
        integrated = !channel.empty() && drive.OpenPeerChannel(channel);
    }
    if (integrated) {
        if (!drive.RequestStartupInfo()) {
            host.ShowError(drive.LastError(), "Pelmora integrated: " + drive.PeerText());
            if (!drive.IsFileMode()) drive.ClosePeerChannel();
            host.PostClose();
            return ConnectOutcome::StartupFailed;
        }
        host.SetIntegratedIcon();
        const std::string answer = drive.RequestConfiguration();
        foundation::CXmlDocument document;
        if (document.LoadXml(answer) < 0)
            drive.SetLastError("ReqGetConfigurationData: xml page configuration load error");
        else
            drive.SetLastError(document.Root().GetAttribute("Error", ""));
        // A configuration that can't be had is told; the connection goes on without it.
        if (!drive.LastError().empty())
            host.ShowError("ReqGetConfigurationData error: " + drive.LastError(), "");
    }
    if (drive.Connect() == 7) {
        host.PostClose();
        return ConnectOutcome::UserLeft;
    }
    host.LoadDeviceMenu();
    host.ShowMessageBar();
    return ConnectOutcome::Connected;
}

// ---------------------------------------------------------------- QdDriveConnection

QdDriveConnection::QdDriveConnection(drive::CQd& drive) : drive_(drive), peer_(drive.PeerLink()) {
    peer_.m_communication = this;
}

QdDriveConnection::~QdDriveConnection() {
    // The link's threads may still answer the peer: they go before the drive object does.
    if (peer_.m_channel.IsOpen()) peer_.m_channel.Close();
    peer_.m_communication = nullptr;
}

void QdDriveConnection::TakePeerFile(std::string& path) {
    if (path.empty()) return;
    drive_.SetHostConfigurationFile(path);
    path.clear();
}

bool QdDriveConnection::IsIntegrated() const {
    return drive_.IsHostMode();
}

bool QdDriveConnection::IsFileMode() const {
    return drive_.IsHostFileMode();
}

bool QdDriveConnection::OpenPeerChannel(const std::string& channel) {
    // A restart of the connection finds the channel of the start still open.
    if (peer_.m_channel.IsOpen()) return true;
    const int32_t rc = peer_.m_channel.Open(channel);
    if (rc != foundation::CCommFP::kOk)
        foundation::DebugLog().Write("peer channel '" + channel + "' not opened: " + std::to_string(rc));
    return rc == foundation::CCommFP::kOk;
}

void QdDriveConnection::ClosePeerChannel() {
    peer_.m_channel.Close();
}

bool QdDriveConnection::RequestStartupInfo() {
    started_ = peer_.ReqGetStartupInfo();
    return started_;
}

std::string QdDriveConnection::RequestConfiguration() {
    if (IsFileMode()) return peer_.m_file.GetDefinition(foundation::CCommCOIQd::kReqSetConfiguration);
    std::string answer;
    if (peer_.m_channel.Request(foundation::CCommCOIQd::kReqSetConfiguration, "<SET_PELMORA_CONFIGURATION/>",
                                answer) != foundation::CCommFP::kOk)
        answer.clear();
    return answer;
}

std::string QdDriveConnection::LastError() const {
    return peer_.m_lastError;
}

void QdDriveConnection::SetLastError(const std::string& text) {
    peer_.m_lastError = text;
}

std::string QdDriveConnection::PeerText() const {
    return peer_.m_title;
}

int QdDriveConnection::Connect() {
    return drive_.Connect();
}

int QdDriveConnection::GetVocabularyList(foundation::CXmlDocument& list) {
    return drive_.ConnectionWindow().GetVocabularyList(list);
}

bool QdDriveConnection::CloseIntegrated(const std::function<bool()>& askSave,
                                        const std::function<void()>& deleteTempFile,
                                        const std::function<void(const std::string&)>& saveParamFile) {
    if (!started_) return false;
    bool paramFileChanged = false, configurationChanged = false;
    {
        const auto lock = drive_.LockPeerState();
        paramFileChanged = peer_.m_paramFileChanged;
        configurationChanged = peer_.m_configurationChanged;
    }
    // The temporary copy of the parameters goes before the question: whatever the answer, the
    // session ends here.
    const std::function<bool()> ask = [&] {
        if (deleteTempFile) deleteTempFile();
        return askSave();
    };
    const IntegratedCloseSteps steps = DecideIntegratedClose(
        IsFileMode(), paramFileChanged, configurationChanged, !peer_.m_paramFile.empty(), ask);
    if (steps.dropChanges) {
        const auto lock = drive_.LockPeerState();
        peer_.m_paramFileChanged = peer_.m_configurationChanged = false;
    }
    if (steps.saveParamFile && saveParamFile) saveParamFile(peer_.m_paramFile);
    if (steps.sendBackConfiguration) {
        peer_.ReqGetBackConfiguration();
        const auto lock = drive_.LockPeerState();
        peer_.m_configurationChanged = false;
    }
    return steps.saveParamFile;
}

IntegratedCloseSteps DecideIntegratedClose(bool fileMode, bool paramFileChanged, bool configurationChanged,
                                           bool hasParamFileName, const std::function<bool()>& askSave) {
    IntegratedCloseSteps steps;
    if ((paramFileChanged || configurationChanged) && hasParamFileName) {
        steps.asked = true;
        if (askSave()) {
            steps.saveParamFile = paramFileChanged;
            steps.sendBackConfiguration = configurationChanged;
        } else {
            steps.dropChanges = true;
        }
    } else {
        steps.sendBackConfiguration = fileMode;
    }
    return steps;
}

}  // namespace app
