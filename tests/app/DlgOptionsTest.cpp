// The options dialog: its tabs by drive, the custom units page's rows and editing state, the
// checks of a custom unit, and the write that waits for the oscilloscope to close.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/textctrl.h>

#include "AppTestSupport.h"
#include "app/DlgOptions.h"
#include "drive/Qd.h"
#include "drive/UnitConversion.h"
#include "platform/Prompt.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WindowPicture.h"

using namespace app;

namespace {

TEST(CustomUnitInputTest, RefusesMultipliersAndDecimalsOutOfRange) {
    struct Case {
        const char* multiplier;
        const char* decimals;
        bool accepted;
    } cases[] = {
        {"2.5", "3", true},   {" 0.001 ", "0", true}, {"1", "9", true},    {"0", "2", false},
        {"-1.5", "2", false}, {"", "2", false},       {"abc", "2", false}, {"1e999", "2", false},
        {"nan", "2", false},  {"1", "10", false},     {"1", "-1", false},  {"1", "", false},
        {"1", "2.5", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.multiplier) + " / " + c.decimals);
        CustomUnitInput out;
        std::string error;
        EXPECT_EQ(ParseCustomUnit(" mm ", c.multiplier, c.decimals, out, error), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(out.name, "mm");
            EXPECT_GT(out.multiplier, 0.0);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
}

class DlgOptionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetPromptService(&prompts);
        qd.State().className = "servo";
    }
    void TearDown() override { platform::SetPromptService(nullptr); }

    template <class F>
    void RunModal(CdlgOptions& dialog, const std::string& picture, F step) {
        wxTheApp->CallAfter([&dialog, picture, step] {
            platform::ui::RunUntil([&] { return dialog.Wx() != nullptr && dialog.Wx()->IsShownOnScreen(); },
                                   5000);
            platform::ui::ProcessPending();
            step();
            platform::ui::ProcessPending();
            if (!picture.empty()) {
                // The page just shown paints first.
                dialog.Wx()->Refresh();
                dialog.Wx()->Update();
                platform::ui::RunUntil([] { return false; }, 300);
                EXPECT_TRUE(platform::ui::SaveWindowPicture(dialog.Wx(), AppArtifacts() / picture));
            }
            if (dialog.IsModal()) dialog.EndDialog(platform::IDCANCEL);
        });
        dialog.DoModal();
    }
    platform::ScriptedPrompts prompts;
    drive::CQd qd{0};
};

TEST_F(DlgOptionsTest, BridgeTabOnlyOnTheLibraryChannel) {
    struct Case {
        uint16_t channel;
        const char* className;
        std::vector<std::string> tabs;
    } cases[] = {
        {drive::connection_kind::kSerial, "servo", {"General options", "Custom units"}},
        {5, "servo", {"General options", "Custom units", "Bridge"}},
        {5, "supply", {"General options", "Bridge"}},
        {drive::connection_kind::kBox, "kwz", {"General options"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.channel) + " " + c.className);
        qd.ConnectionWindow().Record().channelType = c.channel;
        qd.State().className = c.className;
        int flag = 1;
        CdlgOptions dialog(qd, {}, &flag);
        std::vector<std::string> tabs;
        bool generalFirst = false;
        const bool bridge = c.tabs.back() == "Bridge";
        RunModal(dialog, bridge && c.tabs.size() == 3 ? "options_bridge.png" : "", [&] {
            tabs = dialog.TabTexts();
            generalFirst = dialog.GeneralShown();
            if (bridge) {
                dialog.SelectTab("Bridge");
                dialog.Bridge()->ClickItem(IDC_BRIDGE_SDO);
            }
        });
        EXPECT_EQ(tabs, c.tabs);
        EXPECT_TRUE(generalFirst);
        // The page's choice goes back to the drive side when the dialog closes.
        EXPECT_EQ(flag, bridge ? 0 : 1);
    }
}

