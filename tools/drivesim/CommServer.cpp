#include "tools/drivesim/CommServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/gvtcli/GvtCli.h"
#include "platform/gvtcli/GvtWire.h"
#include "tools/drivesim/SimDriveModel.h"

namespace drivesim {

namespace {

// The node library's functions; their position gives the id handed out at login.
const char* const kNodeFunctions[] = {
    "ConnectNodeID", "DisconnectNodeID", "NodeLinkState",  "ChkActiveNet",   "NCS_Command",
    "GuidCode",      "RequestLibInfo",   "MinOcxRequired", "RequestObjInfo", "UpdateNodeFmw"};
constexpr uint32_t kFunctionIdBase = 0x1000;
constexpr size_t kFunctionCount = sizeof kNodeFunctions / sizeof kNodeFunctions[0];

// SDO list frames (big-endian fields).
constexpr size_t kFrameSize = 944;
constexpr size_t kDataSize = 1016;
constexpr size_t kElementBase = 44;
constexpr size_t kElementSize = 36;
constexpr uint32_t kMaxElements = 25;
constexpr uint32_t kMaxChunk = 974;
constexpr uint32_t kMaxDomainTotal = 16u << 20;
constexpr uint32_t kPhaseWaitWrite = 0x101;
constexpr uint32_t kPhaseReadReady = 0x103;
constexpr uint32_t kNetworkDown = 0x02090008;
constexpr uint32_t kNodeOffline = 0x02090009;

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}
uint16_t Get16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}

uint32_t Key(uint16_t network, uint16_t node) {
    return (uint32_t{network} << 16) | node;
}

bool RecvAll(int fd, uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = recv(fd, data, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

// One SDO list in progress on a connection.
struct CommServer::Transfer {
    enum State { Idle, AwaitWrite, Busy, ReadReady, ReadDelivered } state = Idle;
    uint16_t network = 0, node = 0;
    std::vector<uint8_t> frame;  // the answer frame being built
    std::vector<uint8_t> writeData, readData;
    uint32_t readSent = 0;
    int pollsLeft = 0;
};

struct CommServer::Connection {
    int fd = -1;
    std::thread thread;
    std::atomic<bool> finished{false};
    std::mutex sendMutex;
    std::atomic<bool> loggedIn{false};
    std::atomic<uint32_t> handle{0};
    Transfer transfer;

    bool Send(const std::vector<uint8_t>& bytes) {
        std::lock_guard<std::mutex> lock(sendMutex);
        const uint8_t* p = bytes.data();
        size_t n = bytes.size();
        while (n > 0) {
            const ssize_t sent = send(fd, p, n, MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR) continue;
            if (sent <= 0) return false;
            p += sent;
            n -= static_cast<size_t>(sent);
        }
        return true;
    }
};

CommServer::CommServer() = default;

CommServer::~CommServer() {
    Stop();
}

int CommServer::Start(uint16_t port, std::string* error, const std::string& host) {
    if (listenFd_ >= 0) return port_;
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    const int yes = 1;
    if (listenFd_ < 0 || inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1 ||
        setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
        bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listenFd_, 16) != 0) {
        if (error) *error = std::string("communication server: ") + std::strerror(errno);
        if (listenFd_ >= 0) close(listenFd_);
        listenFd_ = -1;
        return -1;
    }
    socklen_t length = sizeof address;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    stop_ = false;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return port_;
}

void CommServer::Stop() {
    stop_ = true;
    if (acceptThread_.joinable()) acceptThread_.join();
    if (listenFd_ >= 0) close(listenFd_);
    listenFd_ = -1;
    DropConnections();
}

void CommServer::DropConnections() {
    std::vector<std::shared_ptr<Connection>> all;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        all.swap(connections_);
    }
    for (auto& c : all) shutdown(c->fd, SHUT_RDWR);
    for (auto& c : all) {
        if (c->thread.joinable()) c->thread.join();
        close(c->fd);
    }
}

