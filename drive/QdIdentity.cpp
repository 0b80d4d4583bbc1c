// Identification items read right after a connection, and the small services around it.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>

#include "drive/ErrorReport.h"
#include "drive/Qd.h"
#include "engine/Main.h"
#include "foundation/ProgramFolders.h"
#include "foundation/Version.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"
#include "platform/SystemError.h"

namespace drive {

namespace {

constexpr size_t kTextItemSize = 100;

// One item of the identity batch: its value or text buffer and the engine's result word.
struct BatchItem {
    const char* name = nullptr;
    bool queued = false;
    int32_t result = -1;
    uint32_t value = 0;
    uint32_t size = 0;  // bytes read, for the texts
    char text[kTextItemSize + 1] = {};

    bool Ok() const { return queued && result == 0; }
    // The text up to the size read, never past the buffer, whatever the engine reports.
    std::string Text() const {
        const size_t n = std::min<size_t>(size == 0 ? kTextItemSize : size, kTextItemSize);
        return std::string(text, strnlen(text, n));
    }
};

std::string Ipv4(uint32_t address) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", (address >> 24) & 0xFF, (address >> 16) & 0xFF,
                  (address >> 8) & 0xFF, address & 0xFF);
    return text;
}

}  // namespace

std::string OrderCodeOptionText(bool read, uint32_t value) {
    if (!read) return "??";
    const char a = static_cast<char>((value >> 8) & 0xFF);
    const char b = static_cast<char>(value & 0xFF);
    if (!std::isalnum(static_cast<unsigned char>(a)) || !std::isalnum(static_cast<unsigned char>(b)))
        return "??";
    return std::string{a, b};
}

int32_t SizeCodeFromSystemName(const std::string& name) {
    // The '/' may come too early to have a digit two places before it.
    const size_t slash = name.find('/');
    if (slash == std::string::npos || slash < 2) return 0;
    const unsigned char digit = static_cast<unsigned char>(name[slash - 2]);
    return std::isdigit(digit) ? digit - '0' : 0;
}

void CQd::ReadDriveIdentity() {
    const bool newGeneration = state_.newNaming;
    auto known = [this](const char* name) { return GetCellInfo(name, nullptr, nullptr, nullptr) == 0; };
    BatchItem hwRev{"rd_hw_rev"}, encoder{"EncResIndexValue"}, userName{"UserDriveName"},
        orderCode{"ProductOrderCode"}, systemName{"SystemName"}, option1{"OrderCodeOption1"},
        option2{"OrderCodeOption2"}, systemManager{"SystemManagerCommand"}, motorType{"MotorType"};
    auto queueValue = [this](BatchItem& item, int32_t size) {
        item.queued = AddReadToEngineGroup(item.name, &item.value, size, &item.result) >= 0;
    };
    auto queueText = [this](BatchItem& item) {
        item.queued = AddReadToEngineGroup(item.name, item.text, static_cast<int32_t>(kTextItemSize),
                                           &item.result, &item.size) >= 0;
    };

    ClearEngineGroup();
    if (identity_.suppliedHardwareRevision < 0) queueValue(hwRev, 4);
    if (!newGeneration) queueValue(encoder, 4);
    const bool hasUserName = known("UserDriveName");
    if (hasUserName) queueText(userName);
    const bool hasOrderCode = known("ProductOrderCode");
    if (hasOrderCode) {
        queueText(orderCode);
    } else {
        queueText(systemName);
        queueValue(option1, 2);
        queueValue(option2, 2);
    }
    const bool hasSystemManager = known("SystemManagerCommand");
    if (hasSystemManager) queueValue(systemManager, 2);
    const bool hasMotorType = known("MotorType");
    if (hasMotorType) queueValue(motorType, 2);
    ExecuteEngineGroup();

    CIdentityItems& id = identity_;
    if (id.suppliedHardwareRevision >= 0)
        id.hardwareRevision = id.suppliedHardwareRevision;
    else
        id.hardwareRevision = hwRev.Ok() ? static_cast<int32_t>(hwRev.value) : -3;

    const uint32_t motor = hasMotorType && motorType.Ok() ? (motorType.value & 0xFFFF) : 0;
    if (!newGeneration) {
        id.linearMotor = motor == 1;
    } else {
        id.linearMotor = motor == 2;
        id.motorKind3 = motor == 3;
        id.currentLoopPeriod = motor != 3;
    }
    id.systemManager = hasSystemManager && systemManager.Ok();
    id.family111 = state_.group == 111 && (id.hardwareRevision == -1 || id.hardwareRevision > 4);
    if (!newGeneration) id.encoderIndex = encoder.Ok() ? static_cast<int32_t>(encoder.value) : -1;

    if (!hasUserName)
        id.userDriveName.clear();
    else
        id.userDriveName = userName.Ok() ? userName.Text() : "read error";

    if (hasOrderCode) {
        id.orderCode = orderCode.Ok() ? orderCode.Text() : "read error";
    } else {
        const std::string name = systemName.Ok() ? systemName.Text() : std::string();
        id.sizeCode = systemName.Ok() ? SizeCodeFromSystemName(name) : 0;
        id.orderCode = name + "." + OrderCodeOptionText(option1.Ok(), option1.value) +
                       OrderCodeOptionText(option2.Ok(), option2.value);
        id.optionValue = static_cast<int32_t>(((option1.Ok() ? option1.value & 0xFFFF : 0) << 16) |
                                              (option2.Ok() ? option2.value & 0xFFFF : 0));
    }

    if (!id.firmwareWarningDismissed && !id.reconnectAfterReset && !id.restrictedMode && state_.sw == 2111 &&
        state_.swVer < 14) {
        const int answer = platform::Prompts().Custom(kMessageDialogPrompt,
                                                      {"Not all features are ensured with installed "
                                                       "firmware! It is suggested to update firmware before "
                                                       "continuing.",
                                                       foundation::kProgramName, "1"},
                                                      nullptr);
        if (answer == 5) id.firmwareWarningDismissed = true;
    }
}

