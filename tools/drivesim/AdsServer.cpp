#include "tools/drivesim/AdsServer.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "tools/drivesim/SimDrive.h"
#include "tools/drivesim/SimDriveModel.h"

namespace drivesim {

namespace {

constexpr uint32_t kGroupDeviceCount = 6;
constexpr uint32_t kGroupDeviceAddresses = 7;
constexpr uint32_t kGroupDeviceStates = 9;
constexpr uint32_t kGroupDeviceIdentity = 0x11;
constexpr uint32_t kGroupDeviceVersion = 0x10000000;

// Browse and identity objects a lent SimDrive answers through its registers.
std::optional<uint16_t> RegisterOf(uint32_t key) {
    const uint16_t index = static_cast<uint16_t>(key >> 16);
    const uint8_t sub = static_cast<uint8_t>(key);
    if (index == 0x5FF2 && sub >= 1 && sub <= 4) return static_cast<uint16_t>(250 + sub - 1);
    if (index == 0x5FF3 && sub >= 1 && sub <= 6) return static_cast<uint16_t>(260 + sub - 1);
    return std::nullopt;
}

void SendAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        at += static_cast<size_t>(n);
    }
}

uint32_t AdsCodeOf(Refusal refusal) {
    switch (refusal) {
        case Refusal::None:
            return 0;
        case Refusal::NoObject:
            return ads_code::kInvalidOffset;
        case Refusal::ReadOnly:
        case Refusal::WriteOnly:
        case Refusal::Busy:  // read by the client as "drive busy"
            return ads_code::kAccessDenied;
        case Refusal::Range:
            return ads_code::kOutOfRange;
        case Refusal::Length:
            return ads_code::kInvalidSize;
        case Refusal::WrongState:
            return ads_code::kInvalidState;
        default:
            return ads_code::kGeneral;
    }
}

std::vector<uint8_t> Result(uint32_t code) {
    std::vector<uint8_t> out;
    ams::PutU32(out, code);
    return out;
}

}  // namespace

void EcatSlave::SetU16(uint16_t index, uint8_t sub, uint16_t value, bool writable) {
    CoeObject o;
    o.bytes = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    o.writable = writable;
    SetObject(index, sub, std::move(o));
}

void EcatSlave::SetU32(uint16_t index, uint8_t sub, uint32_t value, bool writable) {
    CoeObject o;
    for (int i = 0; i < 4; ++i) o.bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    o.writable = writable;
    SetObject(index, sub, std::move(o));
}

void EcatSlave::SetText(uint16_t index, uint8_t sub, const std::string& text) {
    CoeObject o;
    o.bytes.assign(text.begin(), text.end());
    o.variableSize = true;
    o.writable = false;
    SetObject(index, sub, std::move(o));
}

CoeObject* EcatSlave::Object(uint16_t index, uint8_t sub) {
    auto it = objects.find(Key(index, sub));
    return it == objects.end() ? nullptr : &it->second;
}

struct AdsServer::Client {
    int fd = -1;
    std::vector<uint8_t> buffer;
};

AdsServer::AdsServer() = default;

AdsServer::~AdsServer() {
    Stop();
}

EcatSlave& AdsServer::AddSlave(uint16_t address) {
    std::lock_guard lock(mutex_);
    for (auto& s : slaves_)
        if (s->address == address) return *s;
    slaves_.push_back(std::make_unique<EcatSlave>());
    slaves_.back()->address = address;
    return *slaves_.back();
}

EcatSlave* AdsServer::Slave(uint16_t address) {
    std::lock_guard lock(mutex_);
    for (auto& s : slaves_)
        if (s->address == address) return s.get();
    return nullptr;
}

EcatSlave& AdsServer::AddDriveSlave(uint16_t address, const std::string& name,
                                    const std::string& hardwareText, const std::string& softwareText) {
    EcatSlave& s = AddSlave(address);
    std::lock_guard lock(mutex_);
    s.vendor = 0x00001A2B;
    s.product = 0x00020001;
    s.revision = 3;
    s.serial = 1000u + address;
    s.SetText(0x1008, 0, name);
    s.SetText(0x1009, 0, hardwareText);
    s.SetText(0x100A, 0, softwareText);
    s.SetU16(0x5FFD, 0x0E, 6871, false);
    s.SetU16(0x5FF2, 0x01, 0xFFFF, false);
    s.SetU32(0x1018, 0x02, s.product, false);
    s.SetU32(0x1018, 0x03, s.revision, false);
    s.SetU32(0x5FFD, 0x0A, 0, false);
    return s;
}

