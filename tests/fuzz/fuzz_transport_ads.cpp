// Feeds arbitrary bytes to the AMS reply decoder as the client library's receive thread uses it:
// frames are cut from the stream, their headers decoded, and the data of each reply decoded by
// the command it names. Nothing may be read past the input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ads/AmsWire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A private copy, so that reads past the end land outside any allocation.
    const std::vector<uint8_t> stream(data, data + size);
    size_t used = 0;
    while (used < stream.size()) {
        size_t frameSize = 0;
        std::string error;
        const ams::FrameStatus status =
            ams::PeekFrame(stream.data() + used, stream.size() - used, &frameSize, &error);
        if (status != ams::FrameStatus::Complete) break;
        ams::Header header;
        const uint8_t* body = nullptr;
        size_t bodySize = 0;
        if (!ams::DecodeFrame(stream.data() + used, frameSize, &header, &body, &bodySize, &error)) break;
        used += frameSize;
        switch (header.command) {
            case ams::kRead:
            case ams::kReadWrite: {
                ams::ReadReply r;
                if (ams::DecodeReadReply(body, bodySize, &r) && r.result == 0 && r.length) {
                    volatile uint8_t last = r.data[r.length - 1];
                    (void)last;
                }
                break;
            }
            case ams::kReadState: {
                ams::StateReply r;
                ams::DecodeStateReply(body, bodySize, &r);
                break;
            }
            case ams::kReadDeviceInfo: {
                ams::DeviceInfoReply r;
                ams::DecodeDeviceInfoReply(body, bodySize, &r);
                break;
            }
            case ams::kAddNotification: {
                ams::HandleReply r;
                ams::DecodeHandleReply(body, bodySize, &r);
                break;
            }
            case ams::kNotification:
                ams::DecodeNotification(body, bodySize, [](uint64_t, uint32_t, const uint8_t* p, uint32_t n) {
                    if (n) {
                        volatile uint8_t last = p[n - 1];
                        (void)last;
                    }
                });
                break;
            default: {
                uint32_t result = 0;
                ams::DecodeResultReply(body, bodySize, &result);
                break;
            }
        }
    }
    return 0;
}
