#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Identity.h"
#include "platform/Messages.h"

namespace foundation {
class CCompatChecker;
class CXmlDocument;
class CXmlNode;
}  // namespace foundation

namespace engine {
class CMain;
class CMainApi;
}  // namespace engine

namespace drive {

class CQd;

// The connection kinds as the connection window and its dialogs number them. They are not the
// engine's channel types (engine::channel_type); engine::ChannelKindOfType is the one table
// between the two.
namespace connection_kind {
constexpr uint16_t kOffline = 0;
constexpr uint16_t kSerial = 1;
constexpr uint16_t kFurther2 = 2;
constexpr uint16_t kFurther3 = 3;
constexpr uint16_t kLibrary = 4;
constexpr uint16_t kBridge = 5;
constexpr uint16_t kTwinCat = 6;
constexpr uint16_t kBox = 7;
}  // namespace connection_kind

// One channel of the engine as the connect dialog lists it.
struct _CHANNELINFO {
    static constexpr size_t kNameSize = 100;

    uint32_t index = 0;
    // Always terminated; longer engine names are cut, never inside a UTF-8 sequence.
    std::array<char, kNameSize> name{};
    uint16_t type = 0;  // connection_kind
    uint8_t flag = 0;
    uint8_t present = 0;

    std::string Name() const { return name.data(); }
    void SetName(const std::string& text);
};

// What the connection window remembers of the connection: channel, port parameters, node,
// fieldbus addresses and the identity of the last drive.
struct CConnectionRecord {
    uint16_t channelType = connection_kind::kSerial;
    uint16_t timeout = 1000;
    uint32_t channelIndex = 0;
    std::string channelName = "COM1";
    std::string parametersFile;
    uint32_t sw = 0, hw = 0, swRev = 0, build = 0;
    foundation::CIdentity identity;
    std::string driveDescription;
    bool userParamFile = false;
    // Fieldbus library channel.
    uint32_t bridgeAddress = 0;  // a.b.c.d with a the most significant byte
    uint16_t bridgeSubnet = 2;
    uint16_t bridgeSubnetId = 0;
    uint16_t bridgeNodeId = 1;
    // Bridge and box channels.
    uint32_t bcAddress = 0;
    uint8_t bcSubnet = 2;
    uint8_t bcSubnetId = 1;
    uint16_t bcNodeId = 1001;
    uint32_t bcTimeout = 2000;
    // TCP port of the box; 0 is the standard Modbus TCP port. Not kept in the settings: it is
    // there so that a box on another port (a test box on loopback) can be reached.
    uint16_t boxPort = 0;
    std::array<uint8_t, 6> amsNetId{};
    uint32_t baudRate = 57600;
    uint8_t firstNode = 1, lastNode = 1, nodesToSearch = 1;
    uint8_t parity = 2, stopBits = 0, byteSize = 8;
    // bit 0 "NotifyWrongXml", bit 1 show the node list
    uint8_t flags = 1;
};

// The connect dialog of the application shell, built on the channel list and the record.
// Results: 1 connect, 2 cancel, 8 exit, -1 search on the bus coupler, -2 search on TwinCAT.
class CConnectDialog {
  public:
    virtual ~CConnectDialog() = default;
    virtual int Run(const std::vector<_CHANNELINFO>& channels, CConnectionRecord& record) = 0;
};

// State of the configuration-files index build as its progress dialog shows it.
struct CIndexProgress {
    bool shown = false;
    std::string title;  // item 502
    std::string text;   // item 663
    int32_t low = 0, high = 0, position = 0;
    bool barShown = false;
};

// The drive object's door to the communication engine: owns the engine, holds the connection
// record, parses connection strings, runs the connect steps, and reads and writes named cells.
// It is a message sink so that the engine's threads can report to the GUI thread by posting.
class CQdsWnd : public platform::MessageSink {
  public:
    // Reads and writes of named cells, as the window makes them (tests put a recorder in between).
    class CCellPort {
      public:
        virtual ~CCellPort() = default;
        virtual int ReadCell(const std::string& name, uint32_t* value) = 0;
        virtual int WriteCell(const std::string& name, uint32_t value) = 0;
        virtual std::string ErrorText() = 0;
    };

    static constexpr int kLockRetries = 3;
    static constexpr size_t kMaxEngineText = 499;

    CQdsWnd(CQd* drive, platform::WindowHandle owner);
    ~CQdsWnd() override;
    CQdsWnd(const CQdsWnd&) = delete;
    CQdsWnd& operator=(const CQdsWnd&) = delete;

