// The main frame under the display: it opens where the placement says, runs its connect
// sequence into the device menu with the "Main" tab and the message bar, routes its commands,
// refuses a tab change while an edit is pending, and stores its placement on close.
#include <string>

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/toolbar.h>

#include "AppTestSupport.h"
#include "app/MainFrame.h"
#include "app/Startup.h"
#include "controls/SizingControlBar.h"
#include "engine/Main.h"
#include "foundation/MessageIds.h"
#include "platform/Prompt.h"
#include "platform/ui/Gui.h"
#include "platform/ui/Images.h"
#include "platform/ui/WindowPicture.h"

using namespace app;
using platform::ui::Rect;

namespace {

class MainFrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetPromptService(&prompts);
        platform::ui::SetResourceFolder(std::filesystem::path(TUNOVA_FIXTURES).parent_path().parent_path() /
                                        "app" / "res");
        Program().resetGui = false;
    }
    void TearDown() override { platform::SetPromptService(nullptr); }

    // Creates the frame and lets its connect sequence run.
    std::unique_ptr<CMainFrame> Open() {
        auto frame = std::make_unique<CMainFrame>(*store.registry, Rect::FromXYWH(0, 0, 1280, 1024));
        EXPECT_TRUE(frame->CreateFrame());
        platform::ui::RunUntil(
            [&] {
                return frame->GetFrame()->GetMenuBar() != nullptr && frame->GetFrame()->IsShownOnScreen();
            },
            5000);
        platform::ui::ProcessPending();
        return frame;
    }
    void Close(CMainFrame& frame) {
        frame.GetFrame()->Close();
        platform::ui::RunUntil([&] { return !frame.IsAlive(); }, 5000);
        platform::ui::ProcessPending();
    }

    TempRegistry store{"frame"};
    platform::ScriptedPrompts prompts;
};

TEST_F(MainFrameTest, OpensWithDeviceMenuMainTabAndMessageBarThenStoresItsPlacement) {
    auto frame = Open();
    wxFrame* wx = frame->GetFrame();
    EXPECT_TRUE(frame->Placement().defaultSizeUsed);
    EXPECT_EQ(wx->GetSize(), wxSize(996, 501));
    EXPECT_EQ(wx->GetTitle(), "Tunova");
    ASSERT_NE(wx->GetMenuBar(), nullptr);
    EXPECT_EQ(wx->GetMenuBar()->GetMenuLabelText(0), "File");
    EXPECT_EQ(wx->GetMenuBar()->FindMenu("Program"), wxNOT_FOUND) << "not a programmable drive";
    EXPECT_NE(wx->GetMenuBar()->FindMenu("Help"), wxNOT_FOUND);
    ASSERT_NE(wx->GetToolBar(), nullptr);
    EXPECT_TRUE(frame->IsCommandEnabled(ID_NEW_CONNECTION));
    ASSERT_NE(frame->View()->Tabs(), nullptr);
    EXPECT_EQ(frame->View()->Tabs()->GetItemCount(), 1);
    EXPECT_EQ(frame->View()->Tabs()->GetItemText(0), "Main");
    ASSERT_NE(frame->MessageBar(), nullptr);
    EXPECT_TRUE(frame->MessageBar()->IsShown());
    EXPECT_EQ(frame->MessageBar()->GetId(), IDC_MESSAGE_BAR);
    EXPECT_TRUE(platform::ui::SaveWindowPicture(wx, AppArtifacts() / "main_frame.png"));

    // The editor's caret in the line and column pane.
    EXPECT_EQ(frame->LineColumnText(), "");
    frame->SetCaretPosition(12, 7);
    EXPECT_EQ(frame->GetStatusText(3), " Ln 12, Col 7");
    frame->SetCaretPosition(-1, 0);
    EXPECT_EQ(frame->GetStatusText(3), "");

    // View output hides the bar and checks its item off.
    EXPECT_TRUE(frame->Command(ID_VIEW_OUTPUT));
    EXPECT_FALSE(frame->outputBarVisible);
    EXPECT_FALSE(frame->IsCommandChecked(ID_VIEW_OUTPUT));
    EXPECT_FALSE(frame->MessageBar()->IsShown());

    wx->SetSize(50, 70, 900, 650);
    platform::ui::ProcessPending();
    Close(*frame);
    controls::RegistryBarProfile profile(*store.registry, "SOFTWARE\\Varno\\Tunova");
    EXPECT_EQ(profile.GetInt("Aspect", "Width", 0), 900);
    EXPECT_EQ(profile.GetInt("Aspect", "Height", 0), 650);
    EXPECT_EQ(profile.GetInt("Aspect", "ShowCmd", 0), kShowNormal);

    // The next frame opens where this one closed.
    auto again = Open();
    EXPECT_FALSE(again->Placement().defaultSizeUsed);
    EXPECT_EQ(again->GetFrame()->GetSize(), wxSize(900, 650));
    Close(*again);
}

