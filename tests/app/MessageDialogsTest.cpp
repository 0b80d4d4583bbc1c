// The message and wait dialogs under the display: their codes, the strong box's acknowledgement,
// the details area, and the wait dialog's progress, finish and abort. Each saves a picture.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/statbmp.h>
#include <wx/textctrl.h>

#include "AppTestSupport.h"
#include "app/MessageDialogs.h"
#include "drive/ErrorReport.h"
#include "foundation/MessageIds.h"
#include "platform/Prompt.h"
#include "platform/ui/Gui.h"
#include "platform/ui/Images.h"
#include "platform/ui/WindowPicture.h"
#include "platform/ui/WxPrompts.h"

using namespace app;

namespace {

class MessageDialogs : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetPromptService(&prompts);
        platform::ui::SetResourceFolder(std::filesystem::path(TUNOVA_FIXTURES).parent_path().parent_path() /
                                        "app" / "res");
    }
    void TearDown() override { platform::SetPromptService(nullptr); }
    // Runs the dialog modally; step runs inside it once it is up.
    template <class D, class F>
    int Run(D& dialog, const std::string& picture, F step) {
        wxTheApp->CallAfter([&dialog, picture, step] {
            platform::ui::RunUntil([&] { return dialog.Wx() != nullptr && dialog.Wx()->IsShownOnScreen(); },
                                   5000);
            platform::ui::ProcessPending();
            EXPECT_TRUE(platform::ui::SaveWindowPicture(dialog.Wx(), AppArtifacts() / picture));
            step();
        });
        return dialog.DoModal();
    }
    platform::ScriptedPrompts prompts;
};

TEST(MessageBoxCodes, CodesAndWhatCallersDoWithThem) {
    EXPECT_EQ(MessageBoxCode(platform::IDYES, false), 6);
    EXPECT_EQ(MessageBoxCode(platform::IDYES, true), 7);
    EXPECT_EQ(MessageBoxCode(platform::IDNO, false), 8);
    EXPECT_EQ(MessageBoxCode(platform::IDNO, true), 9);
    EXPECT_EQ(MessageBoxCode(platform::IDOK, false), 4);
    EXPECT_EQ(MessageBoxCode(platform::IDOK, true), 5);
    struct Case {
        int code;
        bool proceed, suppress;
    };
    for (const Case& c : {Case{4, true, false}, Case{5, true, true}, Case{6, true, false},
                          Case{7, true, true}, Case{8, false, false}, Case{9, false, true}}) {
        EXPECT_EQ(InterpretMessageBoxCode(c.code).proceed, c.proceed) << c.code;
        EXPECT_EQ(InterpretMessageBoxCode(c.code).suppress, c.suppress) << c.code;
    }
}

TEST_F(MessageDialogs, MessageBoxButtonsAndTickedCodes) {
    struct Case {
        int buttons;
        bool tick;
        int press;  // a button id, or 0 for Escape
        int expected;
    };
    const Case cases[] = {
        {2, false, platform::IDYES, 6},
        {2, true, platform::IDYES, 7},
        {2, false, platform::IDNO, 8},
        {2, true, platform::IDNO, 9},
        {1, false, platform::IDOK, 4},
        {1, true, platform::IDOK, 5},
        {2, false, 0, 8},
    };
    for (const Case& c : cases) {
        CdlgMessageBox box(c.buttons);
        box.SetMessage("Overwrite the drive's parameters?", "Download parameters", false);
        bool yesShown = false, okShown = false;
        const int result = Run(box, "message_box_" + std::to_string(c.buttons) + ".png", [&] {
            yesShown = box.IsItemShown(platform::IDYES);
            okShown = box.IsItemShown(platform::IDOK);
            if (c.tick) box.ClickItem(IDC_MSG_DONT_SHOW);
            if (c.press != 0)
                box.ClickItem(c.press);
            else
                box.Wx()->Close();
        });
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(yesShown, c.buttons == 2);
        EXPECT_EQ(okShown, c.buttons != 2);
    }
}

