#include "linkora/NcsCom.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <thread>

#include "linkora/Channel.h"
#include "platform/AtomicFile.h"
#include "platform/Folders.h"

namespace linkora {

namespace {

// Frame fields are big-endian.
void Put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
uint32_t Get32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

constexpr size_t kHeaderSize = 28;
constexpr size_t kElementBase = 44;
constexpr size_t kElementSize = 36;
constexpr uint32_t kPhaseCodeWriteData = 0x101;
constexpr uint32_t kPhaseCodeReadData = 0x103;
constexpr uint32_t kFrameNetworkDown = 0x02090008;
constexpr uint32_t kFrameNodeOffline = 0x02090009;

// Node library functions (library 0).
enum NodeFunction {
    kConnectNodeID = 0,
    kDisconnectNodeID = 1,
    kNodeLinkState = 2,
    kChkActiveNet = 3,
    kNcsCommand = 4,
    kRequestLibInfo = 6,
};

const LinkoraFunction kNodeFunctions[] = {
    {"ConnectNodeID", 0},  {"DisconnectNodeID", 0}, {"NodeLinkState", 0},  {"ChkActiveNet", 0},
    {"NCS_Command", 0},    {"GuidCode", 0},         {"RequestLibInfo", 0}, {"MinOcxRequired", 0},
    {"RequestObjInfo", 0}, {"UpdateNodeFmw", 0},    {nullptr, 0}};

int64_t NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

uint8_t* ElementAt(uint8_t* frame, int element) {
    return frame + kElementBase + static_cast<size_t>(element) * kElementSize;
}

}  // namespace

CSDO_LIST_CMD::CSDO_LIST_CMD() {
    std::memset(request, 0, sizeof request);
    std::memset(answer, 0, sizeof answer);
}

CNCS_COM::CNCS_COM(CChannel* owner) : owner_(owner) {}

CNCS_COM::~CNCS_COM() {
    Stop();
    std::lock_guard<std::mutex> lock(queueLock_);
    for (CSDO_LIST_CMD* list : queue_) {
        NCS_SetError(list, kNcsTimeout, 0);
        list->phase = kPhaseIdle;
        list->completion.Set();
    }
    queue_.clear();
    std::lock_guard<std::mutex> times(timeLock_);
    queuedCount_ = 0;
}

CSDO_LIST_CMD* CNCS_COM::NCS_Create(int wait) {
    auto* list = new (std::nothrow) CSDO_LIST_CMD;
    if (!list) return nullptr;
    list->wait = wait;
    std::memcpy(list->request, header_, kHeaderSize);
    return list;
}

bool CNCS_COM::RemoveQueued(CSDO_LIST_CMD* list) {
    std::lock_guard<std::mutex> lock(queueLock_);
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
        if (*it != list) continue;
        queue_.erase(it);
        std::lock_guard<std::mutex> times(timeLock_);
        queuedCount_ = queue_.size();
        queuedTime_ = queue_.empty() ? 0 : std::max(0, queuedTime_ - list->executeTime);
        return true;
    }
    return false;
}

void CNCS_COM::NCS_Destroy(CSDO_LIST_CMD* list) {
    if (!list) return;
    RemoveQueued(list);
    // A worker still holding the list lets go of it before it is freed.
    list->lock.lock();
    list->lock.unlock();
    delete list;
}

int CNCS_COM::NCS_NodeIdSel(int node, int network) {
    node_ = node;
    if (network != -1) network_ = network;
    Put16(header_, static_cast<uint16_t>(network_));
    Put16(header_ + 2, static_cast<uint16_t>(node_));
    Put32(header_ + 12, 0);
    return 0;
}

int CNCS_COM::NCS_SDO_Add(CSDO_LIST_CMD* list, int direction, int index, int subindex, uint32_t value,
                          int size, int timeout, int flags) {
    if (!list) return -1;
    if (list->elements >= kNcsMaxElements) NCS_SetError(list, kNcsTooManyElements, kNcsMaxElements);
    if (list->errorCode != 0) return 0;
    const int n = list->elements;
    uint8_t* e = ElementAt(list->request, n);
    std::memset(e, 0, kElementSize);
    Put32(e, (flags & 2) ? 2 : 0);
    e[4] = direction == 1 ? 1 : 0;
    Put16(e + 5, static_cast<uint16_t>(index));
    Put16(e + 7, static_cast<uint16_t>(subindex));
    Put32(e + 9, direction == 1 ? value : 0);
    e[13] = static_cast<uint8_t>(size);
    Put32(e + 14, static_cast<uint32_t>(timeout));
    list->element[n] = CSDO_LIST_CMD::Element{};
    list->elements = n + 1;
    list->prepare = true;
    return n;
}

