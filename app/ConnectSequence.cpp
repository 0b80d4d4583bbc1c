#include "app/ConnectSequence.h"

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

}  // namespace app
