#include "transport/ModbusDomain.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/File.h"
#include "transport/ModbusCodes.h"
#include "transport/ModbusWire.h"

namespace transport {

namespace {

// A block time-out the drive asked for: at least the program's own, at most the cap.
uint32_t BlockTimeout(uint32_t asked, uint32_t receiveTimeout) {
    return std::max(std::min(asked, kMaxDomainTimeout), receiveTimeout);
}

}  // namespace

void CModbusDomain::Post(const DomainTransferArgs& args, uintptr_t event, intptr_t value, bool always) {
    if (args.window == 0) return;
    const bool quiet = (args.flags & kDomainQuiet) != 0;
    const bool progress = event == kUploadProgress || event == kDownloadProgress;
    if (quiet && !progress && !always) return;
    platform::PostMessage(args.window, args.message, event, value);
}

template <class Body>
int CModbusDomain::Run(const DomainTransferArgs& args, uintptr_t errorEvent, Body body) {
    const int begun = channel_.DomainBegin();
    if (begun != 0) {
        if (args.size) *args.size = 0;
        Post(args, errorEvent, begun, true);
        return begun;
    }
    const uint8_t slave = args.slave ? args.slave : channel_.DefaultSlave();
    const bool raw = channel_.RawWordOrder();
    channel_.SetRawWordOrder(true);
    bool silentEnd = false;
    const int rc = body(slave, silentEnd);
    channel_.RestoreDomainTimeout();
    channel_.SetRawWordOrder(raw);
    if (!silentEnd) channel_.SetDomainResult(rc);
    channel_.DomainEnd();
    return rc;
}

int CModbusDomain::UploadFrames(const DomainTransferArgs& args) {
    return Run(args, kUploadError, [&](uint8_t slave, bool&) {
        uint32_t done = 0;
        return UploadLocked(args, slave, done);
    });
}

int CModbusDomain::UploadLocked(const DomainTransferArgs& args, uint8_t slave, uint32_t& done) {
    uint32_t dummySize = 0;
    uint32_t& size = args.size ? *args.size : dummySize;
    const uint32_t capacity = size;
    const uint32_t receiveTimeout = channel_.DomainReceiveTimeout();
    auto fail = [&](int code) {
        Post(args, kUploadError, code);
        return code;
    };
    auto terminate = [&](int code) {
        channel_.RestoreDomainTimeout();
        channel_.SendTerminate(slave, args.address);
        return fail(code);
    };

    uint8_t start[10] = {0x50, 0x01};
    PutLe32(start + 2, kMaxUploadBlock);
    PutLe32(start + 6, receiveTimeout);
    int rc = channel_.RegWrite(slave, args.address, 5, start);
    if (rc != 0) {
        size = 0;
        if (channel_.IsStartRefused(rc)) return rc;
        return fail(rc);
    }
    uint8_t description[18] = {};
    rc = channel_.RegRead(slave, args.address, 9, description);
    if (rc != 0) {
        size = 0;
        return fail(rc);
    }
    if (description[1] > 1) {
        size = 0;
        return terminate(domain_code::kUploadNotSupported);
    }
    const uint32_t total = GetLe32(description + 2);
    const uint32_t offered = GetLe32(description + 6);
    const uint32_t timeoutA = BlockTimeout(GetLe32(description + 10), receiveTimeout);
    const uint32_t timeoutB = BlockTimeout(GetLe32(description + 14), receiveTimeout);

    if (args.target == nullptr) {
        size = total;
        channel_.RestoreDomainTimeout();
        channel_.SendTerminate(slave, args.address);
        return 0;
    }
    const bool toFile = (args.flags & (kDomainFileName | kDomainFileHandle)) != 0;
    if (!toFile && capacity < total) {
        size = total;
        return terminate(domain_code::kUploadBufferTooSmall);
    }
    const uint32_t blockSize = std::min(offered, kMaxUploadBlock);
    const uint16_t blockRegisters = static_cast<uint16_t>(std::max<uint32_t>(blockSize / 2, 1));

    // The file a transfer reads or writes; one opened by name is closed with it.
    platform::File file;
    if (args.flags & kDomainFileName) {
        if (file.Open(static_cast<const char*>(args.target), platform::FileAccess::kWrite) != 0) {
            size = 0;
            return terminate(domain_code::kCreateFileFailed);
        }
    } else if (args.flags & kDomainFileHandle) {
        const int fd = *static_cast<const int*>(args.target);
        if (fd < 0) {
            size = 0;
            return fail(domain_code::kInvalidFileHandle);
        }
        file.Borrow(fd);
    }

    channel_.ApplyDomainTimeout(timeoutA);
    Post(args, kDomainStart, static_cast<intptr_t>(total));
    if (total == 0) {
        uint8_t scratch[2];
        channel_.RegRead(slave, args.address, 1, scratch);
        Post(args, kUploadPhase, 0);
        Post(args, kUploadPhase, 0);
        Post(args, kUploadEnd, 0);
        size = 0;
        return 0;
    }

    auto* buffer = static_cast<uint8_t*>(args.target);
    std::vector<uint8_t> block(2u * blockRegisters);
    bool toggle = false;
    bool first = true;
    while (done < total) {
        if (args.abort && args.abort->load() != 0) {
            size = done;
            return terminate(domain_code::kUploadAborted);
        }
        const uint32_t left = total - done;
        uint16_t registers = blockRegisters;
        const uint32_t needed = (left + 1 + 1) / 2;
        if (needed < registers) registers = static_cast<uint16_t>(needed);
        rc = channel_.RegRead(slave, args.address, registers, block.data());
        if (rc != 0) {
            size = done;
            return terminate(rc);
        }
        const uint8_t header = block[0];
        if (((header & 0x40) != 0) != toggle) {
            size = done;
            return terminate(domain_code::kUploadWrongToggle);
        }
        uint32_t n = 2u * registers - 1 - ((header & 0x10) ? 1 : 0);
        // A drive that sends more than it announced must not write past the buffer.
        n = std::min(n, left);
        if (toFile) {
            if (!file.WriteAll(block.data() + 1, n)) {
                size = done;
                return terminate(domain_code::kWriteFileFailed);
            }
        } else {
            std::memcpy(buffer + done, block.data() + 1, n);
        }
        done += n;
        Post(args, kUploadProgress, static_cast<intptr_t>(args.progressOffset + done));
        if (header & 0x20) break;
        if (first) {
            Post(args, kUploadPhase, static_cast<intptr_t>(done));
            channel_.ApplyDomainTimeout(timeoutB);
            first = false;
        }
        toggle = !toggle;
    }
    Post(args, kUploadEnd, static_cast<intptr_t>(done));
    size = done;
    return 0;
}

int CModbusDomain::DownloadFrames(const DomainTransferArgs& args) {
    return Run(args, kDownloadError, [&](uint8_t slave, bool& silentEnd) {
        uint32_t done = 0;
        return DownloadLocked(args, slave, done, silentEnd);
    });
}

int CModbusDomain::DownloadLocked(const DomainTransferArgs& args, uint8_t slave, uint32_t& done,
                                  bool& silentEnd) {
    uint32_t dummySize = 0;
    uint32_t& size = args.size ? *args.size : dummySize;
    const uint32_t receiveTimeout = channel_.DomainReceiveTimeout();
    auto fail = [&](int code) {
        Post(args, kDownloadError, code);
        return code;
    };
    auto terminate = [&](int code) {
        channel_.RestoreDomainTimeout();
        channel_.SendTerminate(slave, args.address);
        return fail(code);
    };

    platform::File file;
    const bool fromFile = (args.flags & (kDomainFileName | kDomainFileHandle)) != 0;
    uint32_t total = size;
    if (args.flags & kDomainFileName) {
        if (!args.target ||
            file.Open(static_cast<const char*>(args.target), platform::FileAccess::kRead) != 0) {
            size = 0;
            return fail(domain_code::kOpenFileFailed);
        }
        if (total == 0) {
            const int64_t fileSize = file.Size();
            if (fileSize < 0 || fileSize > 0xFFFFFFFFll) {
                size = 0;
                return fail(domain_code::kOpenFileFailed);
            }
            total = static_cast<uint32_t>(fileSize);
        }
    } else if (args.flags & kDomainFileHandle) {
        const int fd = args.target ? *static_cast<const int*>(args.target) : -1;
        if (fd < 0) {
            size = 0;
            return fail(domain_code::kInvalidFileHandle);
        }
        file.Borrow(fd);
    } else if (total > 0 && args.target == nullptr) {
        size = 0;
        return fail(domain_code::kReadFileFailed);
    }

    uint8_t start[14] = {0x31, 0x01};
    PutLe32(start + 2, total);
    PutLe32(start + 6, kMaxDownloadBlock);
    PutLe32(start + 10, receiveTimeout);
    int rc = channel_.RegWrite(slave, args.address, 7, start);
    if (rc != 0) {
        size = 0;
        if (channel_.IsStartRefused(rc)) {
            // The drive lacks the protocol: the channel keeps the exchange's code.
            silentEnd = true;
            return domain_code::kDownloadNotSupported;
        }
        return fail(rc);
    }
    uint8_t description[14] = {};
    rc = channel_.RegRead(slave, args.address, 7, description);
    if (rc != 0) {
        size = 0;
        return fail(rc);
    }
    const uint32_t accepted = GetLe32(description + 2);
    // A block below 2 bytes leaves no room for data after the header.
    if (description[1] > 1 || accepted < 2) {
        size = 0;
        return terminate(domain_code::kDownloadNotSupported);
    }
    const uint32_t blockSize = std::min(accepted, kMaxDownloadBlock);
    const uint16_t blockRegisters = static_cast<uint16_t>(blockSize / 2);
    const uint32_t dataPerBlock = 2u * blockRegisters - 1;
    const uint32_t timeoutA = BlockTimeout(GetLe32(description + 6), receiveTimeout);
    const uint32_t timeoutB = BlockTimeout(GetLe32(description + 10), receiveTimeout);
    channel_.ApplyDomainTimeout(timeoutA);
    Post(args, kDomainStart, static_cast<intptr_t>(total));

    if (total == 0) {
        rc = channel_.WriteEmptyBlock(slave, args.address);
        size = 0;
        if (rc != 0) return fail(rc);
        Post(args, kDownloadPhase, 0);
        Post(args, kDownloadEnd, 0);
        return 0;
    }

    const auto* source = static_cast<const uint8_t*>(args.target);
    std::vector<uint8_t> block(2u * blockRegisters + 2);
    bool toggle = false;
    bool first = true;
    while (done < total) {
        if (args.abort && args.abort->load() != 0) {
            size = done;
            return terminate(domain_code::kDownloadAborted);
        }
        const uint32_t left = total - done;
        uint8_t header = toggle ? 0x40 : 0x00;
        uint16_t registers = blockRegisters;
        uint32_t n = dataPerBlock;
        if (left <= dataPerBlock) {
            header |= 0x20;
            n = left;
            if ((left + 1) % 2 != 0) {
                header |= 0x10;
                registers = static_cast<uint16_t>((left + 2) / 2);
            } else {
                registers = static_cast<uint16_t>((left + 1) / 2);
            }
        }
        std::fill(block.begin(), block.end(), 0);
        block[0] = header;
        if (fromFile) {
            // A file shorter than announced fails the transfer as a read error does.
            if (file.ReadAll(block.data() + 1, n) != static_cast<int64_t>(n)) {
                size = done;
                return terminate(domain_code::kReadFileFailed);
            }
        } else {
            std::memcpy(block.data() + 1, source + done, n);
        }
        rc = channel_.RegWrite(slave, args.address, registers, block.data());
        if (rc != 0) {
            size = done;
            return fail(rc);
        }
        done += n;
        Post(args, kDownloadProgress, static_cast<intptr_t>(args.progressOffset + done));
        if (first) {
            Post(args, kDownloadPhase, static_cast<intptr_t>(done));
            channel_.ApplyDomainTimeout(timeoutB);
            first = false;
        }
        toggle = !toggle;
    }
    Post(args, kDownloadEnd, static_cast<intptr_t>(done));
    size = done;
    return 0;
}

}  // namespace transport