void CommServer::AcceptLoop() {
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (poll(&p, 1, 50) != 1) continue;
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        auto connection = std::make_shared<Connection>();
        connection->fd = fd;
        std::vector<std::shared_ptr<Connection>> ended;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (auto it = connections_.begin(); it != connections_.end();) {
                if ((*it)->finished) {
                    ended.push_back(*it);
                    it = connections_.erase(it);
                } else {
                    ++it;
                }
            }
            connections_.push_back(connection);
        }
        for (auto& c : ended) {
            c->thread.join();
            close(c->fd);
        }
        connection->thread = std::thread([this, connection] { Serve(connection); });
    }
}

void CommServer::Serve(const std::shared_ptr<Connection>& connection) {
    std::vector<uint8_t> body;
    for (;;) {
        uint8_t header[gvt::kHeaderSize];
        uint32_t size = 0, sequence = 0;
        gvt::Kind kind{};
        if (!RecvAll(connection->fd, header, sizeof header) ||
            !gvt::ParseHeader(header, size, kind, sequence))
            break;
        body.assign(size, 0);
        if (size && !RecvAll(connection->fd, body.data(), size)) break;
        gvt::Reader r(body.data(), body.size());
        if (kind == gvt::Kind::Login) {
            gvt::Writer reply(gvt::Kind::LoginReply, sequence);
            const uint16_t libraries = r.U16();
            std::vector<std::vector<uint32_t>> ids(libraries);
            for (uint16_t i = 0; i < libraries && !r.Failed(); ++i) {
                const std::string library = r.Text();
                const uint16_t functions = r.U16();
                for (uint16_t f = 0; f < functions && !r.Failed(); ++f) {
                    const std::string name = r.Text();
                    r.U32();
                    uint32_t id = gvt::kNoFunction;
                    for (size_t k = 0; library == "CNO_LOGICAL_NODE" && k < kFunctionCount; ++k)
                        if (name == kNodeFunctions[k]) id = kFunctionIdBase + static_cast<uint32_t>(k);
                    ids[i].push_back(id);
                }
            }
            if (r.Failed() || !r.AtEnd()) break;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                connection->handle = nextHandle_++;
            }
            connection->loggedIn = true;
            reply.U32(kGvtOk);
            reply.U32(connection->handle);
            reply.U16(libraries);
            for (auto& list : ids) {
                reply.U16(static_cast<uint16_t>(list.size()));
                for (uint32_t id : list) reply.U32(id);
            }
            if (!connection->Send(reply.Finish())) break;
        } else if (kind == gvt::Kind::Logout) {
            r.U32();
            gvt::Writer reply(gvt::Kind::LogoutReply, sequence);
            reply.U32(connection->loggedIn ? kGvtOk : kGvtInvalidHandle);
            connection->loggedIn = false;
            if (!connection->Send(reply.Finish())) break;
        } else if (kind == gvt::Kind::Call) {
            std::vector<uint8_t> reply;
            bool silent = false;
            if (!HandleCall(*connection, body.data(), body.size(), sequence, reply, silent)) break;
            if (!silent && !connection->Send(reply)) break;
        } else {
            break;  // not a message a client sends
        }
    }
    connection->loggedIn = false;
    shutdown(connection->fd, SHUT_RDWR);
    connection->finished = true;
}