TEST_F(MainFrameTest, CommandsReachTheMainViewOrAskFirst) {
    auto frame = Open();
    std::vector<std::pair<unsigned, uintptr_t>> seen;
    for (unsigned message : {foundation::kMainDlgResetMessage, foundation::kMainDlgOptionsMessage}) {
        frame->MainView().OnMessageId(message, [&seen, message](uintptr_t w, intptr_t) -> intptr_t {
            seen.emplace_back(message, w);
            return 1;
        });
    }
    EXPECT_TRUE(frame->Command(ID_SOFT_RESET));
    EXPECT_TRUE(frame->Command(ID_OPTIONS));
    platform::ui::RunUntil([&] { return seen.size() == 2; }, 5000);
    EXPECT_EQ(seen,
              (std::vector<std::pair<unsigned, uintptr_t>>{{foundation::kMainDlgResetMessage, ID_SOFT_RESET},
                                                           {foundation::kMainDlgOptionsMessage, 0}}));

    // New connection asks; Cancel keeps everything as it is.
    prompts.PushAnswer(platform::IDCANCEL);
    EXPECT_TRUE(frame->Command(ID_NEW_CONNECTION));
    ASSERT_EQ(prompts.Asked().size(), 1u);
    EXPECT_EQ(prompts.Asked()[0].text,
              "Would you like to make a new connection?\r\nThe actual configuration will be lost.");
    EXPECT_EQ(frame->View()->Tabs()->GetItemCount(), 1);
    // OK runs the sequence again: the main tab comes back.
    prompts.PushAnswer(platform::IDOK);
    EXPECT_TRUE(frame->Command(ID_NEW_CONNECTION));
    platform::ui::RunUntil([&] { return frame->MainView().IsAlive(); }, 5000);
    EXPECT_EQ(frame->View()->Tabs()->GetItemCount(), 1);
    Close(*frame);
}

TEST_F(MainFrameTest, PendingEditRefusesAnotherPage) {
    auto frame = Open();
    CMyTabCtrl* tabs = frame->View()->Tabs();
    auto* second = new wxPanel(tabs);
    tabs->Setup(frame.get(), {{"Main", frame->MainView().Wx()}, {"Program", second}});
    ASSERT_EQ(tabs->GetCurSel(), 0);
    frame->pending = 3;
    tabs->ClickAt({tabs->GetItemRect(1).left + 4, tabs->GetItemRect(1).top + 4});
    EXPECT_EQ(tabs->GetCurSel(), 0);
    ASSERT_EQ(prompts.Asked().size(), 1u);
    EXPECT_EQ(prompts.Asked()[0].text, "Please write or cancel data before of change page.");
    EXPECT_EQ(prompts.Asked()[0].caption, "Changed data");
    frame->pending = -1;
    tabs->ClickAt({tabs->GetItemRect(1).left + 4, tabs->GetItemRect(1).top + 4});
    EXPECT_EQ(tabs->GetCurSel(), 1);
    EXPECT_TRUE(second->IsShown());
    EXPECT_FALSE(frame->MainView().Wx()->IsShown());
    Close(*frame);
}

TEST_F(MainFrameTest, CloseRequestPostedFromAnotherThreadClosesTheFrame) {
    auto frame = Open();
    const platform::WindowHandle handle = frame->Handle();
    std::thread([handle] { platform::PostMessage(handle, platform::ui::WM_CLOSE, 0, 0); }).join();
    platform::ui::RunUntil([&] { return !frame->IsAlive(); }, 5000);
    EXPECT_FALSE(frame->IsAlive());
    EXPECT_TRUE(store.registry->KeyExists(platform::Scope::User, "SOFTWARE\\Varno\\Tunova\\Aspect"));
}

TEST_F(MainFrameTest, ResetGuiIgnoresTheStoredPlacement) {
    controls::RegistryBarProfile profile(*store.registry, "SOFTWARE\\Varno\\Tunova");
    for (const char* entry : {"X", "Y"}) profile.WriteInt("Aspect", entry, 300);
    profile.WriteInt("Aspect", "Width", 700);
    profile.WriteInt("Aspect", "Height", 400);
    Program().resetGui = true;
    auto frame = Open();
    EXPECT_TRUE(frame->Placement().defaultSizeUsed);
    EXPECT_EQ(frame->GetFrame()->GetSize(), wxSize(996, 501));
    Program().resetGui = false;
    Close(*frame);
}

TEST(DiagnosticGesture, SkippedWithoutAConnectionWindow) {
    EXPECT_FALSE(RunDiagnosticGesture(nullptr, true, false));
    EXPECT_FALSE(RunDiagnosticGesture(nullptr, true, true));
    engine::CMain engine(0);
    EXPECT_FALSE(RunDiagnosticGesture(&engine, false, true)) << "Ctrl is part of the gesture";
    EXPECT_TRUE(RunDiagnosticGesture(&engine, true, false));
    EXPECT_TRUE(RunDiagnosticGesture(&engine, true, true));
}

}  // namespace
