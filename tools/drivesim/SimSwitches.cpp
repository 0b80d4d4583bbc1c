#include "tools/drivesim/SimSwitches.h"

#include "tools/drivesim/SimDescription.h"

namespace drivesim {

namespace {

// "CMD[:ERR]" with the error's default.
bool CommandAndError(const std::string& argument, uint32_t defaultError, std::string& command,
                     uint32_t& error) {
    const size_t colon = argument.find(':');
    command = argument.substr(0, colon);
    error = defaultError;
    if (command.empty()) return false;
    if (colon == std::string::npos) return true;
    const auto value = ParseSimNumber(argument.substr(colon + 1));
    if (!value || *value < 0 || *value > 0xFFFF) return false;
    error = static_cast<uint32_t>(*value);
    return true;
}

}  // namespace

bool ParseSwitch(const std::string& text, SimSwitches& s, std::string* error) {
    const size_t eq = text.find('=');
    const std::string name = text.substr(0, eq);
    const bool hasArgument = eq != std::string::npos;
    const std::string argument = hasArgument ? text.substr(eq + 1) : std::string();
    auto bad = [&](const std::string& expected) {
        if (error) *error = "switch '" + text + "': " + expected;
        return false;
    };
    auto number = [&](const std::string& t, int64_t low, int64_t high) -> std::optional<int64_t> {
        const auto v = ParseSimNumber(t);
        if (!v || *v < low || *v > high) return std::nullopt;
        return v;
    };
    auto flag = [&](bool& target) {
        if (hasArgument) return bad("takes no argument");
        target = true;
        return true;
    };
    if (name == "no-answer") {
        int64_t after = 0;
        std::optional<int64_t> duration;
        if (hasArgument) {
            const size_t colon = argument.find(':');
            const auto a = number(argument.substr(0, colon), 0, 86400000);
            if (!a) return bad("no-answer[=AFTER_MS[:FOR_MS]] expected");
            after = *a;
            if (colon != std::string::npos) {
                duration = number(argument.substr(colon + 1), 1, 86400000);
                if (!duration) return bad("no-answer[=AFTER_MS[:FOR_MS]] expected");
            }
        }
        s.silentAfterMs = after;
        s.silentForMs = duration;
        return true;
    }
    if (name == "state") {
        const auto v = hasArgument ? number(argument, 0, 7) : std::nullopt;
        if (!v) return bad("state=0..7 expected");
        s.initialState = static_cast<int>(*v);
        return true;
    }
    if (name == "stuck-state") return flag(s.stuckState);
    if (name == "mode-stuck") return flag(s.modeStuck);
    if (name == "no-hw-enable") return flag(s.noHardwareEnable);
    if (name == "no-system-manager") return flag(s.noSystemManager);
    // Diagnosis history
    if (name == "diag-wrap") return flag(s.diagWrap);
    if (name == "diag-messages" || name == "diag-newest" || name == "diag-msg-size") {
        const auto v = hasArgument ? number(argument, 0, 0xFFFFFFFF) : std::nullopt;
        if (!v || (name == "diag-messages" && *v > 100000)) return bad(name + "=N expected");
        if (name == "diag-messages") s.diagMessages = static_cast<int>(*v);
        if (name == "diag-newest") s.diagNewest = static_cast<uint32_t>(*v);
        if (name == "diag-msg-size") s.diagMsgSize = static_cast<uint32_t>(*v);
        return true;
    }
    if (name == "fault") {
        const auto v = hasArgument ? number(argument, 1, 0xFFFFFFFF) : std::optional<int64_t>(1);
        if (!v) return bad("fault[=BITS] expected");
        s.faultBits |= static_cast<uint32_t>(*v);
        return true;
    }
    // ---- drive errors ----
    if (name == "warning") {
        const auto v = hasArgument ? number(argument, 1, 0xFFFFFFFF) : std::optional<int64_t>(1);
        if (!v) return bad("warning[=BITS] expected");
        s.warningBits |= static_cast<uint32_t>(*v);
        return true;
    }
    if (name == "refuse" || name == "refuse-always" || name == "fail") {
        std::string command;
        uint32_t code = 0;
        if (!hasArgument || !CommandAndError(argument, name == "fail" ? 20 : 8, command, code))
            return bad(name + "=CMD[:ERR] expected");
        (name == "refuse" ? s.refuse : name == "fail" ? s.fail : s.refuseAlways)[command] = code;
        return true;
    }
    if (name == "hang") {
        if (argument.empty()) return bad("hang=CMD expected");
        s.hang.insert(argument);
        return true;
    }
    if (name == "busy") {
        s.busy = argument;
        return true;
    }
    // Firmware download
    if (name == "fw-fail-image") return flag(s.failFirmwareImage);
    if (name == "fw-refuse-key") return flag(s.refuseFirmwareKey);
    if (name == "fw-reboot-silent") {
        const auto v = hasArgument ? number(argument, 1, 3600000) : std::optional<int64_t>(0);
        if (!v) return bad("fw-reboot-silent[=MS] expected");
        s.rebootSilentMs = *v;
        return true;
    }
    // ---- drive-program identity ----
    if (name == "vm-short-record") return flag(s.vmShortRecord);
    if (name == "slow-eeprom") {
        const auto v = hasArgument ? number(argument, 1, 600000) : std::optional<int64_t>(6000);
        if (!v) return bad("slow-eeprom[=MS] expected");
        s.eepromMs = static_cast<int>(*v);
        return true;
    }
    // ---- parameter file import ----
    if (name == "refuse-write") {
        if (argument.empty()) return bad("refuse-write=NAME expected");
        s.refuseWrite.insert(argument);
        return true;
    }
    if (error) *error = "unknown switch '" + name + "'";
    return false;
}

}  // namespace drivesim
