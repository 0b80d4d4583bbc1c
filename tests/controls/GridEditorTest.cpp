// The in-place editors, the title tip and the check and combo cells.

#include <gtest/gtest.h>
#include <wx/frame.h>

#include "GridTestSupport.h"
#include "controls/GridCellCheck.h"
#include "controls/GridCellCombo.h"
#include "controls/GridCtrl.h"
#include "controls/GridSysColors.h"
#include "controls/GridWindow.h"
#include "controls/InPlaceEdit.h"
#include "controls/InPlaceList.h"
#include "controls/TitleTip.h"
#include "platform/ui/Gui.h"

using namespace controls;
using namespace gridtest;

namespace {

class EditorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        frame = new wxFrame(nullptr, wxID_ANY, "editors", wxDefaultPosition, wxSize(500, 300));
        frame->Show();
    }
    void TearDown() override {
        frame->Destroy();
        platform::ui::ProcessPending();
    }
    CInPlaceEdit* OpenEdit(const std::string& text, unsigned firstChar) {
        ends.clear();
        return new CInPlaceEdit(frame, {10, 10, 109, 29}, textformat::Left, 8, 3, 4, text, firstChar,
                                [this](const GridDispInfo& info) { ends.push_back(info); });
    }
    CInPlaceList* OpenList(const std::vector<std::string>& options, const std::string& text, int style,
                           unsigned firstChar = vk::LButton) {
        ends.clear();
        return new CInPlaceList(frame, {10, 10, 109, 29}, style, 8, 3, 4, CLR_DEFAULT, CLR_DEFAULT, options,
                                text, firstChar, [this](const GridDispInfo& info) { ends.push_back(info); });
    }

    wxFrame* frame = nullptr;
    std::vector<GridDispInfo> ends;
};

TEST_F(EditorTest, TheFirstCharacterPlacesTheCaret) {
    struct Case {
        const char* what;
        unsigned ch;
        std::string value;
        long selFrom;
        long selTo;
        bool exitOnArrows;
    };
    const std::vector<Case> cases = {
        {"opened by a click", vk::LButton, "hello", 5, 5, false},
        {"Enter", vk::Return, "hello", 5, 5, true},
        {"Tab", vk::Tab, "hello", 0, 5, true},
        {"Space", vk::Space, "hello", 0, 5, true},
        {"Page Down", vk::Next, "hello", 0, 5, true},
        {"an arrow", vk::Left, "hello", 0, 5, true},
        {"Backspace", vk::Back, "hell", 4, 4, true},
        {"a letter", 'x', "x", 1, 1, true},
        {"a letter beyond ASCII", 0xE9, "\xC3\xA9", 1, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CInPlaceEdit* edit = OpenEdit("hello", c.ch);
        EXPECT_EQ(edit->Text(), c.value);
        long from = -1;
        long to = -1;
        edit->GetSelection(&from, &to);
        EXPECT_EQ(from, c.selFrom);
        EXPECT_EQ(to, c.selTo);
        EXPECT_EQ(edit->ExitOnArrows(), c.exitOnArrows);
        edit->EndEdit();
        platform::ui::ProcessPending();
    }
}

TEST_F(EditorTest, EscapeRestoresTheTextAndReportsItsKey) {
    CInPlaceEdit* edit = OpenEdit("initial", vk::LButton);
    edit->SetValue("changed");
    EXPECT_TRUE(edit->HandleKey(vk::Escape, false));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].code, gridnotify::EndLabelEdit);
    EXPECT_EQ(ends[0].item.text, "initial");
    EXPECT_EQ(ends[0].item.data, 27);
    EXPECT_EQ(ends[0].item.row, 3);
    EXPECT_EQ(ends[0].item.col, 4);
    EXPECT_EQ(ends[0].item.mask, itemmask::Text | itemmask::Data);
    edit->EndEdit();
    EXPECT_EQ(ends.size(), 1u) << "an edit ends once";
    EXPECT_FALSE(edit->IsShown());
    platform::ui::ProcessPending();  // deleted here

    CInPlaceEdit* other = OpenEdit("x", 'y');
    EXPECT_TRUE(other->HandleKey(vk::Tab, false));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].item.text, "y");
    EXPECT_EQ(ends[0].item.data, static_cast<intptr_t>(vk::Tab));
    platform::ui::ProcessPending();
}

TEST_F(EditorTest, ArrowsEndAnEditOpenedByTypingButNotOneOpenedByAClick) {
    struct Case {
        unsigned firstChar;
        unsigned key;
        bool control;
        bool ends;
    };
    for (const Case& c : std::vector<Case>{{'a', vk::Down, false, true},
                                           {'a', vk::Prior, false, true},
                                           {'a', vk::Home, false, false},
                                           {vk::LButton, vk::Down, false, false},
                                           {vk::LButton, vk::Left, false, false},
                                           {vk::LButton, vk::Left, true, true}}) {
        SCOPED_TRACE(std::to_string(c.firstChar) + " " + std::to_string(c.key) + (c.control ? " ctrl" : ""));
        CInPlaceEdit* edit = OpenEdit("text", c.firstChar);
        EXPECT_EQ(edit->HandleKey(c.key, c.control), c.ends);
        EXPECT_EQ(ends.size(), c.ends ? 1u : 0u);
        if (c.ends) {
            EXPECT_EQ(ends[0].item.data, static_cast<intptr_t>(c.key));
        }
        edit->EndEdit();
        platform::ui::ProcessPending();
    }
}

