// The main frame under the display: it opens where the placement says, runs its connect
// sequence into the device menu with the "Main" tab and the message bar, routes its commands,
// refuses a tab change while an edit is pending, and stores its placement on close.
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/toolbar.h>

#include "AppTestSupport.h"
#include "app/CommStatusDlg.h"
#include "app/HelpTopics.h"
#include "app/MainFrame.h"
#include "app/Startup.h"
#include "controls/SizingControlBar.h"
#include "drive/Qd.h"
#include "engine/Main.h"
#include "foundation/MessageIds.h"
#include "foundation/XmlDocument.h"
#include "platform/Prompt.h"
#include "platform/ui/Gui.h"
#include "platform/ui/Images.h"
#include "platform/ui/WindowPicture.h"
#include "tests/drive/DriveObjectTestSupport.h"

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
    void TearDown() override {
        platform::SetPromptService(nullptr);
        Program().goOnline.clear();
        Program().qzPath.clear();
    }

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

    // Without a drive the menu rules leave only a few commands on: tests of the routing let every
    // command through.
    static void AllowEveryCommand(CMainFrame& frame) {
        frame.Drive()->Host().CommandStates()->clear();
        frame.Drive()->Host().RefreshMenuState();
    }

    TempRegistry store{"frame"};
    platform::ScriptedPrompts prompts;
};