TEST_F(DlgOptionsTest, CustomRowsEditingAndWrite) {
    qd.Units().Custom(drive::CUnitConversion::kPosition).name = "mm";
    bool scopeShown = false;
    CdlgOptions dialog(qd, [&] { return scopeShown; });
    struct Seen {
        bool positionNameEnabled = true, velocityNameEnabled = false;
        bool writeShownBefore = true, writeShownAfter = false, tabEnabled = true, closeEnabled = true;
        bool refusedScope = true, stillEditingAfterScope = false;
        bool refusedMultiplier = true, stillEditingAfterMultiplier = false;
        bool written = false, browsingAfterWrite = false, tabEnabledAfterWrite = false;
        std::string topicUnits, topicGeneral;
    } seen;
    RunModal(dialog, "options_custom_units.png", [&] {
        CdlgCustomUnits* units = dialog.CustomUnits();
        ASSERT_NE(units, nullptr);
        seen.topicGeneral = dialog.HelpTopic();
        dialog.SelectTab("Custom units");
        seen.topicUnits = dialog.HelpTopic();
        // Neither row is custom at first: the custom edits are disabled.
        seen.writeShownBefore = units->IsItemShown(IDC_UNITS_WRITE);
        units->SelectCode(1, drive::CUnitConversion::kCustomCode);
        units->SelectCode(0, 0);
        seen.positionNameEnabled = units->IsItemEnabled(IDC_UNITS_NAME_FIRST + 0);
        seen.velocityNameEnabled = units->IsItemEnabled(IDC_UNITS_NAME_FIRST + 1);
        seen.writeShownAfter = units->IsItemShown(IDC_UNITS_WRITE);
        seen.tabEnabled = dialog.IsItemEnabled(IDC_OPTIONS_TAB);
        seen.closeEnabled = dialog.IsItemEnabled(IDC_OPTIONS_CLOSE);
        units->SetItemText(IDC_UNITS_NAME_FIRST + 1, "mm/s");
        units->SetItemText(IDC_UNITS_MULTIPLIER_FIRST + 1, "0");
        units->SetItemText(IDC_UNITS_DECIMALS_FIRST + 1, "2");
        // The oscilloscope is up: nothing changes and the page keeps editing.
        scopeShown = true;
        seen.refusedScope = !units->Write();
        seen.stillEditingAfterScope = units->Editing();
        scopeShown = false;
        seen.refusedMultiplier = !units->Write();
        seen.stillEditingAfterMultiplier = units->Editing();
        units->SetItemText(IDC_UNITS_MULTIPLIER_FIRST + 1, "2.5");
        seen.written = units->Write();
        seen.browsingAfterWrite = !units->Editing() && !units->IsItemShown(IDC_UNITS_WRITE);
        seen.tabEnabledAfterWrite = dialog.IsItemEnabled(IDC_OPTIONS_TAB);
    });
    EXPECT_FALSE(seen.writeShownBefore);
    EXPECT_FALSE(seen.positionNameEnabled);
    EXPECT_TRUE(seen.velocityNameEnabled);
    EXPECT_TRUE(seen.writeShownAfter);
    EXPECT_FALSE(seen.tabEnabled);
    EXPECT_FALSE(seen.closeEnabled);
    EXPECT_TRUE(seen.refusedScope);
    EXPECT_TRUE(seen.stillEditingAfterScope);
    EXPECT_TRUE(seen.refusedMultiplier);
    EXPECT_TRUE(seen.stillEditingAfterMultiplier);
    EXPECT_TRUE(seen.written);
    EXPECT_TRUE(seen.browsingAfterWrite);
    EXPECT_TRUE(seen.tabEnabledAfterWrite);
    EXPECT_EQ(seen.topicGeneral, "Tunova.chm::/ID_PAR_Opzioni.html");
    EXPECT_EQ(seen.topicUnits, "Tunova.chm::/ID_SECT_Qds_Variabili.html");
    const auto asked = prompts.Asked();
    ASSERT_GE(asked.size(), 2u);
    EXPECT_EQ(asked[0].text, "Please close the Oscilloscope and retry");
    EXPECT_NE(asked[1].text.find("multiplier"), std::string::npos);
    // Only the accepted write reached the converter.
    const drive::CUnitConversion& units = qd.Units();
    EXPECT_EQ(units.SelectedCode(drive::CUnitConversion::kVelocity), drive::CUnitConversion::kCustomCode);
    EXPECT_EQ(units.Custom(drive::CUnitConversion::kVelocity).name, "mm/s");
    EXPECT_DOUBLE_EQ(units.Custom(drive::CUnitConversion::kVelocity).factor, 2.5);
    EXPECT_EQ(units.Custom(drive::CUnitConversion::kVelocity).decimals, 2);
    EXPECT_EQ(units.SelectedLabel(drive::CUnitConversion::kVelocity), "mm/s");
}

}  // namespace
