#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/Channel.h"
#include "engine/ConfigFileIndex.h"
#include "engine/CyclicItems.h"
#include "engine/CyclicThread.h"
#include "engine/DownloadFw.h"
#include "engine/EngineError.h"
#include "engine/GroupRecords.h"
#include "engine/Groups.h"
#include "engine/NodeGuard.h"
#include "engine/NodeLock.h"
#include "engine/Nodo.h"
#include "engine/TransferThreads.h"
#include "foundation/MessageIds.h"
#include "platform/Clock.h"
#include "platform/Messages.h"
#include "platform/bstr/Bstr.h"
#include "transport/ErrorPair.h"

namespace foundation {
class CXmlDocument;
class CXmlNode;
class CCompatChecker;
}  // namespace foundation

namespace engine {

class CVocabolario;
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
// vocabularies, and turns a read or write of a drive variable by name into a transfer. Its groups,
// cyclic reads, node guard and transfer threads are member objects of their own; the methods
// here that name them forward to them.
class CMain {
  public:
    static constexpr int kMaxChannels = 100;
    static constexpr int kMaxNodes = 300;
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
    transport::CErrorPair* ErrorPair() { return error_.Pair(); }

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

    // Set: the user confirms a substitute description file for a device without its own.
    bool confirmSubstitution = true;
    // Node-guard defaults copied by every node created afterwards.
    uint16_t defaultGuardTimeMs = 2000;
    uint8_t defaultLifeTimeFactor = 3;

    // ---- nodes -------------------------------------------------------------------------------
    int IdentifyNode(uint32_t* address, uint8_t nodeId, int* channelIndex,
                     foundation::CCompatChecker& checker, CNodeConnection* record, int* kind,
                     uint32_t* wordOrder, uint16_t* build);
    int AddOrGetNode(uint32_t address, const CNodeConnection& record, uint16_t build, bool* created,
                     bool* changed, int channelIndex);
    int NodeConnect(foundation::CCompatChecker& checker, BSTR* description, uint32_t* address, uint8_t nodeId,
                    int channelIndex);
    int NodeReconnect(foundation::CCompatChecker& checker, BSTR* description, uint8_t nodeId,
                      int channelIndex);
    int NodeConnectOffline(foundation::CCompatChecker& checker, BSTR* description, uint8_t nodeId,
                           int channelIndex);
    int FindNode(uint8_t nodeId, int channelIndex);
    int FindNodeByAddress(uint32_t address, int channelIndex);
    int SelectNode(uint8_t nodeId, int channelIndex);
    void ReleaseNode(CNodo& node);
    void DeleteAllNodes();
    BSTR GetNodeDescription(CNodo& node, int kind);
    int BuildNodeXml(foundation::CXmlDocument& doc, CNodo* node);
    void BuildIdentityXml(foundation::CXmlNode& element, const CNodeConnection& record, uint16_t build,
                          uint32_t xmlVersion, const foundation::CXmlNode* clientList,
                          const std::string& description);

    int NodeCount() const { return nodeCount_; }
    CNodo* Node(int slot) const;
    // Node without side effects on the error pair; null when absent.
    CNodo* FindNodeQuiet(uint8_t nodeId, int channelIndex) const;
    CNodo* FindNodeByAddressQuiet(uint32_t address, int channelIndex) const;
    // Holds the node for a single operation; empty, with "node busy" (or "node busy in
    // downloading or uploading") recorded and carried, when it cannot be had.
    CNodeLock LockNodeForUse(CNodo& node);
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

