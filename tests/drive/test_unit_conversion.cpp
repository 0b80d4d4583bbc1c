#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "drive/UnitConversion.h"
#include "foundation/XmlDocument.h"

using namespace foundation;
using namespace drive;

namespace {
using Q = CUnitConversion;

// A description with its own drive speed and acceleration codes.
constexpr const char* kDriveSetup =
    "<DRIVE_SETUP>"
    "<LIST Name='SpeedUnits'>"
    "<ELEMENT Value='10' Name='Inc' DivMult='1'/>"
    "<ELEMENT Value='11' Name='Rev' DivMult='2'/>"
    "<ELEMENT Value='12' Name='Rad' DivMult='4' DivMultType='D'/>"
    "<ELEMENT Value='13' Name='Furlong' DivMult='1'/>"
    "<ELEMENT Value='0x1000E' Name='Inc' DivMult='8'/>"
    "</LIST>"
    "<LIST Name='AccelUnits'><ELEMENT Value='10' Name='Rev' DivMult='1'/></LIST>"
    "</DRIVE_SETUP>";

class UnitConversionTest : public ::testing::Test {
  protected:
    void LoadList(const char* xml) {
        ASSERT_EQ(doc_.LoadXml(xml), S_OK);
        units_.LoadDriveUnitList(&doc_.Root());
    }
    CXmlDocument doc_;
    CUnitConversion units_;
};
}  // namespace

TEST_F(UnitConversionTest, InitialState) {
    EXPECT_EQ(units_.SelectedKey(Q::kPosition), "pos.Inc");
    EXPECT_EQ(units_.SelectedKey(Q::kVelocity), "vel.Inc");
    EXPECT_EQ(units_.SelectedKey(Q::kAcceleration), "acc.Inc");
    EXPECT_EQ(units_.SelectedKey(Q::kTorque), "tor.Irat");
    EXPECT_EQ(units_.SelectedLabel(Q::kTorque), "%IR");
    EXPECT_EQ(units_.FindUnit("acc.Rev")->label, "rev/s\xC2\xB2");
    for (int q = 0; q < 4; ++q) {
        EXPECT_DOUBLE_EQ(units_.Factor(q), 1.0);
        EXPECT_EQ(units_.Decimals(q), 0);
    }
    EXPECT_EQ(units_.FindUnit("pos.Mtr"), nullptr);
}

TEST_F(UnitConversionTest, DriveUnitList) {
    LoadList(kDriveSetup);
    // Unknown unit names are skipped; the code keeps 16 bits.
    EXPECT_EQ(units_.FindDriveUnit("vel.13"), nullptr);
    ASSERT_NE(units_.FindDriveUnit("vel.14"), nullptr);
    EXPECT_DOUBLE_EQ(units_.FindDriveUnit("vel.14")->multiplier, 8.0);
    EXPECT_DOUBLE_EQ(units_.FindDriveUnit("vel.12")->multiplier, 0.25);
    EXPECT_EQ(units_.FindDriveUnit("vel.11")->unitKey, "vel.Rev");
    EXPECT_EQ(units_.FindDriveUnit("acc.10")->unitKey, "acc.Rev");

    // Without the lists, code 10 means increments.
    LoadList("<DRIVE_SETUP/>");
    EXPECT_EQ(units_.DriveUnits().size(), 2u);
    EXPECT_EQ(units_.FindDriveUnit("vel.10")->unitKey, "vel.Inc");
    EXPECT_EQ(units_.FindDriveUnit("acc.10")->unitKey, "acc.Inc");
    EXPECT_DOUBLE_EQ(units_.FindDriveUnit("acc.10")->multiplier, 1.0);
    units_.LoadDriveUnitList(nullptr);
    EXPECT_EQ(units_.DriveUnits().size(), 2u);
}