TEST_F(MainFrameTest, OpensWithDeviceMenuMainTabAndMessageBarThenStoresItsPlacement) {
    auto frame = Open();
    wxFrame* wx = frame->GetFrame();
    EXPECT_TRUE(frame->Placement().defaultSizeUsed);
    EXPECT_EQ(wx->GetSize(), wxSize(996, 501));
    EXPECT_EQ(wx->GetTitle(), "Tunova - NO DRIVE CONNECTED")
        << "the drive object's title after a connect without a drive";
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

    // View output hides the bar and checks its item off (the menu rules keep it off without a
    // drive: the test lets it through).
    EXPECT_FALSE(frame->IsCommandEnabled(ID_VIEW_OUTPUT)) << "no drive open";
    (*frame->Drive()->Host().CommandStates())[ID_VIEW_OUTPUT] = 0;
    frame->Drive()->Host().RefreshMenuState();
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
    AllowEveryCommand(*frame);
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

TEST_F(MainFrameTest, CommStatusOpensOnlyForADriveBehindTheBridgeAndGoesWithTheFrame) {
    auto frame = Open();
    AllowEveryCommand(*frame);
    // No bridge channel: nothing opens.
    EXPECT_TRUE(frame->Command(ID_COMM_STATUS));
    platform::ui::ProcessPending();
    EXPECT_EQ(frame->CommStatusWindow(), nullptr);

    drive::CQdsWnd& connection = frame->Drive()->ConnectionWindow();
    if (connection.Engine() == nullptr) {
        ASSERT_EQ(connection.CreateEngine(), 0);
    }
    engine::CMain& engine = *connection.Engine();
    engine::CChannelInfo info;
    engine.CreateChannels(info);
    const int channel = engine.AddChannel("Bridge", engine::channel_type::kBridge, "");
    ASSERT_GE(channel, 0);
    engine.SetCurrentChannel(channel);
    EXPECT_TRUE(frame->Command(ID_COMM_STATUS));
    platform::ui::ProcessPending();
    ASSERT_NE(frame->CommStatusWindow(), nullptr);
    EXPECT_TRUE(frame->CommStatusWindow()->Wx()->IsShown());
    // Asked again, the same window comes forward.
    CCommStatusDlg* first = frame->CommStatusWindow();
    EXPECT_TRUE(frame->Command(ID_COMM_STATUS));
    EXPECT_EQ(frame->CommStatusWindow(), first);
    // It reads the engine's bridge manager: the frame's close takes it away before the engine.
    Close(*frame);
    EXPECT_EQ(frame->CommStatusWindow(), nullptr);
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

TEST_F(MainFrameTest, OwnsTheDriveObjectAndIsItsHost) {
    Program().goOnline = "com9:rate 9600";
    auto frame = Open();
    drive::CQd* qd = frame->Drive();
    ASSERT_NE(qd, nullptr);
    EXPECT_EQ(qd->OwnerWindow(), frame->Handle());
    drive::CQdHost& host = qd->Host();
    EXPECT_EQ(&host, static_cast<drive::CQdHost*>(frame.get()));
    EXPECT_TRUE(Program().goOnline.empty()) << "the go-online string went to the drive object";
    EXPECT_TRUE(qd->ConnectionWindow().PendingConnectionString().empty()) << "and the connection used it";
    EXPECT_EQ(host.FirstMessageNumber(), 0x70u);
    EXPECT_EQ(host.SecondMessageNumber(), 0x71u);
    EXPECT_EQ(host.CommandStates(), frame->CommandStates());
    EXPECT_EQ(host.ShownPage(), drive::CFramePage::MainDialog);
    EXPECT_EQ(host.PageWindow(drive::CFramePage::MainDialog), frame->MainView().Handle());
    EXPECT_EQ(host.PageWindow(drive::CFramePage::Oscilloscope), 0u);
    EXPECT_FALSE(host.ScopeSheetOpen());
    host.SetFrameTitle("Tunova - drive 1");
    EXPECT_EQ(frame->GetFrame()->GetTitle(), "Tunova - drive 1");
    host.SetStatusText(0, "Ready");
    EXPECT_EQ(frame->GetStatusText(0), "Ready");
    // Not connected: the gesture has no engine to ask.
    EXPECT_FALSE(qd->IsConnected());
    EXPECT_EQ(frame->ConnectionEngine(), nullptr);
    // Nothing opens while the program has no oscilloscope window.
    EXPECT_FALSE(frame->OpenOscilloscope(true, 0, false));
    EXPECT_TRUE(frame->Command(ID_TUNING));
    EXPECT_TRUE(frame->IsAlive());
    Close(*frame);
}

TEST_F(MainFrameTest, CommandStateMapDisablesMenusToolsAndTheCommands) {
    auto frame = Open();
    int options = 0;
    frame->MainView().OnMessageId(foundation::kMainDlgOptionsMessage, [&](uintptr_t, intptr_t) -> intptr_t {
        ++options;
        return 0;
    });
    std::map<uint32_t, uint32_t>& states = *frame->Drive()->Host().CommandStates();
    states[ID_OPTIONS] = kCommandDisabled;
    states[ID_NEW_CONNECTION] = kCommandDisabled;
    states[ID_VIEW_OUTPUT] = 0;
    states.erase(ID_SOFT_RESET);
    frame->Drive()->Host().RefreshMenuState();
    EXPECT_FALSE(frame->IsCommandEnabled(ID_OPTIONS));
    EXPECT_FALSE(frame->IsCommandEnabled(ID_NEW_CONNECTION));
    EXPECT_FALSE(frame->GetFrame()->GetToolBar()->GetToolEnabled(frame->WxIdOf(ID_NEW_CONNECTION)))
        << "the tool follows the map too";
    EXPECT_TRUE(frame->IsCommandEnabled(ID_SOFT_RESET)) << "a command the map does not name is enabled";
    EXPECT_TRUE(frame->IsCommandChecked(ID_VIEW_OUTPUT)) << "the output item's mark is the frame's";
    frame->Command(ID_OPTIONS);
    frame->Command(ID_NEW_CONNECTION);
    platform::ui::ProcessPending();
    EXPECT_EQ(options, 0);
    EXPECT_EQ(prompts.AskedCount(), 0u) << "a disabled new connection asks nothing";

    states.erase(ID_OPTIONS);
    frame->UpdateMenuState();
    EXPECT_TRUE(frame->IsCommandEnabled(ID_OPTIONS));
    frame->Command(ID_OPTIONS);
    platform::ui::RunUntil([&] { return options == 1; }, 5000);
    EXPECT_EQ(options, 1);
    Close(*frame);
}

TEST_F(MainFrameTest, MainPageFactoryGivesTheMainTabAfterEveryConnection) {
    int made = 0;
    std::vector<std::unique_ptr<platform::ui::Window>> pages;
    std::vector<unsigned> seen;
    auto frame = std::make_unique<CMainFrame>(*store.registry, Rect::FromXYWH(0, 0, 1280, 1024));
    frame->SetMainPageFactory([&](wxWindow* parent) -> wxWindow* {
        ++made;
        auto page = std::make_unique<platform::ui::Window>();
        page->Attach(new wxPanel(parent, wxID_ANY));
        page->OnMessageId(foundation::kMainDlgOptionsMessage, [&seen](uintptr_t, intptr_t) -> intptr_t {
            seen.push_back(foundation::kMainDlgOptionsMessage);
            return 0;
        });
        pages.push_back(std::move(page));
        return pages.back()->Wx();
    });
    ASSERT_TRUE(frame->CreateFrame());
    platform::ui::RunUntil([&] { return made == 1 && frame->GetFrame()->GetMenuBar() != nullptr; }, 5000);
    ASSERT_EQ(made, 1);
    AllowEveryCommand(*frame);
    EXPECT_EQ(frame->MainPage(), pages[0]->Wx());
    EXPECT_EQ(frame->View()->Tabs()->Page(0), pages[0]->Wx());
    EXPECT_FALSE(frame->MainView().IsAlive()) << "no empty view beside the main page";
    EXPECT_EQ(frame->Drive()->Host().PageWindow(drive::CFramePage::MainDialog), pages[0]->Handle());
    frame->Command(ID_OPTIONS);
    platform::ui::RunUntil([&] { return seen.size() == 1; }, 5000);
    EXPECT_EQ(seen.size(), 1u);

    // A new connection closes the page with the tool windows and makes a new one.
    prompts.PushAnswer(platform::IDOK);
    frame->Command(ID_NEW_CONNECTION);
    platform::ui::RunUntil([&] { return made == 2; }, 5000);
    EXPECT_EQ(made, 2);
    EXPECT_FALSE(pages[0]->IsAlive());
    EXPECT_EQ(frame->MainPage(), pages[1]->Wx());
    Close(*frame);
}

TEST_F(MainFrameTest, MessageBarLayoutIsStoredAndReset) {
    auto frame = Open();
    EXPECT_EQ(frame->BarLayout().side, 59422u);
    EXPECT_EQ(frame->BarLayout().width, 560);
    EXPECT_EQ(frame->BarLayout().height, 150);
    frame->Drive()->Host().StoreMessageBarPlacement();
    EXPECT_EQ(frame->BarLayout().side, 59422u);
    EXPECT_EQ(frame->BarLayout().height, frame->MessageBar()->GetSize().y);
    // Reset output bar puts the defaults back and docks the bar at the bottom, shown.
    EXPECT_TRUE(frame->Command(ID_RESET_OUTPUT_BAR));
    EXPECT_EQ(frame->BarLayout().height, 150);
    EXPECT_EQ(frame->MessageBar()->DockBarId(), controls::CSizingControlBar::kDockBottom);
    EXPECT_TRUE(frame->MessageBar()->IsShown());
    Close(*frame);
}

TEST_F(MainFrameTest, LockKeysShowInTheStatusBar) {
    auto frame = Open();
    bool caps = false;
    frame->SetLockKeyReader(
        [&caps](LockKey key) { return key == LockKey::Num || (key == LockKey::Caps && caps); });
    EXPECT_EQ(frame->GetStatusText(4), "");
    EXPECT_EQ(frame->GetStatusText(5), "NUM");
    EXPECT_EQ(frame->GetStatusText(6), "");
    caps = true;
    platform::ui::RunUntil([&] { return frame->GetStatusText(4) == "CAP"; }, 5000);
    EXPECT_EQ(frame->GetStatusText(4), "CAP") << "the panes follow the keys";
    Close(*frame);
}

TEST_F(MainFrameTest, HelpKeyOpensTheContextHelp) {
    std::vector<std::string> opened;
    SetHelpOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    auto frame = Open();
    EXPECT_TRUE(frame->Command(ID_HELP));
    platform::ui::RunUntil([&] { return !opened.empty() || prompts.AskedCount() != 0; }, 5000);
    ASSERT_EQ(opened.size(), 1u) << "the key goes on as the context help command";
    EXPECT_NE(opened[0].find("ID_SECT_Mappa.html"), std::string::npos) << opened[0];
    Close(*frame);
}

TEST_F(MainFrameTest, PeerFileWithoutStartupInformationEndsTheProgram) {
    Program().qzPath = (store.dir / "plant.xml").string();
    auto frame = std::make_unique<CMainFrame>(*store.registry, Rect::FromXYWH(0, 0, 1280, 1024));
    ASSERT_TRUE(frame->CreateFrame());
    EXPECT_TRUE(Program().qzPath.empty()) << "the drive side took the peer file";
    EXPECT_TRUE(frame->DriveLink()->IsFileMode());
    platform::ui::RunUntil([&] { return !frame->IsAlive(); }, 5000);
    EXPECT_FALSE(frame->IsAlive());
    ASSERT_GE(prompts.AskedCount(), 1u);
    EXPECT_EQ(prompts.Asked()[0].text, "Load configuration string failed");
    EXPECT_EQ(prompts.Asked()[0].caption, "Pelmora integrated: ");
    EXPECT_EQ(prompts.AskedCount(), 1u) << "nothing to save on the way out";
    EXPECT_FALSE(std::filesystem::exists(store.dir / "plant.Qz.xml"));
}

TEST_F(MainFrameTest, PeerFileStartsIntegratedAndAsksToSaveOnClose) {
    std::ofstream(store.dir / "plant.xml")
        << "<DEFINITIONS><D code=\"17\"><![CDATA[<STARTUP><NODE_INFO HardwareCode=\"5\" ProductCode=\"7\" "
           "ProducVersion=\"100\" Title=\"Plant 1\"/><PARAM_FILE Filename=\"drive.par\" Create=\"1\"/>"
           "<DEFINITIONS/></STARTUP>]]></D><D code=\"21\"><![CDATA[<CONFIG/>]]></D></DEFINITIONS>";
    Program().qzPath = (store.dir / "plant.xml").string();
    auto frame = Open();
    EXPECT_TRUE(frame->DriveLink()->IsIntegrated());
    // The integrated start itself says nothing; the offline connect with the peer's product tells
    // that the program has no configuration file for it.
    ASSERT_EQ(prompts.AskedCount(), 1u);
    EXPECT_EQ(prompts.Asked()[0].caption, "Configuration file not found");
    EXPECT_NE(prompts.Asked()[0].text.find("'7 v. 100'"), std::string::npos) << prompts.Asked()[0].text;
    prompts.Clear();
    EXPECT_NE(frame->View()->Tabs(), nullptr);
    // Closing asks about the new parameters file; No keeps the peer's files as they are.
    prompts.PushAnswer(platform::IDNO);
    Close(*frame);
    ASSERT_EQ(prompts.AskedCount(), 1u);
    EXPECT_EQ(prompts.Asked()[0].text, "Do you want to save the modified configuration?");
    EXPECT_EQ(prompts.Asked()[0].caption, "Pelmora: Tunova");
    EXPECT_FALSE(std::filesystem::exists(store.dir / "plant.Qz.xml"));
}

// The peer tool names the simulated drive: the program starts offline from its product with the
// programmable drive's menus, returns offline on "New connection", and on close deletes the
// temporary parameters file and writes the peer's parameters file.
TEST_F(MainFrameTest, PeerFileOfAKnownDriveConnectsOfflineAndSavesTheParametersFileOnClose) {
    drivetest::DriveTree tree;
    std::ofstream(store.dir / "plant.xml")
        << "<DEFINITIONS><D code=\"17\"><![CDATA[<STARTUP><NODE_INFO HardwareCode=\"12\" "
           "ProductCode=\"1234\" "
           "ProducVersion=\"0\" Title=\"Axis 7\"/><PARAM_FILE Filename=\"drive.xml\" Create=\"1\"/>"
           "<DEFINITIONS/></STARTUP>]]></D><D code=\"21\"><![CDATA[<CONFIG/>]]></D></DEFINITIONS>";
    Program().qzPath = (store.dir / "plant.xml").string();
    auto frame = Open();
    wxFrame* wx = frame->GetFrame();
    ASSERT_TRUE(frame->Drive()->IsConnected()) << frame->Drive()->ConnectionWindow().LastMessage();
    EXPECT_TRUE(frame->Drive()->IsOffline());
    EXPECT_EQ(wx->GetTitle(), "Tunova -  O F F L I N E - Simulated servo drive");
    EXPECT_EQ(frame->Family(), DeviceFamily::Drive);
    EXPECT_TRUE(frame->Programmable());
    EXPECT_NE(wx->GetMenuBar()->FindMenu("Program"), wxNOT_FOUND) << "a programmable drive";
    EXPECT_EQ(prompts.AskedCount(), 0u);

    // Offline for the peer tool, "New connection" offers to return offline.
    AllowEveryCommand(*frame);
    prompts.PushAnswer(platform::IDYES);
    EXPECT_TRUE(frame->Command(ID_NEW_CONNECTION));
    ASSERT_GE(prompts.AskedCount(), 1u);
    EXPECT_EQ(prompts.Asked()[0].text, "Would you like to return offline into Simulated servo drive ?");
    EXPECT_FALSE(frame->Drive()->IsConnected()) << "closed for the restart";
    platform::ui::RunUntil([&] { return frame->Drive()->IsConnected(); }, 10000);
    ASSERT_TRUE(frame->Drive()->IsConnected());
    EXPECT_TRUE(frame->Drive()->IsOffline());
    EXPECT_FALSE(frame->Drive()->HostSession().askedOnline);

    // The peer's save request writes the peer's own parameters file.
    platform::PostMessage(frame->Handle(), foundation::kMainDlgSaveParamFileForHostMessage, 0, 0);
    platform::ui::RunUntil([&] { return std::filesystem::exists(store.dir / "drive.xml"); }, 10000);
    ASSERT_TRUE(std::filesystem::exists(store.dir / "drive.xml"));
    EXPECT_FALSE(frame->Drive()->PeerLink().m_paramFileChanged);
    std::filesystem::remove(store.dir / "drive.xml");
    frame->Drive()->PeerLink().m_paramFileChanged = true;

    std::string temp;
    frame->Drive()->GetTempParamFileName(temp);
    std::ofstream(temp) << "<DEVICE_PARAMETER/>";
    prompts.Clear();
    prompts.PushAnswer(platform::IDYES);
    Close(*frame);
    ASSERT_EQ(prompts.AskedCount(), 1u);
    EXPECT_EQ(prompts.Asked()[0].text, "Do you want to save the modified configuration?");
    EXPECT_EQ(prompts.Asked()[0].caption, "Pelmora: Simulated servo drive");
    EXPECT_FALSE(std::filesystem::exists(temp)) << "the temporary parameters file goes with the session";
    foundation::CXmlDocument saved;
    ASSERT_EQ(saved.Load(store.dir / "drive.xml"), foundation::S_OK)
        << "the peer's parameters file is written";
    EXPECT_EQ(saved.Root().Name(), "DEVICE_PARAMETER");
    const foundation::CXmlNode* device = saved.Root().FindNode("DEVICE");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->GetAttribute("Hw"), "12");
    EXPECT_EQ(device->GetAttribute("Type"), "1234");
}

TEST(GoOnlineExport, ErrorTextNamesTheCodeAndTheFile) {
    struct Case {
        int code;
        const char* meaning;
    };
    const Case cases[] = {{4097, "0x1001: Load file error"},
                          {4112, "0x1010: Upload error"},
                          {4117, "0x1015: Operation has been canceled by user or some error(s) occurs"},
                          {7, "0x7: no further details"}};
    for (const Case& c : cases) {
        const std::string text = GoOnlineExportErrorText(c.code, "Drive A", "/tmp/x_paramtmp.xml");
        EXPECT_EQ(
            text.rfind("Some error(s) occurs. Configuration parameters may be not valid for Drive A.", 0),
            0u);
        EXPECT_NE(text.find(std::string("error n.") + c.meaning), std::string::npos) << text;
        EXPECT_NE(text.find("DriveSave return = " + std::to_string(c.code) +
                            "; temp file name = /tmp/x_paramtmp.xml"),
                  std::string::npos)
            << text;
    }
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
