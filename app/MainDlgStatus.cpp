#include "app/MainDlgStatus.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "app/DriveErrorTree.h"
#include "foundation/XmlDocument.h"

namespace app {

DriveFamily FamilyOf(bool supplyUnit, bool kwz, int familyCode) {
    if (supplyUnit) return DriveFamily::Supply;
    if (kwz) return DriveFamily::Kwz;
    if (familyCode == kXulFamilyCode) return DriveFamily::Xul;
    return DriveFamily::Servo;
}

namespace {

uint32_t NumberAttribute(const foundation::CXmlNode& node, const char* name) {
    const std::string text = node.GetAttribute(name, "0");
    return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 0));
}

std::string Printf(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

std::vector<ErrorDefinition> ReadErrorDefinitions(const foundation::CXmlNode& errorList) {
    struct Role {
        const char* outer;
        const char* inner;
        bool fault, retentive;
    };
    static const Role kRoles[] = {{"WarningErrors", "WDynamicErrors", false, false},
                                  {"WarningErrors", "WRetentiveErrors", false, true},
                                  {"FaultErrors", "FDynamicErrors", true, false},
                                  {"FaultErrors", "FRetentiveErrors", true, true}};
    std::vector<ErrorDefinition> out;
    for (const foundation::CXmlNode* outer : errorList.Children()) {
        if (outer->Name() != "GROUP") continue;
        const std::string outerName = outer->GetAttribute("name", "NoName");
        for (const foundation::CXmlNode* inner : outer->Children()) {
            if (inner->Name() != "GROUP") continue;
            const std::string innerName = inner->GetAttribute("name", "NoName");
            for (const Role& role : kRoles) {
                if (outerName != role.outer || innerName != role.inner) continue;
                for (const foundation::CXmlNode* error : inner->Children()) {
                    if (error->Name() != "ERROR") continue;
                    out.push_back({error->GetAttribute("address", "NoName"), NumberAttribute(*error, "mask"),
                                   NumberAttribute(*error, "value"), role.fault, role.retentive});
                }
            }
        }
    }
    return out;
}

std::vector<ErrorDefinition> LoadErrorDefinitions(const foundation::CXmlNode* driveData,
                                                  const std::string& builtInList) {
    CErrorList list;
    list.Load(driveData, builtInList);
    return list.Definitions();
}

int ErrorLed(const CellView& dynamicWord, const CellView& retentiveWord, int onSlot) {
    if (!dynamicWord.Valid() || !retentiveWord.Valid()) return kLedUnknown;
    return dynamicWord.value != 0 || retentiveWord.value != 0 ? onSlot : kLedOff;
}

ErrorCounts CountErrors(const std::vector<ErrorDefinition>& definitions,
                        const std::array<std::string, 4>& names, const std::array<CellView, 4>& words) {
    ErrorCounts counts;
    for (const ErrorDefinition& d : definitions) {
        int word = -1;
        for (int i = 0; i < 4; ++i)
            if (names[i] == d.address) {
                word = i;
                break;
            }
        if (word < 0 || !words[word].Valid()) continue;
        if ((words[word].value & d.mask) != d.value) continue;
        if (d.fault)
            ++(d.retentive ? counts.retentiveFaults : counts.dynamicFaults);
        else
            ++(d.retentive ? counts.retentiveWarnings : counts.dynamicWarnings);
    }
    return counts;
}

std::string WarningLabel(const ErrorCounts& c) {
    if (c.dynamicWarnings < 1 && c.retentiveWarnings < 1) return "Warning:";
    char text[64];
    std::snprintf(text, sizeof text, "Warning: (%d - %d)", c.dynamicWarnings, c.retentiveWarnings);
    return text;
}

std::string FaultLabel(const ErrorCounts& c) {
    if (c.dynamicFaults < 1 && c.retentiveFaults < 1) return "Fault:";
    char text[64];
    std::snprintf(text, sizeof text, "Fault: (%d - %d)", c.dynamicFaults, c.retentiveFaults);
    return text;
}

int InputLed(const CellView& inputs, int point, uint32_t disabledMask) {
    if (!inputs.Valid()) return kLedUnknown;
    const bool on = ((inputs.value >> (16 + point)) & 1u) != 0;
    const bool disabled = ((disabledMask >> point) & 1u) != 0;
    if (disabled) return on ? kLedBright : kLedPale;
    return on ? kLedGreen : kLedOff;
}

std::optional<int> OutputLed(const CellView& outputs, int point) {
    if (!outputs.Valid()) return std::nullopt;
    return ((outputs.value >> (16 + point)) & 1u) != 0 ? kLedRed : kLedOff;
}

uint32_t ToggledOutputs(uint32_t outputs, int point) {
    return outputs ^ (1u << (16 + point));
}

AnalogView BuildAnalogView(const std::string& variable, const AnalogScaling& s) {
    AnalogView v;
    v.variable = variable;
    v.rawMin = s.rawMin;
    v.rawMax = s.rawMax;
    v.valid = true;
    if (s.scaleType == "M" || s.scaleType == "D") {
        if (s.scale == 0.0 || !std::isfinite(s.scale)) {
            v.valid = false;
            return v;
        }
        v.factor = s.scaleType == "M" ? s.scale : 1.0 / s.scale;
        // Decimals follow the factor's power of ten, so that a multiplying scale below 1 shows
        // its digits too instead of a negative count.
        const double digits =
            v.factor >= 1.0 ? 0.0 : std::trunc(std::log10(1.0 / std::fabs(v.factor)) + 1e-9);
        v.decimals = digits > 0 ? static_cast<int>(std::min(digits, 15.0)) : 0;
        v.displayMin = s.rawMin * v.factor;
        v.displayMax = s.rawMax * v.factor;
    } else {
        char* end = nullptr;
        v.displayMin = std::strtod(s.minText.c_str(), &end);
        v.displayMax = s.displayMax;
        if (s.rawMax == s.rawMin) {
            v.valid = false;
            return v;
        }
        v.factor = (v.displayMax - v.displayMin) / (static_cast<double>(s.rawMax) - s.rawMin);
        const size_t point = s.minText.find('.');
        v.decimals = 0;
        if (point != std::string::npos)
            while (point + 1 + v.decimals < s.minText.size() &&
                   std::isdigit(static_cast<unsigned char>(s.minText[point + 1 + v.decimals])))
                ++v.decimals;
    }
    if (!std::isfinite(v.factor) || v.factor == 0.0) v.valid = false;
    return v;
}

int64_t AnalogRaw(const AnalogView& v, uint32_t value) {
    switch (v.size) {
        case 1:
            return v.isSigned ? static_cast<int64_t>(static_cast<int8_t>(value)) : (value & 0xFFu);
        case 2:
            return v.isSigned ? static_cast<int64_t>(static_cast<int16_t>(value)) : (value & 0xFFFFu);
        default:
            return v.isSigned ? static_cast<int64_t>(static_cast<int32_t>(value)) : value;
    }
}

std::string FormatAnalogValue(const AnalogView& v, uint32_t value) {
    if (!v.valid) return "";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", v.decimals,
                  v.displayMin + static_cast<double>(AnalogRaw(v, value) - v.rawMin) * v.factor);
    return text;
}

