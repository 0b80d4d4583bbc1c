#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/Clock.h"
#include "platform/Thread.h"

namespace engine {

class CMain;
class CNodo;
struct CChannel;

// The node guard's view of a channel type that is not serial Modbus (the library, the bridge, ADS
// and the box implement it beside CChannelDriver). Every call runs with the node locked.
class CGuardedChannel {
  public:
    virtual ~CGuardedChannel() = default;

    // Arming: get the channel ready and make sure the node answers; 0 or the driver's result.
    virtual int GuardArm(CNodo& node) = 0;
    // A sign of life since the guard period started (may ping the node when the channel was quiet).
    virtual bool GuardAlive(CNodo& node) = 0;
    // The channel itself reports too many errors.
    virtual bool GuardBroken() = 0;
    // Start of a new guard period; 0 or the failure.
    virtual int GuardPrepare(CNodo& node) = 0;
    // Closes the connection of a lost node.
    virtual void GuardClose() = 0;
};

// The node guard: a thread that watches every guarded node of the engine's node table for signs of
// life and posts its state changes to the engine's owner window. It reads the node table without a
// lock of its own: whoever changes the table pauses the guard first.
class CNodeGuard {
  public:
    explicit CNodeGuard(CMain& engine);
    ~CNodeGuard();
    CNodeGuard(const CNodeGuard&) = delete;
    CNodeGuard& operator=(const CNodeGuard&) = delete;

    bool Start();
    // Asks the thread to stop and waits for its end; true (it has ended).
    bool Stop();
    // Stops the guard and waits for its end; true when it was running.
    bool Pause();
    // Waits, without limit, for the thread to end.
    void Join();
    // Arms the guard of a node the caller holds locked; 0 or the channel's failure.
    int Arm(CChannel& channel, CNodo& node);
    // Set before the thread starts (tests inject a fake clock).
    void SetClock(platform::Clock& clock) { clock_ = &clock; }

    bool Running() const { return thread_.IsRunning(); }
    uint64_t Passes() const { return passes_.load(); }

  private:
    bool StopLocked();
    void Body(platform::StopToken& token);
    CNodo* Guarded(int slot, CChannel** channel);
    bool Watch(CChannel& channel, CNodo& node);
    void Post(uintptr_t code, const CNodo& node);

    CMain& engine_;
    platform::Clock* clock_ = &platform::SystemClock();
    std::atomic<uint64_t> passes_{0};
    // Serialises starting and stopping the thread (callers on the window and transfer threads).
    std::mutex mutex_;
    // Declared last so that it is joined before anything it uses is destroyed.
    platform::Thread thread_;  // started, stopped and joined under mutex_
};

// Second parameter of the guard's notification: channel, node id and the node's guard state.
intptr_t NodeGuardDetail(int channelIndex, uint8_t nodeId, uint8_t guardState);

}  // namespace engine
