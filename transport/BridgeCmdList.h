#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Messages.h"
#include "transport/BridgeCmd.h"

namespace transport {

// One group of bridge commands: the request frame built from them, the list time-out and
// the group's cyclic schedule.
class CCmdList {
  public:
    static constexpr uint32_t kDefaultTimeoutMs = 1000;

    CCmdList() = default;
    ~CCmdList() = default;
    CCmdList(const CCmdList&) = delete;
    CCmdList& operator=(const CCmdList&) = delete;

    // Takes ownership; drops a frame built earlier; the command's sequence number (1, 2...).
    int Add(std::unique_ptr<CCmd> command);
    void Clear();
    // Rebuilds the list without the command of that sequence number; false when none has it.
    bool Remove(int sequence);
    // Builds the request frame (sequence number left 0); an empty text on success.
    std::string BuildRequest(uint16_t version, uint32_t largestMessage);
    bool HasFrame() const { return !frame_.empty(); }
    void DropFrame() { frame_.clear(); }
    const std::vector<uint8_t>& Frame() const { return frame_; }
    // Writes the frame's sequence number (bytes 2-3) in the byte order of its commands.
    void SetSequence(uint16_t sequence);
    // The log texts of the commands, "\r\n" between them, at most 5000 characters.
    std::string GetText() const;
    // Reads the reply records (after the 8-byte header) in command order. False when a
    // record runs past the end: that command and the ones after it get status 102.
    bool ParseReply(const uint8_t* records, const uint8_t* end, bool dumpToLog);

    size_t Count() const { return commands_.size(); }
    CCmd& Command(size_t i) const { return *commands_[i]; }
    // Raises the time-out (never lowers it); drops a built frame when it changes.
    void RaiseTimeout(uint32_t ms);
    uint32_t Timeout() const { return timeoutMs_; }

    bool deleted = false;
    bool cyclic = false;
    uint32_t periodMs = 0;
    int64_t nextDueMs = 0;
    platform::WindowHandle notifyWindow = 0;
    unsigned notifyMessage = 0;
    int handle = 0;

  private:
    std::vector<std::unique_ptr<CCmd>> commands_;
    std::vector<uint8_t> frame_;
    uint32_t timeoutMs_ = kDefaultTimeoutMs;
    int sequence_ = 0;
};

}  // namespace transport