std::optional<int32_t> AnalogRawFromText(const AnalogView& v, const std::string& text) {
    if (!v.valid || !v.writable) return std::nullopt;
    char* end = nullptr;
    const double typed = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !std::isfinite(typed)) return std::nullopt;
    while (*end == ' ') ++end;
    if (*end != '\0') return std::nullopt;
    double raw = v.rawMin + (typed - v.displayMin) / v.factor;
    raw = raw < 0 ? -std::floor(-raw + 0.5) : std::floor(raw + 0.5);
    const double low = std::min(v.rawMin, v.rawMax), high = std::max(v.rawMin, v.rawMax);
    if (!(raw >= low)) raw = low;
    if (raw > high) raw = high;
    return static_cast<int32_t>(raw);
}

std::set<std::string> PanelCellNames(DriveFamily family, bool twoChannels, const std::string& driveState,
                                     const std::string& velocity, const std::string& inputs) {
    switch (family) {
        case DriveFamily::Xul:
            return {"VoutRmsFilt", "Fout", "IeccAltnRms", "VauxFilt"};
        case DriveFamily::Supply: {
            std::set<std::string> names = {"vout_adc_eff", "i_hv_media", "i_rms", "brake_duty_cycle",
                                           "timer_ripristino_fault"};
            if (twoChannels) names.insert({"i_hv_media_1", "i_rms_1", "i_hv_media_2", "i_rms_2"});
            return names;
        }
        case DriveFamily::Servo:
            return {"VelocityUnit", driveState, "ActualPosition", velocity, inputs, "DigitalOutputStatus"};
        case DriveFamily::Kwz:
            return {};
    }
    return {};
}

bool ShowVariableSlots::LastUser(size_t k) const {
    if (k >= names.size() || names[k].empty()) return false;
    int users = 0;
    for (const std::string& name : names)
        if (name == names[k]) ++users;
    return users < 2;
}

BrakeAction BrakeGroupAction(bool brushless, const CellView& brakeType, bool brakeInGroup) {
    if (!brushless || !brakeType.Valid()) return BrakeAction::None;
    if (brakeType.value == 0) return brakeInGroup ? BrakeAction::Remove : BrakeAction::None;
    return brakeInGroup ? BrakeAction::None : BrakeAction::Add;
}

int BrakeLed(const CellView& brakeStatus) {
    if (!brakeStatus.Valid()) return kLedUnknown;
    return brakeStatus.value == 0 ? kLedRed : kLedOff;
}