int CNCS_COM::NCS_SDO_AddDomain(CSDO_LIST_CMD* list, int direction, int index, int subindex, void* data,
                                int size, int timeout, int type, int flags) {
    if (!list) return -1;
    if (list->elements >= kNcsMaxElements) NCS_SetError(list, kNcsTooManyElements, kNcsMaxElements);
    if (list->errorCode != 0) return 0;
    // A domain without its data, or one that no longer fits the totals, cannot be moved.
    const bool write = direction == 1;
    const uint64_t total = write ? list->writeTotal : list->readTotal;
    if (size < 0 || (size > 0 && !data) || total + static_cast<uint64_t>(size) > 0x7FFFFFFFu) {
        NCS_SetError(list, write ? kNcsNoWriteMemory : kNcsNoReadMemory, static_cast<uint32_t>(size));
        return 0;
    }
    const int n = list->elements;
    uint8_t* e = ElementAt(list->request, n);
    std::memset(e, 0, kElementSize);
    Put32(e, (flags & 2) ? 3 : 1);
    e[4] = write ? 1 : 0;
    Put16(e + 5, static_cast<uint16_t>(index));
    Put16(e + 7, static_cast<uint16_t>(subindex));
    Put32(e + 9, static_cast<uint32_t>(total));
    Put32(e + 13, static_cast<uint32_t>(size));
    e[17] = static_cast<uint8_t>(type);
    Put32(e + 18, static_cast<uint32_t>(timeout));
    list->element[n] =
        CSDO_LIST_CMD::Element{static_cast<uint32_t>(size), data, static_cast<uint32_t>(total)};
    if (write)
        list->writeTotal += static_cast<uint32_t>(size);
    else
        list->readTotal += static_cast<uint32_t>(size);
    list->elements = n + 1;
    list->prepare = true;
    return n;
}

uint32_t CNCS_COM::NCS_Execute(CSDO_LIST_CMD* list, int timeout) {
    if (!list) return kNcsInvalidList;
    if (!online_) {
        NCS_SetError(list, kNcsNodeOffline, 0);
        return 0;
    }
    if (list->prepare) {
        if (list->errorCode != 0) return 0;
        Put16(list->request + 32, static_cast<uint16_t>(list->elements));
        Put32(list->request + 36, list->writeTotal);
        Put32(list->request + 40, list->readTotal);
        try {
            list->writeData.assign(list->writeTotal, 0);
        } catch (const std::bad_alloc&) {
            NCS_SetError(list, kNcsNoWriteMemory, list->writeTotal);
            return kNcsNoWriteMemory;
        }
        try {
            list->readData.assign(list->readTotal, 0);
        } catch (const std::bad_alloc&) {
            NCS_SetError(list, kNcsNoReadMemory, list->readTotal);
            return kNcsNoReadMemory;
        }
        NCS_CalculateTimeoutList(list);
        list->prepare = false;
    }
    const int limit = std::max(timeout, list->timeout);
    int queued = QueuedTime();
    if (queued > limit) {
        NCS_SetError(list, kNcsTimeout, 0);
        return kNcsBusy;
    }
    const uint32_t waitMs = static_cast<uint32_t>(limit + queued);
    for (int i = 0; i < list->elements; ++i) {
        const uint8_t* e = ElementAt(list->request, i);
        if ((Get32(e) & 1) && e[4] == 1 && list->element[i].domainSize)
            std::memcpy(list->writeData.data() + list->element[i].offset, list->element[i].data,
                        list->element[i].domainSize);
    }
    list->errorCode = 0;
    list->errorDetail = 0;
    list->status = 2;
    Put32(list->request + 4, 0);
    // A completion left over from an earlier run must not end this one.
    list->completion.Reset();
    list->phase = kPhaseSend;
    Add(list);
    {
        std::lock_guard<std::mutex> lock(stateLock_);
        if (!thread_.IsRunning()) {
            state_ = 0;
            thread_.Start("CNCS_COM::ExecutorThread", [this](platform::StopToken&) { ExecutorThread(this); });
        }
    }
    if (list->wait) {
        bool timedOut = false;
        if (!list->completion.Wait(waitMs)) {
            timedOut = true;
            list->phase = kPhaseIdle;
            list->completion.Wait(waitMs);
        }
        RemoveQueued(list);
        list->lock.lock();
        list->lock.unlock();
        if (timedOut) {
            NCS_SetError(list, kNcsTimeout, 0);
            return kNcsTimeout;
        }
    }
    return 0;
}

