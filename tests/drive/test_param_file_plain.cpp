#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "drive/PlainParamFile.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"

using namespace foundation;
using namespace drive;

namespace fs = std::filesystem;

namespace {

const fs::path kFixtures = fs::path(TUNOVA_FIXTURES) / "drive" / "paramfiles";

class PlainParamFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tunova_plainparam_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ParameterAliases().clear();
    }
    void TearDown() override {
        fs::remove_all(dir_);
        ParameterAliases().clear();
    }
    static std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir_;
};

TEST_F(PlainParamFileTest, ModbusAndBusAddressFiles) {
    CXmlDocument doc;
    ASSERT_EQ(doc.Load(kFixtures / "plain_source.xml"), S_OK);
    const std::string head =
        "[DEVICE_PARAMETER]\r\nVersion = 2\r\n[DEVICE]\r\nType = 1201\r\nHw = 111\r\nHwRev = 2\r\n";
    const std::string identity =
        "\r\n[IDENTITY ELEMENT]\r\nRole = 1\r\nCode = 111\r\nMajor = 1\r\nMinor = 2\r\nPatch = 3\r\n"
        "PreStatus = 0\r\nPreNumber = 0\r\n[COMPATIBILITY KEY]\r\nCmpKey = 5\r\nMajor = 0\r\nMinor = 0\r\n"
        "Patch = 0\r\nPreStatus = 0\r\nPreNumber = 0";

    fs::path mdb = dir_ / "mdb.txt";
    EXPECT_EQ(WritePlainParamFile(doc.Root(), mdb, kPlainParamModbusAddresses), "");
    // "FACTORY" differs from "factory" exactly, so the header repeats.
    EXPECT_EQ(Read(mdb), head + "[BUS]\r\nAddressFormat = Modbus" + identity +
                             "\r\n[PARAMETERS FACTORY]\r\n; Speed\r\n5000 (2) = 300"
                             "\r\n[PARAMETERS USER]\r\n; Gain\r\n5002 (4) = 7"
                             "\r\n[PARAMETERS FACTORY]\r\n; Label\r\n5004 (20) = \"'AB'\""
                             "\r\n[PARAMETERS USER]\r\n; Blob\r\n5014 (8) = \"0x0102\"");

    fs::path bus = dir_ / "bus.txt";
    EXPECT_EQ(WritePlainParamFile(doc.Root(), bus, kPlainParamBusAddresses), "");
    // Label has no bus address and is left out.
    EXPECT_EQ(Read(bus), head + "[BUS]\r\nAddressFormat = CANopen" + identity +
                             "\r\n[PARAMETERS FACTORY]\r\n; Speed\r\n0x2000.1 (2) = 300"
                             "\r\n[PARAMETERS USER]\r\n; Gain\r\n0x2001.0 (4) = 7"
                             "\r\n; Blob\r\n0x2003.0 (8) = \"0x0102\"");
}

TEST_F(PlainParamFileTest, BusFormatTextsAndMissingDevice) {
    const std::pair<const char*, const char*> kinds[] = {
        {"CAN", "\r\n[BUS]\r\nAddressFormat = CANopen"},
        {"PNT", "\r\n[BUS]\r\nAddressFormat = Profinet"},
        {"MDB", ""},
    };
    for (auto [kind, section] : kinds) {
        CXmlDocument doc;
        std::string xml =
            std::string("<DEVICE_PARAMETER Version=\"2\"><DEVICE Type=\"1\"><PARAMETERS BusAddress=\"") +
            kind + "\"/></DEVICE></DEVICE_PARAMETER>";
        ASSERT_EQ(doc.LoadXml(xml), S_OK);
        fs::path out = dir_ / "k.txt";
        ASSERT_EQ(WritePlainParamFile(doc.Root(), out, kPlainParamBusAddresses), "");
        EXPECT_EQ(Read(out),
                  "[DEVICE_PARAMETER]\r\nVersion = 2\r\n[DEVICE]\r\nType = 1\r\nHw = 0\r\nHwRev = 0" +
                      std::string(section))
            << kind;
    }
    CXmlDocument bare;
    ASSERT_EQ(bare.LoadXml("<DEVICE_PARAMETER/>"), S_OK);
    fs::path out = dir_ / "bare.txt";
    ASSERT_EQ(WritePlainParamFile(bare.Root(), out, kPlainParamModbusAddresses), "");
    EXPECT_EQ(Read(out), "[DEVICE_PARAMETER]\r\nVersion = 0");
}

TEST_F(PlainParamFileTest, UncreatableFileReportsAndKeepsNothing) {
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml("<DEVICE_PARAMETER Version=\"2\"/>"), S_OK);
    EXPECT_EQ(WritePlainParamFile(doc.Root(), dir_ / "no" / "such" / "x.txt", kPlainParamModbusAddresses),
              "Error creating file");
}

TEST_F(PlainParamFileTest, AliasList) {
    fs::path file = dir_ / "ParamRenamed.txt";
    std::ofstream(file, std::ios::binary) << "Alpha = Beta\r\n  Alpha=Gamma \r\nAlpha = Beta\r\nNoEquals\r\n"
                                             "=Lonely\r\nEmpty =   \r\nSpeed=Speed2\r\nSpeed = Speed\r\n"
                                             "Torque = Force";
    LoadParameterAliases(file);
    auto& map = ParameterAliases();
    EXPECT_EQ(map.size(), 3u);
    EXPECT_EQ(map["Alpha"], "Beta=Gamma");
    EXPECT_EQ(map["Speed"], "Speed2");
    EXPECT_EQ(map["Torque"], "Force");
    LoadParameterAliases(file);
    EXPECT_EQ(map.size(), 3u);
    EXPECT_EQ(map["Alpha"], "Beta=Gamma");

    LoadParameterAliases(dir_ / "missing.txt");
    EXPECT_EQ(map.size(), 3u);
}

}  // namespace
