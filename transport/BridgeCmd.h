#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "transport/BridgeWire.h"

namespace transport {

class CBridgeVkr;

// One command of a bridge request frame: writes its request record and reads its reply
// record. Commands take the protocol version and byte order of their connection; their
// out-pointers (each may be null) belong to the caller and must outlive the command.
class CCmd {
  public:
    CCmd(CBridgeVkr& bridge, uint8_t target, uint8_t opcode, uint32_t* statusOut);
    virtual ~CCmd() = default;
    CCmd(const CCmd&) = delete;
    CCmd& operator=(const CCmd&) = delete;

    // Bytes of the request record, padding included.
    virtual size_t RequestSize() const = 0;
    // Bytes of the reply record, or the estimate for replies of variable length.
    virtual size_t ResponseSize() const = 0;
    // Writes the record (RequestSize bytes) at `at`.
    virtual void WriteRequest(uint8_t* at) const = 0;
    // Reads the reply data of the record that starts at `record` (its status read already);
    // the place of the next record, or null when the record would run past `end`.
    virtual const uint8_t* ParseData(const uint8_t* record, const uint8_t* end) = 0;
    virtual std::string Text() const = 0;
    // The log text, then the status text (status not 0) or the reply data in hex.
    std::string Dump(const uint8_t* data, size_t count) const;

    // Reads the status, counts and traces a failure, then ParseData; null when the record
    // runs past end (the status then becomes 102, "Wrong data received").
    const uint8_t* ParseReply(const uint8_t* record, const uint8_t* end);
    // Marks a command whose record never arrived.
    void SetStatus(uint32_t status);

    uint8_t Target() const { return target_; }
    // Aims the command at another bus than the client's current one (a scan of the buses).
    void SetTarget(uint8_t target) { target_ = target; }
    uint8_t Opcode() const { return opcode_; }
    uint32_t Status() const { return status_; }
    bool Changed() const { return changed_; }
    void ClearChanged() { changed_ = false; }
    int Sequence() const { return sequence_; }
    void SetSequence(int sequence) { sequence_ = sequence; }
    CBridgeVkr& Bridge() const { return bridge_; }

  protected:
    const bridge_wire::Format& Wire() const;
    uint16_t Version() const { return Wire().version; }
    // Writes target and opcode and zeroes the rest of the record.
    void WriteHead(uint8_t* at) const;
    // A record of the given unpadded size: the end of it, or null when past `end`.
    const uint8_t* RecordEnd(const uint8_t* record, const uint8_t* end, size_t size) const;

    CBridgeVkr& bridge_;
    uint8_t target_;
    uint8_t opcode_;
    uint32_t* statusOut_;
    uint32_t status_ = 0xFFFFFFFFu;
    bool changed_ = false;
    int sequence_ = 0;
};

}  // namespace transport
