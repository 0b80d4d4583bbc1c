#include "transport/BridgeVkr.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "foundation/LogFile.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Prompt.h"
#include "platform/SystemError.h"
#include "platform/ThreadLog.h"
#include "transport/BridgeStatusText.h"
#include "transport/ChannelTrace.h"

namespace transport {

namespace {

platform::Clock& Now() {
    return platform::SystemClock();
}

bool PeerClosed(const platform::TcpSocket& socket) {
    return socket.LastError() == ECONNRESET && socket.LastErrorText() == "recv: connection closed by peer";
}

}  // namespace

CBridgeVkr::CBridgeVkr() = default;

CBridgeVkr::~CBridgeVkr() {
    Disconnect();
}

void CBridgeVkr::SetError(int code, const std::string& text) {
    std::lock_guard lock(errorMutex_);
    lastErrorCode_ = code;
    lastErrorText_ = text;
}

int CBridgeVkr::LastErrorCode() const {
    std::lock_guard lock(errorMutex_);
    return lastErrorCode_;
}

std::string CBridgeVkr::LastErrorText() const {
    std::lock_guard lock(errorMutex_);
    return lastErrorText_;
}

namespace {

constexpr platform::CodeText<int> kClientTexts[] = {
    {CBridgeVkr::kWrongData, "Wrong data received"},
    {CBridgeVkr::kTimeoutResponse, "Timeout waiting message response"},
    {CBridgeVkr::kTimeoutExecution, "Timeout waiting message execution"},
    {CBridgeVkr::kChannelBusy, "Channel busy"},
    {CBridgeVkr::kNotConnected, "Not connected"},
    {CBridgeVkr::kNoGroup, "Group does not exist"},
    {CBridgeVkr::kTooLong, "Request or response message is too long for the bridge"},
};

}  // namespace

std::span<const platform::CodeText<int>> CBridgeVkr::ClientCodeTexts() {
    return kClientTexts;
}

const char* CBridgeVkr::ClientCodeText(int code) {
    return platform::FindCodeText<int>(kClientTexts, code);
}

std::string CBridgeVkr::GetErrorText(int code) const {
    if (const char* text = ClientCodeText(code)) return text;
    return LastErrorText();
}

std::string CBridgeVkr::GetVersionText() const {
    std::string text = Format("%s %d.%d.%d.%d", name_.c_str(), static_cast<int>(versionHigh_ >> 16),
                              static_cast<int>(versionHigh_ & 0xFFFF), static_cast<int>(versionLow_ >> 16),
                              static_cast<int>(versionLow_ & 0xFFFF));
    if (build_ != 0) text += Format("%lu", static_cast<unsigned long>(build_));
    return text;
}

uint32_t CBridgeVkr::TransferEstimate(uint32_t bytes, double rate) {
    if (rate <= 0) rate = 1.0;
    return static_cast<uint32_t>(bytes / rate) + 1000;
}

const CBusInfo* CBridgeVkr::FindBus(uint8_t kind, uint8_t number) const {
    for (const CBusInfo& bus : buses_)
        if (bus.kind == kind && bus.number == number) return &bus;
    return nullptr;
}

void CBridgeVkr::ClearCommandSets() {
    std::lock_guard lock(commandSetsMutex_);
    commandSets_.clear();
}

bool CBridgeVkr::AcceptsOpcode(uint8_t target, uint8_t opcode) const {
    std::lock_guard lock(commandSetsMutex_);
    for (const CBusCmds& set : commandSets_)
        if (set.target == target &&
            std::find(set.opcodes.begin(), set.opcodes.end(), opcode) != set.opcodes.end())
            return true;
    return false;
}

void CBridgeVkr::NoteCommandStatus(const CCmd& command) {
    if (command.Status() == 0) {
        consecutiveErrors_ = 0;
        return;
    }
    ++consecutiveErrors_;
    if (reportErrors_ || traceFile_)
        Trace(Format("%u, %s error %x '%s'", command.Target(), command.Text().c_str(), command.Status(),
                     GetSdoAbortText(command.Status()).c_str()));
}

// --- traces

void CBridgeVkr::Trace(const std::string& text) {
    std::lock_guard lock(traceMutex_);
    const int64_t now = Now().NowMs();
    if (reportErrors_) {
        if (traceText_.empty() && !traceNew_) traceTextStartMs_ = now;
        traceText_ += Format("%11.3f: ", (now - traceTextStartMs_) / 1000.0) + text + "\r\n";
        traceNew_ = true;
    }
    if (traceFile_) {
        std::fprintf(traceFile_, "%11.3f: ", (now - traceFileStartMs_) / 1000.0);
        std::fwrite(text.data(), 1, text.size(), traceFile_);
        std::fputs("\r\n", traceFile_);
        std::fflush(traceFile_);
    }
}

std::string CBridgeVkr::TakeTraceText() {
    std::lock_guard lock(traceMutex_);
    traceNew_ = false;
    return std::move(traceText_);
}

void CBridgeVkr::SetTraceFile(std::FILE* file) {
    std::lock_guard lock(traceMutex_);
    traceFile_ = file;
    traceFileStartMs_ = Now().NowMs();
}

void CBridgeVkr::TraceSocketError(const char* operation, int error, const std::string& systemText) {
    const std::string text =
        Format("%s: socket error %lu :\r\n", operation, static_cast<unsigned long>(error)) + systemText;
    SetError(error, text);
    if (showSocketErrors_) platform::Prompts().MessageBox(text, "Bridge", platform::MB_ICONINFORMATION);
    Trace(text);
}

// --- connection

bool CBridgeVkr::Connect(const std::string& address) {
    Disconnect();
    if (ConnectInner(address)) return true;
    if (!sendRecv_.IsRunning()) {
        socket_.Close();
        linkUp_ = false;
    }
    return false;
}

bool CBridgeVkr::ConnectInner(const std::string& address) {
    SetError(0, "");
    identified_ = false;
    // Resolve: a dotted address, else the first IPv4 address of the name.
    uint32_t ip = 0;
    if (platform::ResolveIpv4(address, ip) != 0) {
        TraceSocketError("Invalid IP dotted-decimal string", EINVAL, platform::SystemErrorText(EINVAL));
        return false;
    }
    address_ = ip;
    addressText_ = platform::Ipv4Text(ip);
    if (socket_.Connect(addressText_, port_, timings_.connectWaitMs) < 0) {
        TraceSocketError("Error connecting to the bridge", socket_.LastError(), socket_.LastErrorText());
        socket_.Close();
        return false;
    }
    socket_.SetNoDelay(true);

    ClearCommandSets();
    buses_.clear();
    versionHigh_ = versionLow_ = 0;
    wire_ = bridge_wire::Format{};

    // The identification request: always little-endian with a version-1 header.
    uint8_t request[20] = {};
    const bridge_wire::Format le;
    le.Put16(request, bridge_wire::kMagic);
    le.Put16(request + 2, 1);
    le.Put32(request + 4, 20);
    le.Put16(request + 8, 50);
    request[10] = bridge_wire::kBridgeTarget;
    request[11] = bridge_wire::op::kIdentify;
    le.Put16(request + 12, 1);
    le.Put16(request + 14, 3);
    le.Put16(request + 16, 1);
    le.Put16(request + 18, bridge_wire::kBrandCode);
    if (socket_.Send(request, sizeof request, timings_.connectWaitMs) != static_cast<int>(sizeof request)) {
        SetError(kTooManyClients, "Too many clients connected to the bridge");
        socket_.Close();
        return false;
    }

    const int ready = socket_.WaitReadable(timings_.identifyWaitMs);
    if (ready == 0) {
        SetError(kConnectionLost, "Bridge do not respond: timeout error");
        socket_.Close();
        return false;
    }
    if (ready < 0) {
        TraceSocketError("Error selecting in the socket", socket_.LastError(), socket_.LastErrorText());
        socket_.Close();
        return false;
    }
    // TCP may split the reply: gather until the peer pauses or 1000 bytes are in.
    std::vector<uint8_t> reply(1000);
    size_t got = 0;
    for (;;) {
        const int n = socket_.RecvSome(reply.data() + got, reply.size() - got, got == 0 ? 0 : 50);
        if (n < 0) {
            if (got > 0) break;
            if (PeerClosed(socket_))
                TraceSocketError("Connection closed", socket_.LastError(), socket_.LastErrorText());
            else
                SetError(kTooManyClients, "Too many clients connected to the bridge");
            socket_.Close();
            return false;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
        if (got >= reply.size()) break;
    }
    if (got < 8 || (bridge_wire::Format{}.Get16(reply.data()) != bridge_wire::kMagic &&
                    bridge_wire::Format{}.Get16(reply.data()) != bridge_wire::kMagicSwapped)) {
        SetError(kConnectionLost, "Unknown Bridge protocol");
        return false;
    }
    if (got == 8) {
        // An older bridge's status message: 102 in either byte order means it could not
        // read our byte order.
        if (reply[4] == kWrongData || reply[7] == kWrongData) wire_.bigEndian = !wire_.bigEndian;
    } else if (got > 30) {
        if (!ReadIdentification(reply.data(), got)) return false;
        if (applicationId_ != bridge_wire::kApplicationId) {
            SetError(kConnectionLost, Format("Not a recognized bridge application running on target: %s (%s)",
                                             GetVersionText().c_str(), description_.c_str()));
            return false;
        }
    } else {
        SetError(kWrongData, GetErrorText(kWrongData));
        return false;
    }

    linkUp_ = true;
    if (!StartSendRecv()) {
        linkUp_ = false;
        SetError(kConnectionLost, "Error starting the bridge thread");
        return false;
    }
    if (wire_.version < 3 && !Handshake()) return false;
    if (wire_.version > bridge_wire::kMaxProtocolVersion) {
        SetError(kConnectionLost,
                 Format("Bridge protocol version %lu not supported: %s",
                        static_cast<unsigned long>(wire_.version), GetVersionText().c_str()));
        return false;
    }
    TakeBusRates();
    return true;
}

bool CBridgeVkr::ReadIdentification(const uint8_t* data, size_t size) {
    // Every field is checked against the received length: a short reply is wrong data.
    auto wrong = [this] {
        SetError(kWrongData, GetErrorText(kWrongData));
        return false;
    };
    bridge_wire::Format w;
    w.bigEndian = bridge_wire::Format{}.Get16(data) == bridge_wire::kMagicSwapped;
    if (size < 37) return wrong();
    wire_.bigEndian = w.bigEndian;
    wire_.version = w.Get16(data + 2);
    applicationId_ = w.Get16(data + 4);
    brandCode_ = w.Get16(data + 6);
    cycleUs_ = w.Get32(data + 8);
    const uint32_t rx = w.Get32(data + 12), tx = w.Get32(data + 16), largest = w.Get32(data + 20);
    if (rx >= 11 && rx <= 65535) receiveSize_ = rx;
    if (tx >= 11 && tx <= 65535) sendSize_ = tx;
    if (largest > sendSize_ && largest < 0x1000000) largestMessage_ = largest;
    versionHigh_ = uint32_t{w.Get16(data + 24)} << 16 | w.Get16(data + 26);
    versionLow_ = uint32_t{w.Get16(data + 28)} << 16 | w.Get16(data + 30);
    build_ = w.Get32(data + 32);
    size_t at = 36;
    auto text = [&](std::string& out) {
        if (at >= size) return false;
        const size_t n = data[at++];
        if (size - at < n) return false;
        std::u16string units;
        for (size_t i = 0; i + 1 < n; i += 2) units.push_back(static_cast<char16_t>(w.Get16(data + at + i)));
        out = platform::Utf16ToUtf8(units);
        at += n;
        return true;
    };
    if (!text(name_) || !text(description_)) return wrong();
    if (at >= size) return wrong();
    CBusCmds own;
    own.target = bridge_wire::kBridgeTarget;
    const size_t ownCount = data[at++];
    if (size - at < ownCount) return wrong();
    own.opcodes.assign(data + at, data + at + ownCount);
    at += ownCount;
    std::vector<CBusCmds> sets{own};
    if (at >= size) return wrong();
    const size_t targets = data[at++];
    for (size_t i = 0; i < targets; ++i) {
        if (size - at < 2) return wrong();
        CBusCmds set;
        set.target = data[at];
        const size_t n = data[at + 1];
        at += 2;
        if (size - at < n) return wrong();
        set.opcodes.assign(data + at, data + at + n);
        at += n;
        sets.push_back(std::move(set));
    }
    if (at >= size) return wrong();
    const size_t busCount = data[at++];
    if (size - at < busCount * 4) return wrong();
    std::vector<CBusInfo> buses;
    for (size_t i = 0; i < busCount; ++i, at += 4) {
        CBusInfo bus;
        bus.id = data[at];
        bus.kind = data[at + 1];
        bus.number = data[at + 2];
        bus.parameter = data[at + 3];
        buses.push_back(bus);
    }
    {
        std::lock_guard lock(commandSetsMutex_);
        commandSets_ = std::move(sets);
    }
    buses_ = std::move(buses);
    identified_ = true;
    return true;
}

bool CBridgeVkr::Handshake() {
    CCmdList list;
    list.RaiseTimeout(500);
    uint32_t infoStatus = 0, busStatus = 0;
    CCmdGetInfo* info = nullptr;
    auto build = [&](bool withCommands) {
        list.Clear();
        list.RaiseTimeout(500);
        ClearCommandSets();
        buses_.clear();
        if (withCommands) list.Add(std::make_unique<CCmdCommands>(*this, nullptr));
        auto getInfo = std::make_unique<CCmdGetInfo>(*this, &infoStatus);
        info = getInfo.get();
        list.Add(std::move(getInfo));
        list.Add(std::make_unique<CCmdBusList>(*this, &busStatus));
    };
    build(true);
    int rc = ExecuteList(list);
    if (!linkUp_ && rc != kWrongData) {
        SetError(kTooManyClients, "Too many clients connected to the bridge");
        return false;
    }
    if (rc == kWrongData) {
        wire_.bigEndian = true;
        build(true);
        rc = ExecuteList(list);
    }
    if (rc != 0 && linkUp_) {
        build(false);
        rc = ExecuteList(list);
    }
    if (rc != 0) {
        SetError(kConnectionLost, Format("Error GetInfo(): %lu", static_cast<unsigned long>(rc)));
        return false;
    }
    if (infoStatus != 0) {
        SetError(kConnectionLost, Format("Error GetInfo(): %lu", static_cast<unsigned long>(infoStatus)));
        return false;
    }
    if (busStatus != 0) {
        SetError(kConnectionLost, Format("Error BusList(): %lu", static_cast<unsigned long>(busStatus)));
        return false;
    }
    wire_.version = static_cast<uint16_t>(std::min<uint32_t>(info->protocolVersion, 0xFFFF));
    if (info->cycleUs != 0) cycleUs_ = info->cycleUs;
    const uint32_t oldReceive = receiveSize_;
    if (info->receiveSize >= 10 && info->receiveSize <= 65536) receiveSize_ = info->receiveSize;
    if (info->sendSize >= 10 && info->sendSize <= 65536) sendSize_ = info->sendSize;
    // A largest message too small for any frame would make every exchange fail.
    if (info->largestMessage >= 16 && info->largestMessage <= 0x1000000)
        largestMessage_ = info->largestMessage;
    if (receiveSize_ != oldReceive) {
        StopSendRecv(200);
        if (!StartSendRecv()) {
            linkUp_ = false;
            SetError(kConnectionLost, "Error starting the bridge thread");
            return false;
        }
    }
    return true;
}

void CBridgeVkr::TakeBusRates() {
    for (CBusInfo& bus : buses_) {
        if (bus.kind == kBusKindCanOpen) {
            bus.rateFigure = cycleUs_ ? 6300000 / cycleUs_ : 0;
            canRate_ = bus.rateFigure / 1000.0;
            if (canRate_ <= 0) canRate_ = 1.0;
        } else if (bus.kind == kBusKindEtherCat) {
            bus.rateFigure = 5500;
            ethRate_ = 5.5;
            foeRate_ = 7.8;
        }
    }
}

void CBridgeVkr::Disconnect() {
    CmdLogDisconnect();
    StopCyclic();
    {
        std::lock_guard lock(groupsMutex_);
        cyclicHandles_.clear();
        groups_.DeleteAll();
    }
    direct_.Clear();
    ClearCommandSets();
    StopSendRecv(1000);
    {
        std::lock_guard lock(traceMutex_);
        if (traceFile_) {
            const platform::LocalTime t = platform::LocalNow();
            std::fprintf(traceFile_, "%04d-%02d-%02d %02d:%02d:%02d\r\n", t.year, t.month, t.day, t.hour,
                         t.minute, t.second);
            std::fclose(traceFile_);
            traceFile_ = nullptr;
        }
    }
    linkUp_ = false;
    {
        std::lock_guard send(sendMutex_);
        socket_.Close();
    }
    free_.Set();
}

bool CBridgeVkr::StartSendRecv() {
    return sendRecv_.Start("CBridgeVkr::ThreadSendRecv",
                           [this](platform::StopToken& stop) { ThreadSendRecv(stop); });
}

void CBridgeVkr::StopSendRecv(uint32_t ms) {
    if (!sendRecv_.IsRunning()) {
        sendRecv_.Join();
        return;
    }
    sendRecv_.RequestStop();
    wake_.Set();
    // The thread waits at most 20 ms per pass; a join that takes longer still waits,
    // since nothing it uses may be freed before it has stopped.
    if (!sendRecv_.JoinFor(ms)) sendRecv_.Join();
}

// --- exchange, caller side

int CBridgeVkr::ExecuteList(CCmdList& list) {
    if (!linkUp_) {
        SetError(kNotConnected, GetErrorText(kNotConnected));
        return kNotConnected;
    }
    if (!free_.Wait(timings_.channelFreeWaitMs)) {
        SetError(kChannelBusy, GetErrorText(kChannelBusy));
        return kChannelBusy;
    }
    if (!linkUp_) {
        free_.Set();
        SetError(kNotConnected, GetErrorText(kNotConnected));
        return kNotConnected;
    }
    if (list.Count() == 0) {
        free_.Set();
        return 0;
    }
    if (!list.HasFrame()) {
        const std::string error = list.BuildRequest(wire_.version, largestMessage_);
        if (!error.empty()) {
            SetError(kTooLong, error);
            free_.Set();
            return kTooLong;
        }
    }
    ++sequence_;
    list.SetSequence(sequence_);
    uint32_t timeout = cellTime_ * static_cast<uint32_t>(list.Count()) + baseTimeout_;
    if (timeout < list.Timeout() + 100) timeout = list.Timeout() + 100;
    done_.Reset();
    {
        std::lock_guard lock(exchangeMutex_);
        pendingList_ = &list;
        pending_ = true;
        abandon_ = false;
        result_ = 0;
        exchangeTimeout_ = timeout;
    }
    wake_.Set();
    int rc;
    if (done_.Wait(timeout + 100)) {
        std::lock_guard lock(exchangeMutex_);
        rc = result_;
    } else {
        std::lock_guard lock(exchangeMutex_);
        if (done_.IsSet()) {
            rc = result_;
        } else {
            // From here on the thread never touches this list again.
            abandon_ = true;
            if (pending_) {
                pending_ = false;
                pendingList_ = nullptr;
            }
            rc = kTimeoutExecution;
            SetError(kTimeoutExecution, GetErrorText(kTimeoutExecution));
        }
    }
    free_.Set();
    if (rc != 0) {
        ++consecutiveErrors_;
        if (reportErrors_)
            Trace(Format("0x%x (%lu) %s", static_cast<unsigned>(rc), static_cast<unsigned long>(rc),
                         LastErrorText().c_str()));
    }
    // A lost connection ends the client; the cyclic thread cannot stop itself from inside,
    // it ends its walk once it sees the link down.
    if (rc == kConnectionLost && !OnCyclicThread()) {
        const int code = LastErrorCode();
        const std::string text = LastErrorText();
        Disconnect();
        SetError(code, text);
    }
    return rc;
}

int CBridgeVkr::ExecuteCmds(uint32_t timeoutMs) {
    direct_.RaiseTimeout(timeoutMs);
    return ExecuteList(direct_);
}

// --- exchange, thread side

bool CBridgeVkr::SendBytes(const uint8_t* data, size_t size) {
    std::lock_guard send(sendMutex_);
    const size_t chunk = std::max<uint32_t>(sendSize_, 1);
    for (size_t at = 0; at < size;) {
        const size_t n = std::min(chunk, size - at);
        if (socket_.Send(data + at, n, 5000) != static_cast<int>(n)) return false;
        at += n;
    }
    return true;
}

void CBridgeVkr::SendShortMessage(uint8_t opcode, uint16_t sequence) {
    const bool v3 = wire_.version >= 3;
    uint8_t message[16] = {};
    const size_t length = v3 ? 16 : 12;
    wire_.Put16(message, bridge_wire::kMagic);
    wire_.Put16(message + 2, sequence);
    wire_.Put32(message + 4, static_cast<uint32_t>(length));
    const size_t at = bridge_wire::RequestHeaderSize(wire_.version);
    message[at] = bridge_wire::kBridgeTarget;
    message[at + 1] = opcode;
    SendBytes(message, length);
}

// The abort goes out beside a running exchange, which the bridge then ends with its status.
int CBridgeVkr::SendAbort() {
    if (!linkUp_.load()) return -1;
    uint8_t message[16] = {};
    wire_.Put16(message, bridge_wire::kMagic);
    wire_.Put16(message + 2, 0);
    size_t length = 12;
    // The last word is always least significant byte first, whatever the bridge's order.
    auto putLe32 = [](uint8_t* p, uint32_t v) {
        for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
    };
    if (wire_.version < 3) {
        wire_.Put32(message + 4, 12);
        putLe32(message + 8, 0x03FF0000);
    } else {
        length = 16;
        wire_.Put32(message + 4, 16);
        putLe32(message + 12, 1023);
    }
    std::lock_guard send(sendMutex_);
    return socket_.Send(message, length, 1000);
}

void CBridgeVkr::LoseLink(const std::string& text, bool trace) {
    SetError(kConnectionLost, text);
    if (trace) Trace(text);
    linkUp_ = false;
    {
        std::lock_guard send(sendMutex_);
        socket_.Close();
    }
    logRun_ = false;
}

void CBridgeVkr::ThreadSendRecv(platform::StopToken& stop) {
    const uint32_t keepAlive =
        std::clamp<uint32_t>(3 * baseTimeout_, timings_.keepAliveMinMs, timings_.keepAliveMaxMs);
    std::vector<uint8_t> frame, rx;
    rx.reserve(receiveSize_);
    int state = 0;  // 0 idle, 1 sending, 2 waiting for the reply
    CCmdList* active = nullptr;
    uint32_t timeout = 0;
    uint16_t expected = 0;
    int64_t sentAt = 0, idleSince = -1;
    int watchdog = timings_.watchdogPasses;
    bool watchdogOff = false;
    // Asked when needed: an older bridge's command sets arrive after this thread started.
    auto keepAliveAllowed = [this] {
        return wire_.version >= 3 || AcceptsOpcode(bridge_wire::kBridgeTarget, 4);
    };

    auto finish = [&](int result) {
        // Called with exchangeMutex_ held.
        if (!abandon_) {
            result_ = result;
            done_.Set();
        }
        state = 0;
        active = nullptr;
        idleSince = -1;
    };

    while (!stop.StopRequested() && linkUp_) {
        wake_.Wait(20);
        const int64_t now = Now().NowMs();
        bool idleNow = false;
        {
            std::lock_guard lock(exchangeMutex_);
            if (state == 0 && pending_) {
                pending_ = false;
                abandon_ = false;
                result_ = 0;
                active = pendingList_;
                frame = active->Frame();
                timeout = exchangeTimeout_;
                expected = wire_.Get16(frame.data() + 2);
                state = 1;
                watchdog = timings_.watchdogPasses;
                ChannelTrace(Format("Send bus %u, %u requests", currentTarget_.load(),
                                    static_cast<unsigned>(active->Count())));
                ChannelTraceBytes("Send ", frame.data(), frame.size());
            } else if (state == 2 && abandon_ && now - sentAt <= timeout) {
                // The caller gave up: a late reply must not match.
                state = 0;
                active = nullptr;
                --expected;
                idleSince = -1;
            }
            idleNow = state == 0 && !pending_;
        }
        if (idleNow) {
            if (idleSince < 0) {
                idleSince = now;
            } else if (now - idleSince >= keepAlive) {
                if (keepAliveAllowed())
                    SendShortMessage(bridge_wire::op::kKeepAlive, static_cast<uint16_t>(expected - 1));
                idleSince = now;
            }
        }
        if (state == 1) {
            if (!SendBytes(frame.data(), frame.size())) {
                const int error = socket_.LastError();
                const std::string text = socket_.LastErrorText();
                std::lock_guard lock(exchangeMutex_);
                SetError(kSendFailed, "Error sending message");
                TraceSocketError("send", error, text);
                SetError(kSendFailed, "Error sending message");
                finish(kSendFailed);
                linkUp_ = false;
                logRun_ = false;
                {
                    std::lock_guard send(sendMutex_);
                    socket_.Close();
                }
                break;
            }
            state = 2;
            sentAt = Now().NowMs();
        }
        if (state == 2 && Now().NowMs() - sentAt > timeout) {
            SendShortMessage(bridge_wire::op::kAbort, 0);
            std::string listText;
            {
                std::lock_guard lock(exchangeMutex_);
                if (!abandon_ && active) listText = active->GetText();
                SetError(kTimeoutResponse, GetErrorText(kTimeoutResponse));
                finish(kTimeoutResponse);
            }
            Trace(Format("Timeout waiting message execution:%lu ", static_cast<unsigned long>(timeout)) +
                  listText);
            --expected;
        }

        // Receive whatever is there, without waiting.
        while (linkUp_) {
            const int readable = socket_.WaitReadable(0);
            if (readable == 0) break;
            if (readable < 0) {
                TraceSocketError("Error selecting in the socket", socket_.LastError(),
                                 socket_.LastErrorText());
                std::lock_guard lock(exchangeMutex_);
                const std::string text = LastErrorText();
                LoseLink(text, false);
                finish(kConnectionLost);
                break;
            }
            watchdog = timings_.watchdogPasses;
            uint8_t header[8];
            int n = socket_.RecvAll(header, sizeof header, 1000);
            if (n != static_cast<int>(sizeof header)) {
                const bool closed = n < 0 && PeerClosed(socket_);
                std::lock_guard lock(exchangeMutex_);
                LoseLink(closed ? "socket gracefully closed" : "socket broken", !closed);
                finish(kConnectionLost);
                break;
            }
            const uint16_t magic = wire_.Get16(header);
            const uint16_t sequence = wire_.Get16(header + 2);
            const uint32_t word = wire_.Get32(header + 4);
            if (magic == bridge_wire::kMagicSwapped) {
                std::lock_guard lock(exchangeMutex_);
                if (sequence == expected && word != 1 && state == 2) {
                    SetError(static_cast<int>(word), GetSdoAbortText(word));
                    finish(static_cast<int>(word));
                }
                continue;
            }
            if (magic != bridge_wire::kMagic) {
                // Unknown data: drop what is waiting, the stream cannot be resynchronised
                // on anything else.
                socket_.DiscardPending();
                continue;
            }
            if (word < 8 || word > largestMessage_ + 8u) {
                socket_.DiscardPending();
                std::lock_guard lock(exchangeMutex_);
                if (state == 2 && sequence == expected) {
                    SetError(kWrongData, GetErrorText(kWrongData));
                    finish(kWrongData);
                }
                continue;
            }
            rx.assign(header, header + 8);
            rx.resize(word);
            n = word > 8 ? socket_.RecvAll(rx.data() + 8, word - 8, 5000) : 0;
            if (n != static_cast<int>(word - 8)) {
                const bool closed = n < 0 && PeerClosed(socket_);
                std::lock_guard lock(exchangeMutex_);
                LoseLink(closed ? "socket gracefully closed" : "socket broken", !closed);
                finish(kConnectionLost);
                break;
            }
            if (rx.capacity() > receiveSize_ * 4u) rx.shrink_to_fit();
            std::lock_guard lock(exchangeMutex_);
            if (state != 2 || sequence != expected || abandon_ || !active) continue;
            const bool whole = active->ParseReply(rx.data() + 8, rx.data() + rx.size(), ChannelTraceOn());
            if (whole) {
                finish(0);
            } else {
                SetError(kWrongData, GetErrorText(kWrongData));
                finish(kWrongData);
            }
        }
        if (!linkUp_) break;

        if (state == 2 && !watchdogOff) {
            --watchdog;
            if (watchdog == 0) {
                if (keepAliveAllowed())
                    SendShortMessage(bridge_wire::op::kKeepAlive, static_cast<uint16_t>(expected - 1));
                else
                    watchdogOff = true;
            } else if (watchdog <= -timings_.watchdogPasses) {
                std::lock_guard lock(exchangeMutex_);
                LoseLink("bridge does not respond", true);
                finish(kConnectionLost);
                break;
            }
        }
    }
    // An exchange still waiting when the thread stops gets its answer now.
    std::lock_guard lock(exchangeMutex_);
    if (state != 0 || pending_) {
        pending_ = false;
        if (!abandon_) {
            result_ = linkUp_ ? kNotConnected : kConnectionLost;
            done_.Set();
        }
    }
}

}  // namespace transport
