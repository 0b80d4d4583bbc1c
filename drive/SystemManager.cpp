#include "drive/SystemManager.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <vector>

#include "drive/DriveSettings.h"
#include "drive/ErrorReport.h"
#include "foundation/XmlDocument.h"
#include "platform/CodePage.h"
#include "platform/Prompt.h"
#include "platform/ThreadLog.h"

namespace drive {

namespace {

constexpr const char* kCommandCell = "SystemManagerCommand";
constexpr const char* kStatusCell = "SystemManagerStatus";
constexpr const char* kErrorCell = "SystemManagerError";
constexpr const char* kWatchdogCell = "ResetWatchDogTimeOut";
constexpr const char* kForcingCell = "SystemManagerEnableForcing";
constexpr const char* kThreadName = "SystemManager::ThreadSystemManager";
constexpr int64_t kPollingWaitMs = 737;
constexpr int64_t kWatchdogWaitMs = 1000;
constexpr int64_t kInfinite = -1;
constexpr size_t kMaxEngineText = 999;

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

unsigned long Ul(uint32_t value) {
    return static_cast<unsigned long>(value);
}

// Decimal, or hexadecimal after "0x"; the default for anything else.
uint32_t ParseSeverity(const std::string& text, uint32_t fallback) {
    if (text.empty()) return fallback;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* begin = text.data() + (hex ? 2 : 0);
    const char* end = text.data() + text.size();
    uint32_t value = 0;
    const auto result = std::from_chars(begin, end, value, hex ? 16 : 10);
    if (result.ec != std::errc() || result.ptr != end) return fallback;
    return value;
}

std::string ReplaceLineBreaks(std::string text) {
    for (size_t at = text.find("\\n"); at != std::string::npos; at = text.find("\\n", at + 1))
        text.replace(at, 2, "\n");
    return text;
}

}  // namespace

CSystemManager::CSystemManager(platform::Clock& clock) : clock_(&clock) {}

CSystemManager::~CSystemManager() {
    Stop();
    Clear();
}

void CSystemManager::SetChannelKind(int kind) {
    // Connection kinds of the connection window: 1 serial, 7 Modbus TCP box, 5 bridge.
    modbusText_ = kind == 1 || kind == 7;
    engineText_ = kind == 5;
}

void CSystemManager::SetPolling(bool on) {
    polling_ = on;
    if (on) {
        // The thread takes the shorter wait at its next wake.
        std::lock_guard lock(mutex_);
        wake_ = true;
        wakeCv_.notify_all();
    }
}

// ---- tables ----------------------------------------------------------------------------------

void CSystemManager::Clear() {
    commands_.clear();
    byValue_.clear();
    errors_.clear();
    aliases_.clear();
    forcingMessage_ = "Would you like to force the command?";
}

void CSystemManager::Load(const foundation::CXmlNode* parent) {
    Clear();
    const foundation::CXmlNode* manager = parent ? parent->FindNode("SystemManager") : nullptr;
    if (!manager) return;
    bool anyWatchdog = false;
    std::vector<std::string> order;  // document order of the commands taken
    if (const foundation::CXmlNode* commands = manager->FindNode("Commands")) {
        forcingMessage_ = ReplaceLineBreaks(
            commands->GetAttribute("forcingmessage", "Would you like to force the command?"));
        for (const foundation::CXmlNode* node : commands->Children()) {
            if (node->Name() != "Cmd") continue;
            anyWatchdog |= node->FindAttribute("watchdog") != nullptr;
            SysMngCommand command;
            command.name = node->GetAttribute("name");
            if (commands_.count(command.name)) continue;
            command.description = node->GetAttribute("descr");
            command.value = static_cast<uint32_t>(node->GetAttributeInt("value", 0));
            command.forceable = node->GetAttributeBool("forceable", false);
            command.watchdog = node->GetAttributeBool("watchdog", false);
            command.waitStatus = static_cast<uint32_t>(node->GetAttributeInt("waitstatus", 0));
            byValue_.emplace(command.value, command.name);
            order.push_back(command.name);
            commands_.emplace(command.name, std::move(command));
        }
    }
    for (const std::string& name : order) {
        SysMngCommand& command = commands_[name];
        if (!anyWatchdog && command.value >= 1000 && command.value <= 1099) command.watchdog = true;
        if (name.find("SYS_CV_RSSP") == std::string::npos) continue;
        // The first word of the description that names a command.
        const std::string& d = command.description;
        for (size_t at = 0; at < d.size();) {
            const size_t blank = d.find(' ', at);
            const std::string word =
                d.substr(at, blank == std::string::npos ? std::string::npos : blank - at);
            if (word.rfind("SYS_CV", 0) == 0) {
                aliases_.emplace(word, name);
                break;
            }
            if (blank == std::string::npos) break;
            at = blank + 1;
        }
    }
    if (const foundation::CXmlNode* errors = manager->FindNode("Errors")) {
        for (const foundation::CXmlNode* node : errors->Children()) {
            if (node->Name() != "Error") continue;
            SysMngError error;
            error.text = node->GetAttribute("descr");
            error.severity = ParseSeverity(node->GetAttribute("severity"), 2);
            error.safetyCondition = node->GetAttributeBool("safetycond", false);
            errors_[static_cast<uint32_t>(node->GetAttributeInt("value", 0))] = std::move(error);
        }
    }
}

uint32_t CSystemManager::LookupCommand(const std::string& name) const {
    const auto it = commands_.find(name);
    return it == commands_.end() ? 0 : it->second.value;
}

const SysMngCommand* CSystemManager::FindByValue(uint32_t value) const {
    const auto it = byValue_.find(value);
    if (it == byValue_.end()) return nullptr;
    const auto command = commands_.find(it->second);
    return command == commands_.end() ? nullptr : &command->second;
}

bool CSystemManager::LookupError(uint32_t number, SysMngError& out) const {
    const auto it = errors_.find(number);
    if (it == errors_.end()) return false;
    out = it->second;
    return true;
}

std::string CSystemManager::ErrorTableText(uint32_t error) const {
    const auto it = errors_.find(error);
    return it == errors_.end() ? std::string() : it->second.text;
}

std::string CSystemManager::GetCommandText(const SysMngCommand& command) {
    return Format("%s (%lu)", command.description.c_str(), Ul(command.value));
}

void CSystemManager::GetErrorText(std::string& out, uint32_t error, uint32_t& severity) const {
    if (const auto it = errors_.find(error); it != errors_.end()) {
        out = it->second.text;
        severity = it->second.severity;
        return;
    }
    severity = 2;
    if (error == static_cast<uint32_t>(kUnknownCommand)) {
        out = "Command not terminated, [timeout]";
        return;
    }
    if (error == static_cast<uint32_t>(kTimeout)) {
        out = "Drive doesn't respond, [timeout]";
        return;
    }
    std::lock_guard lock(mutex_);
    if (!lastResultText_.empty()) {
        out = lastResultText_;
    } else if (engineText_) {
        out = lastEngineText_.substr(0, platform::Utf8SafeCut(lastEngineText_, kMaxEngineText));
    } else {
        out = Format("Unknown error %lu(0x%x)", Ul(error), static_cast<unsigned>(error));
    }
}

// ---- hand-over ---------------------------------------------------------------------------------

bool CSystemManager::ThreadRunning() const {
    std::lock_guard lock(mutex_);
    return threadExists_;
}

void CSystemManager::Stop() {
    std::thread thread;
    {
        std::lock_guard lock(mutex_);
        run_ = false;
        wake_ = true;
        wakeCv_.notify_all();
        thread = std::move(thread_);
    }
    if (thread.joinable()) thread.join();
    std::lock_guard lock(mutex_);
    threadExists_ = false;
    busy_ = false;
    current_.reset();
    doneCv_.notify_all();
}

int32_t CSystemManager::StartCommand(const std::string& name, int startOnly, uint32_t& errorNumber,
                                     std::string& text, std::string& details, uint32_t& severity,
                                     SysMngCommand* out) {
    severity = 2;
    const auto found = commands_.find(name);
    if (found == commands_.end()) {
        text = Format(
            "Internal error: unknown system manager command '%s'\r\n\r\nThe configuration file is not "
            "updated "
            "or corrupted.",
            name.c_str());
        details.clear();
        return kUnknownCommand;
    }
    const SysMngCommand command = found->second;
    if (out) *out = command;
    if (!enabled_) return 0;

    auto request = std::make_shared<Request>();
    request->command = command;
    request->startOnly = startOnly != 0;
    std::unique_lock lock(mutex_);
    if (threadExists_ && busy_) {
        for (int i = 0; i < 10 && busy_; ++i) {
            lock.unlock();
            clock_->SleepMs(10);
            lock.lock();
        }
        if (busy_) return kBusy;
    }
    current_ = request;
    busy_ = true;
    lastResultText_.clear();
    lastEngineText_.clear();
    if (!threadExists_) {
        run_ = true;
        try {
            thread_ = std::thread([this] { ThreadMain(); });
            threadExists_ = true;
        } catch (const std::system_error&) {
            current_.reset();
            busy_ = false;
            return kNoThread;
        }
    }
    wake_ = true;
    wakeCv_.notify_all();

    // The manager owns the request: a caller that gives up leaves it to the thread, which
    // drops its result. The wait follows the thread's own limit once it polls.
    const int64_t handedOver = clock_->NowMs();
    int32_t result = 0;
    while (true) {
        if (request->done) {
            result = request->result;
            lastResultText_ = request->resultText;
            lastEngineText_ = request->engineText;
            break;
        }
        int64_t deadline = handedOver + kHandOverTimeoutMs;
        if (request->pollStartMs >= 0)
            deadline = std::max(deadline, request->pollStartMs + request->pollLimitMs + 1000);
        if (clock_->NowMs() >= deadline || !threadExists_) {
            request->abandoned = true;
            result = kTimeout;
            break;
        }
        doneCv_.wait_for(lock, std::chrono::milliseconds(10));
    }
    lock.unlock();

    const uint32_t r = static_cast<uint32_t>(result);
    if (r == 0) return 0;
    const std::string commandText = Format("%lu : %s", Ul(command.value), command.description.c_str());
    if (r == kAbortBusy || r == kAbortReadOnly) {
        if (r == kAbortBusy) {
            result = static_cast<int32_t>(kAbortReadOnly);
            errorNumber = kAbortBusy;
        }
        uint32_t running = 0;
        const bool read = access_ && access_->ReadCell(kCommandCell, &running) == 0;
        if (read && running != 0) {
            std::string runningText;
            if (const SysMngCommand* other = FindByValue(running)) {
                text = "The drive is busy in executing the command:\r\n" + other->description;
                runningText = Format("%lu : %s", Ul(running), other->description.c_str());
            } else {
                text = Format("The drive is busy in executing the command %lu", Ul(running));
                runningText = Format("0x%x", static_cast<unsigned>(running));
            }
            details = "Command: " + commandText + "\r\nRunning command: " + runningText;
        } else {
            text = "Drive busy";
            details = "Command: " + commandText;
        }
        return result;
    }
    if (r == kAbortRefused) {
        uint32_t error = 0;
        if (access_ && access_->ReadCell(kErrorCell, &error) == 0) {
            errorNumber = error;
            errorValue_ = error;
        }
    } else {
        errorNumber = r;
    }
    GetErrorText(text, errorNumber, severity);
    details = "SysMngCommand: " + commandText + Format("\r\nSysMngError: %lu : ", Ul(errorNumber)) + text;
    return result;
}

// ---- command thread ----------------------------------------------------------------------------

bool CSystemManager::Pause(int64_t ms) {
    const int64_t end = clock_->NowMs() + ms;
    while (run_) {
        const int64_t left = end - clock_->NowMs();
        if (left <= 0) return true;
        clock_->SleepMs(static_cast<uint32_t>(std::min<int64_t>(left, 50)));
    }
    return false;
}

bool CSystemManager::RunStatusGroup() {
    if (!access_) return false;
    uint32_t command = 0, status = 0, error = 0;
    if (access_->ReadCell(kCommandCell, &command) != 0 || access_->ReadCell(kStatusCell, &status) != 0 ||
        access_->ReadCell(kErrorCell, &error) != 0)
        return false;
    commandValue_ = command;
    statusValue_ = status;
    errorValue_ = error;
    return true;
}

bool CSystemManager::RunWatchdogGroup(uint32_t watchdog) {
    if (!access_ || access_->WriteCell(kWatchdogCell, watchdog) != 0) return false;
    return RunStatusGroup();
}

void CSystemManager::ThreadMain() {
    platform::LogThreadStart(kThreadName);
    int64_t waitMs = kInfinite;
    uint32_t watchdog = 0;
    std::unique_lock lock(mutex_);
    while (run_) {
        const auto woken = [this] { return wake_ || !run_; };
        bool wasWoken = true;
        if (waitMs < 0) {
            wakeCv_.wait(lock, woken);
        } else {
            wasWoken = wakeCv_.wait_for(lock, std::chrono::milliseconds(waitMs), woken);
        }
        if (!run_) break;
        wake_ = false;
        std::shared_ptr<Request> request = wasWoken ? current_ : nullptr;
        if (request && request->done) request.reset();
        lock.unlock();
        if (!wasWoken) {
            if (watchdog == 0) {
                RunStatusGroup();
                if (!polling_) waitMs = kInfinite;
            } else {
                bool ok = false;
                for (int i = 0; i < 3 && !ok && run_; ++i) ok = RunWatchdogGroup(watchdog);
                // The watchdog command has ended: one more status poll follows.
                if (ok && commandValue_ != watchdog) watchdog = 0;
                waitMs = polling_ ? kPollingWaitMs : kWatchdogWaitMs;
            }
        } else if (!request) {
            if (polling_) waitMs = kPollingWaitMs;
        } else {
            Execute(*request, watchdog, waitMs);
            Complete(request);
            if (polling_) waitMs = kPollingWaitMs;
        }
        lock.lock();
    }
    lock.unlock();
    platform::LogThreadStop(kThreadName);
}

void CSystemManager::Execute(Request& request, uint32_t& watchdog, int64_t& waitMs) {
    const SysMngCommand& command = request.command;
    if (command.waitStatus != 0 && statusValue_ == command.waitStatus) statusValue_ = 0;
    if (!access_) {
        request.result = kTimeout;
        return;
    }
    const int rc = access_->WriteCell(kCommandCell, command.value);
    if (rc != 0) {
        request.result = rc;
        request.engineText = access_->LastErrorText();
        if (modbusText_) {
            uint32_t code = 0;
            if (access_->ReadCell(access_->ModbusErrorVariableName(), &code) == 0 && code != 0)
                if (const std::string* text = access_->FindModbusError(code))
                    request.resultText =
                        Format("%s (error=0x%x)", text->c_str(), static_cast<unsigned>(code));
        }
        // A refused write keeps a running watchdog command alive.
        if (watchdog != 0) access_->WriteCell(kWatchdogCell, watchdog);
        return;
    }
    if (command.watchdog) {
        watchdog = command.value;
        waitMs = kWatchdogWaitMs;
    } else {
        watchdog = 0;
        waitMs = kInfinite;
    }
    if (!request.startOnly) {
        {
            std::lock_guard lock(mutex_);
            request.pollLimitMs = kCompletionTimeoutMs + 100;
            request.pollStartMs = clock_->NowMs();
        }
        if (!Pause(100)) {
            request.result = kTimeout;
            return;
        }
        const int64_t end = clock_->NowMs() + kCompletionTimeoutMs;
        while (true) {
            uint32_t value = 0;
            if (access_->ReadCell(kCommandCell, &value) == 0) {
                commandValue_ = value;
                if (value == 0) {
                    uint32_t error = 0;
                    access_->ReadCell(kErrorCell, &error);
                    errorValue_ = error;
                    request.result = static_cast<int32_t>(error);
                    return;
                }
            }
            if (clock_->NowMs() >= end || !Pause(200)) {
                request.result = kTimeout;
                return;
            }
        }
    }
    if (command.waitStatus != 0 && statusValue_ != command.waitStatus) {
        {
            std::lock_guard lock(mutex_);
            request.pollLimitMs = kWaitStatusTimeoutMs + 200;
            request.pollStartMs = clock_->NowMs();
        }
        if (!Pause(200)) return;
        const int64_t end = clock_->NowMs() + kWaitStatusTimeoutMs;
        while (run_) {
            if (watchdog != 0) {
                RunWatchdogGroup(watchdog);
            } else {
                RunStatusGroup();
            }
            if (errorValue_ != 0 || statusValue_ == command.waitStatus || clock_->NowMs() >= end) return;
            if (!Pause(500)) return;
        }
    }
}

// Busy and the current command are cleared under the lock before the caller is told, so that a
// caller woken by the result finds the thread free.
void CSystemManager::Complete(const std::shared_ptr<Request>& request) {
    std::lock_guard lock(mutex_);
    if (request->abandoned) {
        ++dropped_;
    } else {
        request->done = true;
    }
    if (current_ == request) current_.reset();
    busy_ = false;
    doneCv_.notify_all();
}

// ---- report ------------------------------------------------------------------------------------

uint32_t CSystemManager::ExecuteCommand(const std::string& name, int startOnly, uint32_t initialError,
                                        bool quiet, std::string* textOut) {
    if (!enabled_) return 0;
    uint32_t errorNumber = initialError > 100 ? initialError - 100 : initialError;
    std::string text, details;
    uint32_t severity = 2;
    SysMngCommand command;
    int32_t result = 0;
    bool retried = false;
    auto cancelled = [&] {
        std::string cancelText = ErrorTableText(kCancelled);
        if (textOut) *textOut = cancelText;
        return kCancelled;
    };
    auto force = [&] { return access_ && access_->WriteCell(kForcingCell, 1) == 0; };
    while (true) {
        result = StartCommand(name, startOnly, errorNumber, text, details, severity, &command);
        const bool refused = static_cast<uint32_t>(result) == kAbortRefused;
        // A safety refusal of the PLC: one forced retry at most, then the report.
        if (refused && (errorNumber == 8 || errorNumber == 14) && !quiet && !retried) {
            retried = true;
            int answer = static_cast<int>(kForceAnswer);
            const bool dontAsk = settings_ && settings_->DontAskSafety;
            const bool safePlc = !settings_ || settings_->SafetySafePlc;
            const bool skipDialog = dontAsk && !safePlc;
            const auto alias = aliases_.find(name);
            if (!skipDialog && alias != aliases_.end()) {
                answer = platform::Prompts().Custom(kSafePlcPrompt,
                                                    {alias->second, command.description, dontAsk ? "1" : "0",
                                                     safePlc ? "1" : "0", errorNumber == 14 ? "1" : "0"},
                                                    nullptr);
            }
            if (answer == platform::IDCANCEL) return cancelled();
            if (answer == static_cast<int>(kForceAnswer)) {
                if (command.forceable && name != "SYS_CV_STOP_PLC") {
                    const int ok = platform::Prompts().Custom(
                        kForcingPrompt, {GetCommandText(command), forcingMessage_}, nullptr);
                    if (ok != platform::IDOK) return cancelled();
                }
                force();
            }
            continue;
        }
        if (refused && !quiet && !retried && command.forceable) {
            SysMngError record;
            if (LookupError(errorNumber, record) && record.safetyCondition) {
                retried = true;
                const int ok = platform::Prompts().Custom(
                    kForcingPrompt, {GetCommandText(command), forcingMessage_}, nullptr);
                if (ok == platform::IDOK && force()) continue;
            }
        }
        break;
    }
    if (static_cast<uint32_t>(result) == kAbortRefused && quiet && textOut && text.empty())
        text = ErrorTableText(errorNumber);
    if (result == 0) {
        if (textOut) textOut->clear();
        return 0;
    }
    const uint32_t r = static_cast<uint32_t>(result);
    if (result == kUnknownCommand) {
        text = Format("System manager: unknown command '%s'", name.c_str());
        details =
            Format("Error: 0x%x (%lu)\r\nSysMngCommand: %s", static_cast<unsigned>(r), Ul(r), name.c_str());
        severity = 2;
    } else if (errorNumber == 0) {
        text = "System manager unexpected response.";
        details = Format("Error: 0x%x (%lu)\r\nSysMngCommand: %lu : %s\r\nSysMngError: %lu",
                         static_cast<unsigned>(r), Ul(r), Ul(command.value), command.description.c_str(),
                         Ul(errorNumber));
        severity = 2;
    }
    if (textOut) *textOut = text;
    uint32_t answer = r;
    if (!quiet) {
        if (severity == 0) {
            platform::Prompts().MessageBox(text, "System message",
                                           platform::MB_OK | platform::MB_ICONINFORMATION);
            answer = 0;
        } else if (severity == 1) {
            platform::Prompts().Custom(kMessageDetailsPrompt, {"System warning", text, details, "1"},
                                       nullptr);
            answer = 0;
        } else {
            platform::Prompts().Custom(kMessageDetailsPrompt, {"System Error", text, details, "2"}, nullptr);
        }
    } else if (severity == 0 || severity == 1) {
        answer = 0;
    }
    return answer;
}

}  // namespace drive