TEST_F(MessageDialogs, StrongBoxYesFollowsTheAcknowledgementAndEscapeDoesNothing) {
    CdlgMessageStrong box("Reset to defaults", "Every parameter of the drive returns to its default.",
                          "The motor data is lost too.", 2);
    std::vector<bool> yesEnabled;
    bool openAfterEscape = false;
    int halfHeight = 0, fullHeight = 0;
    const int result = Run(box, "message_strong.png", [&] {
        yesEnabled.push_back(box.IsItemEnabled(platform::IDYES));
        EXPECT_FALSE(box.ClickItem(platform::IDYES)) << "Yes can't be pressed before the box is ticked";
        box.Wx()->Close();
        openAfterEscape = box.IsAlive() && box.IsModal();
        halfHeight = box.Height();
        EXPECT_GT(halfHeight, 0);
        box.ClickItem(IDC_MSG_DETAILS);
        fullHeight = box.Height();
        EXPECT_TRUE(box.IsItemShown(IDC_MSG_DETAILS_TEXT));
        EXPECT_FALSE(box.IsItemEnabled(IDC_MSG_DETAILS));
        box.ClickItem(IDC_MSG_CLOSE_DETAILS);
        EXPECT_TRUE(box.IsItemEnabled(IDC_MSG_DETAILS));
        EXPECT_EQ(box.Height(), halfHeight);
        EXPECT_FALSE(box.IsItemShown(IDC_MSG_DETAILS_TEXT));
        box.ClickItem(IDC_MSG_ACKNOWLEDGE);
        yesEnabled.push_back(box.IsItemEnabled(platform::IDYES));
        box.ClickItem(IDC_MSG_ACKNOWLEDGE);
        yesEnabled.push_back(box.IsItemEnabled(platform::IDYES));
        box.ClickItem(IDC_MSG_ACKNOWLEDGE);
        platform::ui::SaveWindowPicture(box.Wx(), AppArtifacts() / "message_strong_acknowledged.png");
        box.ClickItem(platform::IDYES);
    });
    EXPECT_EQ(result, 6);
    EXPECT_EQ(yesEnabled, (std::vector<bool>{false, true, false}));
    EXPECT_TRUE(openAfterEscape);
    EXPECT_EQ(fullHeight, halfHeight * 2);

    CdlgMessageStrong okBox("Note", "Read this.", "", 1);
    EXPECT_EQ(Run(okBox, "message_strong_ok.png",
                  [&] {
                      EXPECT_FALSE(okBox.IsItemShown(IDC_MSG_ACKNOWLEDGE));
                      okBox.ClickItem(platform::IDOK);
                  }),
              4);
    CdlgMessageStrong noBox("Reset", "Sure?", "", 2);
    EXPECT_EQ(Run(noBox, "message_strong_no.png", [&] { noBox.ClickItem(platform::IDNO); }), 8);
}

TEST(DetailsToggleState, OpensCollapsedAndTwoPressesReturnToIt) {
    DetailsToggle toggle;
    toggle.Measure(160, 100, 220);
    EXPECT_EQ(toggle.Toggle(), 60);  // the initial toggle of the dialog's initialisation
    EXPECT_STREQ(toggle.ButtonText(), "Details");
    EXPECT_EQ(toggle.Toggle(), 220);
    EXPECT_STREQ(toggle.ButtonText(), "Close details");
    EXPECT_EQ(toggle.Toggle(), 60);
    EXPECT_FALSE(toggle.Expanded());
}

