#pragma once
// The main frame's connect sequence (its message 0x40A): the integrated start by the peer
// engineering tool, then the drive object's connection, then the device menu.

#include <functional>
#include <string>

#include "foundation/CommCOIQd.h"

namespace drive {
class CQd;
}

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

// The sequence's side of the real drive object and of the peer-tool link that answers the peer
// engineering tool. The link lives here until the drive object holds one of its own.
class QdDriveConnection : public DriveConnection, public foundation::CVocabularyListSource {
  public:
    explicit QdDriveConnection(drive::CQd& drive);
    ~QdDriveConnection() override;
    QdDriveConnection(const QdDriveConnection&) = delete;
    QdDriveConnection& operator=(const QdDriveConnection&) = delete;

    // The "Qz=" path of the command line: from now on the peer's messages are answered from that
    // file. The text is taken (emptied); an empty one changes nothing.
    void TakePeerFile(std::string& path);
    // Working for the peer tool: file mode or an open peer channel.
    bool IsIntegrated() const;
    foundation::CCommCOIQd& Peer() { return peer_; }
    drive::CQd& Drive() { return drive_; }

    // The integrated close: asks whether to save a changed configuration (askSave true: Yes) and
    // hands the configuration back as the answer and the file mode say. A parameters file for
    // the peer tool is due when it returns true. Nothing without the peer's start-up
    // information: a start that failed has no configuration to hand back, and writing one would
    // replace the peer's file with an empty configuration.
    // deleteTempFile runs before the question, saveParamFile (with the peer's parameters file
    // name) before the configuration goes back.
    bool CloseIntegrated(const std::function<bool()>& askSave,
                         const std::function<void()>& deleteTempFile = {},
                         const std::function<void(const std::string&)>& saveParamFile = {});

    bool IsFileMode() const override;
    bool OpenPeerChannel(const std::string& channel) override;
    void ClosePeerChannel() override;
    bool RequestStartupInfo() override;
    std::string RequestConfiguration() override;
    std::string LastError() const override;
    void SetLastError(const std::string& text) override;
    std::string PeerText() const override;
    int Connect() override;

    // CVocabularyListSource: the start-up information lists the vocabularies the engine knows.
    int GetVocabularyList(foundation::CXmlDocument& list) override;

  private:
    drive::CQd& drive_;
    // The drive object's own link: one peer connection for the whole program.
    foundation::CCommCOIQd& peer_;
    bool started_ = false;
};

// What the integrated close does with the peer tool's configuration.
struct IntegratedCloseSteps {
    bool asked = false;
    bool saveParamFile = false;          // the parameters file goes back to the peer tool
    bool sendBackConfiguration = false;  // the configuration goes back (request 22 or the file)
    bool dropChanges = false;            // both change marks are cleared unsaved
};

// A changed parameters file or configuration with a parameters file name set is asked about
// (askSave: Yes); without changes, or without a file name, the configuration goes back in file
// mode only.
IntegratedCloseSteps DecideIntegratedClose(bool fileMode, bool paramFileChanged, bool configurationChanged,
                                           bool hasParamFileName, const std::function<bool()>& askSave);

}  // namespace app
