#pragma once

// The behaviour of the simulated drive, laid out by a drive description: its variables with their
// values, permanent memory and factory defaults, and what the drive does when they are written:
// the CiA 402 state machine, modes of operation, system commands, permanent memory, the PLC
// program, the oscilloscope and live values that move with time. Every wire (Modbus registers,
// fieldbus objects) reaches the same state. Time is taken from a clock, so tests run it in
// simulated time; nothing runs on a thread of its own: the state catches up with the clock at
// every access.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "tools/drivesim/Cia402.h"
#include "tools/drivesim/SimDescription.h"
#include "tools/drivesim/SimDiagHistory.h"
#include "tools/drivesim/SimSwitches.h"

namespace drivesim {

// Why the drive refused an access; each wire shows it in its own way.
enum class Refusal {
    None,
    NoObject,    // no such variable
    ReadOnly,    // written but not writable
    WriteOnly,   // read but not readable
    Range,       // value outside what the drive takes
    Length,      // wrong number of bytes
    Busy,        // another command runs
    Refused,     // the command is refused (the drive's error word tells why)
    WrongState,  // not in the drive's present state
    Silent,      // the drive does not answer at all
};

uint32_t SdoAbortOf(Refusal refusal);
uint8_t ModbusExceptionOf(Refusal refusal);
// What the drive's last access error word ("ModbusError") holds after a refusal.
uint16_t DriveErrorOf(Refusal refusal);

// How long things take, in ms.
struct SimTiming {
    int eepromMs = 800;      // one save of the parameters in permanent memory
    int restartMs = 2500;    // a firmware restart, during which the drive answers nothing
    int commandMs = 300;     // an ordinary system command
    int tuningMs = 3000;     // an estimator or tuning command, and the tuning command word
    int watchdogMs = 2000;   // a watchdog command without refresh stops after this
    int waitStatusMs = 300;  // a move command reaches its wait status
    int moveMs = 10000;      // a move that nobody ends stops after this
    int modeMs = 50;         // the mode display follows a new mode
    int plcMs = 300;         // the PLC program stops or starts
    int quickStopMs = 100;   // the quick stop ramp
    int faultReactionMs = 50;
    int startMs = 100;  // not ready to switch on, then switch-on disabled
    // ---- safe state of the PLC ----
    int safeStateMs = 2000;  // a running PLC program reaches its safe state
    int unpackMs = 1500;     // a firmware unpack command
};

class SimDriveModel {
  public:
    explicit SimDriveModel(platform::Clock& clock = platform::SystemClock());
    SimDriveModel(const SimDriveModel&) = delete;
    SimDriveModel& operator=(const SimDriveModel&) = delete;

    bool Load(const std::filesystem::path& file, std::string* error);
    bool LoadText(std::string_view text, std::string* error);
    const SimDescription& Description() const { return description_; }
    // Names the behaviour is bound to that the description lacks (the behaviour is then left out).
    std::vector<std::string> MissingNames() const;

    // Switches take effect at once; call them before the drive is served.
    bool Apply(const SimSwitches& switches, std::string* error);
    bool ApplySwitch(const std::string& text, std::string* error);
    SimTiming& Timing() { return timing_; }

    struct Answer {
        Refusal refusal = Refusal::None;
        std::vector<uint8_t> bytes;  // little-endian value, text or domain content
    };

    // Accesses by name, as a wire makes them (the behaviour runs).
    Answer Read(const std::string& name);
    Refusal Write(const std::string& name, const std::vector<uint8_t>& bytes);
    std::optional<int64_t> ReadValue(const std::string& name);
    Refusal WriteValue(const std::string& name, int64_t value);
    // A value, its permanent copy and its factory default, set without any behaviour.
    bool Set(const std::string& name, int64_t value);
    bool SetText(const std::string& name, const std::string& text);

    // Fault causes: the alarm bits latch until a fault reset; an active cause keeps the fault.
    void RaiseFault(uint32_t bits, bool stillActive);
    void ClearFaultCause(uint32_t bits);
    void RaiseWarning(uint32_t bits, bool stillActive);
    void ClearWarningCause(uint32_t bits);

    bool Answers();
    cia402::State State();

    // Modbus: values of up to four bytes lie in one or two registers (low word first); longer
    // values are SDO objects and domains domain objects at their start address.
    enum class RegisterKind { None, Word, Long, Domain };
    RegisterKind KindAt(uint16_t address) const;
    // Each register of the range: its value when the drive describes it, none when not.
    Refusal ReadRegisters(uint16_t first, uint16_t count, std::vector<std::optional<uint16_t>>& out);
    // Writes the described registers of the range (owned tells which); the others are left to
    // the caller.
    Refusal WriteRegisters(uint16_t first, const std::vector<uint16_t>& values, std::vector<bool>& owned);
    Answer ReadAt(uint16_t address);
    Refusal WriteAt(uint16_t address, const std::vector<uint8_t>& bytes);
    bool WritableAt(uint16_t address) const;

    // Fieldbus objects (CANopen index and sub-index); none when the drive describes no such object.
    std::optional<Answer> ReadObject(uint16_t index, uint8_t sub);
    std::optional<Refusal> WriteObject(uint16_t index, uint8_t sub, const uint8_t* data, size_t size);

    // Program virtual machine: a command written to "VmCommand" is answered in "VmAnswer"
    // (little-endian, protocol 2). Commands: 1 opening, 3 read items of the program areas,
    // 4 write one item. The largest message is set before the drive is served.
    void SetVmMessageSize(uint16_t bytes) { vmMessageSize_ = bytes; }
    uint64_t VmCommands(uint8_t command) const { return command < 8 ? vmCounts_[command].load() : 0; }

