#include "tools/drivesim/SimDriveModel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

namespace drivesim {

namespace {

// The variables the behaviour is bound to, by name.
enum Role : int {
    kPlain = 0,
    kControlword,
    kStatusword,
    kMode,
    kModeDisplay,
    kHardwareEnable,
    kInputs,
    kPosition,
    kVelocity,
    kCurrent,
    kDcBus,
    kTemperature,
    kAnalog0,
    kAnalog1,
    kAnalog2,
    kAnalog3,
    kDynamicWarning,
    kWarning,
    kDynamicAlarm,
    kAlarm,
    kAccessError,
    kCommand,
    kCommandStatus,
    kCommandError,
    kWatchdog,
    kForcing,
    kEeprom,
    kEepromStatus,
    kTuning,
    kPlcStatus,
    kPlcCommand,
    kChannels,
    kChannel1,
    kChannel2,
    kChannel3,
    kChannel4,
    kScanTime,
    kTriggerStatus,
    kMaxBuffer,
    kPrescaler,
    kPretrigger,
    kCaptureError,
    kTriggerLevel,
    kTriggerSlope,
    kBuffer1,
    kBuffer2,
    kBuffer3,
    kBuffer4,
    kOffset,
    kAreaAbs,
    kAreaGlobal,
    kAreaRetain,
    kRoleCount
};

const char* const kRoleNames[kRoleCount] = {
    "",
    "controlword",
    "statusword",
    "ModeOfOperation",
    "ModeOfOperationDisplay",
    "TestEnableHw",
    "PhisicalDigitalInputStatus",
    "ActualPosition",
    "ActualVelocity",
    "CurrentActual",
    "DcBusVoltage",
    "MotorTemperature",
    "AnalogInput0",
    "AnalogInput1",
    "AnalogInput2",
    "AnalogInput3",
    "DriveDynamicWarning",
    "DriveWarning",
    "DriveDynamicAlarm",
    "DriveAlarm",
    "ModbusError",
    "SystemManagerCommand",
    "SystemManagerStatus",
    "SystemManagerError",
    "ResetWatchDogTimeOut",
    "SystemManagerEnableForcing",
    "GestEEprom",
    "EEpromCommandStatus",
    "TuningRegulatorCommand",
    "vm_StatusRunStop",
    "vm_CommandRunStop",
    "Numero_Canali",
    "Indir_canale_1",
    "Indir_canale_2",
    "Indir_canale_3",
    "Indir_canale_4",
    "Logger_Scan_Time",
    "Trigger_Status",
    "MaxBufferDimension",
    "Prescaler_buffer",
    "Pretrigger_Value",
    "Cod_err_iniz_osc",
    "Trigger_value",
    "Pendenza_trigger",
    "Buffer_1",
    "Buffer_2",
    "Buffer_3",
    "Buffer_4",
    "offset",
    "RW_Abs",
    "RW_Global_AREA",
    "RW_Retain_AREA",
};

// Values the drive leaves the factory with; every other variable starts at 0.
struct Initial {
    const char* name;
    int64_t value;
};
const Initial kInitialValues[] = {
    {"ModeOfOperation", 1},
    {"ModeOfOperationDisplay", 1},
    {"TestEnableHw", 1},
    {"BrakeType", 1},
    {"device_type", 0x00020192},
    {"rd_hw_rev", 3},
    {"System.Info.SerialNumber", 20240017},
    {"DiagHistoryMaxMsg", 32},
    {"VelocityUnit", 1},
    {"PositionResolution", 10000},
    {"HoldCurrent", 50},
    {"RatedCurrent", 6000},
    {"MaxVelocity", 100000},
    {"MaxCurrent", 12000},
    {"KP_IQ", 1200},
    {"KI_IQ", 300},
    {"KP_High_Speed", 800},
    {"KI_High_Speed", 40},
    {"KP_High_Position", 25},
    {"Estimated_Inertia", 150},
    {"CurrentLoopPeriod", 62},
    {"DigitalInput6Function", 6},
    {"DigitalOutput0Function", 2},
    {"DigitalOutput1Function", 3},
    {"DigitalOutput3Function", 4},
    {"vm_StatusRunStop", 1},
    {"Numero_Canali", 1},
    {"Indir_canale_1", 1},
    {"Logger_Scan_Time", 50},
    {"MaxBufferDimension", 4096},
    {"Prescaler_buffer", 1},
    {"Pretrigger_Value", 10},
    {"Pendenza_trigger", 1},
    // ---- drive-program identity: 15/03/2026 10:30:00 ----
    {"PE_data_key", 0xCB9E93A8},
};
struct InitialText {
    const char* name;
    const char* text;
};
const InitialText kInitialTexts[] = {
    {"UserDriveName", "Simulated drive"},
    {"ProductOrderCode", "SIM-1234-12A"},
    {"MotorGuid", "\x5A\x31\x7C\x02\x9E\x44\x4B\x10\xA2\x6D\x13\x57\x9B\xDF\x20\x41"},
    // ---- drive-program identity ----
    {"PE_user_program_name", "Demo axis program"},
};

constexpr uint32_t kErrorUnknownCommand = 1;
constexpr uint32_t kErrorWatchdog = 30;
constexpr uint16_t kHardwareEnableBit = 22;
constexpr size_t kAreaBytes = 0x10000;
constexpr double kMoveAmplitude = 50000.0;  // inc/s
constexpr double kMovePeriodS = 4.0;
constexpr double kCurrentAmplitude = 1500.0;  // mA

int64_t Ms(int ms) {
    return static_cast<int64_t>(ms) * 1000;
}

double Wave(int64_t t, double periodS) {
    return std::sin(2.0 * std::numbers::pi * static_cast<double>(t) / (periodS * 1e6));
}

bool IsWaveRole(int role) {
    return role == kPosition || role == kVelocity || role == kCurrent || role == kDcBus ||
           role == kTemperature || (role >= kAnalog0 && role <= kAnalog3) || role == kInputs;
}

}  // namespace

uint32_t SdoAbortOf(Refusal refusal) {
    switch (refusal) {
        case Refusal::None:
            return 0;
        case Refusal::NoObject:
            return 0x06020000;
        case Refusal::ReadOnly:
            return 0x06010002;
        case Refusal::WriteOnly:
            return 0x06010001;
        case Refusal::Range:
            return 0x06090030;
        case Refusal::Length:
            return 0x06070010;
        case Refusal::Busy:
            return 0x08000020;
        case Refusal::WrongState:
            return 0x08000022;
        case Refusal::Refused:
        case Refusal::Silent:
            return 0x08000000;
    }
    return 0x08000000;
}

uint8_t ModbusExceptionOf(Refusal refusal) {
    switch (refusal) {
        case Refusal::None:
            return 0;
        case Refusal::NoObject:
        case Refusal::WriteOnly:
            return 2;
        case Refusal::Range:
        case Refusal::Length:
            return 3;
        case Refusal::Busy:
            return 6;
        default:
            return 4;
    }
}

uint16_t DriveErrorOf(Refusal refusal) {
    switch (refusal) {
        case Refusal::None:
        case Refusal::Silent:
            return 0;
        case Refusal::NoObject:
        case Refusal::WriteOnly:
            return 1;
        case Refusal::ReadOnly:
            return 2;
        case Refusal::Range:
            return 3;
        case Refusal::Refused:
            return 4;
        case Refusal::WrongState:
            return 5;
        case Refusal::Busy:
            return 6;
        case Refusal::Length:
            return 7;
    }
    return 0;
}

SimDriveModel::SimDriveModel(platform::Clock& clock) : clock_(clock), origin_(clock.NowUs()) {
    roles_.assign(kRoleCount, std::nullopt);
    for (auto& area : areas_) area.assign(kAreaBytes, 0);
}

int64_t SimDriveModel::Now() const {
    return clock_.NowUs() - origin_;
}

bool SimDriveModel::Load(const std::filesystem::path& file, std::string* error) {
    SimDescription description;
    if (!description.Load(file, error)) return false;
    std::lock_guard lock(mutex_);
    description_ = std::move(description);
    return Build(error);
}

bool SimDriveModel::LoadText(std::string_view text, std::string* error) {
    SimDescription description;
    if (!description.LoadText(text, error)) return false;
    std::lock_guard lock(mutex_);
    description_ = std::move(description);
    return Build(error);
}

bool SimDriveModel::Build(std::string* error) {
    vars_.clear();
    byName_.clear();
    registers_.clear();
    objectsAt_.clear();
    byBusKey_.clear();
    roles_.assign(kRoleCount, std::nullopt);
    for (const SimVariable& d : description_.variables) {
        Var v;
        v.desc = &d;
        for (int r = 1; r < kRoleCount; ++r)
            if (d.name == kRoleNames[r]) v.role = r;
        const size_t index = vars_.size();
        if (v.role != kPlain) roles_[static_cast<size_t>(v.role)] = index;
        if (v.role >= kBuffer1 && v.role <= kBuffer4 && d.size != 0) {
            if (error) *error = "'" + d.name + "' must be a domain (size 0)";
            return false;
        }
        v.ram.assign(d.size, 0);
        byName_[d.name] = index;
        if (d.modbusAddress) {
            if (d.size >= 1 && d.size <= 4) {
                registers_[*d.modbusAddress] = {index, 0};
                if (d.size > 2) registers_[static_cast<uint16_t>(*d.modbusAddress + 1)] = {index, 1};
            } else {
                objectsAt_[*d.modbusAddress] = index;
            }
        }
        if (d.busKey) byBusKey_[*d.busKey] = index;
        vars_.push_back(std::move(v));
    }
    for (const Initial& i : kInitialValues)
        if (auto index = Index(i.name);
            index && vars_[*index].desc->size >= 1 && vars_[*index].desc->size <= 4)
            vars_[*index].ram = Encode(vars_[*index], i.value);
    for (const InitialText& i : kInitialTexts)
        if (auto index = Index(i.name); index && vars_[*index].desc->size > 4) {
            Var& v = vars_[*index];
            const std::string text(i.text);
            std::copy_n(text.begin(), std::min<size_t>(text.size(), v.ram.size()), v.ram.begin());
        }
    for (Var& v : vars_) v.eeprom = v.factory = v.ram;
    state_ = cia402::kSwitchOnDisabled;
    return true;
}

std::vector<std::string> SimDriveModel::MissingNames() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> missing;
    for (int r = 1; r < kRoleCount; ++r)
        if (!roles_[static_cast<size_t>(r)]) missing.emplace_back(kRoleNames[r]);
    return missing;
}

