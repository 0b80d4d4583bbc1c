#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/CyclicItems.h"
#include "platform/Clock.h"
#include "platform/Thread.h"

namespace engine {

class CMain;
class CGroup;
class CGroups;
struct VocabularyItem;

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

// The engine's cyclic reads: the item table, the blocks built from it and the thread that reads
// and writes them at their rates on the channels the engine drives itself.
class CCyclicThread {
  public:
    explicit CCyclicThread(CMain& engine);
    ~CCyclicThread();
    CCyclicThread(const CCyclicThread&) = delete;
    CCyclicThread& operator=(const CCyclicThread&) = delete;

    // A change of the table by a caller: the thread stands paused and no other request comes in
    // between until Start or the end of the scope (which leaves the thread as it is).
    class CEdit {
      public:
        CEdit(CEdit&&) = default;
        // False when the thread did not pause; nothing may change then.
        bool Paused() const { return paused_; }
        void FreeItems();
        void AddGroup(CGroup& group, uint8_t nodeId, int channelIndex);
        int Start();

      private:
        friend class CCyclicThread;
        CEdit(CCyclicThread& owner, std::unique_lock<std::mutex> lock, bool paused)
            : owner_(&owner), lock_(std::move(lock)), paused_(paused) {}
        CCyclicThread* owner_;
        std::unique_lock<std::mutex> lock_;
        bool paused_;
    };
    CEdit Edit();

    int AddItem(const VocabularyItem& item, void* value, const CCyclicItemRequest& request, uint8_t nodeId,
                int channelIndex, bool write);
    int AddGroup(CGroup& group, uint8_t nodeId, int channelIndex);
    int Start();
    int Pause();
    int Resume();
    int Stop();
    void FreeItems();
    // Re-times the items after the current node or channel changed.
    void Retime();
    // n of 1 or more: the thread logs its next n block executions; else the report file is
    // written at once (the groups' part from `groups`).
    void Log(int n, const CGroups& groups);
    // Waits, without limit, for the thread to end.
    void Join();
    void SetClock(platform::Clock& clock);

    int State() const { return state_.load(); }
    uint64_t Passes() const { return passes_.load(); }
    size_t ItemCount();
    bool Running() const { return thread_.IsRunning(); }

  private:
    int64_t NowMs() const;
    bool IsSelected(uint8_t nodeId, int channel) const;
    bool WaitState(int wanted);
    void SetRequest(int request);
    void SetState(int state);
    void RequestThreadStop();
    int AddItemLocked(const VocabularyItem& item, void* value, const CCyclicItemRequest& request,
                      uint8_t nodeId, int channelIndex, bool write);
    void AddGroupLocked(CGroup& group, uint8_t nodeId, int channelIndex);
    int StartLocked();
    int PauseLocked();
    int ResumeLocked();
    void FreeItemsLocked();
    void Body(platform::StopToken& token);
    void RebuildBlocks();
    void ExecuteBlock(size_t index, CCyclicLog& log);

    CMain& engine_;
    // Serialises the callers' requests (start, pause, resume, stop, table changes); held while a
    // request waits for the thread, never by the thread itself.
    std::mutex controlMutex_;
    // The item table and the thread's blocks; never held across a transfer.
    std::mutex tableMutex_;
    std::vector<CCyclicItem> items_;                        // tableMutex_; its size is the capacity
    size_t count_ = 0;                                      // tableMutex_
    std::vector<std::unique_ptr<COggettoCiclico>> blocks_;  // tableMutex_
    // The hand-shake words: requested and saved state are written by callers under controlMutex_,
    // the current state only by the thread.
    // stateMutex_ and stateCv_ carry the changes of both words, so that neither side polls.
    std::mutex stateMutex_;
    std::condition_variable stateCv_;
    std::atomic<int> state_{0};
    std::atomic<int> request_{0};
    std::atomic<int> saved_{0};
    // Pauses not yet resumed (controlMutex_).
    int pauseDepth_ = 0;
    std::atomic<bool> groupsModified_{false};
    std::atomic<int> logRequest_{0};
    std::atomic<uint64_t> passes_{0};
    // Set before the thread starts (tests inject a fake clock).
    platform::Clock* clock_ = &platform::SystemClock();
    std::atomic<int64_t> baseMs_{platform::SystemClock().NowMs() / 1000 * 1000};
    // Declared last so that it is joined before anything it uses is destroyed; started and
    // stopped under controlMutex_.
    platform::Thread thread_;
};

}  // namespace engine
