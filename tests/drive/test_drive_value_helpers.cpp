#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "drive/ComboChannelsTypes.h"
#include "drive/DriveValueHelpers.h"
#include "foundation/XmlDocument.h"

using namespace foundation;
using namespace engine;
using namespace drive;

TEST(DriveValueHelpers, DeviceFamilyNames) {
    EXPECT_EQ(GetDeviceFamilyName(1), "Jux");
    EXPECT_EQ(GetDeviceFamilyName(4), "Zimba");
    EXPECT_EQ(GetDeviceFamilyName(12), "Zeb");
    EXPECT_EQ(GetDeviceFamilyName(0), "");
    EXPECT_EQ(GetDeviceFamilyName(13), "");
    EXPECT_EQ(GetDeviceFamilyName(-1), "");
}

TEST(DriveValueHelpers, PackedDateTime) {
    struct Case {
        uint32_t value;
        const char* text;
    } cases[] = {
        {0x80000000u, "00/01/2001 00:00:00"},
        {0x80000000u | 13u << 22 | 15u << 17 | 3661u, "15/02/2002 01:01:01"},
        {37, "37"},
        {0x7FFFFFFFu, "2147483647"},
        // Every field at its widest stays a bounded text.
        {0xFFFFFFFFu, "31/08/2043 36:24:31"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatPackedDateTime(c.value), c.text) << c.value;
}

TEST(DriveValueHelpers, DriveStatesOfStatuswords) {
    struct Case {
        int32_t statusword;
        int state;
        const char* name;
    } cases[] = {
        {0x0237, 4, "Operation Enable"},
        {0x0050, 1, "Switch On Disabled"},
        {0x0021, 2, "Ready to Switch On"},
        {0x0023, 3, "Switched On"},
        {0x0007, 5, "Quick Stop Active"},
        {0x000F, 6, "Fault Reaction Active"},
        {0x0008, 7, "Fault"},
        {0x0000, 0, "Not Ready to Switch On"},
    };
    for (const Case& c : cases) {
        const int state = DriveStateFromStatusword(c.statusword);
        EXPECT_EQ(state, c.state) << std::hex << c.statusword;
        std::string name = "stale";
        GetDriveStateName(state, name);
        EXPECT_EQ(name, c.name);
    }
    std::string name = "stale";
    GetDriveStateName(8, name);
    EXPECT_EQ(name, "");
}

TEST(DriveValueHelpers, ScaledValues) {
    std::string text;
    EXPECT_DOUBLE_EQ(FormatScaledValue(0xFFFF, &text, "M", 1, 2, 0.1), -0.1);
    EXPECT_EQ(text, "-0.1");
    FormatScaledValue(0xFF, &text, "M", 0, 1, 1.0);
    EXPECT_EQ(text, "-1");
    FormatScaledValue(-1, &text, "M", 0, 8, 1.0);
    EXPECT_EQ(text, "4294967295");
    FormatScaledValue(500, &text, "D", 2, 4, 1000.0);
    EXPECT_EQ(text, "0.50");
    // A divisor of 0 gives 0, never an infinity.
    FormatScaledValue(500, &text, "D", 1, 4, 0.0);
    EXPECT_EQ(text, "0.0");
    EXPECT_DOUBLE_EQ(FormatScaledValue(7, nullptr, "M", 0, 4, 2.0), 14.0);
    // A decimal count from a damaged description neither flips the form nor grows the text.
    FormatScaledValue(1, &text, "M", -3, 4, 1.0);
    EXPECT_EQ(text, "1");
    FormatScaledValue(1, &text, "M", 1000000, 4, 1.0);
    EXPECT_LT(text.size(), 40u);
}

TEST(DriveValueHelpers, DisplayAndDriveValues) {
    EXPECT_DOUBLE_EQ(ToDisplayValue(0, "D", 0.0), 0.0);
    EXPECT_DOUBLE_EQ(ToDisplayValue(10, "D", 4.0), 2.5);
    EXPECT_DOUBLE_EQ(ToDisplayValue(10, "D", 0.0), 0.0);
    EXPECT_DOUBLE_EQ(ToDisplayValue(10, "M", 0.5), 5.0);
    EXPECT_DOUBLE_EQ(ToDisplayValue(10, "X", 0.5), 10.0);

    EXPECT_EQ(ToDriveValue("M", 2.9, 1.0), 2);
    EXPECT_EQ(ToDriveValue("M", -2.9, 1.0), -2);
    EXPECT_EQ(ToDriveValue("D", 2.5, 2.0), 5);
    EXPECT_EQ(ToDriveValue("M", 5.0, 2.0), 2);
    EXPECT_EQ(ToDriveValue("M", 7.7, 0.0), 7);
    // Values past the 64-bit range saturate instead of being undefined.
    EXPECT_EQ(ToDriveValue("D", 1e300, 1e10), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(ToDriveValue("D", -1e300, 1e10), std::numeric_limits<int64_t>::min());
}

TEST(DriveValueHelpers, Decimals) {
    struct Case {
        int decimals;
        double value;
        const char* text;
    } cases[] = {
        {0, -2.5, "-3"}, {0, 2.5, "3"}, {0, 2.4, "2"}, {3, 0.0, "0"}, {2, 1.005, "1.00"}, {1, -0.25, "-0.2"},
    };
    for (const Case& c : cases) {
        std::string out;
        FormatDecimal(out, c.decimals, c.value);
        EXPECT_EQ(out, c.text) << c.value;
    }
}

TEST(DriveValueHelpers, CellValues) {
    const uint8_t bytes[] = {0xFE, 0xFF, 0xFF, 0xFF};
    struct Case {
        uint32_t size;
        bool isSigned;
        const char* text;
    } cases[] = {
        {1, true, "-2"}, {1, false, "254"},        {2, true, "-2"}, {2, false, "65534"},
        {4, true, "-2"}, {4, false, "4294967294"}, {3, true, ""},   {8, false, ""},
    };
    for (const Case& c : cases) {
        std::string out = "stale";
        FormatCellValue(out, bytes, c.size, c.isSigned);
        EXPECT_EQ(out, c.text) << c.size << c.isSigned;
    }
    std::string out = "stale";
    FormatCellValue(out, nullptr, 4, false);
    EXPECT_EQ(out, "");
}

TEST(DriveValueHelpers, ParameterRowFromItem) {
    VocabularyItem item;
    item.name = "MaxTorque";
    item.title = "Maximum torque";
    item.writeLevel = 2;
    item.modbusAddress = 0x1234;
    item.size = 2;
    item.restore = 5;
    item.busAddress = "0x6072:0";
    item.signAndHidden = 0x02 | VocabularyItem::kHidden;
    ParamFileItem row;
    row.valueRead = true;
    ParamRowFromItem(row, item);
    EXPECT_EQ(row.name, "MaxTorque");
    EXPECT_EQ(row.title, "Maximum torque");
    EXPECT_EQ(row.writeLevel, 2);
    EXPECT_EQ(row.modbusAddress, 0x1234);
    EXPECT_EQ(row.size, 2u);
    EXPECT_EQ(row.restore, 5);
    EXPECT_EQ(row.busAddress, "0x6072:0");
    EXPECT_FALSE(row.valueRead);
    EXPECT_TRUE(row.isSigned);
    item.signAndHidden = VocabularyItem::kHidden;
    ParamRowFromItem(row, item);
    EXPECT_FALSE(row.isSigned);
}

namespace {
CXmlNode& Parse(CXmlDocument& doc, const char* text) {
    EXPECT_EQ(doc.LoadXml(text), S_OK);
    return doc.Root();
}
}  // namespace

TEST(DriveValueHelpers, OscilloscopeVariableFromXml) {
    CXmlDocument doc;
    ComboChannelsTypes c;
    c.isFloat = true;
    c.ReadXml(Parse(doc,
                    "<V Title='Speed' name='vel' ua=' vel.Inc ' Polarity='1' Code='0x12' DivMult='4' "
                    "DivMultType='D' NumDec='2' Type='int'/>"));
    EXPECT_EQ(c.title, "Speed");
    EXPECT_EQ(c.name, "vel");
    EXPECT_EQ(c.unitKey, "vel.Inc");
    EXPECT_EQ(c.polarity, 1);
    EXPECT_EQ(c.code, 0x12);
    EXPECT_DOUBLE_EQ(c.factor, 0.25);
    EXPECT_EQ(c.decimals, 2);
    EXPECT_FALSE(c.isFloat);

    c.ReadXml(Parse(doc, "<V Name='pos' Type='float'/>"));
    EXPECT_EQ(c.name, "pos");
    EXPECT_DOUBLE_EQ(c.factor, 1.0);
    EXPECT_TRUE(c.isFloat);
    c.ReadXml(Parse(doc, "<V Name='pos'/>"));
    EXPECT_FALSE(c.isFloat);

    // A divisor of 0 keeps the factor finite.
    c.ReadXml(Parse(doc, "<V Name='pos' DivMult='0' DivMultType='D'/>"));
    EXPECT_DOUBLE_EQ(c.factor, 0.0);

    c.ReadLowerXml(Parse(doc,
                         "<v title='Current' Name='iq' ua='tor.Irat' polarity='-1' code='3' DivMult='0.5' "
                         "numdec='1' type='float'/>"));
    EXPECT_EQ(c.title, "Current");
    EXPECT_EQ(c.name, "iq");
    EXPECT_EQ(c.unitKey, "tor.Irat");
    EXPECT_EQ(c.polarity, -1);
    EXPECT_EQ(c.code, 3);
    EXPECT_DOUBLE_EQ(c.factor, 0.5);
    EXPECT_EQ(c.decimals, 1);
    EXPECT_TRUE(c.isFloat);
}