TEST_F(MessageDialogs, DetailsDialogTogglesItsArea) {
    CdlgMessageDetails dialog("Go Online", "Some error(s) occurs.",
                              "DriveSave return = 4098; temp file name = x");
    std::vector<std::string> texts;
    std::vector<int> heights;
    const int result = Run(dialog, "message_details.png", [&] {
        // The heights the window is given (the toolkit applies them later).
        auto given = [&] {
            return dialog.Toggle().Expanded() ? dialog.Toggle().FullHeight()
                                              : dialog.Toggle().CollapsedHeight();
        };
        texts.push_back(dialog.GetItemText(IDC_MSG_DETAILS));
        heights.push_back(given());
        EXPECT_FALSE(dialog.IsItemShown(IDC_MSG_DETAILS_TEXT));
        dialog.ClickItem(IDC_MSG_DETAILS);
        texts.push_back(dialog.GetItemText(IDC_MSG_DETAILS));
        heights.push_back(given());
        EXPECT_TRUE(dialog.IsItemShown(IDC_MSG_DETAILS_TEXT));
        dialog.ClickItem(IDC_MSG_DETAILS);
        texts.push_back(dialog.GetItemText(IDC_MSG_DETAILS));
        heights.push_back(given());
        dialog.ClickItem(platform::IDOK);
    });
    EXPECT_EQ(result, platform::IDOK);
    EXPECT_EQ(texts, (std::vector<std::string>{"Details", "Close details", "Details"}));
    EXPECT_LT(heights[0], heights[1]);
    EXPECT_EQ(heights[0], heights[2]);
}

TEST_F(MessageDialogs, MotorChangeQuestionResultsAndImages) {
    struct Case {
        int imageType;
        bool image;
        int press;
        int expected;
    };
    for (const Case& c : {Case{48, true, platform::IDOK, 1}, Case{16, true, IDC_MSG_WRITE_ONLY, 6},
                          Case{64, true, platform::IDCANCEL, 2}, Case{32, false, platform::IDOK, 1}}) {
        CDlgMessageNB dialog;
        dialog.imageType = c.imageType;
        bool shown = false;
        std::string text;
        EXPECT_EQ(Run(dialog, "message_nb_" + std::to_string(c.imageType) + ".png",
                      [&] {
                          shown = dialog.IsItemShown(IDC_MSG_PICTURE);
                          text = dialog.GetItemText(IDC_MSG_TEXT);
                          dialog.ClickItem(c.press);
                      }),
                  c.expected);
        EXPECT_EQ(shown, c.image) << c.imageType;
        EXPECT_NE(text.find("recalculate all parameters"), std::string::npos);
    }
}

TEST_F(MessageDialogs, SafePlcQuestionAndItsHelp) {
    CDlgMsgSafePlc dialog("SYS_CV_STOP_PLC (12)", "The PLC is not in a safe state.");
    std::string title;
    EXPECT_EQ(Run(dialog, "message_safe_plc.png",
                  [&] {
                      title = dialog.GetItemText(IDC_MSG_TITLE_LINE);
                      dialog.ClickItem(platform::IDOK);
                  }),
              1);
    EXPECT_EQ(title, "SYS_CV_STOP_PLC (12)");
    CDlgMsgSafePlc cancel("A (1)", "B");
    EXPECT_EQ(Run(cancel, "message_safe_plc_cancel.png", [&] { cancel.ClickItem(platform::IDCANCEL); }), 2);
}

TEST_F(MessageDialogs, ListSelectKeepsTheChoice) {
    const std::vector<std::string> items{"Motor A", "Motor B", "Motor C"};
    for (int initial : {-1, 1}) {
        CDlgListSelect dialog;
        dialog.items = &items;
        dialog.caption = "Export user motors";
        dialog.prompt = "Choose a motor";
        dialog.selected = initial;
        EXPECT_EQ(Run(dialog, "list_select.png", [&] { dialog.ClickItem(platform::IDOK); }), platform::IDOK);
        EXPECT_EQ(dialog.selected, initial) << "OK takes the list's selection";
    }
}