int CNCS_COM::NCS_GetStatus(CSDO_LIST_CMD* list) {
    return list ? list->status.load() : -1;
}

int64_t CNCS_COM::NCS_GetErrorCode(CSDO_LIST_CMD* list) {
    return list ? static_cast<int64_t>(list->errorCode.load()) : -1;
}

bool CNCS_COM::NCS_IsFinished(CSDO_LIST_CMD* list) {
    return list && list->status != 2;
}

bool CNCS_COM::NCS_IsCorrect(CSDO_LIST_CMD* list) {
    return list && list->status == 1 && list->errorCode == 0;
}

int CNCS_COM::NCS_SDO_GetStatus(CSDO_LIST_CMD* list, int element) {
    if (!list || element < 0 || element >= list->elements) return -1;
    const uint32_t status = Get32(ElementAt(list->answer, element) + 28);
    switch (status) {
        case 0:
        case 2:
        case 4:
        case 5:
        case 6:
        case 7:
        case 10:
        case 11:
            return static_cast<int>(status);
        default:
            return 3;
    }
}

bool CNCS_COM::NCS_SDO_IsCorrect(CSDO_LIST_CMD* list, int element) {
    return NCS_SDO_GetStatus(list, element) == 2;
}

bool CNCS_COM::NCS_SDO_IsAbort(CSDO_LIST_CMD* list, int element) {
    return NCS_SDO_GetStatus(list, element) == 5;
}

uint32_t CNCS_COM::NCS_SDO_GetValue(CSDO_LIST_CMD* list, int element) {
    if (!list || element < 0 || element >= list->elements) return 0xFFFFFFFFu;
    return Get32(ElementAt(list->answer, element) + 32);
}

void CNCS_COM::NCS_SetError(CSDO_LIST_CMD* list, uint32_t code, uint32_t detail) {
    if (!list || list->errorCode != 0) return;
    list->errorDetail = detail;
    list->errorCode = code;
    list->status = -1;
}

int CNCS_COM::NCS_DecodeError(CSDO_LIST_CMD* list, std::string& text, uint32_t code) {
    if (code == 0 && list) code = list->errorCode;
    if (code == kNcsNodeOffline || code == kNcsNetworkDown || code == kNcsCallFailed) return 0;
    const char* format = nullptr;
    switch (code) {
        case kNcsInvalidList:
            format = "Invalid NCS identificator: code(%x08)";
            break;
        case kNcsNoWriteMemory:
            format = "No memory for Write Domain Area: code(%x08)";
            break;
        case kNcsNoReadMemory:
            format = "No memory for Read Domain Area: code(%x08)";
            break;
        case kNcsTimeout:
            format = "Timeout reached in Execute function: code(%x08)";
            break;
        case kNcsTooManyElements:
            format = "Reached the maximum number of element in the NCS: code(%x08)";
            break;
        default:
            format = "Unknow error code: %08x";
            break;
    }
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, code);
    text = buffer;
    return 1;
}

