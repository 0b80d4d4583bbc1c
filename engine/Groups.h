#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/GroupRecords.h"
#include "platform/Messages.h"

namespace engine {

class CMain;
class CCyclicThread;
class CGroupChannel;
struct CChannel;

// The engine's groups. Own groups (serial, box, offline) are kept here and read through the
// cyclic thread; library, bridge and ADS groups go to the channel's driver through CGroupChannel.
class CGroups {
  public:
    CGroups(CMain& engine, CCyclicThread& cyclic);
    CGroups(const CGroups&) = delete;
    CGroups& operator=(const CGroups&) = delete;

    int Create(platform::WindowHandle window, unsigned message);
    int Remove(int group);
    int RemoveAll();
    int Execute(int group, int cyclic, int32_t cycleMs);
    int Stop(int group);
    int ExecuteOnce(int group);
    int ExecuteDefault();
    int Clear(int* group);
    int VariableAdd(int* group, const std::string& name, int direction, void* value, int32_t size,
                    void* result, uint32_t* extra);
    // What AddCell adds: a plain cell, a cell holder that is read, a holder with a value size.
    enum Variant { kPlainCell = 0, kReadHolder = 1, kValueHolder = 2 };
    int AddCell(int group, const std::string& name, int direction, void* value, int32_t size,
                CCellHolder* holder, Variant variant);
    int VariableRemove(int group, int variable);
    int VariableRemoveAll(int group);
    bool Exists(int group);
    CGroupBridge* FindBridge(int group);
    // Appends the own groups and their variables to the cyclic report.
    void Describe(std::string& text, bool& duplicated) const;
    // Handed to the library's GroupCreate; runs on the library's thread.
    static void Callback(uint32_t value1, uint32_t value2, void* context);

    int Default() const;
    // The default group's id, for the caller that adds to it (VariableAdd creates it when absent).
    int* DefaultRef() { return &defaultGroup_; }

  private:
    int CreateLocked(platform::WindowHandle window, unsigned message);
    int StopLocked(int group);
    int ExecuteOnceLocked(int group);
    int ClearLocked(int* group);
    CGroupBridge* FindBridgeLocked(int group);
    CGroup* OwnGroup(int group);
    int ExecuteGroupOnce(CGroup& group);
    // Frees the table and registers every group with a cycle again, the thread paused.
    int ReRegisterCyclicGroups();
    int CurrentGroupChannel(CChannel*& channel);

    CMain& engine_;
    CCyclicThread& cyclic_;
    // Serialises the group operations of callers on different threads; taken before the cyclic
    // thread's own lock, and held across the transfers of a once-execution.
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<CGroup>> groups_;                // mutex_
    std::map<uint32_t, std::unique_ptr<CGroupBridge>> bridges_;  // mutex_
    int defaultGroup_ = -1;                                      // mutex_
};

}  // namespace engine