TEST_F(UnitConversionTest, IncrementsToRpm) {
    LoadList("<DRIVE_SETUP/>");
    units_.SelectVelocityUnit(9);
    units_.SetDriveUnits(10, 10000, 0, "stepper");
    std::string text;
    EXPECT_DOUBLE_EQ(units_.ToUserUnits(Q::kVelocity, 5000, &text, true), 30.0);
    EXPECT_EQ(text, "30");
    EXPECT_EQ(units_.FromUserUnits(Q::kVelocity, 30.0), 5000);
    EXPECT_EQ(units_.TextToDrive(Q::kVelocity, " 30 rpm"), 5000);
    EXPECT_EQ(units_.driveVelocityKey, "vel.Inc");
    EXPECT_EQ(units_.torqueLabel, "%IR");
    EXPECT_EQ(units_.drivePositionLabel, "inc");
}

TEST_F(UnitConversionTest, VelocityFactorTable) {
    LoadList(kDriveSetup);
    units_.polePitch = 32;
    units_.SetLinear(true);
    units_.Custom(Q::kVelocity).factor = 3.0;
    const double R = 4000, pi2 = 6.28318530717958;
    struct Case {
        uint32_t driveCode;
        int userCode;
        double factor;
    } cases[] = {
        {10, 1, 1.0},
        {10, 2, 1 / R},
        {10, 3, pi2 / R},
        {10, 9, 60 / R},
        {10, 12, 0.032 / R},
        {10, 10, 3.0},
        {11, 1, 2 * R},
        {11, 2, 2.0},
        {11, 3, 2 * pi2},
        {11, 9, 120.0},
        {11, 12, 2 * 0.032},
        {11, 10, 6.0},
        {12, 1, 0.25 * R / pi2},
        {12, 2, 0.25 * 0.1591549430918955},
        {12, 3, 0.25},
        {12, 9, 0.25 * 9.54929658551373},
        {12, 12, 0.25 * 0.032 / pi2},
        {99, 2, 1.0},
    };
    for (const Case& c : cases) {
        units_.SelectVelocityUnit(c.userCode);
        units_.SetDriveUnits(c.driveCode, 4000, 0, "");
        EXPECT_NEAR(units_.Factor(Q::kVelocity), c.factor, 1e-12) << c.driveCode << " " << c.userCode;
    }
}

TEST_F(UnitConversionTest, OtherFactors) {
    LoadList(kDriveSetup);
    units_.SetDriveUnits(10, 1000, 0, "brushless");
    EXPECT_DOUBLE_EQ(units_.Factor(Q::kTorque), 0.1);
    EXPECT_EQ(units_.torqueLabel, "%Irm");
    // Drive acceleration code 10 is in rev/s², the user unit in inc/s².
    EXPECT_DOUBLE_EQ(units_.Factor(Q::kAcceleration), 1000.0);
    units_.Custom(Q::kTorque).factor = 2.0;
    units_.SelectTorqueUnit(10, "brushless");
    units_.polePitch = 50;
    units_.SetLinear(true);
    units_.SelectPositionUnit(11);
    units_.SetDriveUnits(10, 1000, 0, "brushless");
    EXPECT_DOUBLE_EQ(units_.Factor(Q::kTorque), 0.2);
    EXPECT_DOUBLE_EQ(units_.Factor(Q::kPosition), 0.05 / 1000);
    EXPECT_EQ(units_.Decimals(Q::kPosition), 4);
    // A resolution of 0 leaves the factors as they were.
    units_.SelectPositionUnit(0);
    units_.SetDriveUnits(11, 0, 0, "");
    EXPECT_DOUBLE_EQ(units_.Factor(Q::kPosition), 0.05 / 1000);
    EXPECT_DOUBLE_EQ(units_.Factor(Q::kTorque), 0.2);
    EXPECT_DOUBLE_EQ(units_.Factor(Q::kAcceleration), 1000.0);
}

