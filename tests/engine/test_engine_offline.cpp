#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/EngineCodes.h"
#include "engine/Main.h"
#include "engine/MainApi.h"
#include "foundation/XmlDocument.h"
#include "tests/engine/EngineTestSupport.h"

using namespace foundation;
using namespace engine;
using namespace enginetest;

namespace {

// A simulated node of the legacy test drive on the OFFLINE channel.
class OfflineEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CChannelInfo info;
        ASSERT_EQ(engine.CreateChannels(info), 0);
        ASSERT_EQ(api.SelectChannel(0), 0);
    }

    int ConnectOffline(const std::string& identity, std::string* description = nullptr) {
        CCompatChecker checker;
        checker.InitFromLegacy(5, 1, 2, 1, 0, 0, 0, 0);
        BSTR text = platform::BstrFromUtf8(identity);
        const int rc = engine.NodeConnectOffline(checker, &text, 4, 0);
        if (rc == 0) {
            EXPECT_EQ(engine.SelectNode(4, 0), 0);
        }
        if (description && text) *description = platform::Utf8FromBstr(text);
        SysFreeString(text);
        return rc;
    }

    int LoadParameters(const std::string& xml) {
        CXmlDocument doc;
        EXPECT_EQ(doc.LoadXml(xml), S_OK) << xml;
        return engine.LoadNodeParameterFile(doc, 0);
    }

    CNodo& Node() { return *engine.Node(engine.FindNode(4, 0)); }

    DescriptionTree tree;
    PromptScope prompts;
    CMainApi api{0};
    CMain& engine = *api.Engine();
};

constexpr const char* kIdentity = "<xml Hw=\"5\" Sw=\"2\" SwRev=\"1\" build=\"0\"/>";

TEST_F(OfflineEngineTest, ConnectsFromIdentityText) {
    std::string xml;
    ASSERT_EQ(ConnectOffline(kIdentity, &xml), 0) << engine.ErrorText();
    EXPECT_NE(xml.find("XmlFile=\"2_1.xml\""), std::string::npos) << xml;
    EXPECT_EQ(engine.CurrentNodeAddress(), 1u);
    EXPECT_EQ(Node().simulated, 1);
    EXPECT_EQ(Node().address, 1u);
    EXPECT_FALSE(Node().HasValue("rd_sw_product_code"));

    ASSERT_EQ(ConnectOffline("<xml Hw=\"5\" Sw=\"2\" SwRev=\"1\" build=\"0\" Boot=\"1\"/>"), 0);
    EXPECT_EQ(engine.NodeCount(), 1);
    EXPECT_EQ(Node().GetValue("rd_sw_product_code"), 1u);

    EXPECT_EQ(ConnectOffline("<xml Hw=\"5\" Sw=\"77\" SwRev=\"1\" build=\"0\"/>"), -305);
    EXPECT_EQ(engine.ErrorText(), "internal error:vocabulary not found");
}

TEST_F(OfflineEngineTest, SimulatedValuesAreCutToTheirSizeAndSign) {
    ASSERT_EQ(ConnectOffline(kIdentity), 0);
    struct Case {
        const char* name;
        uint32_t written;
        uint32_t read;
    } cases[] = {
        {"Speed8u", 0x1FF, 0xFF},
        {"Speed8s", 0x1FF, 0xFFFFFFFFu},
        {"Word16u", 0x12345, 0x2345},
        {"Word16s", 0x18000, 0xFFFF8000u},
        {"Pos32", 0x87654321u, 0x87654321u},
        {"Long64", 5, 0},
        // No access check on a simulated node.
        {"ReadOnly", 3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(api.WriteCell(c.name, c.written), 0);
        uint32_t value = 0xDEAD;
        ASSERT_EQ(api.ReadCell(c.name, &value), 0);
        EXPECT_EQ(value, c.read);
    }
    uint32_t value = 0;
    EXPECT_EQ(api.ReadCell("Nothing", &value), -303);
}

TEST_F(OfflineEngineTest, BlocksOnSimulatedNode) {
    ASSERT_EQ(ConnectOffline(kIdentity), 0);
    const std::string data = "stored block";
    ASSERT_EQ(engine.DownloadCell("Block", data.data(), static_cast<uint32_t>(data.size())), 0);
    char buffer[64] = {};
    uint32_t count = sizeof buffer;
    ASSERT_EQ(engine.UploadCell("Block", buffer, &count), 0);
    EXPECT_EQ(std::string(buffer, count), data);
    // Not readable: the download is accepted and nothing is stored.
    ASSERT_EQ(engine.DownloadCell("NoBlock", data.data(), 4), 0);
    EXPECT_FALSE(Node().HasValue("NoBlock"));
    EXPECT_EQ(engine.UploadCell("NoBlock", buffer, &count), -308);
}

TEST_F(OfflineEngineTest, ParametersFileFillsTheNode) {
    ASSERT_EQ(ConnectOffline(kIdentity), 0);
    ASSERT_EQ(api.WriteCell("Speed8u", 9), 0);
    const std::string file = R"(<DEVICE_PARAMETER Version="2"><DEVICE>
        <INFO><DATA Name="Pos32" Value="-2"/><DATA Name="Unknown" Value="1"/></INFO>
        <PARAMETERS>
          <DATA Name="Word16u" Value="300"/>
          <DATA Name="Speed8u" Value=""/>
          <DATA Name="Word16s" Value="0x34FF"/>
          <DATA Name="DeviceGuid" Value="'not-a-uuid'"/>
          <DATA Name="Label" Value="'ab'"/>
        </PARAMETERS></DEVICE></DEVICE_PARAMETER>)";
    EXPECT_EQ(LoadParameters(file), 0);
    uint32_t value = 0;
    ASSERT_EQ(api.ReadCell("Word16u", &value), 0);
    EXPECT_EQ(value, 300u);
    ASSERT_EQ(api.ReadCell("Pos32", &value), 0);
    EXPECT_EQ(value, 0xFFFFFFFEu);
    ASSERT_EQ(api.ReadCell("Speed8u", &value), 0);
    EXPECT_EQ(value, 9u);  // an empty value text keeps the stored value
    ASSERT_EQ(api.ReadCell("Word16s", &value), 0);
    EXPECT_EQ(value, 0xFFFFFF34u);  // hexadecimal bytes in text order

    uint8_t guid[16];
    std::memset(guid, 0xAA, sizeof guid);
    EXPECT_EQ(Node().GetValueBytes("DeviceGuid", sizeof guid, guid), 16u);
    EXPECT_EQ(std::vector<uint8_t>(guid, guid + 16), std::vector<uint8_t>(16, 0));
    uint8_t label[8];
    EXPECT_EQ(Node().GetValueBytes("Label", sizeof label, label), 8u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(label), 2), "ab");
    EXPECT_EQ(label[2], 0);
    EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);

    const std::string guidFile = R"(<DEVICE_PARAMETER Version="2"><DEVICE><PARAMETERS>
          <DATA Name="DeviceGuid" Value="'00112233-4455-6677-8899-aabbccddeeff'"/>
        </PARAMETERS></DEVICE></DEVICE_PARAMETER>)";
    EXPECT_EQ(LoadParameters(guidFile), 0);
    EXPECT_EQ(Node().GetValueBytes("DeviceGuid", sizeof guid, guid), 16u);
    EXPECT_EQ(guid[0], 0x00);
    EXPECT_EQ(guid[5], 0x55);
    EXPECT_EQ(guid[15], 0xFF);
}