int AdsServer::Start(uint16_t port, std::string* error, const std::string& host) {
    Stop();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (error) *error = std::strerror(errno);
        return -1;
    }
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 8) != 0) {
        if (error) *error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    listenFd_ = fd;
    port_ = ntohs(addr.sin_port);
    stop_ = false;
    thread_ = std::thread([this] { Loop(); });
    return port_;
}

void AdsServer::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
    port_ = -1;
}

void AdsServer::InjectFault(const AdsFault& fault) {
    std::lock_guard lock(mutex_);
    faults_.push_back(fault);
}

void AdsServer::ClearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

bool AdsServer::TakeFault(uint16_t command, AdsFault& fault) {
    std::lock_guard lock(mutex_);
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->command != 0 && it->command != command) continue;
        fault = *it;
        if (--it->count <= 0) faults_.erase(it);
        return true;
    }
    return false;
}

void AdsServer::Loop() {
    std::vector<Client> clients;
    while (!stop_) {
        std::vector<pollfd> fds;
        fds.push_back({listenFd_, POLLIN, 0});
        for (auto& c : clients) fds.push_back({c.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 50) <= 0) continue;
        if (fds[0].revents & POLLIN) {
            const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                const int one = 1;
                setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                clients.push_back(Client{fd, {}});
            }
        }
        std::vector<int> closing;
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            Client& c = clients[i - 1];
            uint8_t chunk[4096];
            const ssize_t n = ::recv(c.fd, chunk, sizeof chunk, 0);
            if (n <= 0) {
                closing.push_back(c.fd);
                continue;
            }
            c.buffer.insert(c.buffer.end(), chunk, chunk + n);
            size_t used = 0;
            bool drop = false;
            for (;;) {
                size_t frameSize = 0;
                const ams::FrameStatus status =
                    ams::PeekFrame(c.buffer.data() + used, c.buffer.size() - used, &frameSize, nullptr);
                if (status == ams::FrameStatus::NeedMore) break;
                if (status == ams::FrameStatus::Bad) {
                    drop = true;
                    break;
                }
                const uint8_t* frame = c.buffer.data() + used;
                used += frameSize;
                ++requests_;
                ams::Header header;
                const uint8_t* data = nullptr;
                size_t dataSize = 0;
                if (!ams::DecodeFrame(frame, frameSize, &header, &data, &dataSize, nullptr)) {
                    drop = true;
                    break;
                }
                if (header.flags & ams::kFlagResponse) continue;  // nothing answers a reply
                uint32_t amsError = 0;
                std::vector<uint8_t> reply = Serve(header, data, dataSize, &amsError, c.fd);
                ams::Header answer;
                answer.target = header.source;
                answer.targetPort = header.sourcePort;
                answer.source = header.target;
                answer.sourcePort = header.targetPort;
                answer.command = header.command;
                answer.flags = ams::kFlagResponse | ams::kFlagAdsCommand;
                answer.error = amsError;
                answer.invokeId = header.invokeId;
                AdsFault fault;
                if (TakeFault(header.command, fault)) {
                    switch (fault.kind) {
                        case AdsFault::NoReply:
                            continue;
                        case AdsFault::Disconnect:
                            drop = true;
                            break;
                        case AdsFault::WrongInvokeId:
                            answer.invokeId += 0x10000;
                            break;
                        case AdsFault::TruncatedHeader: {
                            std::vector<uint8_t> full = ams::EncodeFrame(answer, reply);
                            std::vector<uint8_t> cut(full.begin(), full.begin() + ams::kTcpHeaderSize + 20);
                            cut[2] = 20;
                            cut[3] = cut[4] = cut[5] = 0;
                            std::lock_guard lock(sendMutex_);
                            SendAll(c.fd, cut);
                            continue;
                        }
                        case AdsFault::Delay:
                            std::this_thread::sleep_for(std::chrono::milliseconds(fault.param));
                            break;
                        case AdsFault::ErrorCode:
                            reply = Result(static_cast<uint32_t>(fault.param));
                            break;
                    }
                    if (drop) break;
                }
                std::lock_guard lock(sendMutex_);
                SendAll(c.fd, ams::EncodeFrame(answer, reply));
            }
            if (drop) {
                closing.push_back(c.fd);
                continue;
            }
            c.buffer.erase(c.buffer.begin(), c.buffer.begin() + static_cast<std::ptrdiff_t>(used));
        }
        for (int fd : closing) {
            {
                std::lock_guard lock(mutex_);
                for (auto it = watches_.begin(); it != watches_.end();)
                    it = it->second.fd == fd ? watches_.erase(it) : std::next(it);
            }
            ::close(fd);
            for (auto it = clients.begin(); it != clients.end(); ++it)
                if (it->fd == fd) {
                    clients.erase(it);
                    break;
                }
        }
    }
    for (auto& c : clients) ::close(c.fd);
    std::lock_guard lock(mutex_);
    watches_.clear();
}

