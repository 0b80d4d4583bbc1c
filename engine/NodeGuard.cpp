#include "engine/NodeGuard.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "engine/BoxChannelDriver.h"
#include "engine/EngineCodes.h"
#include "engine/EngineLog.h"
#include "engine/Main.h"
#include "engine/MainBackground.h"
#include "engine/NodeLock.h"
#include "engine/SerialChannelDriver.h"
#include "platform/Prompt.h"

using namespace transport;

namespace engine {

namespace {

constexpr const char* kThreadName = "NodeguardThread";
constexpr uint32_t kPassSleepMs = 400;
constexpr uint32_t kNodeSleepMs = 10;
constexpr uint16_t kGuardRegister = 40;
constexpr uint16_t kBoxGuardRegister = 100;

CBoxChannelDriver* BoxOf(CChannel& channel) {
    return channel.type == channel_type::kBox ? dynamic_cast<CBoxChannelDriver*>(channel.driver.get())
                                              : nullptr;
}

// Two registers of the node behind the box; false (and -1 as the last result) when fewer came.
bool BoxPing(CBoxChannelDriver& box, uint8_t nodeId) {
    uint8_t bytes[4] = {};
    const int n = box.Box().ReadRegisters(kBoxGuardRegister, 2, bytes, sizeof bytes, nodeId);
    if (n >= 4) return true;
    box.lastResult = static_cast<uint32_t>(-1);
    return false;
}

CSerialChannelDriver* SerialOf(CChannel& channel) {
    return channel.type == channel_type::kSerial ? dynamic_cast<CSerialChannelDriver*>(channel.driver.get())
                                                 : nullptr;
}

CGuardedChannel* GuardedOf(CChannel& channel) {
    return dynamic_cast<CGuardedChannel*>(channel.driver.get());
}

void SetState(CNodo& node, uint8_t state) {
    node.guardState = static_cast<uint8_t>((node.guardState & 0x80) | (state & 0x7F));
}

uint8_t StateOf(const CNodo& node) {
    return node.guardState & 0x7F;
}

}  // namespace

intptr_t NodeGuardDetail(int channelIndex, uint8_t nodeId, uint8_t guardState) {
    return static_cast<intptr_t>(channelIndex) * 65536 + static_cast<intptr_t>(nodeId) * 256 +
           (guardState & 0x7F);
}

// What the guard does with each channel type. Serial here; the other types through CGuardedChannel.
struct CGuardOps {
    CChannel& channel;
    CNodo& node;
    int64_t now;

    // Arming and the start of a guard period: the result of getting the channel ready.
    int Arm() {
        CChannelDriver& d = *channel.driver;
        if (CSerialChannelDriver* serial = SerialOf(channel)) {
            CModbusRtu& rtu = serial->Rtu();
            int rc = rtu.IsConnected() ? 0 : rtu.Connect(true);
            if (rc == 0) {
                uint16_t word = 0;
                rc = rtu.ReadRegisters(kGuardRegister, 1, &word, node.nodeId);
            }
            d.lastResult = static_cast<uint32_t>(rc);
            if (rc == 0) StartPeriod(d);
            return rc;
        }
        if (CBoxChannelDriver* box = BoxOf(channel)) {
            const int rc = box->Box().IsConnected() ? 0 : box->Box().Connect();
            if (rc != 0) return rc;
            if (!BoxPing(*box, node.nodeId)) return -1;
            StartPeriod(d);
            return 0;
        }
        if (CGuardedChannel* guarded = GuardedOf(channel)) {
            const int rc = guarded->GuardArm(node);
            if (rc == 0) StartPeriod(d);
            return rc;
        }
        return 1;
    }