PanelLayout FamilyLayout(DriveFamily family, bool twoChannels, const std::string& loopCaption) {
    PanelLayout l;
    auto show = [&l](std::initializer_list<int> ids, bool on) {
        for (int id : ids) l.shown[id] = on;
    };
    const std::initializer_list<int> servoRows = {
        IDC_MAIN_BRAKE_LABEL,    IDC_MAIN_BRAKE_BUTTON, IDC_MAIN_BRAKE_LED,     IDC_MAIN_LOOP_VALUE,
        IDC_MAIN_LOOP_LABEL,     IDC_MAIN_ENABLE_LABEL, IDC_MAIN_ENABLE_BUTTON, IDC_MAIN_ENABLE_LED,
        IDC_MAIN_POSITION_LABEL, IDC_MAIN_POSITION,     IDC_MAIN_POSITION_UNIT, IDC_MAIN_SPEED_LABEL,
        IDC_MAIN_SPEED,          IDC_MAIN_SPEED_UNIT};
    for (const SupplyRow& row : kSupplyRows) show({row.label, row.value}, false);
    show({IDC_MAIN_SUPPLY_PICTURE, IDC_MAIN_XUL_PICTURE}, false);
    switch (family) {
        case DriveFamily::Servo:
            show(servoRows, true);
            show({IDC_MAIN_STATE_LABEL, IDC_MAIN_STATE}, true);
            l.captions[IDC_MAIN_LOOP_LABEL] = loopCaption;
            break;
        case DriveFamily::Kwz:
            show(servoRows, false);
            show({IDC_MAIN_STATE_LABEL, IDC_MAIN_STATE}, true);
            l.captions[IDC_MAIN_STATE_LABEL] = "Status:";
            l.captions[IDC_MAIN_LOOP_LABEL] = loopCaption;
            break;
        case DriveFamily::Xul:
            show(servoRows, true);
            show({IDC_MAIN_BRAKE_LABEL, IDC_MAIN_BRAKE_BUTTON, IDC_MAIN_BRAKE_LED, IDC_MAIN_POSITION_LABEL,
                  IDC_MAIN_POSITION, IDC_MAIN_POSITION_UNIT, IDC_MAIN_SPEED_LABEL, IDC_MAIN_SPEED,
                  IDC_MAIN_SPEED_UNIT},
                 false);
            show({IDC_MAIN_XUL_PICTURE, IDC_MAIN_STATE_LABEL, IDC_MAIN_STATE}, true);
            l.captions[IDC_MAIN_ENABLE_LABEL] = "Xul enable:";
            l.captions[IDC_MAIN_LOOP_LABEL] = "ControlMode";
            l.captions[IDC_MAIN_STATE_LABEL] = "Status:";
            show({IDC_SUPPLY_AVG_LABEL, IDC_SUPPLY_AVG, IDC_SUPPLY_AVG1_LABEL, IDC_SUPPLY_AVG1,
                  IDC_SUPPLY_AVG2_LABEL, IDC_SUPPLY_AVG2, IDC_SUPPLY_RMS_LABEL, IDC_SUPPLY_RMS},
                 true);
            l.captions[IDC_SUPPLY_AVG_LABEL] = "VoutRms:";
            l.captions[IDC_SUPPLY_AVG1_LABEL] = "Fout:";
            l.captions[IDC_SUPPLY_AVG2_LABEL] = "IeccAltnRms:";
            l.captions[IDC_SUPPLY_RMS_LABEL] = "Vaux:";
            l.captions[IDC_SUPPLY_UNIT_FIRST + 1] = "V";
            l.captions[IDC_SUPPLY_UNIT_FIRST + 4] = "Hz";
            l.captions[IDC_SUPPLY_UNIT_FIRST + 6] = "A";
            l.captions[IDC_SUPPLY_UNIT_FIRST + 2] = "V";
            break;
        case DriveFamily::Supply:
            show(servoRows, false);
            show({IDC_MAIN_STATE_LABEL, IDC_MAIN_STATE, IDC_MAIN_PLC_LABEL, IDC_MAIN_PLC}, false);
            show({IDC_MAIN_SUPPLY_PICTURE}, true);
            for (const SupplyRow& row : kSupplyRows)
                show({row.label, row.value}, !row.secondChannel || twoChannels);
            break;
    }
    return l;
}

uint8_t FirstReadStatus(int executeCode, int32_t readCode) {
    if (executeCode != 0 || readCode == kReadNotExecuted || readCode != 0) return 2;
    return 0;
}

ScreenCheck CheckScreen(double contentScale, int screenWidth, uint32_t largeFonts, uint32_t smallScreen) {
    ScreenCheck check;
    if (contentScale > 1.0) {
        if (largeFonts == kRememberedNo) check.closeAtOnce = true;
        if (largeFonts == kNotRemembered) check.ask.push_back(ScreenQuestion::LargeFonts);
    }
    if (screenWidth < 800) {
        if (smallScreen == kRememberedNo) check.closeAtOnce = true;
        if (smallScreen == kNotRemembered) check.ask.push_back(ScreenQuestion::SmallScreen);
    }
    if (check.closeAtOnce) check.ask.clear();
    return check;
}

std::string PlcStateText(const CellView& cell) {
    if (!cell.Valid()) return "";
    if (cell.value == 0) return "Stopped";
    if (cell.value == 1) return "Running";
    return "";
}

std::string SupplyTenths(const CellView& cell) {
    return cell.Valid() ? Printf("%.01f", cell.value * 0.1) : "";
}

std::string FaultLockSeconds(const CellView& cell) {
    return cell.Valid() ? std::to_string(cell.value / 1000) : "";
}

}  // namespace app