bool CommServer::HandleCall(Connection& connection, const uint8_t* body, size_t size, uint32_t sequence,
                            std::vector<uint8_t>& reply, bool& silent) {
    gvt::Reader r(body, size);
    r.U32();  // handle: one login per connection
    r.U16();
    r.U32();
    const uint32_t function = r.U32();
    const uint32_t answerSize = r.U32();
    uint32_t requestSize = 0;
    const uint8_t* requestBytes = r.Bytes(requestSize);
    if (r.Failed() || !r.AtEnd() || answerSize > gvt::kMaxBody / 2) return false;
    const std::vector<uint8_t> request(requestBytes, requestBytes + requestSize);
    const std::string name = (function >= kFunctionIdBase && function < kFunctionIdBase + kFunctionCount)
                                 ? kNodeFunctions[function - kFunctionIdBase]
                                 : std::string();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++calls_[name];
    }
    CommFault fault;
    if (TakeFault(name, CommFault::CloseConnection, fault)) return false;
    if (TakeFault(name, CommFault::NoAnswer, fault)) {
        silent = true;
        return true;
    }
    if (TakeFault(name, CommFault::Delay, fault))
        std::this_thread::sleep_for(std::chrono::milliseconds(fault.code));

    uint32_t result = kGvtOk;
    std::vector<uint8_t> answer(answerSize, 0);
    std::copy(request.begin(), request.begin() + std::min<size_t>(request.size(), answer.size()),
              answer.begin());
    const uint16_t network = request.size() >= 2 ? Get16(request, 0) : 0;
    const uint16_t node = request.size() >= 4 ? Get16(request, 2) : 0;
    bool networkActive, nodePresent, nodeOnline;
    uint16_t version;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        networkActive = !inactiveNetworks_.count(network);
        auto it = nodes_.find(Key(network, node));
        nodePresent = it != nodes_.end();
        nodeOnline = nodePresent && it->second.Online();
        version = libraryVersion_;
    }
    if (!connection.loggedIn) {
        result = kGvtInvalidHandle;
    } else if (TakeFault(name, CommFault::CallError, fault)) {
        result = fault.code;
    } else if (name.empty()) {
        result = kGvtUnknownFunction;
    } else if (name == "ChkActiveNet") {
        if (answer.size() >= 36) Put16(answer, 34, networkActive ? 1 : 0);
    } else if (name == "ConnectNodeID") {
        if (!nodePresent) result = kGvtNodeNotPresent;
    } else if (name == "NodeLinkState") {
        if (answer.size() >= 40) {
            Put32(answer, 12, 0);
            Put32(answer, 32, networkActive ? 0 : kNetworkDown);
            Put32(answer, 36, nodeOnline ? 0 : kNodeOffline);
        }
    } else if (name == "RequestLibInfo") {
        if (answer.size() >= 4) Put16(answer, 2, version);
    } else if (name == "NCS_Command") {
        result = NcsCommand(connection, request, answer);
    }
    gvt::Writer message(gvt::Kind::CallReply, sequence);
    message.U32(result);
    if (result == kGvtOk)
        message.Bytes(answer.data(), answer.size());
    else
        message.Bytes(nullptr, 0);
    reply = message.Finish();
    return true;
}

