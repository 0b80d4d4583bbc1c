// The main dialog's firmware download command: the dialog runs with the node released, and its
// result decides what follows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/MainDlgCommands.h"
#include "drive/Qd.h"
#include "foundation/MessageIds.h"
#include "platform/Prompt.h"
#include "tests/support/PromptScope.h"

using namespace app;

namespace {

using platformtest::PromptScope;

class DownloadSite : public CMainDlgCommandSite {
  public:
    bool IsXulFamily() const override { return xul; }
    void CloseFrameWindows() override { calls.push_back("close windows"); }
    bool HasFirmwareDownloadDialog() const override { return hasDialog; }
    int RunFirmwareDownloadDialog() override {
        calls.push_back("dialog");
        return result;
    }
    bool hasDialog = true, xul = false;
    int result = 0;
    std::vector<std::string> calls;
};

}  // namespace

TEST(MainDlgFirmwareDownload, WithoutTheDialogNothingHappens) {
    drive::CQd qd(0);
    DownloadSite site;
    site.hasDialog = false;
    CMainDlgCommands commands(qd, site);
    EXPECT_EQ(commands.Handle(foundation::kMainDlgFirmwareDownloadMessage, 0, 0), 1);
    EXPECT_TRUE(site.calls.empty());
    EXPECT_FALSE(qd.FirmwareChanged());
}

TEST(MainDlgFirmwareDownload, ADownloadedFirmwareMarksTheDriveAndAsksXulForItsRestart) {
    for (bool xul : {false, true}) {
        PromptScope prompts;
        prompts.Prompts().SetDefaultAnswer(platform::IDNO);
        drive::CQd qd(0);
        DownloadSite site;
        site.xul = xul;
        CMainDlgCommands commands(qd, site);
        commands.Handle(foundation::kMainDlgFirmwareDownloadMessage, 0, 0);
        EXPECT_EQ(site.calls, (std::vector<std::string>{"close windows", "dialog"}));
        EXPECT_TRUE(qd.FirmwareChanged());
        EXPECT_TRUE(qd.Operations().reconnect);
        ASSERT_EQ(prompts.Prompts().AskedCount(), xul ? 1u : 0u);
        if (xul) {
            EXPECT_EQ(prompts.Prompts().Asked()[0].text, "Do you want to restart Xul with the new firmware?");
        }
    }
}
