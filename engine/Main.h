#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/Channel.h"
#include "engine/Nodo.h"
#include "platform/Messages.h"
#include "platform/bstr/Bstr.h"
#include "transport/ErrorPair.h"

class CXmlDocument;
class CXmlNode;
class CVocabolario;
class CCompatChecker;
struct VocabularyItem;

// What GetNodeInfo hands out about the current node's vocabulary.
struct CNodeInfo {
    uint32_t version = 0;
    uint32_t hw = 0;
    uint32_t sw = 0;
    uint32_t swVersion = 0;
    std::string file;   // at most 259 bytes
    std::string descr;  // at most 255 bytes
};

// The communication engine: owns the channel list, the nodes connected on them and their
// vocabularies, and turns a read or write of a drive variable by name into a transfer.
class CMain {
  public:
    static constexpr int kMaxChannels = 100;
    static constexpr int kMaxNodes = 300;
    static constexpr unsigned kNotifyMessage = platform::WM_USER + 123;  // 1147
    static constexpr size_t kMaxErrorText = 254;

    explicit CMain(platform::WindowHandle owner);
    virtual ~CMain();
    CMain(const CMain&) = delete;
    CMain& operator=(const CMain&) = delete;

    // ---- error pair -------------------------------------------------------------------------
    void ClearError();
    // Stores code and text (cut to 254 bytes, never inside a UTF-8 sequence); returns the code.
    int SetError(int code, const std::string& text);
    // Stores only the code; the text stays as it is.
    int SetErrorCode(int code);
    int ErrorCode() const;
    std::string ErrorText() const;
    // The pair itself, handed to the channels that fill it on protocol failures.
    CErrorPair* ErrorPair() { return &errorPair_; }

    // ---- channel list ----------------------------------------------------------------------
    int CreateChannels(CChannelInfo& info);
    bool GetNextChannel(CChannelInfo& info);
    int AddChannel(const std::string& name, int type, const std::string& port);
    bool ChannelTest(uint8_t nodeAddress);
    void DestroyChannels();

    int ChannelCount() const { return channelCount_; }
    CChannel* Channel(int index) const;
    int CurrentChannel() const { return currentChannel_; }
    void SetCurrentChannel(int index) { currentChannel_ = index; }
    // -31 "wrong channel", -32/-33 "internal error:channel not found", or 0 with the record.
    int CheckChannel(int index, CChannel** out);

    platform::WindowHandle OwnerWindow() const { return ownerWindow_; }
    unsigned NotifyMessage() const { return notifyMessage_; }

    // Node-guard defaults copied by every node created afterwards.
    uint16_t defaultGuardTimeMs = 2000;
    uint8_t defaultLifeTimeFactor = 3;

    // ---- nodes -------------------------------------------------------------------------------
    int IdentifyNode(uint32_t* address, uint8_t nodeId, int* channelIndex, CCompatChecker& checker,
                     CNodeConnection* record, int* kind, uint32_t* wordOrder, uint16_t* build);
    int AddOrGetNode(uint32_t address, const CNodeConnection& record, uint16_t build, bool* created,
                     bool* changed, int channelIndex);
    int NodeConnect(CCompatChecker& checker, BSTR* description, uint32_t* address, uint8_t nodeId,
                    int channelIndex);
    int NodeReconnect(CCompatChecker& checker, BSTR* description, uint8_t nodeId, int channelIndex);
    int NodeConnectOffline(CCompatChecker& checker, BSTR* description, uint8_t nodeId, int channelIndex);
    int FindNode(uint8_t nodeId, int channelIndex);
    int FindNodeByAddress(uint32_t address, int channelIndex);
    int SelectNode(uint8_t nodeId, int channelIndex);
    void ReleaseNode(CNodo& node);
    void DeleteAllNodes();
    BSTR GetNodeDescription(CNodo& node, int kind);
    int BuildNodeXml(CXmlDocument& doc, CNodo* node);
    void BuildIdentityXml(CXmlNode& element, const CNodeConnection& record, uint16_t build,
                          uint32_t xmlVersion, const CXmlNode* clientList, const std::string& description);

    int NodeCount() const { return nodeCount_; }
    CNodo* Node(int slot) const;
    uint8_t CurrentNodeId() const { return currentNodeId_; }
    uint32_t CurrentNodeAddress() const { return currentNodeAddress_; }
    void SetCurrentNodeAddress(uint32_t address) { currentNodeAddress_ = address; }
    // Name of the drive variable that holds the last Modbus error of a node.
    std::string ModbusErrorName() const;