uint32_t CommServer::NcsCommand(Connection& connection, const std::vector<uint8_t>& request,
                                std::vector<uint8_t>& answer) {
    Transfer& t = connection.transfer;
    if (request.size() == kDataSize && answer.size() == kDataSize) {
        if (t.state == Transfer::AwaitWrite) {
            const uint32_t offset = Get32(request, 28), length = Get32(request, 32);
            if (length > kMaxChunk || offset > t.writeData.size() || length > t.writeData.size() - offset)
                return kGvtRefused;
            std::copy(request.begin() + 40, request.begin() + 40 + length, t.writeData.begin() + offset);
            Put32(answer, 4, 1);
            if (request[36]) {
                t.state = Transfer::Busy;
                std::lock_guard<std::mutex> lock(mutex_);
                t.pollsLeft = pollsBeforeAnswer_;
            }
            return kGvtOk;
        }
        if (t.state == Transfer::ReadReady) {
            const uint32_t total = static_cast<uint32_t>(t.readData.size());
            const uint32_t length = std::min(kMaxChunk, total - t.readSent);
            std::copy(t.frame.begin(), t.frame.begin() + 28, answer.begin());
            Put32(answer, 4, 1);
            Put32(answer, 28, t.readSent);
            Put32(answer, 32, length);
            answer[36] = (t.readSent + length == total) ? 1 : 0;
            std::copy(t.readData.begin() + t.readSent, t.readData.begin() + t.readSent + length,
                      answer.begin() + 40);
            t.readSent += length;
            if (t.readSent == total) t.state = Transfer::ReadDelivered;
            return kGvtOk;
        }
        return kGvtRefused;
    }
    if (request.size() != kFrameSize || answer.size() != kFrameSize) return kGvtInvalidArgument;

    const bool poll = Get32(request, 4) != 0 && t.state != Transfer::Idle;
    if (!poll) {
        t = Transfer();
        t.network = Get16(request, 0);
        t.node = Get16(request, 2);
        t.frame = request;
        const uint32_t count = Get16(request, 32);
        const uint32_t writeTotal = Get32(request, 36), readTotal = Get32(request, 40);
        if (count > kMaxElements || writeTotal > kMaxDomainTotal || readTotal > kMaxDomainTotal)
            return kGvtRefused;
        CommFault fault;
        uint32_t frameError = 0;
        bool networkActive, nodeOnline;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            networkActive = !inactiveNetworks_.count(t.network);
            auto it = nodes_.find(Key(t.network, t.node));
            nodeOnline = it != nodes_.end() && it->second.Online();
        }
        if (!networkActive || TakeFault("NCS_Command", CommFault::NetworkDown, fault))
            frameError = kNetworkDown;
        else if (!nodeOnline || TakeFault("NCS_Command", CommFault::NodeOffline, fault))
            frameError = kNodeOffline;
        if (frameError) {
            answer = t.frame;
            Put32(answer, 4, 0);
            Put32(answer, 12, frameError);
            Put32(answer, 16, Key(t.network, t.node));
            t = Transfer();
            return kGvtOk;
        }
        t.writeData.assign(writeTotal, 0);
        t.readData.assign(readTotal, 0);
        Put32(t.frame, 8, 0);
        Put32(t.frame, 12, 0);
        if (writeTotal > 0) {
            t.state = Transfer::AwaitWrite;
            Put32(t.frame, 4, 1);
            Put32(t.frame, 8, kPhaseWaitWrite);
            answer = t.frame;
            return kGvtOk;
        }
        t.state = Transfer::Busy;
        std::lock_guard<std::mutex> lock(mutex_);
        t.pollsLeft = pollsBeforeAnswer_;
    } else if (t.state == Transfer::AwaitWrite) {
        answer = t.frame;
        return kGvtOk;
    }

    if (t.state == Transfer::Busy) {
        if (t.pollsLeft > 0) {
            --t.pollsLeft;
            Put32(t.frame, 4, 1);
            Put32(t.frame, 8, 0);
            answer = t.frame;
            return kGvtOk;
        }
        ExecuteList(t);
        t.state = t.readData.empty() ? Transfer::ReadDelivered : Transfer::ReadReady;
    }
    if (t.state == Transfer::ReadReady) {
        Put32(t.frame, 4, 1);
        Put32(t.frame, 8, kPhaseReadReady);
        answer = t.frame;
        return kGvtOk;
    }
    // ReadDelivered: the list is done.
    Put32(t.frame, 4, 0);
    Put32(t.frame, 8, 0);
    answer = t.frame;
    t.state = Transfer::Idle;
    return kGvtOk;
}