    platform::WindowHandle Handle() const { return handle_; }
    void OnMessage(const platform::Message& message) override;

    int CreateEngine();
    engine::CMainApi* EngineApi() { return api_.get(); }
    engine::CMain* Engine();

    bool ParseConnectionString(std::string& text);
    int Connect(foundation::CCompatChecker& identity, foundation::CXmlDocument* configuration,
                bool automatic);
    int ConnectOffline(foundation::CCompatChecker& identity, int hardware,
                       const foundation::CIdentity* software, const std::string& parametersFile,
                       foundation::CXmlDocument* configuration);
    int CloseNode(bool shutDown);
    int ReadCell(const char* name, uint32_t* value);
    int WriteCell(const char* name, uint32_t value, uint32_t secondWord = 0);
    int GetVocabularyList(foundation::CXmlDocument& out);
    void ReadParamFileDevice(std::string& message, foundation::CXmlDocument& file,
                             foundation::CCompatChecker& identity);
    void LoadSettings(const foundation::CXmlNode& node);
    void SaveSettings(foundation::CXmlNode& node) const;
    bool StartNodeguardThread();

    // Refreshes the list from the engine's channel table (start of every connect).
    void RefreshChannelList();
    const std::vector<_CHANNELINFO>& Channels() const { return channels_; }

    CConnectionRecord& Record() { return record_; }
    const CConnectionRecord& Record() const { return record_; }
    void SetConnectionString(const std::string& text) { pendingConnection_ = text; }
    const std::string& PendingConnectionString() const { return pendingConnection_; }
    void SetConnectDialog(CConnectDialog* dialog) { connectDialog_ = dialog; }
    void SetCellPort(CCellPort* port) { cellPort_ = port; }
    // A window the engine may ask to close (its notice kind 3).
    void SetOpenDialog(platform::WindowHandle window) { openDialog_ = window; }
    // Called on the GUI thread when the engine asks for a reconnect of the node.
    void SetReconnectHandler(std::function<void(bool)> handler) { reconnect_ = std::move(handler); }
    // Where the engine's domain-upload notices (0x404) are forwarded, with the message they get.
    void SetForwardTarget(platform::WindowHandle window, unsigned message) {
        forwardWindow_ = window;
        forwardMessage_ = message;
    }
    // Identifies the node again after a drive restart: 0 the same node; -311 the engine lost it;
    // -304 no answer; -310 another node answers and the user wants a new connection; -20 the
    // user declines.
    int ReconnectNode(foundation::CCompatChecker& identity);

    // The engine's error text (or the cell port's, when one is set).
    std::string EngineErrorText();
    const std::string& LastMessage() const { return lastMessage_; }
    void SetLastMessage(const std::string& text) { lastMessage_ = text; }
    int32_t LastCode() const { return lastCode_; }
    bool IsOffline() const { return offline_ != 0; }
    void SetOffline(bool on) { offline_ = on ? 1 : 0; }
    const CIndexProgress& IndexProgress() const { return progress_; }
    // The parameters document of an offline connection (empty root when none was loaded).
    foundation::CXmlDocument& ParametersDocument() { return *parameters_; }

  private:
    int SelectStoredChannel();
    int ConfigureChannel();
    int FinishConnect(foundation::CCompatChecker& identity, foundation::CXmlDocument& configuration,
                      const std::string& answer, bool offlineConnect);
    void OnEngineNotice(uintptr_t code, intptr_t detail);
    void OnIndexProgress(intptr_t detail);
    int CellResult(const char* name, int code, bool write);

    CQd* drive_;
    platform::WindowHandle owner_;
    platform::WindowHandle handle_ = 0;
    std::string lastMessage_;
    std::unique_ptr<engine::CMainApi> api_;
    std::vector<_CHANNELINFO> channels_;
    CConnectionRecord record_;
    std::string pendingConnection_;
    platform::WindowHandle openDialog_ = 0;
    int32_t lastCode_ = 0;
    CIndexProgress progress_;
    uint32_t offline_ = 0;
    CConnectDialog* connectDialog_ = nullptr;
    CCellPort* cellPort_ = nullptr;
    std::function<void(bool)> reconnect_;
    std::unique_ptr<foundation::CXmlDocument> parameters_;
    platform::WindowHandle forwardWindow_ = 0;
    unsigned forwardMessage_ = 0;
};

// Description and identity text of a saved parameters file.
void ReadParamFileIdentity(std::string& description, const std::string& filePath,
                           foundation::CCompatChecker* identity, std::string& identityText);

}  // namespace drive