    // ---- named cells -------------------------------------------------------------------------
    int ReadCell(const std::string& name, uint32_t* value, uint8_t nodeId = 0, int channelIndex = -1);
    int WriteCell(const std::string& name, const uint32_t* value, uint8_t nodeId = 0, int channelIndex = -1);
    int ReadItem(bool wordOrder, const VocabularyItem& item, uint32_t* value, uint8_t nodeId,
                 int channelIndex);
    int WriteItem(bool wordOrder, const VocabularyItem& item, const uint32_t* value, uint8_t nodeId,
                  int channelIndex);
    int UploadCell(const std::string& name, void* buffer, uint32_t* byteCount);
    int DownloadCell(const std::string& name, const void* data, uint32_t byteCount);
    int ReadModbusBytes(uint16_t address, uint8_t byteCount, void* buffer, uint8_t nodeId, int channelIndex);
    int WriteModbusBytes(uint16_t address, uint8_t byteCount, const void* data);
    int GetNodeInfo(CNodeInfo& info);

    // SDO steps of the transfer threads.
    int SdoInitiateDownload(CChannel* channel, uint8_t nodeId, const VocabularyItem& item, const void* data,
                            uint32_t size);
    int SdoDownloadSegment(CChannel* channel, uint8_t nodeId, const void* data, uint32_t n, bool last);
    int SdoAbort(CChannel* channel, uint8_t nodeId, const VocabularyItem& item, uint32_t unused);
    int SdoInitiateUpload(CChannel* channel, uint8_t nodeId, const VocabularyItem& item, void* buffer,
                          uint32_t* size);
    int SdoUploadSegment(CChannel* channel, uint8_t nodeId, void* data, uint32_t* n, bool* last);
    int SdoRecover(CChannel* channel, uint8_t nodeId, uint32_t unused1, uint32_t unused2);
    bool AbortUpload();
    bool AbortDownload();

    // ---- parameters file of a simulated node -------------------------------------------------
    int LoadNodeParameterFile(CXmlDocument& document, platform::WindowHandle owner);
    int StoreParameter(const std::string& name, const std::string& value, CNodo& node,
                       CVocabolario& vocabulary, int channelType);

    // ---- vocabularies ------------------------------------------------------------------------
    int SelectVocabulary(CCompatChecker& checker, CNodo& node);
    void FreeVocabularies();
    std::vector<std::unique_ptr<CVocabolario>>& Vocabularies() { return vocabularies_; }
    CVocabolario* Vocabulary(int index) const;
    // Looks a name up in the vocabulary of the node for the channel type; null when absent.
    const VocabularyItem* FindItem(CNodo& node, const std::string& name, int channelType);

    // ---- node guard, groups and cyclic reads (their own files) ------------------------------
    bool StartNodeguard();
    bool StopNodeguard();
    int StopCyclicThread();
    int GroupRemoveAll();
    // Re-times the cyclic items after the current node or channel changed.
    void RetimeCyclicItems();

  private:
    int CheckCellAccess(int channelIndex, uint8_t nodeId, CChannel** channel, CNodo** node);
    int LockNodeForUse(CNodo& node);
    int ReleaseNewNode(int slot);

    platform::WindowHandle ownerWindow_;
    unsigned notifyMessage_ = kNotifyMessage;

    mutable std::mutex errorMutex_;
    CErrorPair errorPair_;

    std::array<std::unique_ptr<CChannel>, kMaxChannels> channels_;
    int channelCount_ = 0;
    int channelCursor_ = 0;
    int currentChannel_ = -1;

    std::array<std::unique_ptr<CNodo>, kMaxNodes> nodes_;
    int nodeCount_ = 0;
    uint8_t currentNodeId_ = 0;
    uint32_t currentNodeAddress_ = 0;

    std::vector<std::unique_ptr<CVocabolario>> vocabularies_;

    std::string modbusErrorName_ = "ModbusError";
    mutable std::mutex nameMutex_;

    // Transfer threads (domain upload and download) announce themselves here; aborts wait on them.
    std::atomic<bool> uploadRunning_{false};
    std::atomic<bool> downloadRunning_{false};
    std::atomic<bool> uploadAbort_{false};
    std::atomic<bool> downloadAbort_{false};
};