TEST_F(OfflineEngineTest, RefusedParametersFiles) {
    ASSERT_EQ(ConnectOffline(kIdentity), 0);
    struct Case {
        const char* xml;
        int result;
        const char* message;
    } cases[] = {
        {"<OTHER Version=\"2\"/>", 1, "Missing or wrong Tunova parameters file!"},
        {"<DEVICE_PARAMETER Version=\"1\"><DEVICE/></DEVICE_PARAMETER>", 2,
         "Unknown parameters file version 1."},
        {"<DEVICE_PARAMETER Version=\"2\"/>", 3, "Parameters file: DEVICE node missing!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        prompts.Prompts().Clear();
        EXPECT_EQ(LoadParameters(c.xml), c.result);
        ASSERT_EQ(prompts.Prompts().AskedCount(), 1u);
        EXPECT_EQ(prompts.Prompts().Asked()[0].text, c.message);
        EXPECT_EQ(prompts.Prompts().Asked()[0].caption, "Initialization of node");
    }
}

TEST_F(OfflineEngineTest, CellDescriptionsFromTheVocabulary) {
    ASSERT_EQ(ConnectOffline(kIdentity), 0);
    VocabularyItem item;
    ASSERT_EQ(api.GetCellInfo("Word16s", item), 0);
    EXPECT_EQ(item.size, 2u);
    EXPECT_EQ(item.Sign(), 1);
    EXPECT_EQ(item.modbusAddress, 1003);
    EXPECT_EQ(api.GetCellInfo("Nothing", item), -303);
    EXPECT_EQ(engine.ErrorText(), "cell item not found");

    std::vector<std::string> names;
    for (int rc = api.GetNextCellInfo(0, item); rc == 0; rc = api.GetNextCellInfo(1, item))
        names.push_back(item.name);
    EXPECT_EQ(names.size(), 15u);
    EXPECT_EQ(engine.ErrorCode(), -303);
    // A new walk visits every item again (lookups may have reordered the buckets meanwhile).
    std::vector<std::string> again;
    for (int rc = api.GetNextCellInfo(0, item); rc == 0; rc = api.GetNextCellInfo(1, item))
        again.push_back(item.name);
    std::sort(names.begin(), names.end());
    std::sort(again.begin(), again.end());
    EXPECT_EQ(again, names);

    // OFFLINE has no driver: nothing to open.
    EXPECT_EQ(api.ChannelOpen(CChannelSettings{}, 0), 0);
}

TEST(NodoValueStore, WordsAndBytes) {
    CNodo node(2000, 3);
    const uint8_t three[3] = {0x34, 0x12, 0x56};
    node.SetValue("a", three, 3);
    EXPECT_EQ(node.GetValue("a"), 0x1234u);
    node.SetValueWord("a", 0xA1B2C3D4u);
    uint8_t out[8];
    EXPECT_EQ(node.GetValueBytes("a", sizeof out, out), 4u);
    EXPECT_EQ(out[0], 0xD4);
    EXPECT_EQ(node.GetValueBytes("a", 2, out), 2u);
    EXPECT_EQ(node.GetValueBytes("missing", sizeof out, out), 0u);
    EXPECT_EQ(out[7], 0);
    EXPECT_EQ(node.GetValue("missing"), 0u);
    node.SetValue("z", nullptr, 0);
    EXPECT_EQ(node.GetValue("z"), 0u);
}

}  // namespace
