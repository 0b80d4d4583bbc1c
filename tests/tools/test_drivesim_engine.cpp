// The program's engine connects to the simulated drive, finds the drive's description in the
// program's data by the identity the drive reports, and drives it by the description's names.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/Main.h"
#include "engine/MainApi.h"
#include "foundation/XmlDocument.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/tools/DriveSimTestSupport.h"
#include "tools/drivesim/SimDrive.h"
#include "tools/drivesim/SimWiring.h"

namespace {

TEST(DriveSimEngine, DescriptionFoundByTheDrivesIdentityAndItsNamesWork) {
    enginetest::DescriptionTree tree;
    std::filesystem::copy_file(drivesimtest::DescriptionPath(), tree.Root() / "tree" / "1234_2_3_1.xml");
    enginetest::PromptScope prompts;
    auto model = std::make_shared<drivesim::SimDriveModel>();
    std::string error;
    ASSERT_TRUE(model->Load(drivesimtest::DescriptionPath(), &error)) << error;
    drivesim::DriveSim sim;
    drivesim::DescribeModbusDrive(sim.AddDrive(1), model);
    const std::string port = sim.StartPty(&error);
    ASSERT_FALSE(port.empty()) << error;
    enginetest::RegisterPort("drivesimengine", port);

    CMainApi api{0};
    CMain& engine = *api.Engine();
    CChannelInfo info;
    engine.CreateChannels(info);
    const int channel = enginetest::FindChannel(engine, port);
    ASSERT_GE(channel, 0);
    ASSERT_EQ(api.SelectChannel(channel), 0);
    CCompatChecker checker;
    BSTR text = nullptr;
    uint32_t address = 0;
    ASSERT_EQ(engine.NodeConnect(checker, &text, &address, 1, channel), 0) << engine.ErrorText();
    const std::string xml = text ? platform::Utf8FromBstr(text) : std::string();
    SysFreeString(text);
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml(xml), S_OK) << xml;
    EXPECT_EQ(doc.Root().GetAttribute("XmlFile"), "1234_2_3_1.xml");
    EXPECT_EQ(doc.Root().GetAttribute("hw"), "12");
    EXPECT_EQ(doc.Root().GetAttribute("sw"), "1234");
    EXPECT_NE(doc.Root().FindNode("ClientList\\Client\\Data\\SystemManager"), nullptr);
    EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);

    uint32_t value = 0;
    ASSERT_EQ(engine.ReadCell("statusword", &value), 0) << engine.ErrorText();
    EXPECT_EQ(value, 0x0240u);
    for (uint32_t word : {6u, 7u, 15u})
        ASSERT_EQ(engine.WriteCell("controlword", &word), 0) << engine.ErrorText();
    ASSERT_EQ(engine.ReadCell("statusword", &value), 0);
    EXPECT_EQ(value, 0x0237u);
    ASSERT_EQ(engine.ReadCell("ModeOfOperationDisplay", &value), 0);
    EXPECT_EQ(static_cast<int8_t>(value), 1);
    ASSERT_EQ(engine.ReadCell("PositionResolution", &value), 0);
    EXPECT_EQ(value, 10000u);

    api.ChannelClose(-2);
    sim.Stop();
    enginetest::UnregisterPort("drivesimengine");
}

}  // namespace