bool SimDriveModel::ApplySwitch(const std::string& text, std::string* error) {
    SimSwitches switches;
    return ParseSwitch(text, switches, error) && Apply(switches, error);
}

bool SimDriveModel::Apply(const SimSwitches& s, std::string* error) {
    std::lock_guard lock(mutex_);
    const int64_t now = Now();
    Advance(now);
    // Commands named by a switch must exist, so that a typing error does not pass unnoticed.
    auto known = [&](const std::string& name) {
        if (name == kRoleNames[kTuning] || name == kRoleNames[kEeprom]) return true;
        for (const SimCommand& c : description_.commands)
            if (Matches(name, c)) return true;
        if (error) *error = "no system command '" + name + "' in the description";
        return false;
    };
    for (const auto* table : {&s.refuse, &s.refuseAlways, &s.fail})
        for (const auto& [name, code] : *table)
            if (!known(name)) return false;
    for (const std::string& name : s.hang)
        if (!known(name)) return false;
    if (s.busy && !s.busy->empty() && !known(*s.busy)) return false;
    if (s.busy && description_.commands.empty()) {
        if (error) *error = "the description has no system command to be busy with";
        return false;
    }

    // ---- parameter file import ----
    for (const std::string& name : s.refuseWrite) {
        if (!Index(name)) {
            if (error) *error = "no variable '" + name + "' in the description";
            return false;
        }
    }
    switches_.refuseWrite.insert(s.refuseWrite.begin(), s.refuseWrite.end());

    if (s.silentAfterMs) {
        switches_.silentAfterMs = s.silentAfterMs;
        switches_.silentForMs = s.silentForMs;
    }
    switches_.stuckState |= s.stuckState;
    switches_.modeStuck |= s.modeStuck;
    switches_.noSystemManager |= s.noSystemManager;
    if (s.noHardwareEnable) {
        switches_.noHardwareEnable = true;
        Put(kHardwareEnable, 0);
    }
    for (const auto& [k, v] : s.refuse) switches_.refuse[k] = v;
    for (const auto& [k, v] : s.refuseAlways) switches_.refuseAlways[k] = v;
    for (const auto& [k, v] : s.fail) switches_.fail[k] = v;
    switches_.hang.insert(s.hang.begin(), s.hang.end());
    // Firmware download
    switches_.failFirmwareImage |= s.failFirmwareImage;
    switches_.refuseFirmwareKey |= s.refuseFirmwareKey;
    if (s.rebootSilentMs) switches_.rebootSilentMs = s.rebootSilentMs;
    // ---- drive-program identity ----
    switches_.vmShortRecord |= s.vmShortRecord;
    // Diagnosis history
    if (s.diagMessages > 0) diagHistory_.AddNumbered(s.diagMessages);
    if (s.diagWrap) diagHistory_.Wrap();
    if (s.diagNewest) diagHistory_.SetNewestOverride(*s.diagNewest);
    if (s.diagMsgSize) diagHistory_.SetAnnouncedMsgSize(*s.diagMsgSize);
    if (s.eepromMs) {
        switches_.eepromMs = s.eepromMs;
        timing_.eepromMs = *s.eepromMs;
        timing_.restartMs = 2000 + *s.eepromMs;
    }
    if (s.initialState) {
        const auto target = static_cast<cia402::State>(*s.initialState);
        if (target == cia402::kFaultReactionActive || target == cia402::kFault) {
            FaultLocked(s.faultBits ? s.faultBits : 1, false, now);
            if (target == cia402::kFault) {
                state_ = cia402::kFault;
                stateAt_.reset();
            }
        } else {
            SetState(target, now);
        }
    }
    if (s.faultBits) FaultLocked(s.faultBits, false, now);
    // ---- drive errors ----
    if (s.warningBits) {
        dynamicWarning_ |= s.warningBits;
        Put(kWarning, Get(kWarning) | s.warningBits);
        Put(kDynamicWarning, dynamicWarning_);
    }
    if (s.busy) {
        const SimCommand* command = &description_.commands.front();
        for (const SimCommand& c : description_.commands)
            if (!s.busy->empty() && Matches(*s.busy, c)) command = &c;
        // Busy with a command that never ends, whatever its watchdog says.
        Running r;
        r.command = command;
        r.endless = true;
        r.lastRefresh = now;
        running_ = r;
        Put(kCommand, command->value);
        Put(kCommandStatus, 1);
    }
    return true;
}

bool SimDriveModel::Matches(const std::string& text, const SimCommand& command) const {
    if (text == command.name) return true;
    const auto value = ParseSimNumber(text);
    return value && *value == command.value;
}