    int Prepare() {
        CChannelDriver& d = *channel.driver;
        if (CSerialChannelDriver* serial = SerialOf(channel)) {
            CModbusRtu& rtu = serial->Rtu();
            const int rc = rtu.IsConnected() ? 0 : rtu.Connect(true);
            if (rc != 0) return rc - 100;
            d.lastResult = CChannelDriver::kNothingHappened;
            d.guardDeadlineMs = now + node.guardTimeMs;
            return 0;
        }
        if (CBoxChannelDriver* box = BoxOf(channel)) {
            const int rc = box->Box().IsConnected() ? 0 : box->Box().Connect();
            if (rc != 0) return rc - 100;
            d.lastResult = CChannelDriver::kNothingHappened;
            d.guardDeadlineMs = now + node.guardTimeMs;
            return 0;
        }
        if (CGuardedChannel* guarded = GuardedOf(channel)) {
            const int rc = guarded->GuardPrepare(node);
            if (rc == 0) StartPeriod(d);
            return rc;
        }
        return 0;
    }

    bool Alive() {
        if (node.simulated) return true;
        CChannelDriver& d = *channel.driver;
        if (CSerialChannelDriver* serial = SerialOf(channel)) {
            if (d.lastResult == 0 || d.lastResult == 129) return true;
            if (d.lastResult != CChannelDriver::kNothingHappened || now <= d.guardDeadlineMs) return false;
            // The channel was quiet for a whole guard time: ask the node itself.
            uint8_t byte = 0;
            const int rc = serial->Rtu().SdoUpload(node.nodeId, kGuardRegister, 1, &byte);
            d.lastResult = static_cast<uint32_t>(rc);
            return rc == 0;
        }
        if (CBoxChannelDriver* box = BoxOf(channel)) {
            if (d.lastResult == 0 || d.lastResult == 129) return true;
            if (d.lastResult != CChannelDriver::kNothingHappened || now <= d.guardDeadlineMs) return false;
            return BoxPing(*box, node.nodeId);
        }
        if (CGuardedChannel* guarded = GuardedOf(channel)) return guarded->GuardAlive(node);
        return false;
    }

    bool Broken() {
        if (CSerialChannelDriver* serial = SerialOf(channel)) {
            CModbusRtu& rtu = serial->Rtu();
            return rtu.IsConnected() && rtu.State() > 2 && rtu.ErrorCounter() > 2;
        }
        if (CBoxChannelDriver* box = BoxOf(channel))
            return !box->Box().IsConnected() || box->Box().ErrorCounter() > 9;
        if (CGuardedChannel* guarded = GuardedOf(channel)) return guarded->GuardBroken();
        return false;
    }

    // The serial channel stays open: other nodes may answer on the same port.
    void Close() {
        if (CBoxChannelDriver* box = BoxOf(channel)) box->Box().Disconnect();
        if (CGuardedChannel* guarded = GuardedOf(channel)) guarded->GuardClose();
    }

