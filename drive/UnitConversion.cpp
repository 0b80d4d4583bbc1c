#include "drive/UnitConversion.h"

#include <cmath>
#include <limits>

#include "drive/NumberText.h"
#include "foundation/XmlNode.h"

using namespace foundation;

namespace drive {

namespace {
constexpr double kTwoPi = 6.28318530717958;
constexpr const char* kPrefixes[4] = {"pos.", "vel.", "acc.", "tor."};
// "²" in UTF-8 (0xB2 in Windows-1252 on disk).
#define TUNOVA_SQUARED "\xC2\xB2"

const std::string kEmpty;

std::string CodeKey(const char* prefix, uint32_t code) {
    return prefix + std::to_string(code);
}
}  // namespace

CUnitConversion::CUnitConversion() {
    AddUnit("pos.Inc", "inc", 0, 0);
    AddUnit("vel.Inc", "inc/s", 0, 1);
    AddUnit("vel.Rev", "rev/s", 2, 2);
    AddUnit("vel.Rad", "rad/s", 2, 3);
    AddUnit("acc.Inc", "inc/s" TUNOVA_SQUARED, 0, 4);
    AddUnit("acc.Rev", "rev/s" TUNOVA_SQUARED, 2, 5);
    AddUnit("acc.Rad", "rad/s" TUNOVA_SQUARED, 1, 6);
    AddUnit("tor.Irat", "%IR", 1, 7);
    AddUnit("tor.Istall", "%Irm", 1, 8);
    AddUnit("vel.Rpm", "rpm", 0, 9);
    for (const char* prefix : kPrefixes) AddUnit(std::string(prefix) + "Cus", "custom", 0, kCustomCode);

    selectedKeys_ = {"pos.Inc", "vel.Inc", "acc.Inc", "tor.Irat"};
    for (int q = 0; q < 4; ++q) selectedLabels_[q] = units_.at(selectedKeys_[q])->label;
}

CUnitConversion::~CUnitConversion() = default;

void CUnitConversion::AddUnit(const std::string& key, const std::string& label, int32_t decimals,
                              int32_t code) {
    if (units_.count(key)) return;
    auto entry = std::make_unique<UnitEntry>();
    entry->label = label;
    entry->decimals = decimals;
    entry->code = code;
    units_.emplace(key, std::move(entry));
}

const CUnitConversion::UnitEntry* CUnitConversion::FindUnit(const std::string& key) const {
    const auto it = units_.find(key);
    return it == units_.end() ? nullptr : it->second.get();
}

const CUnitConversion::DriveUnitEntry* CUnitConversion::FindDriveUnit(const std::string& key) const {
    const auto it = driveUnits_.find(key);
    return it == driveUnits_.end() ? nullptr : it->second.get();
}

const std::string& CUnitConversion::SelectedKey(int quantity) const {
    return InRange(quantity) ? selectedKeys_[quantity] : kEmpty;
}

const std::string& CUnitConversion::SelectedLabel(int quantity) const {
    return InRange(quantity) ? selectedLabels_[quantity] : kEmpty;
}

int32_t CUnitConversion::SelectedCode(int quantity) const {
    const UnitEntry* entry = InRange(quantity) ? FindUnit(selectedKeys_[quantity]) : nullptr;
    return entry ? entry->code : 0;
}

void CUnitConversion::SelectByCode(int q, int32_t code) {
    if (code == kCustomCode) {
        selectedKeys_[q] = std::string(kPrefixes[q]) + "Cus";
        selectedLabels_[q] = custom_[q].name;
        decimals_[q] = custom_[q].decimals;
        return;
    }
    // Only units of this quantity: a code of another quantity (from a damaged settings file)
    // must not make, say, a velocity unit the position unit.
    const std::string prefix = kPrefixes[q];
    for (const auto& [key, entry] : units_) {
        if (entry->code != code || key.compare(0, prefix.size(), prefix) != 0) continue;
        selectedKeys_[q] = key;
        selectedLabels_[q] = entry->label;
        decimals_[q] = entry->decimals;
        return;
    }
}

void CUnitConversion::SelectPositionUnit(int32_t code) {
    SelectByCode(kPosition, code);
}
void CUnitConversion::SelectVelocityUnit(int32_t code) {
    SelectByCode(kVelocity, code);
}
void CUnitConversion::SelectAccelerationUnit(int32_t code) {
    SelectByCode(kAcceleration, code);
}

void CUnitConversion::SelectTorqueUnit(int32_t code, const std::string& motorKind) {
    if (code == kCustomCode) {
        SelectByCode(kTorque, code);
        return;
    }
    const bool brushless = motorKind == "brushless";
    selectedKeys_[kTorque] = brushless ? "tor.Istall" : "tor.Irat";
    selectedLabels_[kTorque] = brushless ? "%Irm" : "%IR";
    decimals_[kTorque] = FindUnit(selectedKeys_[kTorque])->decimals;
}

void CUnitConversion::SetLinear(bool on) {
    linear_ = on;
    if (on) {
        AddUnit("pos.Mtr", "m", 4, 11);
        AddUnit("vel.Mtr", "m/s", 3, 12);
        AddUnit("acc.Mtr", "m/s" TUNOVA_SQUARED, 3, 13);
        return;
    }
    if (selectedKeys_[kPosition] == "pos.Mtr") SelectPositionUnit(0);
    if (selectedKeys_[kVelocity] == "vel.Mtr") SelectVelocityUnit(1);
    if (selectedKeys_[kAcceleration] == "acc.Mtr") SelectAccelerationUnit(4);
    units_.erase("pos.Mtr");
    units_.erase("vel.Mtr");
    units_.erase("acc.Mtr");
}

int CUnitConversion::ReadUnitList(const CXmlNode& list, const char* prefix) {
    int stored = 0;
    for (const CXmlNode* element : list.Children()) {
        if (element->Name() != "ELEMENT") continue;
        const uint32_t code = static_cast<uint32_t>(element->GetAttributeInt("Value", 0)) & 0xFFFF;
        const std::string unitKey = prefix + element->GetAttribute("Name", "");
        if (!FindUnit(unitKey)) continue;
        const double divMult = element->GetAttributeDouble("DivMult", 1.0);
        auto entry = std::make_unique<DriveUnitEntry>();
        entry->unitKey = unitKey;
        entry->driveCode = code;
        if (element->GetAttribute("DivMultType", "M") == "M") {
            entry->multiplier = divMult;
        } else {
            // A divisor of 0 would give an infinite multiplier: it stays 0.
            entry->multiplier = divMult != 0.0 ? 1.0 / divMult : 0.0;
        }
        driveUnits_[CodeKey(prefix, code)] = std::move(entry);
        ++stored;
    }
    return stored;
}

void CUnitConversion::LoadDriveUnitList(const CXmlNode* node) {
    // A new description replaces the codes of the previous one.
    driveUnits_.clear();
    const CXmlNode* speed = nullptr;
    const CXmlNode* accel = nullptr;
    if (node) {
        for (const CXmlNode* child : node->Children()) {
            if (child->Name() != "LIST") continue;
            const std::string name = child->GetAttribute("Name", "");
            if (name == "SpeedUnits" && !speed) speed = child;
            if (name == "AccelUnits" && !accel) accel = child;
        }
    }
    if (!speed || ReadUnitList(*speed, "vel.") == 0) {
        driveUnits_["vel.10"] = std::make_unique<DriveUnitEntry>(DriveUnitEntry{"vel.Inc", 1.0, 10});
    }
    if (!accel || ReadUnitList(*accel, "acc.") == 0) {
        driveUnits_["acc.10"] = std::make_unique<DriveUnitEntry>(DriveUnitEntry{"acc.Inc", 1.0, 10});
    }
}

void CUnitConversion::SetDriveUnits(uint32_t driveCode, uint32_t resolution, uint32_t base,
                                    const std::string& motorKind) {
    if (base != positionBase) {
        positionBase = base;
        SelectPositionUnit(0);
    }
    ComputeFactors(driveCode, resolution);
    drivePositionLabel = "inc";
    torqueLabel = motorKind == "brushless" ? "%Irm" : "%IR";
    if (const DriveUnitEntry* v = FindDriveUnit(CodeKey("vel.", driveCode)); v && FindUnit(v->unitKey)) {
        driveVelocityKey = v->unitKey;
    }
    if (const DriveUnitEntry* a = FindDriveUnit(CodeKey("acc.", driveCode)); a && FindUnit(a->unitKey)) {
        driveAccelerationKey = a->unitKey;
    }
}

double CUnitConversion::RowFactor(const std::string& driveKey, const std::string& userKey, uint32_t r,
                                  int q) const {
    const double R = r;
    const double meters = polePitch / 1000.0;
    const std::string d = driveKey.size() > 4 ? driveKey.substr(4) : std::string();
    const std::string u = userKey.size() > 4 ? userKey.substr(4) : std::string();
    if (d != "Inc" && d != "Rev" && d != "Rad") return 1.0;
    if (u == "Cus") return custom_[q].factor;
    if (d == "Inc") {
        if (u == "Rev") return 1.0 / R;
        if (u == "Rad") return kTwoPi / R;
        if (u == "Rpm") return 60.0 / R;
        if (u == "Mtr") return meters / R;
        return 1.0;
    }
    if (d == "Rev") {
        if (u == "Inc") return R;
        if (u == "Rad") return kTwoPi;
        if (u == "Rpm") return 60.0;
        if (u == "Mtr") return meters;
        return 1.0;
    }
    if (u == "Inc") return R / kTwoPi;
    if (u == "Rev") return 0.1591549430918955;
    if (u == "Rpm") return 9.54929658551373;
    if (u == "Mtr") return meters / kTwoPi;
    return 1.0;
}

void CUnitConversion::ComputeFactors(uint32_t driveCode, uint32_t resolution) {
    if (resolution == 0) return;
    const double R = resolution;
    const std::string& pos = selectedKeys_[kPosition];
    if (pos == "pos.Mtr") {
        factors_[kPosition] = (polePitch / 1000.0) / R;
    } else if (pos == "pos.Cus") {
        factors_[kPosition] = custom_[kPosition].factor;
    } else {
        factors_[kPosition] = 1.0;
    }
    factors_[kTorque] = selectedKeys_[kTorque] == "tor.Cus" ? custom_[kTorque].factor * 0.1 : 0.1;
    const DriveUnitEntry* v = FindDriveUnit(CodeKey("vel.", driveCode));
    factors_[kVelocity] =
        v ? v->multiplier * RowFactor(v->unitKey, selectedKeys_[kVelocity], resolution, kVelocity) : 1.0;
    const DriveUnitEntry* a = FindDriveUnit(CodeKey("acc.", driveCode));
    factors_[kAcceleration] =
        a ? a->multiplier * RowFactor(a->unitKey, selectedKeys_[kAcceleration], resolution, kAcceleration)
          : 1.0;
}

double CUnitConversion::ToUserUnits(int quantity, uint32_t raw, std::string* text, bool isSigned) const {
    const double drive = isSigned ? static_cast<double>(static_cast<int32_t>(raw)) : static_cast<double>(raw);
    const double value = drive * Factor(quantity);
    if (text) {
        const int d = Decimals(quantity);
        // A value that shows as zero is written without a minus sign (also with no decimals).
        const double scaled = value * std::pow(10.0, d < 0 ? 0 : d);
        *text = DriveFormatFixed(std::trunc(scaled) == 0.0 ? 0.0 : value, d);
    }
    return value;
}

int32_t CUnitConversion::FromUserUnits(int quantity, double value) const {
    return static_cast<int32_t>(DriveRoundHalfAway(
        value / Factor(quantity), std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int32_t CUnitConversion::TextToDrive(int quantity, const std::string& text) const {
    return FromUserUnits(quantity, DriveParseNumber(text));
}

void CUnitConversion::FormatValue(int quantity, std::string& out, double value) const {
    out = DriveFormatFixed(value * Factor(quantity), Decimals(quantity));
}

void CUnitConversion::ConvertQuantity(int kind, uint32_t resolution, std::string& out, double value) const {
    if (resolution == 0) return;
    const int q = kind == 0                ? kPosition
                  : kind >= 1 && kind <= 6 ? (kind <= 3 ? kVelocity : kAcceleration)
                                           : kTorque;
    out = DriveFormatFixed(value * QuantityFactor(kind, resolution), decimals_[q]);
}

double CUnitConversion::QuantityFactor(int kind, uint32_t resolution) const {
    if (resolution == 0) return 1.0;
    static const char* const kRows[3] = {"Inc", "Rev", "Rad"};
    double factor = 1.0;
    if (kind == 0) {
        const std::string& pos = selectedKeys_[kPosition];
        if (pos == "pos.Mtr") factor = (polePitch / 1000.0) / resolution;
        if (pos == "pos.Cus") factor = custom_[kPosition].factor;
    } else if (kind >= 1 && kind <= 6) {
        const int q = kind <= 3 ? kVelocity : kAcceleration;
        const std::string row = std::string(kPrefixes[q]) + kRows[(kind - 1) % 3];
        factor = RowFactor(row, selectedKeys_[q], resolution, q);
    } else if (selectedKeys_[kTorque] == "tor.Cus") {
        factor = factors_[kTorque];
    }
    return factor;
}

void CUnitConversion::LoadSettings(const CXmlNode& node, const std::string& motorKind) {
    static const char* const kNames[4] = {"CPos", "CVel", "CAcc", "CTor"};
    for (int q = 0; q < 4; ++q) {
        const std::string base = kNames[q];
        custom_[q].name = node.GetAttribute(base + "Name", "");
        custom_[q].factor = node.GetAttributeDouble(base + "K", 1.0);
        custom_[q].decimals = node.GetAttributeInt(base + "Dec", 0);
    }
    SelectPositionUnit(node.GetAttributeInt("Position", 0));
    SelectTorqueUnit(node.GetAttributeInt("Torque", 7), motorKind);
    SelectVelocityUnit(node.GetAttributeInt("Velocity", 1));
    SelectAccelerationUnit(node.GetAttributeInt("Acceleration", 4));
}

void CUnitConversion::SaveSettings(CXmlNode& node) const {
    node.SetAttribute("Position", std::to_string(SelectedCode(kPosition)));
    node.SetAttribute("Torque", std::to_string(SelectedCode(kTorque)));
    node.SetAttribute("Velocity", std::to_string(SelectedCode(kVelocity)));
    node.SetAttribute("Acceleration", std::to_string(SelectedCode(kAcceleration)));
    static const char* const kNames[4] = {"CPos", "CVel", "CAcc", "CTor"};
    for (int q = 0; q < 4; ++q) {
        const std::string base = kNames[q];
        node.SetAttribute(base + "Name", custom_[q].name);
        node.SetAttribute(base + "K", DriveFormatFixed(custom_[q].factor, 6));
        node.SetAttribute(base + "Dec", std::to_string(custom_[q].decimals));
    }
}

std::string UnitNameForKey(const CUnitConversion& units, const std::string& key) {
    if (key == "PositionUnits") return units.SelectedLabel(CUnitConversion::kPosition);
    if (key == "VelocityUnits") return units.SelectedLabel(CUnitConversion::kVelocity);
    if (key == "AccelerationUnits") return units.SelectedLabel(CUnitConversion::kAcceleration);
    if (key == "TorqueUnits") return units.SelectedLabel(CUnitConversion::kTorque);
    return key;
}

}  // namespace drive