std::optional<uint32_t> SimDriveModel::CommandError(const std::map<std::string, uint32_t>& table,
                                                    const SimCommand& command) const {
    for (const auto& [name, code] : table)
        if (Matches(name, command)) return code;
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------
// Values

std::optional<size_t> SimDriveModel::Index(const std::string& name) const {
    auto it = byName_.find(name);
    if (it == byName_.end()) return std::nullopt;
    return it->second;
}

std::optional<size_t> SimDriveModel::RoleVar(int role) const {
    return roles_[static_cast<size_t>(role)];
}

int64_t SimDriveModel::Decode(const Var& v, const std::vector<uint8_t>& bytes) const {
    uint64_t raw = 0;
    const size_t n = std::min<size_t>(bytes.size(), 8);
    for (size_t i = 0; i < n; ++i) raw |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    if (v.desc->isSigned && n > 0 && n < 8 && (bytes[n - 1] & 0x80)) raw |= ~uint64_t{0} << (8 * n);
    return static_cast<int64_t>(raw);
}

std::vector<uint8_t> SimDriveModel::Encode(const Var& v, int64_t value) const {
    std::vector<uint8_t> out(v.desc->size);
    for (size_t i = 0; i < out.size() && i < 8; ++i)
        out[i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
    return out;
}

int64_t SimDriveModel::Get(int role) const {
    const auto index = RoleVar(role);
    if (!index) return 0;
    return Decode(vars_[*index], vars_[*index].ram);
}

void SimDriveModel::Put(int role, int64_t value) {
    const auto index = RoleVar(role);
    if (!index || vars_[*index].desc->size < 1 || vars_[*index].desc->size > 4) return;
    vars_[*index].ram = Encode(vars_[*index], value);
}

// Values that move by themselves, as functions of the time in µs since the drive started.
double SimDriveModel::LiveValue(int role, int64_t t) const {
    const double omega = 2.0 * std::numbers::pi / (kMovePeriodS * 1e6);
    const double moving = moveStart_ && t >= *moveStart_ ? static_cast<double>(t - *moveStart_) : -1.0;
    switch (role) {
        case kPosition:
            if (moving < 0) return position0_;
            return position0_ + kMoveAmplitude * kMovePeriodS / (2.0 * std::numbers::pi) *
                                    (1.0 - std::cos(omega * moving));
        case kVelocity:
            return moving < 0 ? 0.0 : kMoveAmplitude * std::sin(omega * moving);
        case kCurrent:
            return moving < 0 ? 0.0 : kCurrentAmplitude * std::cos(omega * moving);
        case kDcBus:
            return 3250.0 + 15.0 * Wave(t, 3.0);
        case kTemperature:
            return 352.0 + 8.0 * Wave(t, 60.0);
        case kAnalog0:
            return 5000.0 * Wave(t, 2.0);
        case kAnalog1: {
            const double phase = std::fmod(static_cast<double>(t) / 5e6, 1.0);
            return 10000.0 * (phase < 0.5 ? 2.0 * phase : 2.0 - 2.0 * phase);
        }
        case kAnalog2:
            return 2500.0 + 500.0 * Wave(t, 0.5);
        case kAnalog3:
            return -3000.0 + 100.0 * Wave(t, 10.0);
        case kInputs: {
            uint32_t bits = 0;
            for (int i = 0; i < 4; ++i)
                if ((t / (Ms(1000) << i)) & 1) bits |= 1u << (16 + i);
            if (!switches_.noHardwareEnable) bits |= 1u << kHardwareEnableBit;
            return static_cast<double>(bits);
        }
        default:
            return 0.0;
    }
}

// The value a recorded signal had at time t.
double SimDriveModel::SignalAt(int32_t code, int64_t t) const {
    for (const SimScopeChannel& c : description_.scopeChannels) {
        if (c.code != code) continue;
        const auto index = Index(c.variable);
        if (!index) return 0.0;
        const Var& v = vars_[*index];
        if (IsWaveRole(v.role)) return LiveValue(v.role, t);
        if (v.role == kStatusword) return cia402::Statusword(state_, dynamicWarning_ != 0);
        return static_cast<double>(Decode(v, v.ram));
    }
    return 0.0;
}

std::vector<uint8_t> SimDriveModel::BytesOf(size_t index, int64_t now) {
    Var& v = vars_[index];
    // Firmware download: the unpack command's progress.
    if (v.desc->name == "FirmwareUnpackProgress" && v.desc->size > 0 && v.desc->size <= 4) {
        int64_t progress = unpackProgress_;
        if (running_ && running_->command && running_->command->name.find("UNPACK") != std::string::npos &&
            running_->end > running_->start)
            progress =
                std::min<int64_t>(99, (now - running_->start) * 100 / (running_->end - running_->start));
        return Encode(v, progress);
    }
    if (IsWaveRole(v.role)) {
        double value = LiveValue(v.role, now);
        const int bits = static_cast<int>(8 * v.desc->size);
        const double high = v.desc->isSigned ? std::ldexp(1.0, bits - 1) - 1 : std::ldexp(1.0, bits) - 1;
        const double low = v.desc->isSigned ? -std::ldexp(1.0, bits - 1) : 0.0;
        value = std::clamp(std::round(value), low, high);
        return Encode(v, static_cast<int64_t>(value));
    }
    switch (v.role) {
        case kStatusword:
            return Encode(v, cia402::Statusword(state_, dynamicWarning_ != 0));
        case kBuffer1:
        case kBuffer2:
        case kBuffer3:
        case kBuffer4:
            return CaptureBuffer(v.role - kBuffer1 + 1);
        case kAreaAbs:
        case kAreaGlobal:
        case kAreaRetain: {
            const auto& area = areas_[v.role - kAreaAbs];
            const auto offset = static_cast<uint64_t>(Get(kOffset));
            std::vector<uint8_t> out(v.desc->size, 0);
            for (size_t i = 0; i < out.size() && offset + i < area.size(); ++i) out[i] = area[offset + i];
            return out;
        }
        default:
            break;
    }
    // Diagnosis history cells; values of up to four bytes fit the described size.
    if (diagHistory_.Serves(v.desc->name))
        if (auto bytes = diagHistory_.Read(v.desc->name)) {
            if (v.desc->size > 0 && v.desc->size <= 4) bytes->resize(v.desc->size, 0);
            return *bytes;
        }
    return v.ram;
}

// ---------------------------------------------------------------------------------------
// Accesses

bool SimDriveModel::SilentAt(int64_t now) const {
    if (restartEnd_ && now < *restartEnd_) return true;
    if (!switches_.silentAfterMs) return false;
    const int64_t from = Ms(static_cast<int>(*switches_.silentAfterMs));
    if (now < from) return false;
    return !switches_.silentForMs || now < from + Ms(static_cast<int>(*switches_.silentForMs));
}

Refusal SimDriveModel::Refuse(Refusal refusal) {
    if (refusal != Refusal::None && refusal != Refusal::Silent) Put(kAccessError, DriveErrorOf(refusal));
    return refusal;
}

SimDriveModel::Answer SimDriveModel::ReadLocked(size_t index) {
    const int64_t now = Now();
    Advance(now);
    if (SilentAt(now)) return {Refusal::Silent, {}};
    const Var& v = vars_[index];
    if (!v.desc->readable) return {Refuse(Refusal::WriteOnly), {}};
    if (v.role == kCommand && switches_.noSystemManager) return {Refuse(Refusal::NoObject), {}};
    return {Refusal::None, BytesOf(index, now)};
}

Refusal SimDriveModel::WriteLocked(size_t index, std::vector<uint8_t> bytes) {
    const int64_t now = Now();
    Advance(now);
    if (SilentAt(now)) return Refusal::Silent;
    Var& v = vars_[index];
    if (!v.desc->writable) return Refuse(Refusal::ReadOnly);
    if (v.role == kCommand && switches_.noSystemManager) return Refuse(Refusal::NoObject);
    // ---- parameter file import ----
    if (switches_.refuseWrite.count(v.desc->name)) return Refuse(Refusal::Range);
    // Diagnosis history: the acknowledged slot and the drive's clock.
    if (diagHistory_.Serves(v.desc->name) && !bytes.empty() && bytes.size() <= 4) {
        int64_t value = 0;
        for (size_t i = 0; i < bytes.size(); ++i) value |= static_cast<int64_t>(bytes[i]) << (8 * i);
        if (diagHistory_.Write(v.desc->name, value)) return Refusal::None;
    }
    const uint32_t size = v.desc->size;
    // Firmware download: the image goes in, then the drive restarts into it.
    if (size == 0 && v.desc->name == "download_firmware") {
        if (switches_.failFirmwareImage || bytes.empty()) return Refuse(Refusal::Refused);
        v.ram = std::move(bytes);
        ++firmwareImages_;
        if (imageIsFile_) {
            // The send command ends with its file.
            imageIsFile_ = false;
            if (running_ && running_->command &&
                running_->command->name.find("FIRMWARE_FILE") != std::string::npos &&
                running_->command->name.find("UNPACK") == std::string::npos)
                EndCommand(now, false);
            return Refusal::None;
        }
        StartRestart(now);
        return Refusal::None;
    }
    if (size == 0) {
        if (v.desc->name == "VmCommand") {
            if (const auto answer = Index("VmAnswer")) vars_[*answer].ram = AnswerVm(bytes);
        }
        v.ram = std::move(bytes);
        return Refusal::None;
    }
    if (size > 4) {
        if (bytes.size() > size) return Refuse(Refusal::Length);
        bytes.resize(size, 0);
        v.ram = std::move(bytes);
        return Refusal::None;
    }
    if (bytes.empty() || bytes.size() > 4) return Refuse(Refusal::Length);
    // A shorter or longer write of a small value is taken as the value it holds.
    int64_t value = 0;
    for (size_t i = 0; i < bytes.size(); ++i) value |= static_cast<int64_t>(bytes[i]) << (8 * i);
    if (v.desc->isSigned && (bytes.back() & 0x80)) value |= ~int64_t{0} << (8 * bytes.size());
    if (switches_.refuseFirmwareKey && value != 0 && v.desc->name == "enabling_key")
        return Refuse(Refusal::Refused);
    return Refuse(OnWrite(v, Decode(v, Encode(v, value)), now));
}

Refusal SimDriveModel::OnWrite(Var& v, int64_t value, int64_t now) {
    switch (v.role) {
        case kControlword: {
            const auto word = static_cast<uint16_t>(value);
            v.ram = Encode(v, value);
            if (switches_.stuckState) {
                lastControlword_ = word;
                return Refusal::None;
            }
            const bool resetEdge =
                (word & cia402::kFaultResetBit) && !(lastControlword_ & cia402::kFaultResetBit);
            if (resetEdge) {
                // A fault reset forgets the history of causes that are gone.
                Put(kAlarm, dynamicAlarm_);
                Put(kWarning, dynamicWarning_);
            }
            const cia402::State next =
                cia402::Next(state_, word, lastControlword_,
                             Get(kHardwareEnable) != 0 || !RoleVar(kHardwareEnable), dynamicAlarm_ != 0);
            lastControlword_ = word;
            SetState(next, now);
            return Refusal::None;
        }
        case kMode: {
            const bool offered =
                value == -127 || std::find(description_.modes.begin(), description_.modes.end(),
                                           static_cast<int8_t>(value)) != description_.modes.end();
            if (!offered) return Refusal::Range;
            v.ram = Encode(v, value);
            if (!switches_.modeStuck) {
                pendingMode_ = value;
                modeAt_ = now + Ms(timing_.modeMs);
            }
            return Refusal::None;
        }
        case kCommand:
            return StartCommand(static_cast<uint32_t>(value & 0xFFFF), now);
        case kWatchdog:
            v.ram = Encode(v, value);
            if (running_ && running_->command && running_->command->value == static_cast<uint32_t>(value))
                running_->lastRefresh = now;
            return Refusal::None;
        case kForcing:
            v.ram = Encode(v, value);
            forcing_ = value == 1;
            return Refusal::None;
        case kEeprom: {
            if (value == 0) return Refusal::None;
            if (value != 1 && value != 2) return Refusal::Range;
            if (eepromAt_ || Get(kEeprom) != 0) return Refusal::Busy;
            const std::string name = kRoleNames[kEeprom];
            const auto failed = switches_.fail.find(name);
            const uint32_t status = failed == switches_.fail.end() ? 0 : failed->second;
            v.ram = Encode(v, value);
            Put(kEepromStatus, 0);
            if (value == 1) {
                if (!switches_.hang.count(name)) eepromAt_ = now + Ms(timing_.eepromMs);
                return Refusal::None;
            }
            // Restore: the defaults go in and the firmware restarts at once.
            if (status == 0) RestoreFactory();
            StartRestart(now);
            Put(kEepromStatus, status);
            return Refusal::None;
        }
        case kTuning:
            v.ram = Encode(v, value);
            tuningAt_.reset();
            if (value != 0 && !switches_.hang.count(kRoleNames[kTuning]))
                tuningAt_ = now + Ms(timing_.tuningMs);
            return Refusal::None;
        case kPlcCommand:
            if (value != 0 && value != 1 && value != 2) return Refusal::Range;
            v.ram = Encode(v, value);
            if (value != 0) {
                plcNext_ = value == 2 ? 1 : 0;
                plcAt_ = now + Ms(timing_.plcMs);
            }
            return Refusal::None;
        case kTriggerStatus:
            return Arm(value, now);
        // ---- Oscilloscope channel count ----
        // The program names its channels from the first on and does not write the count:
        // naming channel 1 starts a new set-up, and the count follows the highest channel named.
        case kChannel1:
        case kChannel1 + 1:
        case kChannel1 + 2:
        case kChannel1 + 3: {
            v.ram = Encode(v, value);
            if (RoleVar(kChannels)) {
                const int64_t named = v.role - kChannel1 + 1;
                const int64_t held = named == 1 ? 0 : Get(kChannels);
                Put(kChannels, std::max(held, named));
            }
            return Refusal::None;
        }
        case kAreaAbs:
        case kAreaGlobal:
        case kAreaRetain: {
            auto& area = areas_[v.role - kAreaAbs];
            const auto offset = static_cast<uint64_t>(Get(kOffset));
            if (offset + v.desc->size > area.size()) return Refusal::Range;
            for (uint32_t i = 0; i < v.desc->size; ++i)
                area[offset + i] = static_cast<uint8_t>(value >> (8 * i));
            return Refusal::None;
        }
        case kOffset:
            if (value < 0 || static_cast<uint64_t>(value) >= kAreaBytes) return Refusal::Range;
            v.ram = Encode(v, value);
            return Refusal::None;
        // ---- drive errors ----
        case kWarning:
        case kAlarm:
            // Clearing the history keeps the causes that are still there.
            v.ram = Encode(v, value | (v.role == kAlarm ? dynamicAlarm_ : dynamicWarning_));
            return Refusal::None;
        default:
            v.ram = Encode(v, value);
            return Refusal::None;
    }
}

SimDriveModel::Answer SimDriveModel::Read(const std::string& name) {
    std::lock_guard lock(mutex_);
    const auto index = Index(name);
    if (!index) return {Refusal::NoObject, {}};
    return ReadLocked(*index);
}

Refusal SimDriveModel::Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::lock_guard lock(mutex_);
    const auto index = Index(name);
    if (!index) return Refusal::NoObject;
    return WriteLocked(*index, bytes);
}

std::optional<int64_t> SimDriveModel::ReadValue(const std::string& name) {
    std::lock_guard lock(mutex_);
    const auto index = Index(name);
    if (!index) return std::nullopt;
    const Answer answer = ReadLocked(*index);
    if (answer.refusal != Refusal::None) return std::nullopt;
    return Decode(vars_[*index], answer.bytes);
}

Refusal SimDriveModel::WriteValue(const std::string& name, int64_t value) {
    std::lock_guard lock(mutex_);
    const auto index = Index(name);
    if (!index) return Refusal::NoObject;
    const Var& v = vars_[*index];
    if (v.desc->size < 1 || v.desc->size > 4) return Refusal::Length;
    return WriteLocked(*index, Encode(v, value));
}

bool SimDriveModel::Set(const std::string& name, int64_t value) {
    std::lock_guard lock(mutex_);
    const auto index = Index(name);
    if (!index || vars_[*index].desc->size < 1 || vars_[*index].desc->size > 4) return false;
    Var& v = vars_[*index];
    v.ram = v.eeprom = v.factory = Encode(v, value);
    if (v.role == kMode) Put(kModeDisplay, value);
    return true;
}

bool SimDriveModel::SetText(const std::string& name, const std::string& text) {
    std::lock_guard lock(mutex_);
    const auto index = Index(name);
    if (!index || vars_[*index].desc->size == 0 || text.size() > vars_[*index].desc->size) return false;
    Var& v = vars_[*index];
    std::vector<uint8_t> bytes(v.desc->size, 0);
    std::copy(text.begin(), text.end(), bytes.begin());
    v.ram = v.eeprom = v.factory = bytes;
    return true;
}

bool SimDriveModel::Answers() {
    std::lock_guard lock(mutex_);
    const int64_t now = Now();
    Advance(now);
    return !SilentAt(now);
}

cia402::State SimDriveModel::State() {
    std::lock_guard lock(mutex_);
    Advance(Now());
    return state_;
}

void SimDriveModel::RaiseFault(uint32_t bits, bool stillActive) {
    std::lock_guard lock(mutex_);
    const int64_t now = Now();
    Advance(now);
    FaultLocked(bits, stillActive, now);
}

void SimDriveModel::ClearFaultCause(uint32_t bits) {
    std::lock_guard lock(mutex_);
    Advance(Now());
    dynamicAlarm_ &= ~bits;
    Put(kDynamicAlarm, dynamicAlarm_);
}

void SimDriveModel::RaiseWarning(uint32_t bits, bool stillActive) {
    std::lock_guard lock(mutex_);
    Advance(Now());
    Put(kWarning, Get(kWarning) | bits);
    if (stillActive) dynamicWarning_ |= bits;
    Put(kDynamicWarning, dynamicWarning_);
}

void SimDriveModel::ClearWarningCause(uint32_t bits) {
    std::lock_guard lock(mutex_);
    Advance(Now());
    dynamicWarning_ &= ~bits;
    Put(kDynamicWarning, dynamicWarning_);
}

void SimDriveModel::FaultLocked(uint32_t bits, bool active, int64_t now) {
    Put(kAlarm, Get(kAlarm) | bits);
    if (active) dynamicAlarm_ |= bits;
    Put(kDynamicAlarm, dynamicAlarm_);
    if (state_ != cia402::kFault && state_ != cia402::kFaultReactionActive) {
        SetState(cia402::kFaultReactionActive, now);
        stateNext_ = cia402::kFault;
        stateAt_ = now + Ms(timing_.faultReactionMs);
    }
}

void SimDriveModel::SetState(cia402::State next, int64_t now) {
    if (next == state_) return;
    if (next == cia402::kOperationEnabled) {
        position0_ = LiveValue(kPosition, now);
        moveStart_ = now;
    } else if (state_ == cia402::kOperationEnabled) {
        position0_ = LiveValue(kPosition, now);
        moveStart_.reset();
    }
    state_ = next;
    stateAt_.reset();
    if (next == cia402::kQuickStopActive || next == cia402::kNotReadyToSwitchOn) {
        stateNext_ = cia402::kSwitchOnDisabled;
        stateAt_ = now + Ms(next == cia402::kQuickStopActive ? timing_.quickStopMs : timing_.startMs);
    }
}

// ---------------------------------------------------------------------------------------
// Modbus registers and fieldbus objects

SimDriveModel::RegisterKind SimDriveModel::KindAt(uint16_t address) const {
    std::lock_guard lock(mutex_);
    if (registers_.count(address)) return RegisterKind::Word;
    auto it = objectsAt_.find(address);
    if (it == objectsAt_.end()) return RegisterKind::None;
    return vars_[it->second].desc->size == 0 ? RegisterKind::Domain : RegisterKind::Long;
}

bool SimDriveModel::WritableAt(uint16_t address) const {
    std::lock_guard lock(mutex_);
    auto it = objectsAt_.find(address);
    return it != objectsAt_.end() && vars_[it->second].desc->writable;
}

Refusal SimDriveModel::ReadRegisters(uint16_t first, uint16_t count,
                                     std::vector<std::optional<uint16_t>>& out) {
    std::lock_guard lock(mutex_);
    out.assign(count, std::nullopt);
    std::map<size_t, std::vector<uint8_t>> values;  // one snapshot per variable
    for (uint32_t k = 0; k < count; ++k) {
        auto it = registers_.find(static_cast<uint16_t>(first + k));
        if (it == registers_.end()) continue;
        const auto [index, word] = it->second;
        if (!values.count(index)) {
            Answer answer = ReadLocked(index);
            if (answer.refusal != Refusal::None) return answer.refusal;
            const Var& v = vars_[index];
            if (v.desc->size == 1 && v.desc->isSigned && (answer.bytes[0] & 0x80))
                answer.bytes.push_back(0xFF);
            answer.bytes.resize(4, 0);
            values[index] = std::move(answer.bytes);
        }
        const std::vector<uint8_t>& bytes = values[index];
        out[k] = static_cast<uint16_t>(bytes[2 * word] | bytes[2 * word + 1] << 8);
    }
    return Refusal::None;
}

Refusal SimDriveModel::WriteRegisters(uint16_t first, const std::vector<uint16_t>& values,
                                      std::vector<bool>& owned) {
    std::lock_guard lock(mutex_);
    owned.assign(values.size(), false);
    std::map<size_t, std::vector<uint8_t>> writes;  // variable -> its new bytes, in address order
    std::vector<size_t> order;
    for (size_t k = 0; k < values.size(); ++k) {
        auto it = registers_.find(static_cast<uint16_t>(first + k));
        if (it == registers_.end()) continue;
        owned[k] = true;
        const auto [index, word] = it->second;
        if (!writes.count(index)) {
            std::vector<uint8_t> bytes = vars_[index].ram;
            bytes.resize(4, 0);
            writes[index] = bytes;
            order.push_back(index);
        }
        writes[index][2 * word] = static_cast<uint8_t>(values[k]);
        writes[index][2 * word + 1] = static_cast<uint8_t>(values[k] >> 8);
    }
    for (size_t index : order) {
        std::vector<uint8_t> bytes = writes[index];
        bytes.resize(vars_[index].desc->size);
        const Refusal refusal = WriteLocked(index, bytes);
        if (refusal != Refusal::None) return refusal;
    }
    return Refusal::None;
}

SimDriveModel::Answer SimDriveModel::ReadAt(uint16_t address) {
    std::lock_guard lock(mutex_);
    auto it = objectsAt_.find(address);
    if (it == objectsAt_.end()) return {Refusal::NoObject, {}};
    return ReadLocked(it->second);
}

Refusal SimDriveModel::WriteAt(uint16_t address, const std::vector<uint8_t>& bytes) {
    std::lock_guard lock(mutex_);
    auto it = objectsAt_.find(address);
    if (it == objectsAt_.end()) return Refusal::NoObject;
    return WriteLocked(it->second, bytes);
}

std::optional<SimDriveModel::Answer> SimDriveModel::ReadObject(uint16_t index, uint8_t sub) {
    std::lock_guard lock(mutex_);
    auto it = byBusKey_.find(uint32_t{index} << 8 | sub);
    if (it == byBusKey_.end()) return std::nullopt;
    return ReadLocked(it->second);
}

std::optional<Refusal> SimDriveModel::WriteObject(uint16_t index, uint8_t sub, const uint8_t* data,
                                                  size_t size) {
    std::lock_guard lock(mutex_);
    auto it = byBusKey_.find(uint32_t{index} << 8 | sub);
    if (it == byBusKey_.end()) return std::nullopt;
    return WriteLocked(it->second, std::vector<uint8_t>(data, data + size));
}

// ---------------------------------------------------------------------------------------
// Time: every timed change up to now, in the order they fall due

void SimDriveModel::Advance(int64_t now) {
    for (int guard = 0; guard < 10000; ++guard) {
        int64_t at = std::numeric_limits<int64_t>::max();
        int which = -1;
        auto consider = [&](const std::optional<int64_t>& t, int kind) {
            if (t && *t < at) {
                at = *t;
                which = kind;
            }
        };
        consider(restartEnd_, 0);
        if (!restartEnd_) {
            consider(stateAt_, 1);
            consider(modeAt_, 2);
            consider(SystemNextEvent(), 3);
            consider(moveEnd_, 4);
            consider(eepromAt_, 5);
            consider(tuningAt_, 6);
            consider(plcAt_, 7);
            consider(ScopeNextEvent(now), 8);
        }
        if (which < 0 || at > now) return;
        Fire(which, at);
    }
}

void SimDriveModel::Fire(int which, int64_t at) {
    switch (which) {
        case 0:
            FinishRestart();
            break;
        case 1:
            stateAt_.reset();
            SetState(stateNext_, at);
            break;
        case 2:
            modeAt_.reset();
            Put(kModeDisplay, pendingMode_);
            break;
        case 3: {
            Running& r = *running_;
            if (r.statusAt && *r.statusAt == at) {
                // A move command hands over once it runs: its status stays while the move lasts.
                Put(kCommandStatus, r.command->waitStatus);
                Put(kCommand, 0);
                Put(kCommandError, r.error);
                moveEnd_ = at + Ms(timing_.moveMs);
                running_.reset();
            } else {
                const bool lapsed =
                    r.command->watchdog && r.lastRefresh + Ms(timing_.watchdogMs) <= at && at < r.end;
                EndCommand(at, lapsed);
            }
            break;
        }
        case 4:
            moveEnd_.reset();
            Put(kCommandStatus, 0);
            break;
        case 5: {
            eepromAt_.reset();
            const auto failed = switches_.fail.find(kRoleNames[kEeprom]);
            const uint32_t status = failed == switches_.fail.end() ? 0 : failed->second;
            if (status == 0) SaveEeprom();
            Put(kEeprom, 0);
            Put(kEepromStatus, status);
            break;
        }
        case 6:
            tuningAt_.reset();
            Put(kTuning, 0);
            break;
        case 7:
            plcAt_.reset();
            Put(kPlcStatus, plcNext_);
            break;
        case 8:
            if (scope_->found) {
                scope_->triggerAt = *scope_->found;
                scope_->found.reset();
                scope_->endAt = scope_->triggerAt + (scope_->region - scope_->preSamples) * scope_->dt;
                Put(kTriggerStatus, 2);
            } else {
                CompleteCapture();
            }
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------------------------------
// System commands

std::optional<int64_t> SimDriveModel::SystemNextEvent() const {
    if (!running_) return std::nullopt;
    const Running& r = *running_;
    std::optional<int64_t> next;
    auto consider = [&](int64_t t) {
        if (!next || t < *next) next = t;
    };
    if (r.statusAt) consider(*r.statusAt);
    if (!r.endless) consider(r.end);
    if (!r.endless && r.command->watchdog) consider(r.lastRefresh + Ms(timing_.watchdogMs));
    return next;
}

Refusal SimDriveModel::StartCommand(uint32_t value, int64_t now) {
    if (value == 0) return Refusal::None;
    if (running_) return Refusal::Busy;
    const bool forced = forcing_;
    forcing_ = false;
    const SimCommand* command = description_.FindCommandValue(value);
    if (!command) {
        Put(kCommandError, kErrorUnknownCommand);
        return Refusal::Refused;
    }
    if (const std::optional<Refusal> safe = SafeStateStart(*command, now)) return *safe;
    std::optional<uint32_t> refused = CommandError(switches_.refuseAlways, *command);
    if (!refused && !forced) refused = CommandError(switches_.refuse, *command);
    if (refused) {
        Put(kCommandError, *refused);
        return Refusal::Refused;
    }
    Running r;
    r.command = command;
    r.lastRefresh = now;
    r.error = CommandError(switches_.fail, *command).value_or(0);
    for (const std::string& name : switches_.hang) r.endless |= Matches(name, *command);
    const std::string& name = command->name;
    int ms = timing_.commandMs;
    if (command->watchdog || name.rfind("SYS_CV_TN_", 0) == 0) ms = timing_.tuningMs;
    if (name == "SYS_CV_EE_SAVE_USER" || name == "SYS_CV_EE_RESTORE" || name == "SYS_CV_EE_SAVE_FACTORY" ||
        name == "SYS_CV_EE_SAVE_DEFAULTS")
        ms = timing_.eepromMs;
    if (name.find("STOP_PLC") != std::string::npos || name == "SYS_CV_RUN_PLC") ms = timing_.plcMs;
    if (name.find("FIRMWARE_FILE") != std::string::npos && name.find("UNPACK") == std::string::npos) {
        // The file comes over the wire: the command lasts until it is there.
        imageIsFile_ = true;
        r.endless = true;
    }
    if (name.find("UNPACK") != std::string::npos) {
        ms = timing_.unpackMs;
        unpackProgress_ = 0;
    }
    r.start = now;
    r.end = now + Ms(ms);
    if (command->waitStatus != 0 && !r.endless) r.statusAt = now + Ms(timing_.waitStatusMs);
    running_ = r;
    Put(kCommand, value);
    Put(kCommandStatus, 1);
    Put(kCommandError, 0);
    return Refusal::None;
}

void SimDriveModel::EndCommand(int64_t at, bool lapsed) {
    const Running r = *running_;
    running_.reset();
    Put(kCommand, 0);
    Put(kCommandStatus, 0);
    if (lapsed) {
        Put(kCommandError, kErrorWatchdog);
        return;
    }
    Put(kCommandError, r.error);
    if (r.command && r.command->name.find("UNPACK") != std::string::npos) unpackProgress_ = 100;
    if (r.error == 0) CommandEffect(*r.command, at);
}

void SimDriveModel::CommandEffect(const SimCommand& command, int64_t at) {
    const std::string& name = command.name;
    if (name == "SYS_CV_EE_SAVE_USER") {
        SaveEeprom();
    } else if (name == "SYS_CV_EE_LOAD") {
        LoadEeprom();
    } else if (name == "SYS_CV_EE_RESTORE") {
        RestoreFactory();
        StartRestart(at);
    } else if (name == "SYS_CV_EE_RESTORE_RAM") {
        for (Var& v : vars_)
            if (v.desc->setting) v.ram = v.factory;
    } else if (name.rfind("SYS_CV_RESTART_FW", 0) == 0) {
        StartRestart(at);
    } else if (name.find("STOP_PLC") != std::string::npos || name == "SYS_CV_ERASE_PLC") {
        Put(kPlcStatus, 0);
    } else if (name == "SYS_CV_RUN_PLC") {
        Put(kPlcStatus, 1);
    } else if (name == "SYS_CV_TUNING_MOVE_END") {
        moveEnd_.reset();
        Put(kCommandStatus, 0);
    } else {
        MaintenanceEffect(name);
    }
}

// ---------------------------------------------------------------------------------------
// Permanent memory and safe state of the maintenance dialogs

namespace {
// The drive refuses the safe-state command while the PLC is still on its way there.
constexpr uint32_t kErrorSafeStateOnItsWay = 14;

bool IsLoopParameter(const std::string& name) {
    for (const char* prefix : {"KP_", "KI_", "KFF_", "KD_"})
        if (name.rfind(prefix, 0) == 0) return true;
    return false;
}
}  // namespace

std::optional<Refusal> SimDriveModel::SafeStateStart(const SimCommand& command, int64_t now) {
    if (command.name == "SYS_CV_ABORT_SAFE_STATE_PLC") {
        safeStateAt_.reset();
        return std::nullopt;
    }
    if (command.name.rfind("SYS_CV_RSSP_", 0) != 0 || !RoleVar(kPlcStatus) || Get(kPlcStatus) == 0) {
        safeStateAt_.reset();
        return std::nullopt;
    }
    if (!safeStateAt_) safeStateAt_ = now + Ms(timing_.safeStateMs);
    if (now < *safeStateAt_) {
        Put(kCommandError, kErrorSafeStateOnItsWay);
        return Refusal::Refused;
    }
    // Safe: the command runs and stops the program.
    safeStateAt_.reset();
    return std::nullopt;
}

bool SimDriveModel::MaintenanceEffect(const std::string& name) {
    if (name == "SYS_CV_EE_LOAD_INIT_REG") {
        for (Var& v : vars_)
            if (v.desc->setting && IsLoopParameter(v.desc->name)) v.ram = v.eeprom;
    } else if (name == "SYS_CV_EE_RESTORE_NO_MOTOR") {
        RestoreFactory();
        if (const std::optional<size_t> motor = Index("MotorGuid")) {
            Var& v = vars_[*motor];
            v.ram = v.eeprom = Encode(v, 0);
        }
    } else if (name == "SYS_CV_EE_SAVE_DEFAULTS") {
        for (Var& v : vars_)
            if (v.desc->setting) v.factory = v.ram;
    } else {
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Permanent memory and restarts

void SimDriveModel::SaveEeprom() {
    for (Var& v : vars_)
        if (v.desc->setting) v.eeprom = v.ram;
}

void SimDriveModel::LoadEeprom() {
    for (Var& v : vars_)
        if (v.desc->setting) v.ram = v.eeprom;
}

void SimDriveModel::RestoreFactory() {
    for (Var& v : vars_)
        if (v.desc->setting) v.ram = v.eeprom = v.factory;
}

void SimDriveModel::StartRestart(int64_t at) {
    restartEnd_ = at + Ms(timing_.restartMs);
    // A drive that drops off during the reboot.
    if (switches_.rebootSilentMs)
        restartEnd_ = *switches_.rebootSilentMs == 0 ? std::numeric_limits<int64_t>::max()
                                                     : at + Ms(static_cast<int>(*switches_.rebootSilentMs));
    running_.reset();
    stateAt_.reset();
    modeAt_.reset();
    moveEnd_.reset();
    eepromAt_.reset();
    tuningAt_.reset();
    plcAt_.reset();
    scope_.reset();
    if (state_ == cia402::kOperationEnabled) position0_ = LiveValue(kPosition, at);
    moveStart_.reset();
    state_ = cia402::kNotReadyToSwitchOn;
}

// The firmware is up again: parameters from permanent memory, everything else as at power-on.
void SimDriveModel::FinishRestart() {
    restartEnd_.reset();
    const int64_t eepromStatus = Get(kEepromStatus);
    for (Var& v : vars_) {
        if (v.desc->setting) {
            v.ram = v.eeprom;
        } else if (v.role != kPlain || v.desc->writable) {
            v.ram = v.factory;
        }
    }
    Put(kEepromStatus, eepromStatus);
    Put(kAlarm, dynamicAlarm_);
    Put(kWarning, dynamicWarning_);
    Put(kDynamicAlarm, dynamicAlarm_);
    Put(kDynamicWarning, dynamicWarning_);
    if (switches_.noHardwareEnable) Put(kHardwareEnable, 0);
    forcing_ = false;
    lastControlword_ = 0;
    state_ = dynamicAlarm_ ? cia402::kFault : cia402::kSwitchOnDisabled;
}

// ---------------------------------------------------------------------------------------
// Oscilloscope

// Trigger_Status: 2 records at once (Auto), 1 waits for the trigger on the first channel
// (Normal), 0 stops. The drive checks the set-up first and tells what is wrong in
// Cod_err_iniz_osc.
Refusal SimDriveModel::Arm(int64_t mode, int64_t now) {
    if (mode < 0 || mode > 2) return Refusal::Range;
    scope_.reset();
    Put(kTriggerStatus, 0);
    if (mode == 0) return Refusal::None;
    const int64_t channels = RoleVar(kChannels) ? Get(kChannels) : 1;
    const int64_t maximum = Get(kMaxBuffer);
    uint16_t error = 0;
    if (channels < 1 || channels > 4) {
        error = 2;
    } else if (maximum < 4) {
        error = 1;
    } else {
        for (int k = 0; k < channels && error == 0; ++k) {
            const int64_t code = Get(kChannel1 + k);
            bool known = false;
            for (const SimScopeChannel& c : description_.scopeChannels) known |= c.code == code;
            if (!known) error = static_cast<uint16_t>(4 + k);
        }
    }
    Put(kCaptureError, error);
    if (error != 0) return Refusal::None;
    Scope s;
    s.slots = static_cast<int>(channels);
    s.region = static_cast<uint32_t>(maximum / (channels == 3 ? 4 : channels));
    s.preSamples = static_cast<uint32_t>(s.region * std::clamp<int64_t>(Get(kPretrigger), 0, 100) / 100);
    s.dt = std::max<int64_t>(1, Get(kScanTime)) * std::max<int64_t>(1, Get(kPrescaler));
    for (int k = 0; k < s.slots; ++k) s.codes[k] = static_cast<int32_t>(Get(kChannel1 + k));
    s.memory.assign(static_cast<size_t>(maximum), 0);
    if (mode == 2) {
        s.triggerAt = now + s.preSamples * s.dt;
        s.endAt = now + s.region * s.dt;
        Put(kTriggerStatus, 2);
    } else {
        s.searchFrom = now + s.preSamples * s.dt;
        Put(kTriggerStatus, 1);
    }
    scope_ = std::move(s);
    return Refusal::None;
}

std::optional<int64_t> SimDriveModel::ScopeNextEvent(int64_t now) {
    if (!scope_) return std::nullopt;
    Scope& s = *scope_;
    const int64_t status = Get(kTriggerStatus);
    if (status == 2) return s.endAt;
    if (status != 1) return std::nullopt;
    if (s.found) return s.found;
    if (now < s.searchFrom) return std::nullopt;
    // Walk the trigger channel sample by sample since the last look; a level that is never
    // crossed costs at most a bounded walk per look.
    constexpr int64_t kMaxSteps = 2000000;
    int64_t from = s.searchFrom;
    if ((now - from) / s.dt > kMaxSteps) from = now - kMaxSteps * s.dt;
    double level = 0.0;
    bool isFloat = false;
    for (const SimScopeChannel& c : description_.scopeChannels)
        if (c.code == s.codes[0]) isFloat = c.isFloat;
    const auto raw = static_cast<uint32_t>(Get(kTriggerLevel));
    if (isFloat) {
        float f = 0;
        std::memcpy(&f, &raw, sizeof f);
        level = f;
    } else {
        level = static_cast<int32_t>(raw);
    }
    const bool rising = Get(kTriggerSlope) != 0;
    double previous = SignalAt(s.codes[0], from - s.dt);
    for (int64_t t = from; t <= now; t += s.dt) {
        const double value = SignalAt(s.codes[0], t);
        if (rising ? previous < level && value >= level : previous > level && value <= level) {
            s.found = t;
            return t;
        }
        previous = value;
        s.searchFrom = t + s.dt;
    }
    return std::nullopt;
}

void SimDriveModel::CompleteCapture() {
    Scope& s = *scope_;
    for (int slot = 0; slot < s.slots; ++slot) {
        bool isFloat = false;
        for (const SimScopeChannel& c : description_.scopeChannels)
            if (c.code == s.codes[slot]) isFloat = c.isFloat;
        for (uint32_t k = 0; k < s.region; ++k) {
            const size_t at = static_cast<size_t>(slot) * s.region + k;
            if (at >= s.memory.size()) break;
            const int64_t t = s.triggerAt + (static_cast<int64_t>(k) - s.preSamples) * s.dt;
            const double value = SignalAt(s.codes[slot], t);
            uint32_t word = 0;
            if (isFloat) {
                const float f = static_cast<float>(value);
                std::memcpy(&word, &f, sizeof word);
            } else {
                word = static_cast<uint32_t>(static_cast<int32_t>(
                    std::llround(std::clamp(value, static_cast<double>(std::numeric_limits<int32_t>::min()),
                                            static_cast<double>(std::numeric_limits<int32_t>::max())))));
            }
            s.memory[at] = word;
        }
    }
    Put(kTriggerStatus, 3);
}

// Buffer_n reads the capture memory from its n-th quarter on, as far as one channel's share.
std::vector<uint8_t> SimDriveModel::CaptureBuffer(int number) const {
    if (!scope_ || Get(kTriggerStatus) != 3) return {};
    const Scope& s = *scope_;
    const size_t start = static_cast<size_t>(number - 1) * (s.memory.size() / 4);
    const size_t end = std::min(s.memory.size(), start + s.region);
    std::vector<uint8_t> out;
    out.reserve((end - start) * 4);
    for (size_t k = start; k < end; ++k)
        for (int b = 0; b < 4; ++b) out.push_back(static_cast<uint8_t>(s.memory[k] >> (8 * b)));
    return out;
}

// ---------------------------------------------------------------------------------------
// Program virtual machine

// ---- drive-program identity ----
SimDriveModel::ProgramIdentityFields SimDriveModel::ProgramIdentityLocked() const {
    ProgramIdentityFields id;
    id.checksum = 0x5EED1234;
    id.number = 3;
    id.revision = "Rev. 3";
    if (const auto name = Index("PE_user_program_name")) {
        const std::vector<uint8_t>& bytes = vars_[*name].ram;
        const auto end = std::find(bytes.begin(), bytes.end(), uint8_t{0});
        id.name.assign(bytes.begin(), end);
    }
    if (const auto key = Index("PE_data_key"))
        id.dataKey = static_cast<uint32_t>(Decode(vars_[*key], vars_[*key].ram));
    return id;
}

// An item of commands 3 and 4: offset (4), size (4), area (2), bit number (1), last-item flag (1).
std::vector<uint8_t> SimDriveModel::AnswerVm(const std::vector<uint8_t>& command) {
    constexpr size_t kItem = 12;
    constexpr uint16_t kBadLength = 1, kBadArea = 2, kOutOfArea = 3, kTooLong = 4, kUnknown = 5;
    auto word = [](const uint8_t* p) { return static_cast<uint32_t>(p[0] | p[1] << 8); };
    auto dword = [](const uint8_t* p) {
        return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
               static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    };
    std::vector<uint8_t> answer(4, 0);
    if (command.size() < 4) return answer;
    answer[0] = command[0];
    const uint8_t code = command[1];
    answer[1] = code;
    if (code < 8) ++vmCounts_[code];
    auto fail = [&](uint16_t error) {
        answer.resize(4);
        answer[1] = static_cast<uint8_t>(code | 0x80);
        answer[2] = static_cast<uint8_t>(error & 0xFF);
        answer[3] = static_cast<uint8_t>(error >> 8);
        return answer;
    };
    const uint32_t length = word(&command[2]);
    if (length > command.size() - 4 || length > vmMessageSize_ - 4u) return fail(kBadLength);
    const uint8_t* data = command.data() + 4;
    // The bytes of an item inside its area, or null.
    auto at = [&](const uint8_t* item, uint32_t* size) -> uint8_t* {
        const uint32_t offset = dword(item);
        *size = dword(item + 4);
        const uint32_t area = word(item + 8);
        if (area > 2) return nullptr;
        if (static_cast<uint64_t>(offset) + *size > areas_[area].size()) return nullptr;
        return areas_[area].data() + offset;
    };
    switch (code) {
        case 1: {
            // Length word, protocol version, major version (old style), largest message.
            // ---- drive-program identity: the old opening has no full version ----
            const bool old = switches_.vmShortRecord;
            const uint16_t fields[4] = {static_cast<uint16_t>(old ? 8 : 14), 2, 1, vmMessageSize_};
            answer.resize(old ? 12 : 18, 0);
            for (int i = 0; i < 4; ++i) {
                answer[2 + 2 * i] = static_cast<uint8_t>(fields[i] & 0xFF);
                answer[3 + 2 * i] = static_cast<uint8_t>(fields[i] >> 8);
            }
            answer[10] = 0;  // little-endian
            answer[11] = 0;
            if (old) return answer;
            const uint16_t version[3] = {1, 4, 2};
            for (int i = 0; i < 3; ++i) {
                answer[12 + 2 * i] = static_cast<uint8_t>(version[i] & 0xFF);
                answer[13 + 2 * i] = static_cast<uint8_t>(version[i] >> 8);
            }
            return answer;
        }
        case 3: {
            if (length == 0 || length % kItem != 0) return fail(kBadLength);
            for (uint32_t i = 0; i < length; i += kItem) {
                if (word(data + i + 8) > 2) return fail(kBadArea);
                uint32_t size = 0;
                const uint8_t* bytes = at(data + i, &size);
                if (!bytes) return fail(kOutOfArea);
                if (answer.size() - 4 + size > vmMessageSize_ - 4u) return fail(kTooLong);
                answer.insert(answer.end(), bytes, bytes + size);
            }
            break;
        }
        case 4: {
            if (length < kItem) return fail(kBadLength);
            if (word(data + 8) > 2) return fail(kBadArea);
            uint32_t size = 0;
            uint8_t* bytes = at(data, &size);
            if (!bytes) return fail(kOutOfArea);
            if (length < kItem + size) return fail(kBadLength);
            const uint8_t bit = data[10];
            if (size == 1 && bit < 8) {
                const uint8_t mask = static_cast<uint8_t>(1u << bit);
                bytes[0] = static_cast<uint8_t>(data[kItem] ? bytes[0] | mask : bytes[0] & ~mask);
            } else {
                std::copy_n(data + kItem, size, bytes);
            }
            break;
        }
        // ---- drive-program identity ----
        // 2: data key, program checksum, program number, the name to the end of the answer;
        // 5: data key, checksum, name and revision text in 32 bytes each. The fields are full when the
        // texts are: a 32-byte text has no terminator.
        case 2:
        case 5: {
            const ProgramIdentityFields id = ProgramIdentityLocked();
            auto put32 = [&answer](uint32_t v) {
                for (int b = 0; b < 4; ++b) answer.push_back(static_cast<uint8_t>(v >> (8 * b)));
            };
            put32(id.dataKey);
            put32(id.checksum);
            if (code == 2) {
                answer.push_back(static_cast<uint8_t>(id.number & 0xFF));
                answer.push_back(static_cast<uint8_t>(id.number >> 8));
                answer.insert(answer.end(), id.name.begin(), id.name.end());
            } else {
                for (const std::string* text : {&id.name, &id.revision}) {
                    std::string field = text->substr(0, 32);
                    field.resize(32, '\0');
                    answer.insert(answer.end(), field.begin(), field.end());
                }
            }
            if (answer.size() > vmMessageSize_) return fail(kTooLong);
            break;
        }
        default:
            return fail(kUnknown);
    }
    const size_t n = answer.size() - 4;
    answer[2] = static_cast<uint8_t>(n & 0xFF);
    answer[3] = static_cast<uint8_t>(n >> 8);
    return answer;
}

}  // namespace drivesim
