#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace foundation {
class CXmlNode;
}  // namespace foundation

namespace drive {

// Converts drive values of four quantities into the units the user chose, and back
// (user value = drive value x factor).
class CUnitConversion {
  public:
    enum Quantity : int { kPosition = 0, kVelocity = 1, kAcceleration = 2, kTorque = 3 };
    static constexpr int32_t kCustomCode = 10;

    struct UnitEntry {
        std::string label;
        int32_t decimals = 0;
        int32_t code = 0;
    };
    struct DriveUnitEntry {
        std::string unitKey;
        double multiplier = 1.0;
        uint32_t driveCode = 0;
    };
    struct CustomUnit {
        std::string name;
        double factor = 1.0;
        int32_t decimals = 0;
    };

    CUnitConversion();
    virtual ~CUnitConversion();

    void SetDriveUnits(uint32_t driveCode, uint32_t resolution, uint32_t positionBase,
                       const std::string& motorKind);
    void SelectPositionUnit(int32_t code);
    void SelectVelocityUnit(int32_t code);
    void SelectAccelerationUnit(int32_t code);
    void SelectTorqueUnit(int32_t code, const std::string& motorKind);
    void SetLinear(bool on);

    // Reads the "SpeedUnits" and "AccelUnits" lists among the node's "LIST" children.
    void LoadDriveUnitList(const foundation::CXmlNode* node);
    void LoadSettings(const foundation::CXmlNode& node, const std::string& motorKind);
    void SaveSettings(foundation::CXmlNode& node) const;

    double ToUserUnits(int quantity, uint32_t raw, std::string* text, bool isSigned) const;
    // Rounded half away from zero, saturated to the 32-bit range.
    int32_t FromUserUnits(int quantity, double value) const;
    int32_t TextToDrive(int quantity, const std::string& text) const;
    void FormatValue(int quantity, std::string& out, double value) const;
    void ConvertQuantity(int kind, uint32_t resolution, std::string& out, double value) const;
    // The factor ConvertQuantity applies (1 without a resolution).
    double QuantityFactor(int kind, uint32_t resolution) const;
    void ComputeFactors(uint32_t driveCode, uint32_t resolution);

    int32_t Decimals(int quantity) const { return InRange(quantity) ? decimals_[quantity] : 0; }
    double Factor(int quantity) const { return InRange(quantity) ? factors_[quantity] : 1.0; }
    const std::string& SelectedKey(int quantity) const;
    const std::string& SelectedLabel(int quantity) const;
    // The code of the selected unit, 0 when its key is unknown.
    int32_t SelectedCode(int quantity) const;
    const UnitEntry* FindUnit(const std::string& key) const;
    const DriveUnitEntry* FindDriveUnit(const std::string& key) const;
    const std::map<std::string, std::unique_ptr<UnitEntry>>& Units() const { return units_; }
    const std::map<std::string, std::unique_ptr<DriveUnitEntry>>& DriveUnits() const { return driveUnits_; }
    CustomUnit& Custom(int quantity) { return custom_[ClampQuantity(quantity)]; }
    const CustomUnit& Custom(int quantity) const { return custom_[ClampQuantity(quantity)]; }
    bool IsLinear() const { return linear_; }

    int32_t polePitch = 1;  // mm
    std::string drivePositionLabel;
    std::string driveVelocityKey;
    std::string driveAccelerationKey;
    std::string torqueLabel;
    uint32_t positionBase = 0;

  private:
    static bool InRange(int q) { return q >= 0 && q <= 3; }
    static int ClampQuantity(int q) { return InRange(q) ? q : 0; }
    void AddUnit(const std::string& key, const std::string& label, int32_t decimals, int32_t code);
    void SelectByCode(int quantity, int32_t code);
    // Factor of the drive unit row (key D) into the selected unit (key U), multiplier excluded.
    double RowFactor(const std::string& driveKey, const std::string& userKey, uint32_t resolution,
                     int quantity) const;
    int ReadUnitList(const foundation::CXmlNode& list, const char* prefix);

    std::array<int32_t, 4> decimals_{};
    std::array<double, 4> factors_{1.0, 1.0, 1.0, 1.0};
    std::map<std::string, std::unique_ptr<UnitEntry>> units_;
    std::map<std::string, std::unique_ptr<DriveUnitEntry>> driveUnits_;
    std::array<std::string, 4> selectedKeys_;
    std::array<std::string, 4> selectedLabels_;
    std::array<CustomUnit, 4> custom_;
    bool linear_ = false;
};

// The label of the selected unit for "PositionUnits", "VelocityUnits", "AccelerationUnits" and
// "TorqueUnits"; any other key comes back unchanged.
std::string UnitNameForKey(const CUnitConversion& units, const std::string& key);

}  // namespace drive
