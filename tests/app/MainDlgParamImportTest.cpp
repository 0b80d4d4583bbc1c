// The main dialog's parameter import with the drive object's own import side: a chosen file
// goes into an offline connection of the simulated drive's description and the user is told it
// was imported; a file for another drive declined by the user is an error, never "imported".
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/MainDlgCommands.h"
#include "drive/Qd.h"
#include "foundation/MessageIds.h"
#include "foundation/XmlDocument.h"
#include "platform/Prompt.h"
#include "tests/drive/DriveObjectTestSupport.h"

using namespace app;

namespace {

class ImportSite : public CMainDlgCommandSite {
  public:
    explicit ImportSite(drive::CQd& qd) : qd_(qd) {}
    std::optional<std::filesystem::path> ChooseFileToOpen(const FileChoice& choice) override {
        titles.push_back(choice.title);
        return chosen;
    }
    drive::CParamFileImportDrive* ParameterImportDrive() override { return &qd_.ParamImportDrive(); }

    std::optional<std::filesystem::path> chosen;
    std::vector<std::string> titles;

  private:
    drive::CQd& qd_;
};

std::string ParametersFile(int hardware, const std::string& maxVelocity) {
    return "<DEVICE_PARAMETER Version=\"2\"><DEVICE Hw=\"" + std::to_string(hardware) +
           "\" Type=\"1234\" SwRev=\"2\" HwRev=\"1\" Descr=\"Simulated servo drive\"><PARAMETERS>"
           "<DATA Name=\"PositionResolution\" Value=\"4096\"/>"
           "<DATA Name=\"MaxVelocity\" Value=\"" +
           maxVelocity + "\"/></PARAMETERS></DEVICE></DEVICE_PARAMETER>";
}

}  // namespace

TEST(MainDlgParamImport, ChosenFileIsImportedIntoTheConnection) {
    drivetest::DriveTree tree;
    enginetest::PromptScope prompts;
    drive::CQd qd(0);
    const std::filesystem::path saved = tree.Root() / "saved.xml";
    std::ofstream(saved) << ParametersFile(12, "100");
    foundation::CXmlDocument configuration;
    ASSERT_EQ(qd.OpenOfflineConnection(0, nullptr, saved.string(), configuration), 0)
        << qd.ConnectionWindow().LastMessage();
    ImportSite site(qd);
    CMainDlgCommands commands(qd, site);

    site.chosen = tree.Root() / "chosen.xml";
    std::ofstream(*site.chosen) << ParametersFile(12, "2500");
    EXPECT_EQ(commands.Handle(foundation::kMainDlgImportParametersMessage, 0, 0), 1);
    EXPECT_EQ(site.titles, std::vector<std::string>{"Import parameters file"});
    const auto asked = prompts.Prompts().Asked();
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back().caption + ": " + asked.back().text,
              "Import file parameters: Parameters file successfully imported!");
    uint32_t value = 0;
    ASSERT_EQ(qd.ReadCell("MaxVelocity", &value), 0) << qd.LastErrorText();
    EXPECT_EQ(value, 2500u);

    // A file of another drive: the user says No, nothing is written and the error is shown.
    prompts.Prompts().Clear();
    std::ofstream(tree.Root() / "other.xml")
        << "<DEVICE_PARAMETER Version=\"2\"><DEVICE Hw=\"99\" Type=\"77\" Descr=\"Other drive\"><PARAMETERS>"
           "<DATA Name=\"MaxVelocity\" Value=\"7\"/></PARAMETERS></DEVICE></DEVICE_PARAMETER>";
    site.chosen = tree.Root() / "other.xml";
    prompts.Prompts().PushAnswer(platform::IDNO);
    commands.Handle(foundation::kMainDlgImportParametersMessage, 0, 0);
    const auto refused = prompts.Prompts().Asked();
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_EQ(refused[0].text.rfind("The parameters file is for device:\n\nOther drive\n", 0), 0u);
    EXPECT_EQ(refused[1].text, "Parameters file import error!");
    ASSERT_EQ(qd.ReadCell("MaxVelocity", &value), 0);
    EXPECT_EQ(value, 2500u);
    qd.CloseConnection(true);
}
