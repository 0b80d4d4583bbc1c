#pragma once

#include <cstdint>
#include <string>

#include "linkora/LinkoraApi.h"
#include "platform/DynamicLibrary.h"

namespace foundation {
class CCompatChecker;
}  // namespace foundation

namespace transport {
struct NodeIdentRecord;
}  // namespace transport

namespace engine {

class CMain;
struct VocabularyItem;

// The engine's binding of the fieldbus channel library: loaded by file name when a channel is
// first connected, its 29 functions bound by name, one library channel per engine channel.
// No lock of its own: callers hold the node's lock.
class CLinkora {
  public:
    static constexpr int kNotLoaded = -10;
    static constexpr int kLibraryMissing = -11;
    static constexpr int kVendorCode = 6871;

    CLinkora(CMain& owner, std::string fileName);
    ~CLinkora();
    CLinkora(const CLinkora&) = delete;
    CLinkora& operator=(const CLinkora&) = delete;

    // Connection settings: server address (first number most significant), bus type
    // (1 Modbus, 2 CANopen, 4 EtherCAT), bus number, node id.
    uint32_t address = 0;
    uint32_t busType = 2;
    uint16_t busNumber = 0;
    uint8_t nodeId = 0;

    // Loads and binds when needed; false with the engine's error set.
    bool Load();
    bool IsLoaded() const { return fn_.loaded; }
    // The channel list's check, the engine's error left alone: 0 the file does not load, 1 it
    // loads but lacks a function, 2 all bind. A library loaded only for the check is unloaded.
    int Probe();

    bool Connect();
    bool CheckConnection();
    bool IsConnected();
    void DropChannel();
    std::string Definition() const;
    std::string GetLastErrorText();
    int ReportError(const std::string& prefix);
    // "%x.%x" of index and subindex (CANopen) or "%u" of the Modbus address; empty with -303.
    std::string GetItemAddress(const VocabularyItem& item);
    void RemoveDefaultGroup();
    int ConnectNode(foundation::CCompatChecker& checker, int32_t* channelOut,
                    transport::NodeIdentRecord& node, uint32_t* kind, uint8_t* flag, uint32_t* build);

    // Forwarders (kNotLoaded while the library is not loaded).
    int32_t Read(const std::string& name, void* buffer, int size, int mode, int* transferred,
                 int timeout = 0);
    int32_t Write(const std::string& name, const void* buffer, int size, int timeout, int mode,
                  int* transferred);
    int32_t CheckReadWrite(int32_t handle, uint32_t* value);
    int32_t ChannelStatus(uint32_t* status);
    int32_t ChannelReset(int mode);
    int32_t GroupCreate(LinkoraGroupCallback callback, void* context);
    int32_t GroupRemove(int32_t group);
    int32_t GroupRemoveAll();
    int32_t GroupExecute(int32_t group, uint32_t cycle);
    int32_t GroupStop(int32_t group);
    int32_t VariableAdd(int32_t group, const std::string& name, int direction, void* value, int size,
                        uint32_t* status, int32_t* sizeOut);
    int32_t VariableAddValue(int32_t group, const std::string& name, int direction, void* value,
                             uint32_t busType, uint32_t valueType, uint32_t* status, int32_t* sizeOut);
    int32_t VariableRemove(int32_t group, int32_t variable);
    int32_t VariableRemoveAll(int32_t group);

    // The compatibility checker's callbacks; the context is the CLinkora.
    static void VersionBrowse(std::string& errorText, void* context, int command, int parameter,
                              int* response);
    static void ReadIdentityBlock(std::string& errorText, void* context, uint32_t* code, uint32_t* major,
                                  uint32_t* minor, uint32_t* patch, uint32_t* preState, uint32_t* preNumber);

    int32_t Channel() const { return channel_; }
    int32_t LastResult() const { return lastResult_; }
    const std::string& LastError() const { return lastError_; }
    const std::string& FileName() const { return fileName_; }

  private:
    struct Functions {
        bool loaded = false;
#define LINKORA_FN(name) decltype(&::name) name = nullptr;
        LINKORA_EXPORTS(LINKORA_FN)
#undef LINKORA_FN
        decltype(&::ChannelSetOwnerWindow) ChannelSetOwnerWindow = nullptr;  // may be absent
    };

    bool Bind(std::string* missing);
    void Unload();
    int EnsureDefaultGroup();
    // Reads 2-byte objects of the default group in one run; statuses preset to `preset`.
    int ReadWords(const char* const* names, int count, uint16_t* values, uint32_t* status, uint32_t preset);
    int FailIdentification(int code);

    CMain& owner_;
    std::string fileName_;
    platform::DynamicLibrary library_;
    Functions fn_;
    std::string lastError_;
    int32_t lastResult_ = 0;
    int32_t channel_ = 0;
    int32_t defaultGroup_ = -1;
};

}  // namespace engine