std::vector<uint8_t> AdsServer::Answer(const uint8_t* frame, size_t size) {
    size_t frameSize = 0;
    if (ams::PeekFrame(frame, size, &frameSize, nullptr) != ams::FrameStatus::Complete || frameSize != size)
        return {};
    ams::Header header;
    const uint8_t* data = nullptr;
    size_t dataSize = 0;
    if (!ams::DecodeFrame(frame, size, &header, &data, &dataSize, nullptr)) return {};
    if (header.flags & ams::kFlagResponse) return {};
    uint32_t amsError = 0;
    const std::vector<uint8_t> reply = Serve(header, data, dataSize, &amsError, -1);
    ams::Header answer;
    answer.target = header.source;
    answer.targetPort = header.sourcePort;
    answer.source = header.target;
    answer.sourcePort = header.targetPort;
    answer.command = header.command;
    answer.flags = ams::kFlagResponse | ams::kFlagAdsCommand;
    answer.error = amsError;
    answer.invokeId = header.invokeId;
    return ams::EncodeFrame(answer, reply);
}

std::vector<uint8_t> AdsServer::Serve(const ams::Header& header, const uint8_t* data, size_t size,
                                      uint32_t* amsError, int clientFd) {
    std::unique_lock lock(mutex_);
    if (!(header.target == netId_)) {
        *amsError = ads_code::kTargetNotFound;
        return {};
    }
    EcatSlave* slave = nullptr;
    if (header.targetPort != kMasterPort) {
        for (auto& s : slaves_)
            if (s->address == header.targetPort) slave = s.get();
        if (!slave) {
            *amsError = ads_code::kTargetPortNotFound;
            return {};
        }
    }
    switch (header.command) {
        case ams::kRead: {
            if (size != 12) return Result(ads_code::kInvalidSize);
            const uint32_t group = ams::GetU32(data), offset = ams::GetU32(data + 4),
                           length = ams::GetU32(data + 8);
            std::vector<uint8_t> bytes;
            uint32_t rc = 0;
            if (group == kGroupDeviceVersion) {
                if (length < 4) {
                    rc = ads_code::kInvalidSize;
                } else {
                    bytes = {1, 0, 1, 0};
                }
            } else if (!slave) {
                rc = ReadMaster(group, offset, length, bytes);
            } else if (group != kCoeIndexGroup) {
                rc = ads_code::kInvalidGroup;
            } else {
                lock.unlock();  // a lent SimDrive locks itself
                rc = ReadObject(*slave, offset, length, bytes);
            }
            std::vector<uint8_t> out = Result(rc);
            ams::PutU32(out, rc == 0 ? static_cast<uint32_t>(bytes.size()) : 0);
            if (rc == 0) out.insert(out.end(), bytes.begin(), bytes.end());
            return out;
        }
        case ams::kWrite: {
            if (size < 12) return Result(ads_code::kInvalidSize);
            const uint32_t group = ams::GetU32(data), offset = ams::GetU32(data + 4),
                           length = ams::GetU32(data + 8);
            if (length != size - 12) return Result(ads_code::kInvalidSize);
            if (!slave) return Result(ads_code::kServiceNotSupported);
            if (group != kCoeIndexGroup) return Result(ads_code::kInvalidGroup);
            lock.unlock();
            const uint32_t rc = WriteObject(*slave, offset, data + 12, length);
            if (rc == 0) {
                ++coeWrites_;
                Notify(header.targetPort, offset);
            }
            return Result(rc);
        }
        case ams::kReadState: {
            std::vector<uint8_t> out = Result(0);
            ams::PutU16(out, 5);  // run
            ams::PutU16(out, slave ? slave->state : 0);
            return out;
        }
        case ams::kWriteControl: {
            if (size < 8 || ams::GetU32(data + 4) != size - 8) return Result(ads_code::kInvalidSize);
            if (slave) slave->state = ams::GetU16(data + 2);
            return Result(0);
        }
        case ams::kReadDeviceInfo: {
            std::vector<uint8_t> out = Result(0);
            out.push_back(1);
            out.push_back(0);
            ams::PutU16(out, 1);
            const char name[16] = "DriveSim EtherC";
            out.insert(out.end(), name, name + 16);
            return out;
        }
        case ams::kAddNotification: {
            if (size != 40) return Result(ads_code::kInvalidSize);
            const uint32_t group = ams::GetU32(data), offset = ams::GetU32(data + 4),
                           length = ams::GetU32(data + 8);
            if (!slave || group != kCoeIndexGroup) return Result(ads_code::kInvalidGroup);
            if (slave->objects.find(offset) == slave->objects.end()) return Result(ads_code::kInvalidOffset);
            const uint32_t handle = nextWatch_++;
            watches_[handle] =
                Watch{clientFd, header.source, header.sourcePort, header.targetPort, offset, length};
            std::vector<uint8_t> out = Result(0);
            ams::PutU32(out, handle);
            return out;
        }
        case ams::kDeleteNotification: {
            if (size != 4) return Result(ads_code::kInvalidSize);
            return Result(watches_.erase(ams::GetU32(data)) ? 0 : ads_code::kInvalidHandle);
        }
        case ams::kReadWrite:
            return Result(ads_code::kServiceNotSupported);
        default:
            *amsError = ads_code::kUnknownCommand;
            return {};
    }
}