int CNCS_COM::NCS_CalculateExecuteTime(CSDO_LIST_CMD* list) {
    if (!list) return 0;
    const int64_t n = list->elements;
    const int64_t w = list->writeTotal, r = list->readTotal;
    const int64_t base = n * elementTime_ + (r + w) * 1000 / 7;
    const int64_t writePart = static_cast<int64_t>(static_cast<double>(w) / kNcsChunk * waitTime_);
    const int64_t readPart = static_cast<int64_t>(static_cast<double>(r) / kNcsChunk * waitTime_);
    const int64_t estimate = (2 * int64_t{requestTime_} + sleepTime_ + base + writePart + readPart) / 1000;
    const int64_t sleep = sleepTime_ > 0 ? sleepTime_ : 1;
    const int64_t pacing = base / sleep * sleep - sleep / 3;
    if (pacing < 10000) {
        list->retryDelay = 10;
        list->retryCount = 1;
    } else if (pacing < 500000) {
        list->retryDelay = static_cast<int>(pacing / 1000);
        list->retryCount = 1;
    } else {
        list->retryDelay = 500;
        list->retryCount = static_cast<int>(std::min<int64_t>(pacing / 500000, 0x7FFFFFFF));
    }
    list->executeTime = static_cast<int>(std::min<int64_t>(estimate, 0x7FFFFFFF / 2));
    return list->executeTime;
}

int CNCS_COM::NCS_CalculateTimeoutList(CSDO_LIST_CMD* list) {
    if (!list) return 0;
    const int estimate = NCS_CalculateExecuteTime(list);
    list->timeout = 2000 + static_cast<int>(1.1 * estimate);
    return list->timeout;
}

int CNCS_COM::Add(CSDO_LIST_CMD* list) {
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        queue_.push_back(list);
        std::lock_guard<std::mutex> times(timeLock_);
        queuedCount_ = queue_.size();
        queuedTime_ += list->executeTime;
    }
    queueEvent_.Set();
    return 0;
}

CSDO_LIST_CMD* CNCS_COM::GetNextCmd() {
    std::lock_guard<std::mutex> lock(queueLock_);
    if (queue_.empty()) {
        queueEvent_.Reset();
        return nullptr;
    }
    CSDO_LIST_CMD* list = queue_.front();
    queue_.pop_front();
    {
        std::lock_guard<std::mutex> times(timeLock_);
        queuedCount_ = queue_.size();
    }
    // Taken while the queue is held, so that whoever finds the list gone from the queue
    // also finds it locked until the worker lets go of it.
    list->lock.lock();
    return list;
}

void CNCS_COM::CmdExecuted(CSDO_LIST_CMD* list) {
    if (list->errorCode != 0) ++errorCount_;
    // Called with the list's lock held: the queue lock would come after it, against the order.
    std::lock_guard<std::mutex> times(timeLock_);
    queuedTime_ = queuedCount_ == 0 ? 0 : std::max(0, queuedTime_ - list->executeTime);
}

int CNCS_COM::QueuedTime() const {
    std::lock_guard<std::mutex> lock(timeLock_);
    return queuedTime_;
}

uint32_t CNCS_COM::Call(int function, uint16_t firstWord, uint32_t secondWord, void* request,
                        uint32_t requestSize, void* answer, uint32_t answerSize, std::string& error) {
    if (!owner_) return static_cast<uint32_t>(-1);
    return owner_->ServerCall(0, function, firstWord, secondWord, request, requestSize, answer, answerSize,
                              error);
}

uint32_t CNCS_COM::ChkEthError(CSDO_LIST_CMD* list, uint32_t result) {
    if (result != 0) NCS_SetError(list, kNcsCallFailed, result);
    return result;
}

void CNCS_COM::SetOwnerWindow(uintptr_t window, LinkoraPostMessage post) {
    std::lock_guard lock(ownerMutex_);
    ownerWindow_ = post ? window : 0;
    ownerPost_ = window ? post : nullptr;
}

int CNCS_COM::ChkFrameError(CSDO_LIST_CMD* list) {
    const uint32_t code = Get32(list->answer + 12);
    if (code == 0) return 0;
    const uint32_t detail = Get32(list->answer + 16);
    if (code == kFrameNetworkDown || code == kFrameNodeOffline) {
        const bool down = code == kFrameNetworkDown;
        uintptr_t window = 0;
        LinkoraPostMessage post = nullptr;
        {
            std::lock_guard lock(ownerMutex_);
            window = ownerWindow_;
            post = ownerPost_;
        }
        // One notice per change of the detail, so that a lasting fault does not flood the owner.
        if (window != 0 && post && detail != lastNotified_) {
            lastNotified_ = detail;
            if (down) {
                auto* copy = new LinkoraFrameCopy;
                static_assert(sizeof copy->frame == kNcsFrameSize);
                std::memcpy(copy->frame, list->answer, kNcsFrameSize);
                if (!post(window, LINKORA_NETWORK_DOWN_MESSAGE, 0, reinterpret_cast<intptr_t>(copy)))
                    delete copy;
            } else {
                post(window, LINKORA_NODE_OFFLINE_MESSAGE, 0, 0);
            }
        }
        NCS_SetError(list, down ? kNcsNetworkDown : kNcsNodeOffline, detail);
    } else {
        NCS_SetError(list, code, detail);
    }
    return 1;
}