TEST_F(UnitConversionTest, Selection) {
    units_.Custom(Q::kPosition) = {"mm", 0.01, 2};
    units_.SelectPositionUnit(10);
    EXPECT_EQ(units_.SelectedKey(Q::kPosition), "pos.Cus");
    EXPECT_EQ(units_.SelectedLabel(Q::kPosition), "mm");
    EXPECT_EQ(units_.Decimals(Q::kPosition), 2);
    // An unknown code, or a code of another quantity, changes nothing.
    units_.SelectPositionUnit(77);
    units_.SelectPositionUnit(9);
    EXPECT_EQ(units_.SelectedKey(Q::kPosition), "pos.Cus");
    units_.SelectVelocityUnit(3);
    EXPECT_EQ(units_.SelectedLabel(Q::kVelocity), "rad/s");
    EXPECT_EQ(units_.Decimals(Q::kVelocity), 2);
    // Torque follows the motor kind, not the code.
    units_.SelectTorqueUnit(7, "brushless");
    EXPECT_EQ(units_.SelectedKey(Q::kTorque), "tor.Istall");
    EXPECT_EQ(units_.SelectedLabel(Q::kTorque), "%Irm");
    EXPECT_EQ(units_.Decimals(Q::kTorque), 1);
    units_.SelectTorqueUnit(8, "stepper");
    EXPECT_EQ(units_.SelectedKey(Q::kTorque), "tor.Irat");
    // A new position base resets the position unit to increments.
    units_.SetDriveUnits(10, 100, 5, "");
    EXPECT_EQ(units_.SelectedKey(Q::kPosition), "pos.Inc");
    EXPECT_EQ(units_.positionBase, 5u);
}

TEST_F(UnitConversionTest, LinearModeOff) {
    units_.SetLinear(true);
    units_.SelectPositionUnit(11);
    units_.SelectVelocityUnit(12);
    units_.SelectAccelerationUnit(13);
    EXPECT_EQ(units_.SelectedLabel(Q::kAcceleration), "m/s\xC2\xB2");
    units_.SetLinear(false);
    EXPECT_EQ(units_.SelectedKey(Q::kPosition), "pos.Inc");
    EXPECT_EQ(units_.SelectedKey(Q::kVelocity), "vel.Inc");
    EXPECT_EQ(units_.SelectedKey(Q::kAcceleration), "acc.Inc");
    EXPECT_EQ(units_.FindUnit("vel.Mtr"), nullptr);
    units_.SelectVelocityUnit(12);
    EXPECT_EQ(units_.SelectedKey(Q::kVelocity), "vel.Inc");
}