TEST_F(EditorTest, TheEditorGrowsWithItsTextUpToTheParentsEdge) {
    CInPlaceEdit* edit = OpenEdit("", vk::LButton);
    const int start = edit->GetSize().x;
    edit->SetValue("a rather longer text than the cell shows at first");
    EXPECT_GT(edit->GetSize().x, start);
    edit->SetValue(std::string(300, 'w'));
    EXPECT_LE(edit->GetPosition().x + edit->GetSize().x, frame->GetClientSize().x);
    edit->EndEdit();
}

TEST_F(EditorTest, ListEditorShowsTextsThatAreNotAmongItsOptions) {
    CInPlaceList* dropDown = OpenList({"alpha", "beta"}, "gamma", CInPlaceList::kDropDown);
    EXPECT_EQ(dropDown->Text(), "gamma");
    EXPECT_EQ(dropDown->GetSelection(), wxNOT_FOUND);
    dropDown->EndEdit();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].item.text, "gamma");
    platform::ui::ProcessPending();

    CInPlaceList* matching = OpenList({"alpha", "beta"}, "beta", CInPlaceList::kDropList);
    EXPECT_EQ(matching->GetSelection(), 1);
    EXPECT_EQ(matching->Text(), "beta");
    EXPECT_TRUE(matching->IsDropList());
    matching->EndEdit();
    platform::ui::ProcessPending();

    CInPlaceList* typed = OpenList({"alpha", "beta"}, "beta", CInPlaceList::kDropDown, 'z');
    EXPECT_EQ(typed->Text(), "z") << "a typed letter replaces the text";
    typed->EndEdit();
    platform::ui::ProcessPending();
}

TEST_F(EditorTest, ListEditorKeys) {
    CInPlaceList* list = OpenList({"alpha", "beta"}, "alpha", CInPlaceList::kDropDown);
    EXPECT_FALSE(list->HandleKey(vk::Down, false, true)) << "a plain arrow moves in the list";
    EXPECT_TRUE(ends.empty());
    list->SetValue("beta");
    EXPECT_TRUE(list->HandleKey(vk::Escape, false, false));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].item.text, "alpha");
    EXPECT_EQ(ends[0].item.data, 27);
    platform::ui::ProcessPending();

    CInPlaceList* other = OpenList({"alpha", "beta"}, "alpha", CInPlaceList::kDropList);
    EXPECT_TRUE(other->HandleKey(vk::Down, true, true));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].item.data, static_cast<intptr_t>(vk::Down));
    platform::ui::ProcessPending();
}

TEST_F(EditorTest, TheDroppedListIsNeverWiderThan200Pixels) {
    struct Case {
        std::vector<int> widths;
        int expected;
    };
    for (const Case& c :
         std::vector<Case>{{{}, 16 + 8}, {{40, 90, 60}, 90 + 16 + 8}, {{176}, 200}, {{500}, 200}}) {
        EXPECT_EQ(CInPlaceList::CorrectDropWidth(c.widths, 16, 8), c.expected);
    }
    CInPlaceList* list = OpenList({"short", std::string(120, 'W')}, "short", CInPlaceList::kDropList);
    EXPECT_EQ(list->GetCorrectDropWidth(), 200);
    list->EndEdit();
    platform::ui::ProcessPending();
    CInPlaceList* narrow = OpenList({"a", "b"}, "a", CInPlaceList::kDropList);
    EXPECT_LT(narrow->GetCorrectDropWidth(), 200);
    narrow->EndEdit();
}

TEST(TitleTip, LinesAreFramedByBlanksAndPressesPairIntoDoubleClicks) {
    EXPECT_EQ(CTitleTip::ShownLines("one\ntwo"), (std::vector<std::string>{" one ", " two "}));
    EXPECT_EQ(CTitleTip::ShownLines(""), (std::vector<std::string>{"  "}));
    CTitleTip tip;
    EXPECT_FALSE(tip.IsDoubleClick(1000));
    EXPECT_TRUE(tip.IsDoubleClick(1200));
    EXPECT_FALSE(tip.IsDoubleClick(1300)) << "a third press starts a new pair";
    EXPECT_FALSE(tip.IsDoubleClick(5000));
}