void CommServer::ExecuteList(Transfer& t) {
    const uint32_t count = Get16(t.frame, 32);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = kElementBase + i * kElementSize;
        const uint32_t kind = Get32(t.frame, at);
        const bool write = t.frame[at + 4] == 1;
        const uint16_t index = Get16(t.frame, at + 5);
        const uint16_t subindex = Get16(t.frame, at + 7);
        const bool domain = (kind & 1) != 0;
        const uint32_t size = domain ? Get32(t.frame, at + 13) : t.frame[at + 13];
        const uint32_t offset = domain ? Get32(t.frame, at + 9) : 0;
        uint32_t status = 2, value = 0;
        ++elements_;
        CommFault fault;
        std::lock_guard<std::mutex> lock(mutex_);
        Node& node = nodes_[Key(t.network, t.node)];
        auto it = node.objects.find((uint32_t{index} << 8) | (subindex & 0xFF));
        const std::vector<uint8_t>& domainArea = write ? t.writeData : t.readData;
        const bool modelObject = node.model && subindex <= 0xFF && it == node.objects.end() &&
                                 node.model->ReadObject(index, static_cast<uint8_t>(subindex)).has_value();
        if (domain && (offset > domainArea.size() || size > domainArea.size() - offset)) {
            status = 4;
        } else if (modelObject) {
            ModelElement(*node.model, t, at, write, domain, index, static_cast<uint8_t>(subindex), offset,
                         size, status, value);
        } else if (subindex > 0xFF || it == node.objects.end()) {
            bool indexKnown = false;
            for (auto& [key, object] : node.objects) indexKnown |= (key >> 8) == index;
            status = 5;
            value = indexKnown ? 0x06090011 : 0x06020000;
        } else if (TakeAbortLocked(fault)) {
            status = 5;
            value = fault.code;
        } else if (write) {
            CanObject& object = it->second;
            std::vector<uint8_t> data;
            if (domain) {
                data.assign(t.writeData.begin() + offset, t.writeData.begin() + offset + size);
            } else {
                const uint32_t raw = Get32(t.frame, at + 9);
                for (uint32_t b = 0; b < size && b < 4; ++b)
                    data.push_back(static_cast<uint8_t>(raw >> (8 * b)));
            }
            if (!object.writable) {
                status = 5;
                value = 0x06010002;
            } else if (!object.domain && data.size() != object.data.size()) {
                status = 5;
                value = data.size() > object.data.size() ? 0x06070012 : 0x06070013;
            } else {
                object.data = data;
                value = domain ? size : 0;
            }
        } else {
            const CanObject& object = it->second;
            if (!object.readable) {
                status = 5;
                value = 0x06010001;
            } else if (domain) {
                if (object.data.size() > size) {
                    status = 7;
                } else {
                    std::copy(object.data.begin(), object.data.end(), t.readData.begin() + offset);
                    value = static_cast<uint32_t>(object.data.size());
                }
            } else if (object.data.size() > 4) {
                status = 7;
            } else {
                for (size_t b = 0; b < object.data.size(); ++b) value |= uint32_t{object.data[b]} << (8 * b);
            }
        }
        Put32(t.frame, at + 28, status);
        Put32(t.frame, at + 32, value);
    }
}

// One SDO element on a described variable: the same outcomes as a table object.
void CommServer::ModelElement(SimDriveModel& model, Transfer& t, size_t at, bool write, bool domain,
                              uint16_t index, uint8_t sub, uint32_t offset, uint32_t size, uint32_t& status,
                              uint32_t& value) {
    if (write) {
        std::vector<uint8_t> data;
        if (domain) {
            data.assign(t.writeData.begin() + offset, t.writeData.begin() + offset + size);
        } else {
            const uint32_t raw = Get32(t.frame, at + 9);
            for (uint32_t b = 0; b < size && b < 4; ++b) data.push_back(static_cast<uint8_t>(raw >> (8 * b)));
        }
        const Refusal refusal =
            model.WriteObject(index, sub, data.data(), data.size()).value_or(Refusal::NoObject);
        if (refusal != Refusal::None) {
            status = 5;
            value = SdoAbortOf(refusal);
        } else {
            value = domain ? size : 0;
        }
        return;
    }
    const SimDriveModel::Answer answer =
        model.ReadObject(index, sub).value_or(SimDriveModel::Answer{Refusal::NoObject, {}});
    if (answer.refusal != Refusal::None) {
        status = 5;
        value = SdoAbortOf(answer.refusal);
    } else if (domain) {
        if (answer.bytes.size() > size) {
            status = 7;
        } else {
            std::copy(answer.bytes.begin(), answer.bytes.end(), t.readData.begin() + offset);
            value = static_cast<uint32_t>(answer.bytes.size());
        }
    } else if (answer.bytes.size() > 4) {
        status = 7;
    } else {
        for (size_t b = 0; b < answer.bytes.size(); ++b) value |= uint32_t{answer.bytes[b]} << (8 * b);
    }
}

