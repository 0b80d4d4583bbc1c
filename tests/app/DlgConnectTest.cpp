// The connect dialog's record per connection kind, its refusals, and the reconnect prompts.
#include <fstream>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/event.h>
#include <wx/textctrl.h>
#include <wx/window.h>

#include "AppTestSupport.h"
#include "app/DlgConnectDrive.h"
#include "app/DlgConnectOnline.h"
#include "app/DlgConnectRetry.h"
#include "foundation/Authorizations.h"
#include "platform/Prompt.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WindowPicture.h"

using namespace app;
namespace ck = drive::connection_kind;

namespace {

drive::_CHANNELINFO Port(uint32_t index, const std::string& name, uint16_t kind, uint8_t updated = 1) {
    drive::_CHANNELINFO port;
    port.index = index;
    port.SetName(name);
    port.type = kind;
    port.flag = updated;
    port.present = 1;
    return port;
}

ConnectFields Typed() {
    ConnectFields f;
    f.pcTimeout = "1500";
    f.baudRate = "115200";
    f.nodeId = "7";
    f.subnetId = "3";
    f.timeout = "2500";
    f.netId = "5.1.2.3.1.1";
    f.address = "192.0.2.10";
    f.subnetType = 4;
    return f;
}

TEST(ConnectRequest, EachKindFillsItsOwnFields) {
    struct Case {
        uint16_t kind;
        std::function<void(const ConnectionRequest&)> check;
    };
    const Case cases[] = {
        {ck::kSerial,
         [](const ConnectionRequest& r) {
             EXPECT_EQ(r.timeout, 1500);
             EXPECT_EQ(r.baudRate, 115200u);
             EXPECT_EQ(r.firstNode, 7);
             EXPECT_EQ(r.lastNode, 7);
             EXPECT_EQ(r.bcAddress, 0u);
         }},
        {ck::kLibrary,
         [](const ConnectionRequest& r) {
             EXPECT_EQ(r.bridgeAddress, 0xC000020Au);
             EXPECT_EQ(r.bridgeSubnet, 4);
             EXPECT_EQ(r.bridgeSubnetId, 3);
             EXPECT_EQ(r.bridgeNodeId, 7);
             EXPECT_EQ(r.timeout, 1000);  // not shown for this kind: kept
         }},
        {ck::kBridge,
         [](const ConnectionRequest& r) {
             EXPECT_EQ(r.bcAddress, 0xC000020Au);
             EXPECT_EQ(r.bcSubnet, 4);
             EXPECT_EQ(r.bcSubnetId, 3);
             EXPECT_EQ(r.bcNodeId, 7);
             EXPECT_EQ(r.bcTimeout, 2500u);
         }},
        {ck::kTwinCat,
         [](const ConnectionRequest& r) {
             EXPECT_EQ(r.bcNodeId, 7);
             EXPECT_EQ(r.timeout, 1500);
             EXPECT_EQ(r.bcTimeout, 1500u);
             EXPECT_EQ(r.amsNetId, (std::array<uint8_t, 6>{5, 1, 2, 3, 1, 1}));
         }},
        {ck::kBox,
         [](const ConnectionRequest& r) {
             EXPECT_EQ(r.bcAddress, 0xC000020Au);
             EXPECT_EQ(r.firstNode, 7);
             EXPECT_EQ(r.bcTimeout, 1500u);
             EXPECT_EQ(r.timeout, 1500);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        ConnectionRequest record;
        record.flags = 3;
        const ConnectStore store = StoreConnect(Port(4, "PORT", c.kind), Typed(), record);
        ASSERT_TRUE(store.ok) << store.message;
        EXPECT_EQ(record.channelType, c.kind);
        EXPECT_EQ(record.channelName, "PORT");
        EXPECT_EQ(record.channelIndex, 4u);
        EXPECT_EQ(record.flags, 1);  // bit 1 cleared
        c.check(record);
        // What is shown again for the kind is what was stored.
        const ConnectFields shown = FieldsFromRecord(c.kind, record);
        ConnectionRequest again = record;
        EXPECT_TRUE(StoreFields(c.kind, shown, again).ok);
    }
}

TEST(ConnectRequest, ValuesThatDoNotFitTheirFieldsAreRefusedAndNothingIsStored) {
    struct Case {
        uint16_t kind;
        std::function<void(ConnectFields&)> edit;
        int focus;
    };
    const Case cases[] = {
        {ck::kTwinCat, [](ConnectFields& f) { f.netId = "5.1.2.3.1"; }, IDC_CONNECT_NETID},
        {ck::kTwinCat, [](ConnectFields& f) { f.netId = "5.1.2.300.1.1"; }, IDC_CONNECT_NETID},
        {ck::kTwinCat, [](ConnectFields& f) { f.netId = "5.1.2.-3.1.1"; }, IDC_CONNECT_NETID},
        {ck::kSerial, [](ConnectFields& f) { f.pcTimeout = "70000"; }, IDC_CONNECT_PC_TIMEOUT},
        {ck::kSerial, [](ConnectFields& f) { f.pcTimeout = "0"; }, IDC_CONNECT_PC_TIMEOUT},
        {ck::kSerial, [](ConnectFields& f) { f.nodeId = "300"; }, IDC_CONNECT_NODE},
        {ck::kBox, [](ConnectFields& f) { f.nodeId = "256"; }, IDC_CONNECT_NODE},
        {ck::kLibrary, [](ConnectFields& f) { f.nodeId = "65536"; }, IDC_CONNECT_NODE},
        {ck::kBridge, [](ConnectFields& f) { f.subnetId = "256"; }, IDC_CONNECT_SUBNET_ID},
        {ck::kBridge, [](ConnectFields& f) { f.address = "192.0.2.256"; }, IDC_CONNECT_ADDRESS},
        {ck::kBox, [](ConnectFields& f) { f.address = "10.1"; }, IDC_CONNECT_ADDRESS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.focus);
        ConnectFields fields = Typed();
        c.edit(fields);
        ConnectionRequest record;
        const ConnectionRequest before = record;
        const ConnectStore store = StoreConnect(Port(0, "PORT", c.kind), fields, record);
        EXPECT_FALSE(store.ok);
        EXPECT_EQ(store.focus, c.focus);
        EXPECT_FALSE(store.message.empty());
        EXPECT_EQ(record.channelName, before.channelName);
        EXPECT_EQ(record.timeout, before.timeout);
        EXPECT_EQ(record.firstNode, before.firstNode);
        EXPECT_EQ(record.amsNetId, before.amsNetId);
    }
    ConnectFields five = Typed();
    five.netId = "1.2.3.4.5";
    ConnectionRequest record;
    const ConnectStore store = StoreConnect(Port(0, "ADS", ck::kTwinCat), five, record);
    EXPECT_EQ(store.message, "The AmsNetId must be in the format 0.0.0.0.0.0");
    EXPECT_EQ(store.caption, "Wrong address");
}

TEST(ConnectRequest, SelectGoesOnToTheBridgeOrTwinCatScan) {
    ConnectionRequest record;
    ConnectStore store;
    EXPECT_EQ(StoreSelect(Port(2, "BRIDGE", ck::kBridge), Typed(), record, store), kConnectResultBridgeScan);
    EXPECT_EQ(record.bcAddress, 0xC000020Au);
    EXPECT_EQ(record.bcTimeout, 2500u);
    EXPECT_EQ(StoreSelect(Port(3, "ADS", ck::kTwinCat), Typed(), record, store), kConnectResultTwinCatScan);
    EXPECT_EQ(record.amsNetId, (std::array<uint8_t, 6>{5, 1, 2, 3, 1, 1}));
    EXPECT_EQ(record.channelType, ck::kTwinCat);
    ConnectFields bad = Typed();
    bad.netId = "1.2.3";
    EXPECT_EQ(StoreSelect(Port(3, "ADS", ck::kTwinCat), bad, record, store), 0);
    EXPECT_EQ(store.caption, "Wrong AmsNetId");
    EXPECT_EQ(StoreSelect(Port(1, "COM1", ck::kSerial), Typed(), record, store), 0);
}

TEST(ConnectRequest, DebugPortNoteAndOfflineConnect) {
    struct Case {
        uint16_t kind;
        const char* node;
        bool shown;
    };
    for (const Case& c : {Case{ck::kSerial, "2", true}, Case{ck::kSerial, "1", false},
                          Case{ck::kBox, "5", true}, Case{ck::kBox, "1", false}, Case{ck::kSerial, "", true},
                          Case{ck::kLibrary, "2", false}, Case{ck::kTwinCat, "9", false}}) {
        EXPECT_EQ(DebugNoteShown(c.kind, c.node), c.shown) << c.kind << " " << c.node;
    }
    EXPECT_FALSE(OfflineConnectEnabled(false, ""));
    EXPECT_TRUE(OfflineConnectEnabled(true, ""));
    EXPECT_TRUE(OfflineConnectEnabled(false, "Simulated servo drive Ver.3"));
    // Each kind shows its own controls and no other kind's.
    EXPECT_TRUE(KindControls(ck::kOffline).empty());
    EXPECT_TRUE(KindControls(9).empty());
    const auto serial = KindControls(ck::kSerial);
    EXPECT_NE(std::find(serial.begin(), serial.end(), IDC_CONNECT_BAUD), serial.end());
    EXPECT_EQ(std::find(serial.begin(), serial.end(), IDC_CONNECT_ADDRESS), serial.end());
    EXPECT_EQ(ConnectHelpTopic("OFFLINE", 0), "Tarvik.chm::/ID_PAR_Offline.html");
    EXPECT_EQ(ConnectHelpTopic("linkora", 2), "Olmeda.chm::/index.html");
    EXPECT_EQ(ConnectHelpTopic("COM1", 1), "Tarvik.chm::/ID_SEZ_PelmoraRS232.html");
}

class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::SetPromptService(&prompts); }
    void TearDown() override { platform::SetPromptService(nullptr); }

    template <class D, class F>
    int RunModal(D& dialog, const std::string& picture, F step) {
        wxTheApp->CallAfter([&dialog, picture, step] {
            platform::ui::RunUntil([&] { return dialog.Wx() != nullptr && dialog.Wx()->IsShownOnScreen(); },
                                   5000);
            platform::ui::ProcessPending();
            if (!picture.empty()) {
                EXPECT_TRUE(platform::ui::SaveWindowPicture(dialog.Wx(), AppArtifacts() / picture));
            }
            step();
            platform::ui::ProcessPending();
            if (dialog.IsModal()) dialog.EndDialog(platform::IDCANCEL);
        });
        return dialog.DoModal();
    }
    platform::ScriptedPrompts prompts;
};

TEST_F(DialogTest, ConnectDialogShowsOneKindAndConnects) {
    const std::vector<drive::_CHANNELINFO> ports = {
        Port(0, "COM1", ck::kSerial), Port(1, "BRIDGE", ck::kBridge, 0), Port(2, "OFFLINE", ck::kOffline)};
    ConnectionRequest record;
    record.channelName = "COM1";
    record.firstNode = 1;
    CdlgConnectDrive dialog(ports, record);
    bool noteAtOne = true, noteAtTwo = false, addressShown = true;
    std::string portText;
    const int result = RunModal(dialog, "connect_drive_serial.png", [&] {
        portText = dialog.GetItemText(IDC_CONNECT_PORT);
        noteAtOne = dialog.IsItemShown(IDC_CONNECT_NOTE);
        addressShown = dialog.IsItemShown(IDC_CONNECT_ADDRESS);
        dialog.ItemAs<wxTextCtrl>(IDC_CONNECT_NODE)->SetValue("2");  // as typed
        platform::ui::ProcessPending();
        noteAtTwo = dialog.IsItemShown(IDC_CONNECT_NOTE);
        dialog.ClickItem(IDC_CONNECT_CONNECT);
    });
    EXPECT_EQ(result, platform::IDOK);
    EXPECT_EQ(portText, "COM1");
    EXPECT_FALSE(noteAtOne);
    EXPECT_TRUE(noteAtTwo);
    EXPECT_FALSE(addressShown);
    EXPECT_EQ(record.firstNode, 2);
    EXPECT_EQ(record.channelType, ck::kSerial);
}

TEST_F(DialogTest, OfflineEntryConnectsOnlyWithAValidParametersFile) {
    const std::vector<drive::_CHANNELINFO> ports = {Port(0, "COM1", ck::kSerial),
                                                    Port(2, "OFFLINE", ck::kOffline)};
    ConnectionRequest record;
    record.channelName = "OFFLINE";
    CdlgConnectDrive dialog(ports, record);
    const auto folder =
        std::filesystem::temp_directory_path() / ("tunova-connect-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "bad.xml") << "<NotParameters/>";
    std::ofstream(folder / "good.xml") << "<PARAMETERS Version=\"2\"><DEVICE Descr=\"Simulated servo drive\" "
                                          "Hw=\"12\" SwRev=\"2\" Type=\"1234\"/>"
                                          "</PARAMETERS>";
    bool enabledAtStart = true, enabledAfterBad = true, enabledAfterGood = false;
    std::string button;
    const int result = RunModal(dialog, "connect_drive_offline.png", [&] {
        button = dialog.GetItemText(IDC_CONNECT_CONNECT);
        enabledAtStart = dialog.IsItemEnabled(IDC_CONNECT_CONNECT);
        EXPECT_FALSE(dialog.ChooseParametersFile((folder / "bad.xml").string()));
        enabledAfterBad = dialog.IsItemEnabled(IDC_CONNECT_CONNECT);
        EXPECT_TRUE(dialog.ChooseParametersFile((folder / "good.xml").string()));
        enabledAfterGood = dialog.IsItemEnabled(IDC_CONNECT_CONNECT);
        dialog.ClickItem(IDC_CONNECT_CONNECT);
    });
    std::filesystem::remove_all(folder);
    EXPECT_EQ(button, "Go offline");
    EXPECT_FALSE(enabledAtStart);
    EXPECT_FALSE(enabledAfterBad);
    EXPECT_TRUE(enabledAfterGood);
    EXPECT_EQ(result, platform::IDOK);
    EXPECT_EQ(record.channelType, ck::kOffline);
    EXPECT_TRUE(record.userParamFile);
    ASSERT_EQ(prompts.AskedCount(), 1u);
    EXPECT_EQ(prompts.Asked()[0].text, "Selected file is not a valid parameters file");
}

TEST_F(DialogTest, ConnectDialogRefusesAShortNetIdAndStaysOpen) {
    const std::vector<drive::_CHANNELINFO> ports = {Port(5, "ADS", ck::kTwinCat)};
    ConnectionRequest record;
    record.channelName = "ADS";
    CdlgConnectDrive dialog(ports, record);
    bool stillOpen = false;
    RunModal(dialog, "", [&] {
        dialog.SetItemText(IDC_CONNECT_NETID, "1.2.3.4.5");
        dialog.ClickItem(IDC_CONNECT_CONNECT);
        stillOpen = dialog.IsModal();
    });
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(prompts.AskedCount(), 1u);
    EXPECT_EQ(prompts.Asked()[0].text, kAmsNetIdFormat);
}

TEST_F(DialogTest, CloseAsksAndLeavesWithEight) {
    ConnectionRequest record;
    CdlgConnectDrive dialog({Port(0, "COM1", ck::kSerial)}, record);
    prompts.PushAnswer(platform::IDNO);
    prompts.PushAnswer(platform::IDYES);
    bool openAfterNo = false;
    const int result = RunModal(dialog, "", [&] {
        dialog.ClickItem(IDC_CONNECT_CLOSE);
        openAfterNo = dialog.IsModal();
        dialog.ClickItem(IDC_CONNECT_CLOSE);
    });
    EXPECT_TRUE(openAfterNo);
    EXPECT_EQ(result, kConnectResultExit);
    EXPECT_EQ(prompts.Asked()[0].text, "Exit program!");
}

TEST_F(DialogTest, RetryDialogResultsAndTheRetryFlag) {
    struct Case {
        bool allowRetry;
        int button;
        int result;
    };
    for (const Case& c :
         {Case{true, IDC_RETRY_RETRY, kRetryRetry}, Case{false, IDC_RETRY_RETRY, platform::IDCANCEL},
          Case{false, IDC_RETRY_OFFLINE, kRetryOffline}, Case{true, IDC_RETRY_RECONNECT, kRetryReconnect}}) {
        CDlgConnectRetry dialog(c.allowRetry);
        bool retryEnabled = !c.allowRetry;
        const int result =
            RunModal(dialog, c.allowRetry && c.button == IDC_RETRY_RETRY ? "connect_retry.png" : "", [&] {
                retryEnabled = dialog.IsItemEnabled(IDC_RETRY_RETRY);
                dialog.ClickItem(c.button);
            });
        EXPECT_EQ(retryEnabled, c.allowRetry);
        EXPECT_EQ(result, c.result) << c.button;
    }
    CDlgConnectRetry dialog(false);
    prompts.PushAnswer(platform::IDNO);
    prompts.PushAnswer(platform::IDYES);
    const int result = RunModal(dialog, "", [&] {
        dialog.ClickItem(IDC_RETRY_CLOSE);
        EXPECT_TRUE(dialog.IsModal());
        dialog.ClickItem(IDC_RETRY_CLOSE);
    });
    EXPECT_EQ(result, kRetryClose);
    EXPECT_STREQ(RetryHelpTopic(1), "Tarvik.chm::/ch08s06.html");
}

TEST_F(DialogTest, AskReconnectAnswersOneToFour) {
    int answer = 0;
    wxTheApp->CallAfter([] {
        platform::ui::RunUntil(
            [] {
                for (wxWindow* w : wxTopLevelWindows)
                    if (w->IsShownOnScreen() && w->GetLabel() == "Target disconnected") return true;
                return false;
            },
            5000);
        for (wxWindow* w : wxTopLevelWindows) {
            if (w->GetLabel() != "Target disconnected") continue;
            if (auto* button = w->FindWindow(IDC_RETRY_RECONNECT)) {
                wxCommandEvent click(wxEVT_BUTTON, IDC_RETRY_RECONNECT);
                click.SetEventObject(button);
                button->GetEventHandler()->ProcessEvent(click);
            }
        }
    });
    answer = AskReconnect(nullptr, true);
    EXPECT_EQ(answer, kRetryReconnect);
}

TEST_F(DialogTest, OnlineDialogResults) {
    const std::pair<int, int> cases[] = {{IDC_ONLINE_NEW, kOnlineNewConnection},
                                         {IDC_ONLINE_RETURN, kOnlineReturn},
                                         {platform::IDCANCEL, platform::IDCANCEL}};
    for (const auto& [button, expected] : cases) {
        CDlgConnectOnline dialog;
        const int id = button;
        const int result = RunModal(dialog, id == IDC_ONLINE_NEW ? "connect_online.png" : "",
                                    [&dialog, id] { dialog.ClickItem(id); });
        EXPECT_EQ(result, expected);
    }
}

}  // namespace

namespace {

TEST_F(DialogTest, AccessLevelGestureAndAChosenDevice) {
    const std::vector<drive::_CHANNELINFO> ports = {Port(0, "COM1", ck::kSerial),
                                                    Port(2, "OFFLINE", ck::kOffline)};
    ConnectionRequest record;
    record.channelName = "OFFLINE";
    CdlgConnectDrive dialog(ports, record);
    foundation::CAuthorizations& users = foundation::GetAuthorizations();
    const std::string before = users.GetRequestedUser();
    std::vector<std::string> levels;
    bool connectEnabled = false;
    std::string deviceText;
    const int result = RunModal(dialog, "connect_drive_device.png", [&] {
        // Not armed: a right click changes nothing.
        levels.push_back(dialog.OnGestureRightClick());
        // Armed by a double click on the dialog, then a key, then a right click.
        for (int key : {static_cast<int>('f'), static_cast<int>('I'), static_cast<int>('x'), 0}) {
            wxMouseEvent dbl(wxEVT_LEFT_DCLICK);
            dbl.SetEventObject(dialog.Wx());
            dialog.Wx()->GetEventHandler()->ProcessEvent(dbl);
            if (key != 0) dialog.OnGestureKey(key);
            levels.push_back(dialog.OnGestureRightClick());
        }
        // An invalid choice is told; a device enables Connect.
        foundation::CIdentity identity;
        EXPECT_FALSE(dialog.ChooseDevice("", 0, 0, 0, 0, identity));
        EXPECT_TRUE(dialog.ChooseDevice("Simulated servo drive", 12, 1234, 2, 0, identity));
        connectEnabled = dialog.IsItemEnabled(IDC_CONNECT_CONNECT);
        deviceText = dialog.GetItemText(IDC_CONNECT_DEVICE);
        dialog.ClickItem(IDC_CONNECT_CONNECT);
    });
    EXPECT_EQ(levels, (std::vector<std::string>{"", "factory", "integrator", "user", "user"}));
    EXPECT_EQ(users.GetRequestedUser(), "user");
    EXPECT_TRUE(connectEnabled);
    EXPECT_EQ(deviceText, "Simulated servo drive");
    EXPECT_EQ(result, platform::IDOK);
    EXPECT_EQ(record.hw, 12u);
    EXPECT_EQ(record.sw, 1234u);
    EXPECT_FALSE(record.userParamFile);
    ASSERT_GE(prompts.AskedCount(), 1u);
    EXPECT_EQ(prompts.Asked()[0].text, "Invalid device selected");
    users.SetUser(before.empty() ? "integrator" : before);
}

}  // namespace
