#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Clock.h"

namespace foundation {
class CXmlNode;
}  // namespace foundation

namespace drive {

struct CDriveSettings;

// One command the drive's system manager offers ("Cmd" of the description).
struct SysMngCommand {
    std::string name;
    std::string description;
    uint32_t value = 0;
    uint32_t waitStatus = 0;  // 0: none
    bool forceable = false;
    bool watchdog = false;
};

// One error the system manager reports ("Error" of the description).
struct SysMngError {
    std::string text;
    uint32_t severity = 2;  // 0 message, 1 warning, 2 error
    bool safetyCondition = false;
};

// What the system manager needs of the drive: named reads and writes (each under the drive
// lock) and the texts of a failed access.
class CSystemManagerAccess {
  public:
    virtual ~CSystemManagerAccess() = default;
    virtual int ReadCell(const std::string& name, uint32_t* value) = 0;
    virtual int WriteCell(const std::string& name, uint32_t value) = 0;
    // The calling thread's last error text of a drive access (empty when there is none).
    virtual std::string LastErrorText() = 0;
    virtual std::string ModbusErrorVariableName() = 0;
    // The description's text of a drive Modbus error value, or null.
    virtual const std::string* FindModbusError(uint32_t value) = 0;
};

// The drive's maintenance and tuning actions, run by name one at a time on a thread of its own:
// the command number goes to "SystemManagerCommand", the drive reports in "SystemManagerCommand",
// "SystemManagerStatus" and "SystemManagerError".
class CSystemManager {
  public:
    // Results besides 0 and the drive's numbers.
    static constexpr int32_t kBusy = -1;
    static constexpr int32_t kTimeout = -2;
    static constexpr int32_t kNoThread = -3;
    static constexpr int32_t kUnknownCommand = -5;
    static constexpr uint32_t kCancelled = 1000;
    static constexpr uint32_t kForceAnswer = 1057;
    static constexpr uint32_t kAbortRefused = 0x08000000;
    static constexpr uint32_t kAbortBusy = 0x08000020;
    static constexpr uint32_t kAbortReadOnly = 0x06010002;
    static constexpr int64_t kCompletionTimeoutMs = 30000;
    static constexpr int64_t kHandOverTimeoutMs = 31000;
    static constexpr int64_t kWaitStatusTimeoutMs = 20000;

    // Prompt kinds of the two safety questions (answers: 2 cancel, 1057 force; 1 OK).
    static constexpr const char* kSafePlcPrompt = "SysSafePlc";
    static constexpr const char* kForcingPrompt = "MsgSafePlc";

    explicit CSystemManager(platform::Clock& clock = platform::SystemClock());
    virtual ~CSystemManager();
    CSystemManager(const CSystemManager&) = delete;
    CSystemManager& operator=(const CSystemManager&) = delete;

    // The clock of every wait (tests put a simulated one in; not owned). Set while idle.
    void SetClock(platform::Clock& clock) { clock_ = &clock; }
    // The drive access (not owned; null detaches). Set before the first command.
    void SetAccess(CSystemManagerAccess* access) { access_ = access; }
    // While disabled every command is a no-op that succeeds.
    void SetEnabled(bool on) { enabled_ = on; }
    bool IsEnabled() const { return enabled_; }
    // Connection kind of the channel: Modbus texts for serial and box, engine texts for the bridge.
    void SetChannelKind(int kind);
    // Program-wide settings read by the safety question (not owned; null: defaults).
    void SetSettings(const CDriveSettings* settings) { settings_ = settings; }
    // Tuning pages that follow a running command poll the status after each wake.
    void SetPolling(bool on);

    // The tables from the element holding "SystemManager" (null or none: empty tables).
    void Load(const foundation::CXmlNode* parent);
    void Clear();

    // Runs the command and reports; 0 done (also while disabled).
    uint32_t ExecuteCommand(const std::string& name, int startOnly = 0, uint32_t initialError = 0,
                            bool quiet = false, std::string* text = nullptr);
    // One hand-over to the thread and the wait for it.
    int32_t StartCommand(const std::string& name, int startOnly, uint32_t& errorNumber, std::string& text,
                         std::string& details, uint32_t& severity, SysMngCommand* command = nullptr);
    // The command's value; 0 when the drive has no such command.
    uint32_t LookupCommand(const std::string& name) const;
    void GetErrorText(std::string& out, uint32_t error, uint32_t& severity) const;
    bool LookupError(uint32_t number, SysMngError& out) const;
    static std::string GetCommandText(const SysMngCommand& command);

    // Stops the command thread and joins it; a waiting caller gets its time-out.
    void Stop();

    // Mirrors of the drive's three words as the thread last read them.
    uint32_t CommandValue() const { return commandValue_; }
    uint32_t StatusValue() const { return statusValue_; }
    uint32_t ErrorValue() const { return errorValue_; }
    const std::string& ForcingMessage() const { return forcingMessage_; }
    const std::map<std::string, std::string>& Aliases() const { return aliases_; }
    const std::map<std::string, SysMngCommand>& Commands() const { return commands_; }
    bool ThreadRunning() const;
    // Results that came after their caller had given up, and were dropped.
    uint32_t DroppedResults() const { return dropped_; }

  private:
    struct Request {
        SysMngCommand command;
        bool startOnly = false;
        int32_t result = 0;
        bool done = false;
        bool abandoned = false;
        int64_t pollStartMs = -1;
        int64_t pollLimitMs = 0;
        std::string resultText;
        std::string engineText;
    };

    void ThreadMain();
    void Execute(Request& request, uint32_t& watchdog, int64_t& waitMs);
    void Complete(const std::shared_ptr<Request>& request);
    bool RunStatusGroup();
    bool RunWatchdogGroup(uint32_t watchdog);
    // Sleeps on the clock in short steps; false when the run flag went off.
    bool Pause(int64_t ms);
    bool Running() const { return run_; }
    const SysMngCommand* FindByValue(uint32_t value) const;
    std::string ErrorTableText(uint32_t error) const;

    platform::Clock* clock_;
    CSystemManagerAccess* access_ = nullptr;
    const CDriveSettings* settings_ = nullptr;
    std::atomic<bool> enabled_{false};
    std::atomic<bool> polling_{false};
    bool modbusText_ = false;
    bool engineText_ = false;

    std::atomic<uint32_t> commandValue_{0}, statusValue_{0}, errorValue_{0};

    std::string forcingMessage_ = "Would you like to force the command?";
    std::map<std::string, SysMngCommand> commands_;
    std::map<uint32_t, std::string> byValue_;
    std::map<uint32_t, SysMngError> errors_;
    std::map<std::string, std::string> aliases_;

    // Hand-over between callers and the thread.
    mutable std::mutex mutex_;
    std::condition_variable wakeCv_;
    std::condition_variable doneCv_;
    std::thread thread_;
    bool threadExists_ = false;
    std::atomic<bool> run_{false};
    bool wake_ = false;
    bool busy_ = false;
    std::shared_ptr<Request> current_;
    std::string lastResultText_;
    std::string lastEngineText_;
    std::atomic<uint32_t> dropped_{0};
};

}  // namespace drive