bool CommServer::TakeAbortLocked(CommFault& fault) {
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->kind != CommFault::Abort) continue;
        fault = *it;
        if (--it->count <= 0) faults_.erase(it);
        return true;
    }
    return false;
}

bool CommServer::TakeFault(const std::string& function, CommFault::Kind kind, CommFault& fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->kind != kind || (!it->function.empty() && it->function != function)) continue;
        fault = *it;
        if (--it->count <= 0) faults_.erase(it);
        return true;
    }
    return false;
}

void CommServer::AddNode(uint16_t network, uint16_t node) {
    std::lock_guard<std::mutex> lock(mutex_);
    Node& n = nodes_[Key(network, node)];
    // Every node has its device type.
    n.objects[0x1000u << 8] = CanObject{{0x92, 0x01, 0x02, 0x00}, true, false, false};
}

bool CommServer::Node::Online() const {
    return online && (!model || model->Answers());
}

void CommServer::SetNodeModel(uint16_t network, uint16_t node, std::shared_ptr<SimDriveModel> model) {
    std::lock_guard<std::mutex> lock(mutex_);
    nodes_[Key(network, node)].model = std::move(model);
}

void CommServer::SetNodeOnline(uint16_t network, uint16_t node, bool online) {
    std::lock_guard<std::mutex> lock(mutex_);
    nodes_[Key(network, node)].online = online;
}

void CommServer::SetNetworkActive(uint16_t network, bool active) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (active)
        inactiveNetworks_.erase(network);
    else
        inactiveNetworks_[network] = true;
}

void CommServer::SetObject(uint16_t network, uint16_t node, uint16_t index, uint16_t subindex,
                           const CanObject& object) {
    std::lock_guard<std::mutex> lock(mutex_);
    nodes_[Key(network, node)].objects[(uint32_t{index} << 8) | (subindex & 0xFF)] = object;
}

void CommServer::SetValue(uint16_t network, uint16_t node, uint16_t index, uint16_t subindex, uint64_t value,
                          int size) {
    CanObject object;
    for (int b = 0; b < size && b < 8; ++b) object.data.push_back(static_cast<uint8_t>(value >> (8 * b)));
    SetObject(network, node, index, subindex, object);
}

std::vector<uint8_t> CommServer::ObjectData(uint16_t network, uint16_t node, uint16_t index,
                                            uint16_t subindex) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto n = nodes_.find(Key(network, node));
    if (n == nodes_.end()) return {};
    auto it = n->second.objects.find((uint32_t{index} << 8) | (subindex & 0xFF));
    return it == n->second.objects.end() ? std::vector<uint8_t>() : it->second.data;
}

void CommServer::SetLibraryVersion(uint16_t version) {
    std::lock_guard<std::mutex> lock(mutex_);
    libraryVersion_ = version;
}

void CommServer::SetPollsBeforeAnswer(int polls) {
    std::lock_guard<std::mutex> lock(mutex_);
    pollsBeforeAnswer_ = polls < 0 ? 0 : polls;
}

void CommServer::InjectFault(const CommFault& fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.push_back(fault);
}

void CommServer::ClearFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
}

void CommServer::SendEventTo(Connection& connection, uint32_t event, uint16_t code) {
    gvt::Writer message(gvt::Kind::Event, 0);
    message.U32(connection.handle);
    message.U32(event);
    message.U16(code);
    message.U32(0);
    message.Bytes(nullptr, 0);
    connection.Send(message.Finish());
}

void CommServer::SendEvent(uint32_t event, uint16_t code) {
    std::vector<std::shared_ptr<Connection>> all;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        all = connections_;
    }
    for (auto& c : all)
        if (c->loggedIn && !c->finished) SendEventTo(*c, event, code);
}

size_t CommServer::LoginCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (auto& c : connections_) n += (c->loggedIn && !c->finished) ? 1 : 0;
    return n;
}

uint64_t CommServer::CallCount(const std::string& function) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = calls_.find(function);
    return it == calls_.end() ? 0 : it->second;
}

}  // namespace drivesim