void CNCS_COM::ProcessNCS(CSDO_LIST_CMD* list) {
    std::string error;
    auto failed = [&](uint32_t rc) {
        if (ChkEthError(list, rc) != 0) {
            list->phase = kPhaseIdle;
            return true;
        }
        return false;
    };
    switch (list->phase.load()) {
        case kPhaseSend:
        case kPhasePoll: {
            if (list->phase == kPhaseSend) {
                list->writeSent = 0;
                list->readReceived = 0;
            } else {
                std::memcpy(list->request, list->answer, kNcsFrameSize);
            }
            const bool first = list->phase == kPhaseSend;
            if (failed(Call(kNcsCommand, 0, 16, list->request, kNcsFrameSize, list->answer, kNcsFrameSize,
                            error)))
                return;
            if (ChkFrameError(list)) {
                list->phase = kPhaseIdle;
                return;
            }
            if (Get32(list->answer + 4) == 0) {
                list->phase = kPhaseFinish;
            } else if (first) {
                if (list->writeTotal == 0)
                    list->phase = kPhasePoll;
                else
                    list->phase =
                        Get32(list->answer + 8) == kPhaseCodeWriteData ? kPhaseWriteData : kPhasePoll;
            } else if (list->readTotal != 0 && Get32(list->answer + 8) == kPhaseCodeReadData) {
                list->phase = kPhaseReadData;
            }
            return;
        }
        case kPhaseWriteData: {
            uint8_t message[kNcsDataSize] = {};
            uint8_t reply[kNcsDataSize];
            const uint32_t length = std::min(kNcsChunk, list->writeTotal - list->writeSent);
            const bool last = list->writeSent + length >= list->writeTotal;
            std::memcpy(message, list->answer, kHeaderSize);
            Put32(message + 28, list->writeSent);
            Put32(message + 32, length);
            message[36] = last ? 1 : 0;
            std::memcpy(message + 40, list->writeData.data() + list->writeSent, length);
            if (failed(Call(kNcsCommand, 0, 16, message, kNcsDataSize, reply, kNcsDataSize, error))) return;
            list->writeSent += length;
            if (last) list->phase = kPhasePoll;
            return;
        }
        case kPhaseReadData: {
            uint8_t message[kNcsDataSize] = {};
            uint8_t reply[kNcsDataSize];
            std::memcpy(message, list->answer, kHeaderSize);
            if (failed(Call(kNcsCommand, 0, 16, message, kNcsDataSize, reply, kNcsDataSize, error))) return;
            if (Get32(reply + 4) == 0) {
                list->phase = kPhaseFinish;
                return;
            }
            const uint32_t length = Get32(reply + 32);
            // The server's chunk must fit the chunk size and what is left of the domain.
            if (length > kNcsChunk || length > list->readTotal - list->readReceived) {
                failed(kGvtProtocolError);
                return;
            }
            std::memcpy(list->readData.data() + list->readReceived, reply + 40, length);
            list->readReceived += length;
            if (reply[36]) {
                std::memcpy(list->answer, reply, kHeaderSize);
                list->phase = kPhasePoll;
            }
            return;
        }
        case kPhaseFinish: {
            for (int i = 0; list->readTotal && i < list->elements; ++i) {
                const uint8_t* e = ElementAt(list->request, i);
                const auto& el = list->element[i];
                if ((Get32(e) & 1) && e[4] == 0 && el.domainSize && el.data)
                    std::memcpy(el.data, list->readData.data() + el.offset, el.domainSize);
            }
            list->status = 1;
            list->phase = kPhaseIdle;
            return;
        }
        default:
            list->phase = kPhaseIdle;
            return;
    }
}