    // Domain upload on a worker thread, notified to window with foundation::kDomainUploadMessage
    // (codes 24 start, 21 progress, 22 done, 23 error). size 0: bufferOrFile is a file name
    // (const char*).
    int StartDomainUpload(const std::string& name, void* bufferOrFile, platform::WindowHandle window,
                          uint32_t reserved, uint32_t size);
    // Aborts a running block transfer on the current channel.
    int AbortDownUpload();
    // A rolling counter 1..bound posted every 200 ms while a transfer of unknown progress runs.
    bool StartProgressTicker(platform::WindowHandle window, unsigned message, uintptr_t code, uint32_t bound);
    void StopProgressTicker();
    bool UploadRunning() const { return transfers_.UploadRunning(); }
    bool WaitUploadEnd(uint32_t limitMs, int* result) { return transfers_.WaitUploadEnd(limitMs, result); }
    // Several domains of the current node into buffers on one upload thread (see
    // CTransferThreads::StartDomainUploads); WaitUploadPart follows them one by one.
    int StartDomainUploads(const std::vector<DomainUploadPart>& parts, platform::WindowHandle window) {
        return transfers_.StartDomainUploads(parts, window);
    }
    bool WaitUploadPart(size_t index, uint32_t limitMs, int* result) {
        return transfers_.WaitUploadPart(index, limitMs, result);
    }

    // Firmware: a prepare thread loads the file, a download thread writes it into
    // "download_firmware" of the prepared node, both notifying with foundation::kFirmwareDownloadMessage.
    int StartFirmwarePrepare(const std::string& fileName, platform::WindowHandle window, uint32_t reserved,
                             bool enable);
    int StartFirmwareDownload();
    void FreeDownloadData();
    // The firmware dialog's download of its own descriptor, on the caller's thread.
    int DownloadFirmware(CDownloadFw& fw);
    // ThreadAbortDownUpload: aborts the running transfer after delayMs unless stopped first.
    bool StartAbortDownUpload(uint32_t delayMs) { return transfers_.StartAbortDownUpload(delayMs); }
    void StopAbortDownUpload() { transfers_.StopAbortDownUpload(); }
    bool FirmwareThreadsRunning() const { return transfers_.FirmwareThreadsRunning(); }
    // Waits for both firmware threads to end.
    void JoinFirmwareThreads();
    CDownloadFw& DownloadDescriptor() { return transfers_.DownloadDescriptor(); }
    uint32_t UploadRate() const { return transfers_.UploadRate(); }

    // ---- parameters file of a simulated node -------------------------------------------------
    int LoadNodeParameterFile(foundation::CXmlDocument& document, platform::WindowHandle owner);
    int StoreParameter(const std::string& name, const std::string& value, CNodo& node,
                       CVocabolario& vocabulary, int channelType);

    // ---- vocabularies ------------------------------------------------------------------------
    int SelectVocabulary(foundation::CCompatChecker& checker, CNodo& node);
    void FreeVocabularies();
    // The list of known vocabularies, built from the configuration-file index.
    CConfigFileIndex& VocabularyIndex() { return vocabularyIndex_; }
    CVocabolario* Vocabulary(int index) const;
    // Looks a name up in the vocabulary of the node for the channel type; null when absent.
    const VocabularyItem* FindItem(CNodo& node, const std::string& name, int channelType);

    // ---- node guard, groups and cyclic reads ---------------------------------------------------
    bool StartNodeguard();
    // Stops the guard and waits for its end (it looks at its stop at least every 100 ms); true.
    bool StopNodeguard();
    int StopCyclicThread();
    int GroupRemoveAll();
    // Re-times the cyclic items after the current node or channel changed.
    void RetimeCyclicItems();