uint32_t AdsServer::ReadMaster(uint32_t group, uint32_t offset, uint32_t length, std::vector<uint8_t>& out) {
    const uint32_t count = static_cast<uint32_t>(slaves_.size());
    switch (group) {
        case kGroupDeviceCount:
            if (offset != 0) return ads_code::kInvalidOffset;
            if (length < 4) return ads_code::kInvalidSize;
            ams::PutU32(out, count);
            return 0;
        case kGroupDeviceAddresses:
        case kGroupDeviceStates:
            if (offset != 0) return ads_code::kInvalidOffset;
            if (length > 2 * count) return ads_code::kInvalidSize;
            for (uint32_t i = 0; i < length / 2; ++i)
                ams::PutU16(out, group == kGroupDeviceAddresses ? slaves_[i]->address : slaves_[i]->state);
            return 0;
        case kGroupDeviceIdentity:
            for (auto& s : slaves_) {
                if (s->address != offset) continue;
                if (!s->identityReadable) return ads_code::kGeneral;
                if (length < 16) return ads_code::kInvalidSize;
                ams::PutU32(out, s->vendor);
                ams::PutU32(out, s->product);
                ams::PutU32(out, s->revision);
                ams::PutU32(out, s->serial);
                return 0;
            }
            return ads_code::kNotFound;
        default:
            return ads_code::kInvalidGroup;
    }
}

uint32_t AdsServer::ReadObject(EcatSlave& slave, uint32_t offset, uint32_t length,
                               std::vector<uint8_t>& out) {
    // The master answers for a slave whose drive is mute: the slave timed out.
    if (slave.model && !slave.model->Answers()) return ads_code::kDeviceTimeout;
    if (slave.model) {
        if (auto answer =
                slave.model->ReadObject(static_cast<uint16_t>(offset >> 16), static_cast<uint8_t>(offset))) {
            if (answer->refusal != Refusal::None) return AdsCodeOf(answer->refusal);
            if (length < answer->bytes.size()) return ads_code::kInvalidSize;
            out = std::move(answer->bytes);
            return 0;
        }
    }
    if (slave.registers) {
        if (auto reg = RegisterOf(offset)) {
            if (length < 2) return ads_code::kInvalidSize;
            const uint8_t pdu[5] = {3, static_cast<uint8_t>(*reg >> 8), static_cast<uint8_t>(*reg), 0, 1};
            const std::vector<uint8_t> reply = slave.registers->Handle(pdu, sizeof pdu);
            if (reply.size() != 4 || reply[0] != 3) return ads_code::kInvalidOffset;
            out = {reply[3], reply[2]};
            return 0;
        }
    }
    std::lock_guard lock(mutex_);
    auto it = slave.objects.find(offset);
    if (it == slave.objects.end()) return ads_code::kInvalidOffset;
    const CoeObject& o = it->second;
    if (o.readError) return o.readError;
    if (!o.readable) return ads_code::kAccessDenied;
    if (length < o.bytes.size()) return ads_code::kInvalidSize;
    out = o.bytes;
    return 0;
}