void CNCS_COM::ExecutorThread(CNCS_COM* executor) {
    while (executor->state_ == 0) {
        executor->queueEvent_.Wait(50);
        if (executor->state_ != 0) break;
        CSDO_LIST_CMD* list = executor->GetNextCmd();
        if (!list) continue;
        int sleeps = 0;
        while (list->phase != kPhaseIdle && (executor->state_ == 0 || executor->state_ == 1)) {
            executor->ProcessNCS(list);
            if (list->phase == kPhasePoll) {
                const int ms = sleeps < list->retryCount ? list->retryDelay : 10;
                ++sleeps;
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            }
        }
        // A list left unfinished by "stop now" is reported, not passed off as running.
        if (list->phase != kPhaseIdle && list->status == 2) {
            executor->NCS_SetError(list, kNcsTimeout, 0);
            list->phase = kPhaseIdle;
        }
        executor->CmdExecuted(list);
        list->completion.Set();
        list->lock.unlock();
    }
    std::lock_guard<std::mutex> lock(executor->stateLock_);
    executor->state_ = -1;
}

int CNCS_COM::Stop() {
    std::unique_lock<std::mutex> lock(stateLock_);
    if (!thread_.IsRunning() && state_ == -1) {
        lock.unlock();
        thread_.Join();
        return 0;
    }
    if (state_ != -1) {
        state_ = 1;
        queueEvent_.Set();
        lock.unlock();
        for (int i = 0; i < 200 && state_ != -1; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        lock.lock();
        if (state_ != -1) {
            state_ = 2;
            queueEvent_.Set();
            lock.unlock();
            for (int i = 0; i < 200 && state_ != -1; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            lock.lock();
        }
    }
    lock.unlock();
    // Never killed: a worker inside a server call leaves when the client's call time-out ends it.
    thread_.Join();
    state_ = -1;
    return 0;
}

uint32_t CNCS_COM::Login(librarytable* extra, std::string& error) {
    try {
        table_.clear();
        table_.push_back(librarytable{"CNO_LOGICAL_NODE", kNodeFunctions});
        for (size_t i = 0; extra && extra[i].name; ++i) table_.push_back(extra[i]);
        table_.push_back(librarytable{nullptr, nullptr});
    } catch (const std::bad_alloc&) {
        return 1;
    }
    if (node_ < 1 || node_ > 127) return 0x111;
    NCS_NodeIdSel(node_, network_);
    std::string scratch;
    if (!owner_) return 0x111;
    const uint32_t rc = owner_->ServerLogin(table_.data(), error);
    if (rc != 0) {
        Logout(scratch);
        return rc;
    }
    loginStage_ |= 1;
    // A login that fails half-way is ended, so that the channel does not read as connected.
    auto fail = [&](uint32_t code) {
        Logout(scratch);
        return code;
    };
    uint8_t net[44] = {}, netAnswer[44] = {};
    std::memcpy(net, header_, kHeaderSize);
    if (Call(kChkActiveNet, 0, 16, net, sizeof net, netAnswer, sizeof netAnswer, error) != 0)
        return fail(0x111);
    if (Get16(netAnswer + 34) == 0) return fail(1);
    uint8_t connect[36] = {}, connectAnswer[36] = {};
    std::memcpy(connect, header_, kHeaderSize);
    if (Call(kConnectNodeID, 0, 16, connect, sizeof connect, connectAnswer, sizeof connectAnswer, error) != 0)
        return fail(0x111);
    online_ = true;
    loginStage_ |= 2;
    uint8_t link[40] = {}, linkAnswer[40] = {};
    std::memcpy(link, header_, kHeaderSize);
    if (Call(kNodeLinkState, 8, 16, link, sizeof link, linkAnswer, sizeof linkAnswer, error) != 0)
        return fail(0x111);
    ReadLibVersion();
    TestNodeTime();
    return 0;
}

uint32_t CNCS_COM::Logout(std::string& error) {
    Stop();
    uint8_t request[28];
    std::memcpy(request, header_, kHeaderSize);
    if (owner_ && owner_->IsConnected())
        Call(kDisconnectNodeID, 99, 0, request, sizeof request, nullptr, 0, error);
    online_ = false;
    loginStage_ = 0;
    uint32_t rc = 0;
    if (owner_) rc = owner_->ServerLogout(error);
    table_.clear();
    return rc;
}

void CNCS_COM::CallBack(int event, unsigned short code, int, void* data, const char*) {
    if (event == 24) {
        online_ = false;
        loginStage_ = 0;
        Stop();
    } else if (event == 25) {
        std::string scratch;
        if (owner_) owner_->ServerLogin(nullptr, scratch);
    } else if (event == 0 && online_ && code == 8 && data) {
        const auto* answer = static_cast<const uint8_t*>(data);
        if (Get32(answer + 12) == 0) {
            if (Get32(answer + 32) != 0 || Get32(answer + 36) != 0) {
                online_ = false;
                pendingLogout_ = true;
            } else {
                pendingStatus_ = true;
            }
        }
    }
}

void CNCS_COM::OnTimer(unsigned int timer) {
    if (timer != 4096) return;
    std::string scratch;
    if (pendingLogout_) {
        pendingLogout_ = false;
        Logout(scratch);
    }
    if (pendingStatus_) {
        if (online_) {
            uint8_t link[40] = {};
            std::memcpy(link, header_, kHeaderSize);
            Call(kNodeLinkState, 8, 0, link, sizeof link, nullptr, 0, scratch);
        }
        pendingStatus_ = false;
    }
}

uint16_t CNCS_COM::ReadLibVersion() {
    uint8_t request[4] = {}, answer[4] = {};
    std::string scratch;
    Call(kRequestLibInfo, 0, 16, request, sizeof request, answer, sizeof answer, scratch);
    const uint16_t version = Get16(answer + 2);
    elementTime_ = version < 24 ? 10000 : 5000;
    return version;
}

void CNCS_COM::SetTimings(int request, int waitResponse, int sleep, int element) {
    requestTime_ = request;
    waitTime_ = waitResponse;
    sleepTime_ = sleep;
    elementTime_ = element;
}

uint32_t CNCS_COM::TestNodeTime() {
    CSDO_LIST_CMD* list = NCS_Create(1);
    if (!list) return testResult_ = kNcsNoReadMemory;
    NCS_SDO_Add(list, 0, 0x1000, 0, 0, 4, 0, 0);
    std::string error;
    int64_t requestSum = 0, sleepSum = 0, waitSum = 0;
    uint32_t result = 0;
    for (int round = 0; round < 5 && result == 0; ++round) {
        list->errorCode = 0;
        list->status = 2;
        Put32(list->request + 4, 0);
        int64_t start = NowUs();
        uint32_t rc =
            Call(kNcsCommand, 0, 16, list->request, kNcsFrameSize, list->answer, kNcsFrameSize, error);
        requestSum += NowUs() - start;
        if (ChkEthError(list, rc) != 0 || ChkFrameError(list)) {
            result = rc != 0 ? rc : list->errorCode.load();
            break;
        }
        start = NowUs();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        sleepSum += NowUs() - start;
        int64_t last = 0;
        // Bounded, so that a server that never ends the exchange cannot hold the login.
        for (int poll = 0; poll < 1000; ++poll) {
            start = NowUs();
            std::memcpy(list->request, list->answer, kNcsFrameSize);
            rc = Call(kNcsCommand, 0, 16, list->request, kNcsFrameSize, list->answer, kNcsFrameSize, error);
            last = NowUs() - start;
            if (ChkEthError(list, rc) != 0 || ChkFrameError(list)) {
                result = rc != 0 ? rc : list->errorCode.load();
                break;
            }
            if (Get32(list->answer + 4) == 0) break;
        }
        waitSum += last;
    }
    NCS_Destroy(list);
    testResult_ = result;
    if (result != 0) return result;
    requestTime_ = static_cast<int>(requestSum / 5);
    waitTime_ = static_cast<int>(waitSum / 5);
    sleepTime_ = static_cast<int>(sleepSum / 5);
    const std::time_t now = std::time(nullptr);
    char stamp[64] = {};
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%a %b %d %H:%M:%S %Y\n", &local);
    char text[256];
    std::snprintf(text, sizeof text,
                  "%s Node time results:\r\nRequest: %d\r\nWaitResponse: %d\r\nSleep10: %d\r\n", stamp,
                  requestTime_, waitTime_, sleepTime_);
    platform::WriteFileAtomic(platform::TempFolder() / "Linkora.txt", text, nullptr);
    return 0;
}

}  // namespace linkora
