#include "drive/WatchThread.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "drive/Qd.h"
#include "engine/Main.h"
#include "engine/VMComm.h"
#include "engine/WatchList.h"
#include "foundation/MessageIds.h"
#include "platform/CodePage.h"

namespace drive {

namespace {

constexpr uint32_t kCycleMs = 50;
constexpr uint32_t kStepMs = 10;
constexpr uint32_t kTraceLockMs = 500;
constexpr uint32_t kWatchLockMs = 2000;
constexpr size_t kMaxUploadError = 500;
constexpr uint16_t kUploaded = 1, kUploadFailed = 2;

std::string Format(const char* format, long value) {
    char text[128];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

CWatchThread::CWatchThread(CQd& qd, platform::Clock& clock) : qd_(qd), clock_(clock) {}

CWatchThread::~CWatchThread() {
    Stop();
    thread_.RequestStop();
    thread_.Join();
}

// The upload's notices come to the drive object, not to a window that may have gone; the thread
// waits for the transfer itself, so that no buffer waits for the window thread to pump them.
void CWatchThread::OnMessage(const platform::Message&) {}

bool CWatchThread::Start() {
    if (thread_.IsRunning()) return false;
    thread_.Join();
    captureState_ = kStopped;
    captureRequest_ = kStopped;
    runState_ = 1;
    if (!thread_.Start("Qd::Thread_WatchTrigger", [this](platform::StopToken& token) { Body(token); })) {
        runState_ = 0;
        return false;
    }
    return true;
}

bool CWatchThread::Stop(uint32_t limitMs) {
    runState_ = 0;
    thread_.RequestStop();
    return thread_.JoinFor(limitMs);
}

std::string CWatchThread::CaptureErrorText() const {
    std::lock_guard lock(errorMutex_);
    return errorText_;
}

void CWatchThread::PostStatus(uintptr_t state, intptr_t value) {
    if (const platform::WindowHandle w = qd_.ScopeWindow())
        platform::PostMessage(w, foundation::kOscStatusMessage, state, value);
}

void CWatchThread::Fail(const std::string& text) {
    {
        std::lock_guard lock(errorMutex_);
        errorText_ = text;
    }
    captureRequest_ = kStopped;
}

// ---- the cycle -----------------------------------------------------------------------------

void CWatchThread::Body(platform::StopToken& token) {
    token_ = &token;
    for (;;) {
        if (token.StopRequested()) runState_ = 0;
        switch (runState_.load()) {
            case 0:
                for (auto& b : buffers_) std::vector<uint8_t>().swap(b);
                for (auto* b : {&answer_, &table_, &blockData_}) std::vector<uint8_t>().swap(*b);
                samples_ = -1;
                captureActive_ = false;
                token_ = nullptr;
                return;
            case 1:
                token.WaitForStop(kCycleMs);
                if (runState_.load() != 0) runState_ = 2;
                break;
            case 2:
                runState_ = 3;
                WatchStep();
                break;
            case 3:
                runState_ = 1;
                CaptureStep();
                break;
            default:
                runState_ = 1;
                break;
        }
    }
}

void CWatchThread::CaptureStep() {
    const int request = captureRequest_.load();
    if (request != captureState_.load()) {
        if (request == kStart) uploadIndex_ = -1;
        if (request == kStopped) qd_.WriteCell("Trigger_Status", 0);
        // The notice goes out before the state is seen: whoever waits for the state finds the
        // notice queued, and never takes a late one for the next capture's.
        PostStatus(static_cast<uintptr_t>(request), 0);
        captureActive_ = request == kStart || request == kRunning;
        captureState_ = request;
    }
    const int state = captureState_.load();
    if (state != kStart && state != kRunning) {
        captureActive_ = false;
        return;
    }
    captureActive_ = true;
    if (uploadIndex_ < 0) {
        SetUp();
    } else {
        Continue();
    }
}

void CWatchThread::SetUp() {
    osc_vars& setup = qd_.Scope();
    const int slots = std::clamp<int>(setup.usedSlots, 0, osc_vars::kChannels);
    if (slots != lastSlots_) samples_ = -1;
    lastSlots_ = slots;
    // Nothing to record: the buffer would be divided by no channel.
    if (slots < 1) return Fail("No channel selected for the capture");
    slots_ = slots;

    engine::CMain* engine = qd_.ConnectionWindow().Engine();
    if (!engine) return Fail("Communication error");
    engine->ClearError();
    qd_.ClearEngineGroup();
    int32_t codes[osc_vars::kChannels] = {};
    int32_t writeResults[osc_vars::kChannels] = {};
    bool torque = false;
    for (int i = 0; i < slots; ++i) {
        const ComboChannelsTypes* v = setup.GetChannelVariable(i);
        codes[i] = v ? v->code : 0;
        torque = torque || (v && v->unitKey == "TorqueUnits");
        writeResults[i] = -1;
        qd_.AddWriteToEngineGroup("Indir_canale_" + std::to_string(i + 1), &codes[i], 4, &writeResults[i]);
    }
    uint32_t scan = 0;
    int32_t scanResult = -1;
    qd_.AddReadToEngineGroup("Logger_Scan_Time", &scan, 2, &scanResult);
    if (qd_.ExecuteEngineGroup() != 0) return Fail("Communication error");
    for (int i = 0; i < slots; ++i)
        if (writeResults[i] != 0) return Fail(Format("Indir_canale_%d write error", i + 1));
    if (scanResult != 0) return Fail("Logger_Scan_Time read error");
    scanTime_ = scan & 0xFFFF;
    // A torque is shown in thousandths of the rated current: the drive is asked once for it.
    if (torque) {
        CScopeDisplayInputs inputs = qd_.ScopeDisplayInputs();
        uint32_t rated = 0;
        if (inputs.ratedCurrent == 0.0 && qd_.ReadCell("RatedCurrent", &rated) == 0 && rated != 0) {
            inputs.ratedCurrent = rated;
            qd_.SetScopeDisplayInputs(inputs);
        }
    }

    const bool automatic = setup.triggerMode == "Auto";
    if (!automatic) setup.startTime = static_cast<uint32_t>(clock_.NowMs());
    if (qd_.WriteCell("Trigger_Status", automatic ? 2 : 1) != 0) return Fail("Trigger_Status write error");
    lastTrigger_ = automatic ? 2 : 1;

    uint32_t maximum = 0, prescaler = 100, pretrigger = 10, error = 0;
    int32_t results[4] = {-1, -1, -1, -1};
    qd_.AddReadToEngineGroup("MaxBufferDimension", &maximum, 2, &results[0]);
    qd_.AddReadToEngineGroup("Prescaler_buffer", &prescaler, 2, &results[1]);
    qd_.AddReadToEngineGroup("Pretrigger_Value", &pretrigger, 2, &results[2]);
    qd_.AddReadToEngineGroup("Cod_err_iniz_osc", &error, 2, &results[3]);
    if (qd_.ExecuteEngineGroup() != 0) return Fail("Communication error");
    if (results[0] != 0) return Fail("MaxBufferDimension read error");
    maximum &= 0xFFFF;
    prescaler &= 0xFFFF;
    pretrigger &= 0xFFFF;
    error &= 0xFFFF;
    if (results[3] == 0 && error != 0) {
        const auto text = setup.errorTexts.find(static_cast<int>(error));
        return Fail(text != setup.errorTexts.end() ? text->second : Format("Oscilloscope error %lu", error));
    }

    const int32_t n = static_cast<int32_t>(maximum / static_cast<uint32_t>(slots == 3 ? 4 : slots));
    if (n < 1) return Fail("MaxBufferDimension read error");
    if (n > samples_) {
        try {
            for (int i = 0; i < osc_vars::kChannels; ++i) {
                std::vector<uint8_t>().swap(buffers_[i]);
                if (i < slots) buffers_[i].assign(RawBufferBytes(static_cast<size_t>(n)), 0);
            }
            samples_ = n;
        } catch (const std::bad_alloc&) {
            for (auto& b : buffers_) std::vector<uint8_t>().swap(b);
            samples_ = -1;
            return Fail("Not enough memory for the capture buffers");
        }
    }

    const int32_t m = samples_ < 1 ? 512 : samples_;
    const double t = static_cast<double>(prescaler) * scanTime_ * m / 100000.0;
    setup.preTriggerMs = static_cast<uint32_t>(std::min(pretrigger * t, 4.0e9));
    setup.postTriggerMs = static_cast<uint32_t>(std::clamp((100.0 - pretrigger) * t, 0.0, 4.0e9));

    captureState_ = kRunning;
    int expected = kStart;
    captureRequest_.compare_exchange_strong(expected, kRunning);
    if (automatic) {
        PostStatus(5, static_cast<intptr_t>(setup.preTriggerMs) + static_cast<intptr_t>(setup.postTriggerMs));
    } else if (setup.triggerMode == "Normal") {
        if (setup.preTriggerMs <= 100) {
            PostStatus(4, 0);
        } else {
            PostStatus(6, static_cast<intptr_t>(setup.preTriggerMs));
        }
    }
    phaseMark_ = clock_.NowMs();
    uploadIndex_ = 0;
    std::fill(std::begin(valid_), std::end(valid_), 0);
}

void CWatchThread::Continue() {
    osc_vars& setup = qd_.Scope();
    if (uploadIndex_ == 0) {
        uint32_t status = 0;
        if (qd_.ReadCell("Trigger_Status", &status) != 0) {
            std::lock_guard lock(errorMutex_);
            errorText_ = "Trigger_Status read error, waiting data";
        } else if (status != 3) {
            const int64_t now = clock_.NowMs();
            if (status != lastTrigger_) {
                lastTrigger_ = status;
                if (status == 2) {
                    PostStatus(5, static_cast<intptr_t>(setup.postTriggerMs));
                    phaseMark_ = now;
                }
            } else if (phaseMark_ >= 0) {
                const int64_t elapsed = now - phaseMark_;
                if (status == 1 && elapsed > static_cast<int64_t>(setup.preTriggerMs)) {
                    PostStatus(4, 0);
                    phaseMark_ = -1;
                } else {
                    PostStatus(7, static_cast<intptr_t>(elapsed));
                }
            }
            return;
        }
        lastTrigger_ = status;
    }
    // The background reads wait for the whole capture, not for each buffer: every pause and
    // resume is a hand-shake with the reading thread.
    qd_.PauseCyclicReads();
    if (!UploadSlots()) return;
    Finish();
    qd_.ResumeCyclicReads();
}

// The buffers from the upload index on go up in one engine upload, the drive held once for all
// of them; each buffer has its own time-out from the end of the one before. A time-out ends the
// upload and the buffers left go up in a new one.
bool CWatchThread::UploadSlots() {
    engine::CMain* engine = qd_.ConnectionWindow().Engine();
    if (!engine) {
        qd_.ResumeCyclicReads();
        Fail("Communication error");
        return false;
    }
    const uint32_t bytes = static_cast<uint32_t>(samples_) * 4;
    const int64_t limit = UploadLimitMs(bytes);
    const auto bufferName = [this](int slot) {
        return "Buffer_" + std::to_string(slots_ == 2 && slot == 1 ? 3 : slot + 1);
    };
    // The upload's notices come here, not to a window that may have gone; a notice of an earlier,
    // abandoned upload still in the queue goes with that upload's sink.
    struct Sink {
        platform::WindowHandle handle;
        ~Sink() { platform::UnregisterSink(handle); }
    } sink{platform::RegisterSink(this)};
    // The transfer must have ended its use of the buffers before they are read or replaced; after
    // its last buffer it only has to let the drive go.
    const auto endUpload = [&] {
        if (!engine->WaitUploadEnd(static_cast<uint32_t>(limit), nullptr)) engine->AbortUpload();
    };
    while (uploadIndex_ < slots_) {
        const int first = uploadIndex_;
        parts_.resize(static_cast<size_t>(slots_ - first));
        for (int slot = first; slot < slots_; ++slot) {
            engine::DomainUploadPart& part = parts_[static_cast<size_t>(slot - first)];
            part.name = bufferName(slot);
            part.buffer = buffers_[slot].data();
            part.size = bytes;
        }
        qd_.Scope().uploadStatus = 0;
        engine->ClearError();
        // The time-out counts from the request: taken before the transfer can be seen running.
        int64_t start = clock_.NowMs();
        if (const int rc = engine->StartDomainUploads(parts_, sink.handle); rc != 0) {
            std::string text = "upload starting error = " + std::to_string(rc) + ": " + engine->ErrorText();
            text.resize(platform::Utf8SafeCut(text, kMaxUploadError));
            qd_.ResumeCyclicReads();
            Fail(text);
            return false;
        }
        bool timedOut = false;
        while (uploadIndex_ < slots_ && !timedOut) {
            uint16_t status = 0;
            if (int result = 0;
                engine->WaitUploadPart(static_cast<size_t>(uploadIndex_ - first), kStepMs, &result)) {
                status = result == 0 ? kUploaded : kUploadFailed;
            } else {
                const int request = captureRequest_.load();
                const bool stopping =
                    runState_.load() == 0 || request == kStopped || (token_ && token_->StopRequested());
                if (stopping || request == kPaused) {
                    // A pause keeps the index: the resumed capture goes on with this buffer.
                    engine->AbortUpload();
                    if (stopping) captureRequest_ = kStopped;
                    qd_.ResumeCyclicReads();
                    return false;
                }
                if (clock_.NowMs() - start <= limit) continue;
                engine->AbortUpload();
                std::lock_guard lock(errorMutex_);
                errorText_ = bufferName(uploadIndex_) + " upload time-out";
                status = kUploadFailed;
                timedOut = true;
            }
            qd_.Scope().uploadStatus = status;
            valid_[uploadIndex_] = status == kUploaded ? 1 : 0;
            ++uploadIndex_;
            start = clock_.NowMs();
            if (uploadIndex_ < slots_) qd_.Scope().uploadStatus = 0;
        }
        endUpload();
    }
    return true;
}

void CWatchThread::Finish() {
    osc_vars& setup = qd_.Scope();
    {
        platform::TimedLock lock(setup.Lock(), kTraceLockMs);
        if (lock) {
            setup.samplingTime = scanTime_;
            setup.samplesPerChannel = samples_;
            setup.usedSlots = slots_;
            for (int s = 0; s < slots_; ++s) {
                setup.slotValid[static_cast<size_t>(s)] = valid_[s];
                if (!valid_[s]) continue;
                const ComboChannelsTypes* v = setup.GetChannelVariable(s);
                if (!v) continue;
                setup.ConvertSamples(s, buffers_[s].data(), static_cast<size_t>(samples_),
                                     qd_.ConvertToDisplayUnit(1.0, *v));
            }
            for (int s = 0; s < slots_; ++s) {
                if (valid_[s]) continue;
                if (setup.singleShot) {
                    setup.repeatKeep = 0;
                } else if (setup.repeatCounter == 0) {
                    setup.repeatHold = 1;
                    setup.repeatKeep = 0;
                    setup.repeatCounter = 1;
                    captureRequest_ = kStopped;
                } else if (setup.repeatHold) {
                    captureRequest_ = kStopped;
                } else if (setup.repeatKeep) {
                    setup.slotValid[static_cast<size_t>(s)] = 1;
                    const int32_t channel = setup.slotTable[static_cast<size_t>(s)];
                    if (channel >= 0) setup.ChannelValues(channel).Empty();
                }
            }
        }
    }
    uploadIndex_ = -1;
    if (setup.singleShot) captureRequest_ = kStopped;
    if (const platform::WindowHandle w = qd_.ScopeWindow())
        platform::PostMessage(w, foundation::kOscDataReadyMessage, 0, 0);
}

// ---- watched variables of the drive's program ----------------------------------------------

void CWatchThread::WatchStep() {
    const int request = watchRequest_.load();
    if (request != watchState_.load()) watchState_ = request;
    if (watchState_.load() != kStart) return;
    engine::CWatchList* list = nextList_.load();
    if (!list) return;
    const bool access = programAccess_.load();
    if (blockSize_.load() >= 1) {
        // The block exchange needs the drive program running; without it nothing can be read.
        if (!access || programStopped_.load()) {
            if (!list->LockRead(kWatchLockMs)) {
                for (engine::CWatchEntry& e : list->entries) e.state = 3;
                list->UnlockRead();
            }
            return;
        }
        BlockWatchStep(*list, static_cast<uint32_t>(blockSize_.load()));
        return;
    }
    if (!list->LockWrite()) {
        list->cursor = 0;
        list->UnlockWrite();
    }
    static const char* const kAreas[3] = {"RW_Abs", "RW_Global_AREA", "RW_Retain_AREA"};
    const size_t count = list->entries.size();
    for (size_t index = 0; index < count; ++index) {
        if (runState_.load() == 0) return;
        uint16_t area = 0;
        uint32_t offset = 0, size = 0, value = 0;
        int kind = 0;
        const int rc = list->GetNext(&area, &offset, &size, &kind, &value, sizeof value);
        if (rc == -2) break;
        if (rc != 0) continue;  // the list's lock was not had in time: skip the entry
        if (kind == engine::CWatchEntry::kLeftAlone) continue;
        int mark = 0;
        uint32_t read = 0;
        if (!access) {
            mark = 3;
        } else if (qd_.WriteCell("offset", offset) == 0 && area <= 2) {
            if (kind == engine::CWatchEntry::kWritePending) {
                if (size == 1) value &= 0xFF;
                if (size == 2) value &= 0xFFFF;
                qd_.WriteCell(kAreas[area], value);
                mark = 1;
            } else {
                mark = qd_.ReadCell(kAreas[area], &read) == 0 ? 1 : 2;
            }
        }
        if (mark == 0) continue;
        if (list->LockRead(kWatchLockMs)) continue;
        if (index < list->entries.size()) {
            engine::CWatchEntry& e = list->entries[index];
            e.state = mark;
            if (mark == 1 && kind != engine::CWatchEntry::kWritePending && e.value)
                std::memcpy(e.value, &read, std::min<uint32_t>(size, sizeof read));
        }
        list->UnlockRead();
    }
}

// The pending write goes to the program as command 4; the blocks are read with command 3, as
// many items per command as its answer and its own table leave room for in one message.
void CWatchThread::BlockWatchStep(engine::CWatchList& list, uint32_t blockSize) {
    constexpr uint32_t kItem = 12, kHeader = 4;
    constexpr uint8_t kReadItems = 3, kWriteItem = 4;
    engine::CVMComm& vm = qd_.VmComm();
    if (answer_.size() < blockSize) answer_.assign(blockSize, 0);
    const uint8_t* request = nullptr;
    if (const uint32_t size = list.BuildRequest(&request); size > 0 && request) {
        uint32_t length = 0;
        vm.SendCommand(kWriteItem, request, size, answer_.data(), &length, blockSize);
    }
    if (!list.CopyItemTable(table_, kWatchLockMs) || table_.empty()) return;

    std::vector<uint8_t>& data = blockData_;
    data.clear();
    bool failed = false;
    const uint32_t room = blockSize > kHeader ? blockSize - kHeader : 0;
    size_t first = 0;  // first item of the chunk being built
    uint32_t answerBytes = 0;
    const bool bigEndian = list.bigEndian;
    auto itemSize = [this, bigEndian](size_t item) {
        const uint8_t* p = table_.data() + item * kItem + 4;
        return bigEndian ? static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                               static_cast<uint32_t>(p[2]) << 8 | p[3]
                         : static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
                               static_cast<uint32_t>(p[1]) << 8 | p[0];
    };
    auto send = [&](size_t end, bool markLast) {
        if (markLast) table_[end * kItem - 1] = 1;
        uint32_t length = 0;
        const int rc =
            vm.SendCommand(kReadItems, table_.data() + first * kItem,
                           static_cast<uint32_t>((end - first) * kItem), answer_.data(), &length, blockSize);
        if (rc != 0) return false;
        data.insert(data.end(), answer_.begin(), answer_.begin() + length);
        return true;
    };
    const size_t items = table_.size() / kItem;
    for (size_t i = 0; i < items && !failed; ++i) {
        if (runState_.load() == 0) return;
        const uint32_t size = itemSize(i);
        const uint64_t tableBytes = static_cast<uint64_t>(i - first) * kItem;
        if (i > first && (static_cast<uint64_t>(answerBytes) + size > room || tableBytes + kItem > room)) {
            failed = !send(i, true);
            first = i;
            answerBytes = 0;
        }
        answerBytes += size;
    }
    if (!failed) failed = !send(items, false);
    list.Update(data.data(), static_cast<uint32_t>(data.size()), failed);
}

}  // namespace drive
