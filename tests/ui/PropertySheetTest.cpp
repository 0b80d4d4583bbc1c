#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/app.h>

#include "platform/Prompt.h"
#include "platform/ui/Gui.h"
#include "platform/ui/PropertySheet.h"

using namespace platform::ui;

namespace {

using Log = std::vector<std::string>;

class LoggingPage : public PropertyPage {
  public:
    LoggingPage(int number, Log& log)
        : PropertyPage("Page " + std::to_string(number),
                       {{100 + number, ControlKind::Edit, "", 0, DluRect{7, 7, 80, 12}}}),
          number_(number),
          log_(log) {}
    bool vetoLeave = false;
    bool refuseApply = false;
    bool refuseCancel = false;
    std::string value = "v";

    bool OnSetActive() override { return Log("set"), PropertyPage::OnSetActive(); }
    bool OnKillActive() override {
        Log("kill");
        return !vetoLeave && PropertyPage::OnKillActive();
    }
    bool OnApply() override {
        Log("apply");
        return !refuseApply;
    }
    void OnReset() override { Log("reset"); }
    bool OnQueryCancel() override { return Log("querycancel"), !refuseCancel; }
    void OnHelp() override { Log("help"); }

  protected:
    bool OnInitDialog() override {
        Log("init");
        return PropertyPage::OnInitDialog();
    }
    void DoDataExchange(DataExchange& dx) override { dx.Text(100 + number_, value); }

  private:
    void Log(const char* what) { log_.push_back(std::to_string(number_) + ":" + what); }
    int number_;
    ::Log& log_;
};

class SheetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < 3; ++i) pages.push_back(std::make_unique<LoggingPage>(i, log));
        for (auto& page : pages) sheet.AddPage(page.get());
    }
    Log log;
    std::vector<std::unique_ptr<LoggingPage>> pages;
    PropertySheet sheet{"Setup", PropertySheet::Options{true, true}};
};

TEST_F(SheetTest, PagesAreCreatedWhenFirstShownAndAskedBeforeTheyAreLeft) {
    ASSERT_TRUE(sheet.Create());
    EXPECT_EQ(log, (Log{"0:init", "0:set"}));
    EXPECT_FALSE(pages[1]->IsCreated());
    log.clear();
    ASSERT_TRUE(sheet.SetActivePage(1));
    EXPECT_EQ(log, (Log{"0:kill", "1:init", "1:set"}));
    EXPECT_EQ(sheet.GetActiveIndex(), 1);
    EXPECT_EQ(sheet.GetTabControl()->GetCurSel(), 1);
    EXPECT_TRUE(pages[1]->Wx()->IsShown());
    EXPECT_FALSE(pages[0]->Wx()->IsShown());
    log.clear();
    ASSERT_TRUE(sheet.SetActivePage(0));
    EXPECT_EQ(log, (Log{"1:kill", "0:set"}));
}

TEST_F(SheetTest, PageThatVetoesKeepsTheSheetOnItByCallAndByTabClick) {
    ASSERT_TRUE(sheet.Create());
    pages[0]->vetoLeave = true;
    log.clear();
    EXPECT_FALSE(sheet.SetActivePage(2));
    EXPECT_EQ(sheet.GetActiveIndex(), 0);
    TabCtrl* tab = sheet.GetTabControl();
    const Rect third = tab->GetItemRect(2);
    EXPECT_FALSE(tab->ClickAt({third.left + 3, third.top + 3}));
    EXPECT_EQ(tab->GetCurSel(), 0);
    EXPECT_EQ(sheet.GetActiveIndex(), 0);
    EXPECT_FALSE(pages[2]->IsCreated());
    EXPECT_EQ(log, (Log{"0:kill", "0:kill"}));
    pages[0]->vetoLeave = false;
    EXPECT_TRUE(tab->ClickAt({third.left + 3, third.top + 3}));
    EXPECT_EQ(sheet.GetActiveIndex(), 2);
}

TEST_F(SheetTest, ApplyAsksTheActivePageThenAppliesCreatedPagesInOrder) {
    ASSERT_TRUE(sheet.Create());
    ASSERT_TRUE(sheet.SetActivePage(2));
    EXPECT_FALSE(sheet.IsApplyEnabled());
    pages[2]->SetModified();
    EXPECT_TRUE(sheet.IsApplyEnabled());
    EXPECT_TRUE(sheet.Wx()->FindWindow(PropertySheet::kApplyId)->IsEnabled());
    log.clear();
    ASSERT_TRUE(sheet.PressApply());
    EXPECT_EQ(log, (Log{"2:kill", "0:apply", "2:apply"}));  // page 1 was never created
    EXPECT_FALSE(sheet.IsApplyEnabled());
    EXPECT_FALSE(pages[2]->IsModified());

    pages[0]->refuseApply = true;
    log.clear();
    EXPECT_FALSE(sheet.PressOK());
    EXPECT_TRUE(sheet.IsAlive());
    EXPECT_EQ(sheet.GetActiveIndex(), 0) << "the refusing page is shown";
    EXPECT_EQ(log, (Log{"2:kill", "0:apply", "0:set"}));
}

TEST_F(SheetTest, OkAppliesAndEndsCancelResetsCreatedPagesHelpGoesToActivePage) {
    ASSERT_TRUE(sheet.Create());
    sheet.PressHelp();
    EXPECT_EQ(log.back(), "0:help");
    pages[0]->refuseCancel = true;
    log.clear();
    EXPECT_FALSE(sheet.PressCancel());
    EXPECT_EQ(log, (Log{"0:querycancel"}));
    pages[0]->refuseCancel = false;
    ASSERT_TRUE(sheet.SetActivePage(1));
    log.clear();
    EXPECT_TRUE(sheet.PressCancel());
    EXPECT_EQ(log, (Log{"1:querycancel", "0:reset", "1:reset"}));
    EXPECT_FALSE(sheet.IsAlive());
}

TEST_F(SheetTest, ModalSheetEndsWithOkAfterDataExchange) {
    wxTheApp->CallAfter([&] {
        pages[0]->SetItemText(100, "typed");
        sheet.PressOK();
    });
    EXPECT_EQ(sheet.DoModal(), platform::IDOK);
    EXPECT_EQ(pages[0]->value, "typed");
    EXPECT_EQ(log, (Log{"0:init", "0:set", "0:kill", "0:apply"}));
}

}  // namespace
