#pragma once

// Inside of the engine's groups, cyclic reads and node guard: helpers with access to CMain's
// state, shared by MainGroups.cpp, CyclicThread.cpp and NodeGuard.cpp. Not for other callers.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/EngineCodes.h"
#include "engine/Main.h"

namespace engine {

class CGroupChannel;
class CVocabolario;

// Codes the node guard posts with the notification message.
namespace guard_code {
constexpr uintptr_t kStateChanged = 4;
constexpr uintptr_t kRearmFailed = 1001;
constexpr uintptr_t kReopenFailed = 1002;
constexpr uintptr_t kChannelBroken = 1003;
constexpr uint8_t kLost = 1;
constexpr uint8_t kAlive = 5;
constexpr uint8_t kArmed = 127;
}  // namespace guard_code

// What the cyclic thread logs while a log request runs; the lines go to "CyclicReads.log" in the
// temporary folder when the requested number of block executions is done.
struct CCyclicLog {
    int remaining = 0;
    std::vector<std::string> lines;

    bool On() const { return remaining > 0; }
    void Add(const std::string& line) {
        if (On()) lines.push_back(line);
    }
    void Executed();
};

struct CMainBackground {
    // Node without side effects on the error pair; null when absent.
    static CNodo* FindNodeQuiet(CMain& m, uint8_t nodeId, int channel);
    static CNodo* FindNodeByAddressQuiet(CMain& m, uint32_t address, int channel);
    static CGroupChannel* GroupDriver(CChannel* channel);
    static CGroup* OwnGroup(CMain& m, int group);
    static int ExecuteGroupOnce(CMain& m, CGroup& group);
    // GroupAddCell (variant 0), GroupAddReadCell (1), GroupAddCellValue (2).
    static int AddCell(CMain& m, int group, const std::string& name, int direction, void* value, int32_t size,
                       CCellHolder* holder, int variant);
    // Frees the table and registers every group with a cycle again, the thread paused.
    static int ReRegisterCyclicGroups(CMain& m);

    // Cyclic thread.
    static int64_t CyclicNowMs(CMain& m);
    static bool WaitCyclicState(CMain& m, int wanted);
    static void CyclicThreadBody(CMain& m, platform::StopToken& token);
    static void RebuildCyclicBlocks(CMain& m);
    static void ExecuteCyclicBlock(CMain& m, size_t index, CCyclicLog& log);
    static bool IsSelected(CMain& m, uint8_t nodeId, int channel);

    // Node guard.
    static void NodeguardThreadBody(CMain& m, platform::StopToken& token);
};

}  // namespace engine
