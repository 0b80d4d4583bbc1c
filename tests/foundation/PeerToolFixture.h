#pragma once

// A small stand-in for the peer engineering tool: it creates the channel's two mappings and two
// events, as the peer does before it starts the program, and plays the peer's side of the
// exchanges.

#include <semaphore.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "platform/Clock.h"
#include "platform/NamedEvent.h"
#include "platform/SharedMemory.h"

class TestPeerTool {
  public:
    enum Objects : unsigned {
        kOutgoingMapping = 1,  // N.f.s, written by the program
        kIncomingMapping = 2,  // N.f.m, written by the peer
        kProgramEvent = 4,     // N.m
        kPeerEvent = 8,        // N.s
        kAll = 15,
    };

    explicit TestPeerTool(size_t viewSize = 512, unsigned objects = kAll) : name_(UniqueName()) {
        if (objects & kOutgoingMapping) created_ &= fromProgram_.Create(name_ + ".f.s", viewSize) == 0;
        if (objects & kIncomingMapping) created_ &= toProgram_.Create(name_ + ".f.m", viewSize) == 0;
        if (objects & kProgramEvent) created_ &= programEvent_.Create(name_ + ".m") == 0;
        if (objects & kPeerEvent) created_ &= peerEvent_.Create(name_ + ".s") == 0;
    }

    bool Created() const { return created_; }
    const std::string& Name() const { return name_; }
    std::string ChannelText(int size = 512) const { return name_ + ":" + std::to_string(size); }

    // Waits for the program's signal and gives the text of its view.
    bool Receive(std::string* text, uint32_t ms = 20000) {
        if (programEvent_.Wait(ms) != platform::NamedEvent::WaitResult::Signalled) return false;
        *text = ProgramView();
        return true;
    }
    // As Receive, moving the fake clock on while nothing has come (for the program's time-outs).
    bool ReceiveTicking(platform::FakeClock& clock, std::string* text, int64_t stepMs = 50) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < giveUp) {
            if (programEvent_.Wait(1) == platform::NamedEvent::WaitResult::Signalled) {
                *text = ProgramView();
                return true;
            }
            clock.Advance(stepMs);
        }
        return false;
    }
    // Writes a text into the peer's view and signals it.
    void Send(const std::string& text) {
        std::memcpy(toProgram_.Data(), text.c_str(), text.size() + 1);
        peerEvent_.Set();
    }
    // Signals the peer event over whatever the peer's view holds.
    void Signal() { peerEvent_.Set(); }
    std::string ProgramView() const { return std::string(fromProgram_.Data()); }
    void SetProgramView(const std::string& text) {
        std::memcpy(fromProgram_.Data(), text.c_str(), text.size() + 1);
    }
    char* PeerViewData() { return toProgram_.Data(); }

    // Signals pending on an event, read without taking them.
    int ProgramEventCount() const { return Count(".m"); }
    int PeerEventCount() const { return Count(".s"); }
    // True once the program has taken the peer's last signal.
    bool WaitPeerSignalTaken(uint32_t ms = 20000) const {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (PeerEventCount() != 0) {
            if (std::chrono::steady_clock::now() > giveUp) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

  private:
    static std::string UniqueName() {
        static int counter = 0;
        return "peertest." + std::to_string(getpid()) + "." + std::to_string(++counter);
    }
    int Count(const char* suffix) const {
        sem_t* sem = sem_open(platform::SharedObjectName(name_ + suffix).c_str(), 0);
        if (sem == SEM_FAILED) return -1;
        int value = -1;
        sem_getvalue(sem, &value);
        sem_close(sem);
        return value;
    }

    std::string name_;
    bool created_ = true;
    platform::SharedMemory fromProgram_;
    platform::SharedMemory toProgram_;
    platform::NamedEvent programEvent_;
    platform::NamedEvent peerEvent_;
};

// Moves a fake clock on in small steps until done() holds (false after 30 s of real time).
inline bool TickUntil(platform::FakeClock& clock, const std::function<bool()>& done, int64_t stepMs = 50) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        clock.Advance(stepMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
