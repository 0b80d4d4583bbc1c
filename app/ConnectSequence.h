#pragma once
// The main frame's connect sequence (its message 0x40A): the integrated start by the peer
// engineering tool, then the drive object's connection, then the device menu.

#include <string>

namespace app {

// What the sequence asks of the drive object and its peer-tool link.
class DriveConnection {
  public:
    virtual ~DriveConnection() = default;
    // Peer messages are answered from the "Qz=" file.
    virtual bool IsFileMode() const = 0;
    // Opens the peer tool's shared-memory channel ("name:size"); false when it can't be opened.
    virtual bool OpenPeerChannel(const std::string& channel) = 0;
    virtual void ClosePeerChannel() = 0;
    virtual bool RequestStartupInfo() = 0;
    // The request 21 "<SET_PELMORA_CONFIGURATION/>" or, in file mode, definition 21 of the file.
    virtual std::string RequestConfiguration() = 0;
    virtual std::string LastError() const = 0;
    virtual void SetLastError(const std::string& text) = 0;
    // The peer tool's own text (the caption of its errors).
    virtual std::string PeerText() const = 0;
    // Connection kind 3, then the whole connection; 7 means the user chose to leave.
    virtual int Connect() = 0;
};

// What the sequence asks of the frame.
class ConnectHost {
  public:
    virtual ~ConnectHost() = default;
    virtual void ShowError(const std::string& text, const std::string& caption) = 0;
    virtual void PostClose() = 0;
    virtual void SetIntegratedIcon() = 0;
    virtual void LoadDeviceMenu() = 0;
    virtual void ShowMessageBar() = 0;
};

enum class ConnectOutcome { Connected, StartupFailed, UserLeft };

// The channel text after "CwP=" up to the next blank or the end; empty when absent.
std::string FindPeerChannel(const std::string& rawCommandLine);

ConnectOutcome RunConnectSequence(DriveConnection& drive, ConnectHost& host,
                                  const std::string& rawCommandLine);

}  // namespace app