TEST_F(EditorTest, ADoubleClickOnTheTitleTipReachesTheGridAtTheSamePoint) {
    CGridCtrl grid(5, 5, 1, 1);
    for (int r = 0; r < 5; ++r) grid.SetRowHeight(r, 24);
    ASSERT_TRUE(grid.Create(frame, {0, 0, 480, 280}, 1234));
    GridWindow* window = grid.GetWindow();
    grid.GetCell(2, 2)->SetTipText("a tip that is longer than its cell");
    Rect rect;
    ASSERT_TRUE(grid.GetCellRect(2, 2, rect));
    const Point inside{rect.left + 3, rect.top + 3};
    window->Mouse(wxEVT_MOTION, inside);
    CTitleTip* tip = window->TitleTip();
    ASSERT_NE(tip, nullptr);
    EXPECT_TRUE(tip->IsTimerRunning());
    tip->ShowNow();
    EXPECT_TRUE(tip->IsShown());
    EXPECT_EQ(tip->Text(), "a tip that is longer than its cell");

    // Two presses on the tip, each at the point of the grid under it.
    const wxPoint onTip = tip->ScreenToClient(window->ClientToScreen(wxPoint(inside.x, inside.y)));
    for (int i = 0; i < 2; ++i) {
        for (wxEventType type : {wxEVT_LEFT_DOWN, wxEVT_LEFT_UP}) {
            wxMouseEvent event(type);
            event.SetPosition(onTip);
            event.SetEventObject(tip);
            tip->GetEventHandler()->ProcessEvent(event);
        }
    }
    EXPECT_FALSE(tip->IsShown());
    EXPECT_TRUE(grid.GetCell(2, 2)->IsEditing()) << "a double click on a cell edits it";
    grid.EndEditing();
    platform::ui::ProcessPending();
}

// --- Cell kinds without a display --------------------------------------------------------------

TEST(GridCellKinds, CheckBoxTogglesOnAClickInsideItsSquare) {
    Fixture f(4, 4);
    ASSERT_TRUE(f.grid.SetCellType<CGridCellCheck>(2, 2));
    auto* check = dynamic_cast<CGridCellCheck*>(f.grid.GetCell(2, 2));
    ASSERT_NE(check, nullptr);
    Rect rect;
    ASSERT_TRUE(f.grid.GetCellRect(2, 2, rect));
    const Rect box = check->GetCheckPlacement({rect.left, rect.top, rect.right + 1, rect.bottom + 1});
    EXPECT_EQ(box.Width(), GetSystemMetric(SysMetric::HScrollArrowWidth));
    const Point inBox{box.left + 2, box.top + 2};
    check->OnClick(inBox);
    EXPECT_TRUE(check->GetCheck());
    EXPECT_EQ(f.host.notes.back().code, gridnotify::CheckChanged);
    EXPECT_EQ(f.host.notes.back().row, 2);
    check->OnClick({rect.right - 1, rect.bottom - 1});
    EXPECT_TRUE(check->GetCheck()) << "outside the square nothing changes";
    f.grid.SetEditable(false);
    check->OnClick(inBox);
    EXPECT_TRUE(check->GetCheck());
    f.grid.SetEditable(true);
    check->SetState(check->GetState() | cellstate::ReadOnly);
    check->OnClick(inBox);
    EXPECT_TRUE(check->GetCheck());
    check->SetState(check->GetState() & ~cellstate::ReadOnly);
    f.grid.OnLButtonDown(inBox, mouseflags::LButton);
    f.grid.OnLButtonUp(inBox, 0);
    EXPECT_FALSE(check->GetCheck()) << "the grid's click reaches the cell";
    Rect textRect = rect;
    EXPECT_FALSE(check->GetTextRect(textRect)) << "no title tip for a check cell";
    EXPECT_GE(check->GetCellExtent().cy, box.Height());
}

TEST(GridCellKinds, ComboCellOpensAListEditorWithItsOptions) {
    Fixture f(4, 4);
    ASSERT_TRUE(f.grid.SetCellType<CGridCellCombo>(2, 2));
    auto* combo = dynamic_cast<CGridCellCombo*>(f.grid.GetCell(2, 2));
    combo->SetOptions({"one", "two"});
    combo->SetStyle(CGridCellCombo::kDropList);
    f.grid.SetFocusCell(2, 2);
    f.grid.OnChar('t');
    ASSERT_EQ(f.host.editors.size(), 1u);
    EXPECT_TRUE(f.host.editors[0]->list);
    EXPECT_EQ(f.host.editors[0]->request.options, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(f.host.editors[0]->request.comboStyle, CGridCellCombo::kDropList);
    EXPECT_EQ(f.host.editors[0]->request.firstChar, static_cast<unsigned>('t'));
    EXPECT_TRUE(combo->IsEditing());
    EXPECT_EQ(combo->GetEditWnd(), nullptr) << "a drop-list has no edit field";
    combo->SetStyle(CGridCellCombo::kDropDown);
    EXPECT_EQ(combo->GetEditWnd(), f.host.editors[0].get());
    f.grid.EndEditing();
    EXPECT_EQ(f.host.editors[0]->ends, 1);
    combo->SetOptions({});
    EXPECT_TRUE(combo->GetOptions().empty());
    EXPECT_GE(combo->GetCellExtent().cx, GetSystemMetric(SysMetric::VScrollWidth));
}

}  // namespace
