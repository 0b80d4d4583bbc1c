// The folder dialog driven through the real browser under Xvfb: OK, cancel,
// the initial folder, a folder that vanished, status text and typed names.
#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>
#include <wx/app.h>

#include "ControlsTestSupport.h"
#include "controls/FolderDialog.h"
#include "platform/Prompt.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WindowPicture.h"

namespace fs = std::filesystem;
using controls::CFolderDialog;
using platform::ui::FolderBrowser;

namespace {

// A dialog whose user acts once the browser is up.
class ScriptedDialog : public CFolderDialog {
  public:
    using CFolderDialog::CFolderDialog;
    std::function<void(FolderBrowser&)> user;
    fs::path selectedAtStart;
    std::string statusSeen;
    int validateFailures = 0;

  protected:
    void OnInitialized() override {
        CFolderDialog::OnInitialized();
        selectedAtStart = Browser()->Selection();
        FolderBrowser* browser = Browser();
        // The user acts after the callback, as a person would.
        wxTheApp->CallAfter([this, browser] { user(*browser); });
    }
    void OnSelChanged(const fs::path& folder) override {
        CFolderDialog::OnSelChanged(folder);
        statusSeen = Browser()->StatusText();
    }
    int OnValidateFailed(const std::string& typed) override {
        ++validateFailures;
        return CFolderDialog::OnValidateFailed(typed);
    }
};

class FolderDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("tunova-folders-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "target" / "inner");
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path root;
};

TEST_F(FolderDialog, OkGivesTheSelectedFolder) {
    ScriptedDialog dialog("Select destination folder", root / "target");
    dialog.user = [](FolderBrowser& b) { b.Choose(); };
    EXPECT_EQ(dialog.DoModal(), platform::IDOK);
    EXPECT_EQ(dialog.selectedAtStart, root / "target");
    EXPECT_EQ(dialog.GetFolderPath(), root / "target");
    EXPECT_EQ(dialog.DisplayName(), "target");
}

TEST_F(FolderDialog, CancelLeavesTheChosenPathAlone) {
    ScriptedDialog dialog("Select destination folder", root / "target");
    dialog.user = [](FolderBrowser& b) { b.Choose(); };
    ASSERT_EQ(dialog.DoModal(), platform::IDOK);
    dialog.SetInitialPath(root / "target" / "inner");
    dialog.user = [](FolderBrowser& b) { b.Cancel(); };
    EXPECT_EQ(dialog.DoModal(), platform::IDCANCEL);
    EXPECT_EQ(dialog.GetFolderPath(), root / "target");
}

TEST_F(FolderDialog, AMissingInitialFolderKeepsTheDefaultSelection) {
    ScriptedDialog dialog("Select destination folder", root / "no such folder");
    dialog.user = [](FolderBrowser& b) { b.Cancel(); };
    EXPECT_EQ(dialog.DoModal(), platform::IDCANCEL);
    EXPECT_EQ(dialog.selectedAtStart, fs::path("/"));
}

TEST_F(FolderDialog, AFolderGoneBeforeOkHasNoPath) {
    ScriptedDialog dialog("Select destination folder", root / "target" / "inner");
    dialog.user = [this](FolderBrowser& b) {
        fs::remove_all(root / "target" / "inner");
        b.Choose();
    };
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_TRUE(dialog.GetFolderPath().empty());
}

TEST_F(FolderDialog, StatusTextFollowsTheSelection) {
    ScriptedDialog dialog("Select destination folder", {},
                          platform::ui::browse::ReturnOnlyFsDirs | platform::ui::browse::StatusText);
    dialog.user = [this](FolderBrowser& b) {
        b.SetSelection(root / "target");
        b.Choose();
    };
    EXPECT_EQ(dialog.DoModal(), platform::IDOK);
    EXPECT_EQ(dialog.statusSeen, (root / "target").string());
}

TEST_F(FolderDialog, ATypedNameThatIsNoFolderKeepsTheBrowserOpen) {
    ScriptedDialog dialog("Select destination folder", root / "target",
                          platform::ui::browse::ReturnOnlyFsDirs | platform::ui::browse::EditBox |
                              platform::ui::browse::Validate);
    dialog.user = [](FolderBrowser& b) {
        b.SetEditText("not there");
        b.Choose();  // refused: still open
        EXPECT_TRUE(b.IsModal());
        b.SetEditText("inner");
        b.Choose();
    };
    EXPECT_EQ(dialog.DoModal(), platform::IDOK);
    EXPECT_EQ(dialog.validateFailures, 1);
    EXPECT_EQ(dialog.GetFolderPath(), root / "target" / "inner");
}

TEST_F(FolderDialog, ScreenshotOfTheBrowser) {
    ScriptedDialog dialog("Select destination folder", root / "target",
                          platform::ui::browse::ReturnOnlyFsDirs | platform::ui::browse::StatusText);
    dialog.user = [](FolderBrowser& b) {
        platform::ui::ProcessPending();
        EXPECT_TRUE(platform::ui::SaveWindowPicture(&b, ControlArtifacts() / "folderdialog.png"));
        b.Cancel();
    };
    EXPECT_EQ(dialog.DoModal(), platform::IDCANCEL);
    EXPECT_TRUE(fs::exists(ControlArtifacts() / "folderdialog.png"));
}

}  // namespace
