#include "transport/BridgeCmdList.h"

#include <algorithm>

#include "transport/BridgeVkr.h"
#include "transport/ChannelTrace.h"

namespace transport {

int CCmdList::Add(std::unique_ptr<CCmd> command) {
    frame_.clear();
    command->SetSequence(++sequence_);
    commands_.push_back(std::move(command));
    return sequence_;
}

void CCmdList::Clear() {
    commands_.clear();
    frame_.clear();
    sequence_ = 0;
    timeoutMs_ = kDefaultTimeoutMs;
}

bool CCmdList::Remove(int sequence) {
    const auto it = std::find_if(commands_.begin(), commands_.end(),
                                 [sequence](const auto& c) { return c->Sequence() == sequence; });
    if (it == commands_.end()) return false;
    commands_.erase(it);
    frame_.clear();
    return true;
}

void CCmdList::RaiseTimeout(uint32_t ms) {
    if (ms > timeoutMs_) {
        timeoutMs_ = ms;
        frame_.clear();
    }
}

std::string CCmdList::BuildRequest(uint16_t version, uint32_t largestMessage) {
    frame_.clear();
    if (commands_.empty()) return {};
    const size_t header = bridge_wire::RequestHeaderSize(version);
    size_t request = header, reply = bridge_wire::kReplyHeaderSize;
    for (const auto& command : commands_) {
        request += command->RequestSize();
        reply += command->ResponseSize();
    }
    if (request > largestMessage)
        return Format("Message to send too big: %lu bytes", static_cast<unsigned long>(request));
    if (reply > largestMessage)
        return Format("Response message will be too big for the target bridge: %lu bytes",
                      static_cast<unsigned long>(reply));
    const bridge_wire::Format& wire = commands_.front()->Bridge().Wire();
    frame_.assign(request, 0);
    wire.Put16(frame_.data(), bridge_wire::kMagic);
    wire.Put32(frame_.data() + 4, static_cast<uint32_t>(request));
    if (version < 3)
        wire.Put16(frame_.data() + 8, static_cast<uint16_t>(std::min<uint32_t>(timeoutMs_ / 10, 65535)));
    else
        wire.Put32(frame_.data() + 8, timeoutMs_);
    size_t at = header;
    for (const auto& command : commands_) {
        command->WriteRequest(frame_.data() + at);
        at += command->RequestSize();
    }
    return {};
}

void CCmdList::SetSequence(uint16_t sequence) {
    if (frame_.size() >= 4 && !commands_.empty())
        commands_.front()->Bridge().Wire().Put16(frame_.data() + 2, sequence);
}

std::string CCmdList::GetText() const {
    std::string text;
    for (const auto& command : commands_) {
        if (!text.empty()) text += "\r\n";
        text += command->Text();
        if (text.size() >= 5000) {
            text.resize(5000);
            break;
        }
    }
    return text;
}

bool CCmdList::ParseReply(const uint8_t* records, const uint8_t* end, bool dumpToLog) {
    const uint8_t* at = records;
    for (size_t i = 0; i < commands_.size(); ++i) {
        const uint8_t* next = commands_[i]->ParseReply(at, end);
        if (!next) {
            for (size_t j = i + 1; j < commands_.size(); ++j) commands_[j]->SetStatus(CBridgeVkr::kWrongData);
            return false;
        }
        if (dumpToLog) ChannelTrace("Recv " + commands_[i]->Dump(at + 4, static_cast<size_t>(next - at) - 4));
        at = next;
    }
    return true;
}

}  // namespace transport