uint32_t AdsServer::WriteObject(EcatSlave& slave, uint32_t offset, const uint8_t* data, uint32_t length) {
    if (slave.model && !slave.model->Answers()) return ads_code::kDeviceTimeout;
    if (slave.model) {
        if (auto refusal = slave.model->WriteObject(static_cast<uint16_t>(offset >> 16),
                                                    static_cast<uint8_t>(offset), data, length))
            return AdsCodeOf(*refusal);
    }
    if (slave.registers) {
        if (auto reg = RegisterOf(offset)) {
            if (length != 2) return ads_code::kInvalidSize;
            const uint8_t pdu[5] = {6, static_cast<uint8_t>(*reg >> 8), static_cast<uint8_t>(*reg), data[1],
                                    data[0]};
            const std::vector<uint8_t> reply = slave.registers->Handle(pdu, sizeof pdu);
            return reply.size() == 5 && reply[0] == 6 ? 0 : ads_code::kAccessDenied;
        }
    }
    std::lock_guard lock(mutex_);
    auto it = slave.objects.find(offset);
    if (it == slave.objects.end()) return ads_code::kInvalidOffset;
    CoeObject& o = it->second;
    if (o.writeError) return o.writeError;
    if (!o.writable) return ads_code::kAccessDenied;
    if (o.variableSize) {
        if (o.maxSize && length > o.maxSize) return ads_code::kInvalidSize;
    } else if (length != o.bytes.size()) {
        return ads_code::kInvalidSize;
    }
    if ((o.minimum || o.maximum) && length >= 1 && length <= 4) {
        uint32_t raw = 0;
        for (uint32_t i = 0; i < length; ++i) raw |= static_cast<uint32_t>(data[i]) << (8 * i);
        int64_t value = raw;
        if (o.minimum && *o.minimum < 0) {
            const unsigned shift = 32 - 8 * length;
            value = static_cast<int32_t>(raw << shift) >> shift;
        }
        if ((o.minimum && value < *o.minimum) || (o.maximum && value > *o.maximum))
            return ads_code::kOutOfRange;
    }
    o.bytes.assign(data, data + length);
    return 0;
}

void AdsServer::Notify(uint16_t port, uint32_t offset) {
    std::vector<std::pair<int, std::vector<uint8_t>>> frames;
    {
        std::lock_guard lock(mutex_);
        EcatSlave* slave = nullptr;
        for (auto& s : slaves_)
            if (s->address == port) slave = s.get();
        if (!slave) return;
        auto object = slave->objects.find(offset);
        if (object == slave->objects.end()) return;
        const auto stamp = static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
        for (auto& [handle, w] : watches_) {
            if (w.targetPort != port || w.offset != offset || w.fd < 0) continue;
            const std::vector<uint8_t>& bytes = object->second.bytes;
            const uint32_t n = std::min<uint32_t>(w.length, static_cast<uint32_t>(bytes.size()));
            std::vector<uint8_t> data;
            ams::PutU32(data, 0);  // length, set below
            ams::PutU32(data, 1);
            ams::PutU64(data, stamp);
            ams::PutU32(data, 1);
            ams::PutU32(data, handle);
            ams::PutU32(data, n);
            data.insert(data.end(), bytes.begin(), bytes.begin() + n);
            const uint32_t length = static_cast<uint32_t>(data.size() - 4);
            for (int i = 0; i < 4; ++i) data[i] = static_cast<uint8_t>(length >> (8 * i));
            ams::Header h;
            h.target = w.netId;
            h.targetPort = w.sourcePort;
            h.source = netId_;
            h.sourcePort = port;
            h.command = ams::kNotification;
            frames.emplace_back(w.fd, ams::EncodeFrame(h, data));
        }
    }
    std::lock_guard lock(sendMutex_);
    for (auto& [fd, frame] : frames) SendAll(fd, frame);
}

}  // namespace drivesim
