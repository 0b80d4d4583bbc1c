#include "transport/BridgeCmd.h"

#include <cstring>

#include "transport/BridgeStatusText.h"
#include "transport/BridgeVkr.h"
#include "transport/ChannelTrace.h"

namespace transport {

CCmd::CCmd(CBridgeVkr& bridge, uint8_t target, uint8_t opcode, uint32_t* statusOut)
    : bridge_(bridge), target_(target), opcode_(opcode), statusOut_(statusOut) {}

const bridge_wire::Format& CCmd::Wire() const {
    return bridge_.Wire();
}

void CCmd::WriteHead(uint8_t* at) const {
    std::memset(at, 0, RequestSize());
    at[0] = target_;
    at[1] = opcode_;
}

const uint8_t* CCmd::RecordEnd(const uint8_t* record, const uint8_t* end, size_t size) const {
    const size_t padded = Wire().Pad(size);
    if (record > end || static_cast<size_t>(end - record) < padded) return nullptr;
    return record + padded;
}

void CCmd::SetStatus(uint32_t status) {
    status_ = status;
    if (statusOut_) *statusOut_ = status;
}

const uint8_t* CCmd::ParseReply(const uint8_t* record, const uint8_t* end) {
    if (record > end || end - record < 4) {
        SetStatus(CBridgeVkr::kWrongData);
        return nullptr;
    }
    SetStatus(Wire().Get32(record));
    bridge_.NoteCommandStatus(*this);
    const uint8_t* next = ParseData(record, end);
    if (!next) SetStatus(CBridgeVkr::kWrongData);
    return next;
}

std::string CCmd::Dump(const uint8_t* data, size_t count) const {
    std::string text = Text() + " ";
    if (status_ != 0) return text + GetSdoAbortText(status_);
    return text + HexBytes(data, count);
}

}  // namespace transport
