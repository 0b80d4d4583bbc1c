// Feeds arbitrary server answers to the fieldbus channel library: its channel, session and SDO
// command executor run against a stand-in for the communication-server client whose calls
// answer with the pieces of the input, and its value conversion takes input bytes and types.
//
// Input: [op byte][param byte][pieces: 2-byte big-endian length + bytes]...
//   op % 4: 0 read, 1 write, 2 read of a typed value, 3 value conversion only (the pieces are
//   source bytes, param and the first bytes the types); op bit 7: the connect's own calls take
//   pieces too (else they get a well-formed answer, so that the executor is reached).
// A piece is the call's result byte (0: success, else a client error) and the answer's bytes;
// out of pieces, every call fails as if the server no longer answered.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "linkora/CanOpenValue.h"
#include "linkora/LinkoraApi.h"
#include "platform/gvtcli/GvtCli.h"

namespace {

std::mutex g_mutex;
std::deque<std::vector<uint8_t>> g_pieces;
bool g_scripted = false;  // calls take pieces (else a well-formed empty answer)

}  // namespace

// The communication-server client, answering from the input.
extern "C" {

unsigned long GvtLoginNew(const char*, GvtLibraryEx* table, unsigned long* handle, GvtEventCallback,
                          unsigned long) {
    uint32_t id = 1;
    for (GvtLibraryEx* library = table; library && library->name; ++library)
        for (uint32_t f = 0; f < library->count; ++f) library->functions[f].id = id++;
    *handle = 1;
    return kGvtOk;
}

unsigned long GvtCall(unsigned long, unsigned short, unsigned long, unsigned long, void*, unsigned long,
                      void* answer, unsigned long answerSize, unsigned long*) {
    auto* out = static_cast<uint8_t*>(answer);
    if (out && answerSize) std::memset(out, 0, answerSize);
    std::lock_guard lock(g_mutex);
    if (!g_scripted) {
        // The active-network check wants a network in its answer.
        if (out && answerSize == 44) out[34] = out[35] = 1;
        return kGvtOk;
    }
    if (g_pieces.empty()) return kGvtNoAnswer;
    const std::vector<uint8_t> piece = std::move(g_pieces.front());
    g_pieces.pop_front();
    if (piece.empty()) return kGvtNoAnswer;
    if (out && piece.size() > 1)
        std::memcpy(out, piece.data() + 1, std::min<size_t>(piece.size() - 1, answerSize));
    return piece[0] == 0 ? kGvtOk : kGvtServerUnreachable + (piece[0] & 0x0F);
}

unsigned long GvtGetError(unsigned long code, char* text, unsigned long size) {
    const std::string message = "client error " + std::to_string(code);
    if (size == 0) return 0;
    const size_t n = std::min<size_t>(message.size(), size - 1);
    std::memcpy(text, message.data(), n);
    text[n] = '\0';
    return n;
}

unsigned long GvtLogout(unsigned long) {
    return kGvtOk;
}

}  // extern "C"

namespace {

// Buffers as the caller gives them: as long as their type says (sizes kept below 64 bytes).
void Convert(uint8_t param, const std::vector<std::vector<uint8_t>>& pieces) {
    auto word = [](const std::vector<uint8_t>& bytes, size_t at, uint32_t missing) {
        if (bytes.size() < at + 4) return missing;
        return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16) |
               static_cast<uint32_t>(bytes[at + 3]) << 24;
    };
    const std::vector<uint8_t> first = pieces.empty() ? std::vector<uint8_t>() : pieces.front();
    auto bounded = [](uint32_t type) { return type & 0x80000000u ? type & 0xFF00003Fu : type & 0x3Fu; };
    const uint32_t busType = bounded(word(first, 0, param)), valueType = bounded(word(first, 4, param));
    std::vector<uint8_t> source(std::max<size_t>(linkora::TypeSize(busType), 1));
    for (size_t i = 0; i < source.size() && 8 + i < first.size(); ++i) source[i] = first[8 + i];
    std::vector<uint8_t> destination(std::max<size_t>(linkora::TypeSize(valueType), 1));
    linkora::ConvertValue(source.data(), destination.data(), busType, valueType);
    std::string text;
    linkora::CanOpenErrorText(word(first, 0, param), text);
    linkora::CanOpenErrorText(0x06000000u | param, text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t op = data[0], param = data[1];
    std::vector<std::vector<uint8_t>> pieces;
    for (size_t at = 2; at + 1 < size && pieces.size() < 32;) {
        const size_t n = std::min<size_t>(static_cast<size_t>(data[at] << 8 | data[at + 1]), size - at - 2);
        pieces.emplace_back(data + at + 2, data + at + 2 + n);
        at += 2 + n;
    }
    if (op % 4 == 3) {
        Convert(param, pieces);
        return 0;
    }
    {
        std::lock_guard lock(g_mutex);
        g_pieces.assign(pieces.begin(), pieces.end());
        g_scripted = (op & 0x80) != 0;
    }
    // One connected channel for the run (its worker's start and stop would take most of the time);
    // a fresh one when the input scripts the connect or the last input broke the link.
    static int32_t channel = 0;
    uint32_t status = 0;
    if (channel > 0 && ((op & 0x80) || ChannelStatus(channel, &status) != 0)) {
        ChannelDestroy(channel);
        channel = 0;
    }
    if (channel <= 0) {
        channel = ChannelCreate("TCP/IP fuzzhost:TCP/IP 0:TCP/IP 127.0.0.1:CANopen 1:NodeID 5");
        if (channel <= 0) return 0;
        ChannelDefault(channel);
        if (ChannelConnect(channel) != 0) {
            ChannelDestroy(channel);
            channel = 0;
            return 0;
        }
    }
    {
        std::lock_guard lock(g_mutex);
        g_scripted = true;
    }
    uint8_t buffer[600] = {};
    const int length = 1 + param * 2;
    int transferred = 0;
    switch (op % 4) {
        case 0:
            Read("2000.0", buffer, param & 1 ? 4 : length, 200, 1, &transferred);
            break;
        case 1:
            Write("2000.1", buffer, param & 1 ? 2 : length, 200, 1, &transferred);
            break;
        default:
            ReadValue("6064.0", buffer, 0x80000000u | (param & 0x0F), 0x80000004u | (param & 0x40000000u),
                      200, 1, &transferred);
            break;
    }
    BSTR text = nullptr;
    GetLastErrorStr(&text, channel);
    SysFreeString(text);
    // The channel stays: what the input did not use is not for the next one.
    std::lock_guard lock(g_mutex);
    g_pieces.clear();
    return 0;
}