    // Own groups (serial, box, offline) are kept by the engine; library, bridge and ADS groups go
    // to the channel's driver through CGroupChannel.
    int GroupCreate(uint32_t unused1, uint32_t unused2, platform::WindowHandle window, unsigned message);
    int GroupRemove(int group);
    int GroupExecute(int group, int cyclic, int32_t cycleMs);
    int GroupStop(int group);
    int GroupExecuteOnce(uint32_t unused1, uint32_t unused2, int group);
    int ExecuteDefaultGroup();
    int GroupClear(int* group);
    int VariableAdd(uint32_t unused1, uint32_t unused2, int* group, const std::string& name, int direction,
                    void* value, int32_t size, void* result, uint32_t* extra);
    int GroupAddCell(int group, const std::string& name, int direction, void* value, int32_t size);
    int GroupAddReadCell(int group, const std::string& name, CCellHolder* holder);
    int GroupAddCellValue(int group, const std::string& name, uint32_t unused, CCellHolder* holder,
                          uint32_t flags, int32_t size);
    int VariableRemove(int group, int variable);
    int VariableRemoveAll(int group);
    bool GroupExists(int group);
    // Handed to the library's GroupCreate; runs on the library's thread.
    static void GroupCallback(uint32_t value1, uint32_t value2, void* context);
    int DefaultGroup() const { return groups_.Default(); }
    int* DefaultGroupRef() { return groups_.DefaultRef(); }
    // Library notify records, by GroupBridgeKey.
    CGroupBridge* FindGroupBridge(int group);

    int AddCyclicItem(const VocabularyItem& item, void* value, const CCyclicItemRequest& request,
                      uint8_t nodeId, int channelIndex, bool write);
    int AddGroupToCyclicItems(CGroup& group);
    int StartCyclicThread();
    int PauseCyclicThread();
    int ResumeCyclicThread();
    void FreeCyclicItems();
    void LogCyclicGroups(int n);
    // State of the cyclic thread (0 stop, 1 run, 2 pause), passes made, entries of the table.
    int CyclicThreadState() const { return cyclic_.State(); }
    uint64_t CyclicPassCount() const { return cyclic_.Passes(); }
    size_t CyclicItemCount();
    bool CyclicThreadRunning() const { return cyclic_.Running(); }

    int ArmNodeGuard(CChannel& channel, CNodo& node);
    // Stops the guard and waits for its end; true when it was running.
    bool PauseNodeguard();
    bool NodeguardRunning() const { return guard_.Running(); }
    uint64_t NodeguardPassCount() const { return guard_.Passes(); }
    // Waits, without limit, for the guard and the cyclic thread to end (before nodes are freed).
    void JoinBackgroundThreads();
    // Time source of the guard and the cyclic schedule (tests inject a fake one).
    void SetBackgroundClock(platform::Clock& clock);

  private:
    // Channel and node of a single-cell operation.
    CNodeLock CheckCellAccess(int channelIndex, uint8_t nodeId, CChannel** channel);
    // Node and vocabulary item of a named single-cell operation.
    CNodeLock CheckCellItem(const std::string& name, int channelIndex, uint8_t nodeId,
                            const VocabularyItem** item);
    // Takes a node out of its channel's and vocabulary's counts and clears its identity.
    void ForgetNode(CNodo& node);
    // Frees a node slot after a failed connection.
    void ReleaseNewNode(CNodeLock held, int slot);

    platform::WindowHandle ownerWindow_;
    unsigned notifyMessage_ = foundation::kEngineNotifyMessage;

    CEngineError error_;

    // The channel and node tables change only on the caller's thread, with the node guard and the
    // cyclic thread paused: the background threads read them without a lock.
    std::array<std::unique_ptr<CChannel>, kMaxChannels> channels_;
    int channelCount_ = 0;
    int channelCursor_ = 0;
    // Read by the cyclic thread while callers select another node or channel.
    std::atomic<int> currentChannel_{-1};

    std::array<std::unique_ptr<CNodo>, kMaxNodes> nodes_;
    int nodeCount_ = 0;
    std::atomic<uint8_t> currentNodeId_{0};
    uint32_t currentNodeAddress_ = 0;

    CConfigFileIndex vocabularyIndex_;

    mutable std::mutex nameMutex_;
    std::string modbusErrorName_ = "ModbusError";  // nameMutex_

    // Declared after everything their threads use, so that they are joined before it goes.
    CCyclicThread cyclic_{*this};
    CGroups groups_{*this, cyclic_};
    CNodeGuard guard_{*this};
    CTransferThreads transfers_{*this};
};

}  // namespace engine