    // Diagnosis history: what the described history cells serve; body runs under the drive's lock.
    template <typename F>
    void WithDiagHistory(F&& body) {
        std::lock_guard lock(mutex_);
        body(diagHistory_);
    }

  private:
    struct Var {
        const SimVariable* desc = nullptr;
        int role = 0;
        std::vector<uint8_t> ram, eeprom, factory;
    };
    struct Running {
        const SimCommand* command = nullptr;
        int64_t end = 0;
        bool endless = false;
        std::optional<int64_t> statusAt;
        int64_t lastRefresh = 0;
        uint32_t error = 0;
        int64_t start = 0;
    };
    struct Scope {
        int slots = 1;
        uint32_t region = 0;
        uint32_t preSamples = 0;
        int64_t dt = 50;
        int64_t searchFrom = 0;
        int64_t triggerAt = 0;
        int64_t endAt = 0;
        int32_t codes[4] = {};
        std::optional<int64_t> found;
        std::vector<uint32_t> memory;
    };

    bool Build(std::string* error);
    int64_t Now() const;
    void Advance(int64_t now);
    void Fire(int which, int64_t at);
    std::optional<int64_t> SystemNextEvent() const;
    std::optional<int64_t> ScopeNextEvent(int64_t now);
    bool SilentAt(int64_t now) const;

    std::optional<size_t> Index(const std::string& name) const;
    std::optional<size_t> RoleVar(int role) const;
    int64_t Get(int role) const;
    void Put(int role, int64_t value);
    int64_t Decode(const Var& v, const std::vector<uint8_t>& bytes) const;
    std::vector<uint8_t> Encode(const Var& v, int64_t value) const;
    std::vector<uint8_t> BytesOf(size_t index, int64_t now);
    double LiveValue(int role, int64_t t) const;
    double SignalAt(int32_t code, int64_t t) const;

    Answer ReadLocked(size_t index);
    Refusal WriteLocked(size_t index, std::vector<uint8_t> bytes);
    Refusal Refuse(Refusal refusal);
    Refusal OnWrite(Var& v, int64_t value, int64_t now);

    void SetState(cia402::State next, int64_t now);
    void FaultLocked(uint32_t bits, bool active, int64_t now);
    Refusal StartCommand(uint32_t value, int64_t now);
    void EndCommand(int64_t at, bool lapsed);
    void CommandEffect(const SimCommand& command, int64_t at);
    void StartRestart(int64_t at);
    void FinishRestart();
    void SaveEeprom();
    void LoadEeprom();
    void RestoreFactory();
    // ---- permanent memory and safe state of the maintenance dialogs ----
    // The start of a safe-state command while the PLC is on its way (error 14), or none to go on.
    std::optional<Refusal> SafeStateStart(const SimCommand& command, int64_t now);
    bool MaintenanceEffect(const std::string& name);
    Refusal Arm(int64_t mode, int64_t now);
    void CompleteCapture();
    std::vector<uint8_t> CaptureBuffer(int number) const;
    std::optional<uint32_t> CommandError(const std::map<std::string, uint32_t>& table,
                                         const SimCommand& command) const;
    bool Matches(const std::string& text, const SimCommand& command) const;

    platform::Clock& clock_;
    const int64_t origin_;
    mutable std::mutex mutex_;
    SimDescription description_;
    SimTiming timing_;
    SimSwitches switches_;
    std::vector<Var> vars_;
    std::map<std::string, size_t> byName_;
    std::map<uint16_t, std::pair<size_t, int>> registers_;  // register -> variable, word
    std::map<uint16_t, size_t> objectsAt_;                  // long values and domains
    std::map<uint32_t, size_t> byBusKey_;
    std::vector<std::optional<size_t>> roles_;

    cia402::State state_ = cia402::kSwitchOnDisabled;
    uint16_t lastControlword_ = 0;
    std::optional<int64_t> stateAt_;
    cia402::State stateNext_ = cia402::kSwitchOnDisabled;
    std::optional<int64_t> modeAt_;
    int64_t pendingMode_ = 0;
    std::optional<int64_t> moveStart_;
    double position0_ = 0;
    uint32_t dynamicAlarm_ = 0, dynamicWarning_ = 0;

    std::optional<Running> running_;
    bool forcing_ = false;
    std::optional<int64_t> moveEnd_;
    std::optional<int64_t> eepromAt_;
    std::optional<int64_t> restartEnd_;
    // Firmware download: the unpack's progress (0..100) once it ended; the images taken.
    int64_t unpackProgress_ = 0;
    int firmwareImages_ = 0;
    // The send command announced the image as a file for the unpack: no restart after it.
    bool imageIsFile_ = false;
    std::optional<int64_t> tuningAt_;
    std::optional<int64_t> plcAt_;
    int64_t plcNext_ = 0;
    std::optional<Scope> scope_;
    std::vector<uint8_t> areas_[3];
    SimDiagHistory diagHistory_;  // diagnosis history
    // ---- safe state of the PLC ----
    std::optional<int64_t> safeStateAt_;
    // Program virtual machine
    std::vector<uint8_t> AnswerVm(const std::vector<uint8_t>& command);
    // ---- drive-program identity ----
    struct ProgramIdentityFields {
        uint32_t dataKey = 0, checksum = 0;
        uint16_t number = 0;
        std::string name, revision;
    };
    // From "PE_user_program_name" and "PE_data_key" when described (caller holds the lock).
    ProgramIdentityFields ProgramIdentityLocked() const;
    uint16_t vmMessageSize_ = 128;
    std::atomic<uint64_t> vmCounts_[8] = {};
};

}  // namespace drivesim