void CQd::GetConnectionText(std::string& out) {
    out.clear();
    if (!wnd_.EngineApi()) return;
    const CConnectionRecord& r = wnd_.Record();
    char text[160];
    switch (r.channelType) {
        case connection_kind::kSerial:
            out = r.channelName;
            break;
        case connection_kind::kLibrary:
            std::snprintf(text, sizeof text, "%s - %s%u - Node %u", Ipv4(r.bridgeAddress).c_str(),
                          foundation::GetBusTypeShortName(r.bridgeSubnet).c_str(), unsigned{r.bridgeSubnetId},
                          unsigned{r.bridgeNodeId});
            out = text;
            break;
        case connection_kind::kBridge:
            std::snprintf(text, sizeof text, "%s - %s%u - Node %u", Ipv4(r.bcAddress).c_str(),
                          foundation::GetBusTypeShortName(r.bcSubnet).c_str(), unsigned{r.bcSubnetId},
                          unsigned{r.bcNodeId});
            out = text;
            break;
        case connection_kind::kTwinCat:
            std::snprintf(text, sizeof text, "%u.%u.%u.%u.%u.%u - %s - Node %u", r.amsNetId[0], r.amsNetId[1],
                          r.amsNetId[2], r.amsNetId[3], r.amsNetId[4], r.amsNetId[5], "ETH",
                          unsigned{r.bcNodeId});
            out = text;
            break;
        case connection_kind::kBox:
            out = "Mirel " + Ipv4(r.bcAddress);
            break;
        default:
            break;
    }
}

bool FwUpdateFilterMatches(const std::string& filter, uint32_t code) {
    std::string text;
    for (char c : filter)
        if (c != ' ' && c != '\t') text += c;
    const std::string number = std::to_string(code);
    bool plusCode = false, plusAll = false, minusCode = false;
    // Entries are a sign and a whole number or '*'; "-123" says nothing about code 12.
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '+' && text[i] != '-') continue;
        size_t end = i + 1;
        while (end < text.size() && text[end] != '+' && text[end] != '-' && text[end] != ',' &&
               text[end] != ';')
            ++end;
        const std::string entry = text.substr(i + 1, end - i - 1);
        if (text[i] == '+' && entry == number) plusCode = true;
        if (text[i] == '+' && entry == "*") plusAll = true;
        if (text[i] == '-' && entry == number) minusCode = true;
        i = end - 1;
    }
    return plusCode || (plusAll && !minusCode);
}

bool ReadFwUpdateFilterValues(const std::string& keyPath, std::optional<std::string>* hardware,
                              std::optional<std::string>* software) {
    platform::Registry& registry = platform::Registry::Instance();
    platform::Scope scope = platform::Scope::User;
    if (!registry.KeyExists(scope, keyPath)) {
        scope = platform::Scope::Machine;
        if (!registry.KeyExists(scope, keyPath)) return false;
    }
    if (hardware) *hardware = registry.GetString(scope, keyPath, "FilterHw");
    if (software) *software = registry.GetString(scope, keyPath, "FilterSw");
    return true;
}

void CQd::CheckFwUpdateFilter() {
    if (fwUpdateOverride_) {
        identity_.fwUpdateApplies = true;
        return;
    }
    std::optional<std::string> hardware, software;
    const bool read =
        ReadFwUpdateFilterValues(foundation::GetProductKey() + "\\FwUpdate", &hardware, &software);
    identity_.fwUpdateApplies = read && hardware && software && FwUpdateFilterMatches(*hardware, state_.hw) &&
                                FwUpdateFilterMatches(*software, state_.sw);
}
void ShowSystemErrorBox(const std::string& text, int errorCode, const std::string& suffix,
                        const std::string& caption) {
    const std::string message = text + "\n" + platform::SystemErrorText(errorCode) + suffix;
    platform::Prompts().MessageBox(message, caption.empty() ? std::string("Error") : caption,
                                   platform::MB_OK | platform::MB_ICONWARNING);
}

void CQd::ClearPendingMaps() {
    pending_.clear();
}

void CQd::FreeBufferMaps() {
    buffers1_.clear();
    buffers2_.clear();
}

}  // namespace drive