TEST_F(UnitConversionTest, TextsAndRounding) {
    LoadList("<DRIVE_SETUP/>");
    units_.SelectVelocityUnit(2);  // rev/s, 2 decimals
    units_.SetDriveUnits(10, 1000, 0, "");
    std::string text;
    units_.ToUserUnits(Q::kVelocity, static_cast<uint32_t>(-4), &text, true);
    EXPECT_EQ(text, "0.00");
    units_.ToUserUnits(Q::kVelocity, static_cast<uint32_t>(-40), &text, true);
    EXPECT_EQ(text, "-0.04");
    // Unsigned: the same bits are a large positive value.
    EXPECT_GT(units_.ToUserUnits(Q::kVelocity, static_cast<uint32_t>(-4), nullptr, false), 4e6);
    // No decimals: a small negative value shows as 0, not -0.
    units_.ToUserUnits(Q::kTorque, static_cast<uint32_t>(-4), &text, true);
    EXPECT_EQ(text, "0");
    units_.SelectPositionUnit(0);
    units_.Custom(Q::kPosition).factor = 1.0;
    EXPECT_EQ(units_.FromUserUnits(Q::kPosition, -2.5), -3);
    EXPECT_EQ(units_.FromUserUnits(Q::kPosition, 2.5), 3);
    EXPECT_EQ(units_.FromUserUnits(Q::kPosition, 1e12), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(units_.FromUserUnits(7, -2.4), -2);
    units_.FormatValue(Q::kVelocity, text, 500);
    EXPECT_EQ(text, "0.50");
    // Outside the four quantities: factor 1 and no decimals.
    EXPECT_DOUBLE_EQ(units_.ToUserUnits(9, 12, &text, false), 12.0);
    EXPECT_EQ(text, "12");
}

TEST_F(UnitConversionTest, ZeroFactorDoesNotOverflow) {
    units_.Custom(Q::kPosition) = {"none", 0.0, 0};
    units_.SelectPositionUnit(10);
    units_.SetDriveUnits(10, 100, 0, "");
    EXPECT_DOUBLE_EQ(units_.Factor(Q::kPosition), 0.0);
    EXPECT_EQ(units_.FromUserUnits(Q::kPosition, 1.0), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(units_.FromUserUnits(Q::kPosition, 0.0), 0);
}

TEST_F(UnitConversionTest, ConvertQuantity) {
    units_.SelectVelocityUnit(9);
    units_.SelectAccelerationUnit(5);
    std::string text = "untouched";
    units_.ConvertQuantity(1, 0, text, 5.0);
    EXPECT_EQ(text, "untouched");
    units_.ConvertQuantity(1, 10000, text, 5000.0);  // inc/s -> rpm
    EXPECT_EQ(text, "30");
    units_.ConvertQuantity(2, 10000, text, 2.0);  // rev/s -> rpm
    EXPECT_EQ(text, "120");
    units_.ConvertQuantity(4, 1000, text, 500.0);  // inc/s² -> rev/s²
    EXPECT_EQ(text, "0.50");
    units_.ConvertQuantity(0, 1000, text, 123.0);
    EXPECT_EQ(text, "123");
    units_.ConvertQuantity(9, 1000, text, 55.0);  // torque, not custom: unchanged, torque decimals
    EXPECT_EQ(text, "55");
}

TEST_F(UnitConversionTest, SettingsRoundTrip) {
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml("<UA CPosName='mm' CPosK='0.5' CPosDec='3' CTorName='Nm' CTorK='2' CTorDec='2' "
                          "Position='10' Torque='10' Velocity='9' Acceleration='6'/>"),
              S_OK);
    units_.LoadSettings(doc.Root(), "brushless");
    EXPECT_EQ(units_.SelectedLabel(Q::kPosition), "mm");
    EXPECT_EQ(units_.Decimals(Q::kPosition), 3);
    EXPECT_EQ(units_.SelectedLabel(Q::kTorque), "Nm");
    EXPECT_EQ(units_.SelectedKey(Q::kVelocity), "vel.Rpm");
    EXPECT_EQ(units_.SelectedKey(Q::kAcceleration), "acc.Rad");

    CXmlDocument out;
    ASSERT_EQ(out.LoadXml("<UA/>"), S_OK);
    units_.SaveSettings(out.Root());
    const char* expected[][2] = {
        {"Position", "10"},    {"Torque", "10"},      {"Velocity", "9"},     {"Acceleration", "6"},
        {"CPosName", "mm"},    {"CPosK", "0.500000"}, {"CPosDec", "3"},      {"CVelName", ""},
        {"CVelK", "1.000000"}, {"CVelDec", "0"},      {"CAccName", ""},      {"CAccK", "1.000000"},
        {"CAccDec", "0"},      {"CTorName", "Nm"},    {"CTorK", "2.000000"}, {"CTorDec", "2"},
    };
    const auto& attributes = out.Root().Attributes();
    ASSERT_EQ(attributes.size(), std::size(expected));
    for (size_t i = 0; i < attributes.size(); ++i) {
        EXPECT_EQ(attributes[i]->Name(), expected[i][0]);
        EXPECT_EQ(attributes[i]->Value(), expected[i][1]) << expected[i][0];
    }

    // Defaults of a node without attributes.
    CUnitConversion fresh;
    ASSERT_EQ(doc.LoadXml("<UA/>"), S_OK);
    fresh.LoadSettings(doc.Root(), "stepper");
    EXPECT_EQ(fresh.SelectedKey(Q::kPosition), "pos.Inc");
    EXPECT_EQ(fresh.SelectedKey(Q::kTorque), "tor.Irat");
    EXPECT_EQ(fresh.SelectedKey(Q::kVelocity), "vel.Inc");
    EXPECT_EQ(fresh.SelectedKey(Q::kAcceleration), "acc.Inc");
}

TEST_F(UnitConversionTest, UnitNames) {
    units_.SelectVelocityUnit(9);
    EXPECT_EQ(UnitNameForKey(units_, "PositionUnits"), "inc");
    EXPECT_EQ(UnitNameForKey(units_, "VelocityUnits"), "rpm");
    EXPECT_EQ(UnitNameForKey(units_, "AccelerationUnits"), "inc/s\xC2\xB2");
    EXPECT_EQ(UnitNameForKey(units_, "TorqueUnits"), "%IR");
    EXPECT_EQ(UnitNameForKey(units_, "Speed"), "Speed");
}