    void StartPeriod(CChannelDriver& d) {
        d.guardTimeMs = node.guardTimeMs;
        d.guardDeadlineMs = now + node.guardTimeMs;
    }
};

CNodeGuard::CNodeGuard(CMain& engine) : engine_(engine) {}

CNodeGuard::~CNodeGuard() {
    Join();
}

int CNodeGuard::Arm(CChannel& channel, CNodo& node) {
    if (node.simulated) return 0;
    const int64_t now = clock_->NowMs();
    int rc = 1;
    if (channel.driver) {
        CGuardOps ops{channel, node, now};
        rc = ops.Arm();
    }
    node.lastSendMs = now;
    node.guardState = 0xFF;
    node.reportedGuardState = 0xFF;
    node.guardArmed = 1;
    node.lastAnswerMs = node.lastSendMs;
    return rc;
}

bool CNodeGuard::Start() {
    std::lock_guard lock(mutex_);
    if (thread_.IsRunning() && !thread_.StopRequested()) return true;
    // A thread that was told to stop and has not ended yet is waited for before a new one starts.
    thread_.Join();
    if (!thread_.Start(kThreadName, [this](platform::StopToken& token) { Body(token); })) {
        platform::Prompts().MessageBox(engine_text::kNodeguardCreate, "error",
                                       platform::MB_OK | platform::MB_ICONERROR);
        return false;
    }
    return true;
}

bool CNodeGuard::Stop() {
    std::lock_guard lock(mutex_);
    return StopLocked();
}

// The body looks at its stop request at least every 100 ms (a busy node included), so the stop
// waits for the thread's end: nothing it uses may go while it still runs.
bool CNodeGuard::StopLocked() {
    thread_.RequestStop();
    thread_.Join();
    return true;
}

bool CNodeGuard::Pause() {
    std::lock_guard lock(mutex_);
    const bool running = thread_.IsRunning() && !thread_.StopRequested();
    StopLocked();
    return running;
}

void CNodeGuard::Join() {
    std::lock_guard lock(mutex_);
    thread_.RequestStop();
    thread_.Join();
}

void CNodeGuard::Post(uintptr_t code, const CNodo& node) {
    if (engine_.OwnerWindow())
        platform::PostMessage(engine_.OwnerWindow(), engine_.NotifyMessage(), code,
                              NodeGuardDetail(node.channelIndex, node.nodeId, node.guardState));
}

CNodo* CNodeGuard::Guarded(int slot, CChannel** channel) {
    CNodo* node = engine_.Node(slot);
    if (!node || node->nodeId == 0) return nullptr;
    if (node->channelIndex < 0 || node->channelIndex >= engine_.ChannelCount()) return nullptr;
    CChannel* c = engine_.Channel(node->channelIndex);
    if (!c || !c->driver) return nullptr;
    *channel = c;
    return node;
}

// One look at a node the caller holds locked; false when the node is lost and was left alone.
bool CNodeGuard::Watch(CChannel& channel, CNodo& node) {
    CGuardOps ops{channel, node, clock_->NowMs()};
    const bool alive = ops.Alive();
    ops.now = clock_->NowMs();
    if (alive) SetState(node, guard_code::kAlive);

    bool report = true;
    if (StateOf(node) == guard_code::kLost) return false;
    if (node.guardTimeMs != 0) {
        if (!node.guardArmed) {
            Arm(channel, node);
            report = false;
        } else {
            const int64_t limit = static_cast<int64_t>(node.guardTimeMs) * node.lifeTimeFactor;
            if (alive) {
                node.lastAnswerMs = ops.now;
            } else if (ops.now - node.lastAnswerMs > limit) {
                if (ops.Broken()) {
                    SetState(node, guard_code::kLost);
                    node.guardArmed = 0;
                    Post(guard_code::kChannelBroken, node);
                    ops.Close();
                } else if (Arm(channel, node) == 0) {
                    report = false;
                } else {
                    SetState(node, guard_code::kLost);
                    node.guardArmed = 0;
                    Post(guard_code::kRearmFailed, node);
                }
            }
            if (report && StateOf(node) != guard_code::kLost &&
                ops.now - node.lastSendMs >= node.guardTimeMs) {
                node.lastSendMs = ops.now;
                if (!node.simulated && ops.Prepare() != 0) {
                    SetState(node, guard_code::kLost);
                    node.guardArmed = 0;
                    Post(guard_code::kReopenFailed, node);
                    ops.Close();
                }
            }
        }
    }
    if (report && StateOf(node) != (node.reportedGuardState & 0x7F)) {
        Post(guard_code::kStateChanged, node);
        node.reportedGuardState = node.guardState;
    }
    return true;
}

void CNodeGuard::Body(platform::StopToken& token) {
    while (!token.StopRequested()) {
        if (token.WaitForStop(kPassSleepMs)) break;
        for (int slot = 0; slot < engine_.NodeCount() && !token.StopRequested(); ++slot) {
            CChannel* channel = nullptr;
            CNodo* node = Guarded(slot, &channel);
            // Boot loaders (software code 0 or 1) are never guarded.
            if (!node || node->softwareCode < 2) continue;
            {
                const CNodeLock held(*node, token);
                // A lost node is passed over without the pause between nodes.
                if (!held || !Watch(*channel, *node)) continue;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(kNodeSleepMs));
        }
        ++passes_;
    }

    for (int slot = 0; slot < engine_.NodeCount(); ++slot) {
        CChannel* channel = nullptr;
        CNodo* node = Guarded(slot, &channel);
        if (!node) continue;
        if (const CNodeLock held{*node}) {
            if (!node->simulated) node->guardArmed = 0;
        } else {
            EngineDebugLog(engine_text::kLockFailedLog);
        }
    }
}

}  // namespace engine