TEST_F(MessageDialogs, WaitDialogProgressFinishAndAbort) {
    CDlgOp op("Export parameters");
    ASSERT_TRUE(op.Create());
    platform::ui::ProcessPending();
    EXPECT_EQ(op.Wx()->GetLabel().utf8_string(), "Export parameters... please wait");
    EXPECT_EQ(op.GetItemText(IDC_OP_LABEL), "Processing...");
    // A worker's progress arrives as a posted message.
    op.label = "Writing 3 of 4";
    platform::PostMessage(op.Handle(), foundation::kWaitDialogMessage, 75, 0);
    platform::ui::RunUntil([&] { return op.Position() == 75; }, 5000);
    EXPECT_EQ(op.Position(), 75);
    EXPECT_EQ(op.GetItemText(IDC_OP_LABEL), "Writing 3 of 4");
    EXPECT_TRUE(platform::ui::SaveWindowPicture(op.Wx(), AppArtifacts() / "wait_dialog.png"));

    // No to the abort question leaves it running.
    prompts.PushAnswer(platform::IDNO);
    op.ClickItem(platform::IDCANCEL);
    EXPECT_TRUE(op.IsAlive());
    EXPECT_FALSE(op.Ended());
    ASSERT_EQ(prompts.Asked().size(), 1u);
    EXPECT_EQ(prompts.Asked()[0].text, "Abort all pending operations; confirm?");
    EXPECT_EQ(prompts.Asked()[0].caption, "Close");
    // Enter does nothing.
    op.ClickItem(platform::IDOK);
    EXPECT_TRUE(op.IsAlive());

    platform::PostMessage(op.Handle(), foundation::kWaitDialogMessage, 0, 1);
    platform::ui::RunUntil([&] { return op.Ended(); }, 5000);
    EXPECT_EQ(op.EndResult(), platform::IDOK);
    EXPECT_FALSE(op.IsAlive());

    CDlgOp aborted("Import");
    ASSERT_TRUE(aborted.Create());
    prompts.PushAnswer(platform::IDYES);
    aborted.ClickItem(platform::IDCANCEL);
    EXPECT_TRUE(aborted.Ended());
    EXPECT_EQ(aborted.EndResult(), platform::IDCANCEL);
    EXPECT_FALSE(aborted.IsAlive());
}

// The drive object's questions and error reports reach the program's dialogs by their kinds.
TEST_F(MessageDialogs, DriveQuestionsAndReportsReachTheirDialogs) {
    platform::ui::WxPromptService service;
    RegisterMessageDialogs(service);
    platform::SetPromptService(&service);
    // Presses a button of the modal dialog with the given title once it is up.
    auto pressIn = [](const std::string& title, int button, std::string* text) {
        wxTheApp->CallAfter([title, button, text] {
            wxDialog* shown = nullptr;
            platform::ui::RunUntil(
                [&] {
                    for (wxWindow* w : wxTopLevelWindows)
                        if (auto* d = dynamic_cast<wxDialog*>(w); d && d->IsShown() && d->GetTitle() == title)
                            shown = d;
                    return shown != nullptr;
                },
                10000);
            ASSERT_NE(shown, nullptr) << title;
            if (wxWindow* label = shown->FindWindow(IDC_MSG_TEXT)) *text = label->GetLabel().utf8_string();
            if (auto* edit = dynamic_cast<wxTextCtrl*>(shown->FindWindow(IDC_MSG_TEXT)))
                *text = edit->GetValue().utf8_string();
            wxCommandEvent click(wxEVT_BUTTON, button);
            click.SetEventObject(shown->FindWindow(button));
            shown->GetEventHandler()->ProcessEvent(click);
        });
    };
    std::string text;
    pressIn("Parameters", platform::IDNO, &text);
    EXPECT_EQ(platform::Prompts().Custom(
                  drive::kMessageDialogPrompt,
                  {"Save all parameters in permanent memory. Confirm?", "Parameters", "2"}, nullptr),
              kMsgNo);
    EXPECT_EQ(text, "Save all parameters in permanent memory. Confirm?");

    pressIn("Import", platform::IDOK, &text);
    EXPECT_EQ(platform::Prompts().Custom(drive::kMessageDetailsPrompt,
                                         {"Import", "Init procedure write error", "code -303", "2"}, nullptr),
              platform::IDOK);
    EXPECT_EQ(platform::Prompts().Custom("NoSuchDialog", {}, nullptr), platform::IDCANCEL);
    platform::SetPromptService(&prompts);
}

}  // namespace
