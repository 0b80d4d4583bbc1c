// The colour picker and its palette under Xvfb: the messages its holder gets
// at every step, the boxes marked as chosen, keys and the custom colour dialog.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/panel.h>

#include "ControlsTestSupport.h"
#include "controls/ColourPicker.h"
#include "controls/ColourPopup.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Gui.h"
#include "platform/ui/Shading.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowPicture.h"

using controls::CColourPicker;
using controls::CColourPopup;
using platform::COLORREF;

namespace {

struct Sent {
    unsigned msg;
    COLORREF colour;
    intptr_t id;
    bool operator==(const Sent&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Sent& s) {
    return out << "{" << s.msg << ", 0x" << std::hex << s.colour << std::dec << ", " << s.id << "}";
}

constexpr int kPickerId = 1300;
constexpr COLORREF kRed = 0x0000FF;
constexpr COLORREF kGold = platform::RGB(255, 215, 0);

class Picker : public ::testing::Test {
  protected:
    void SetUp() override {
        frame = new wxFrame(nullptr, wxID_ANY, "colours");
        frame->SetClientSize(300, 200);
        holder.Attach(frame);
        for (unsigned msg = CColourPicker::kSelChange; msg <= CColourPicker::kSelEndCancel; ++msg)
            holder.OnMessageId(msg, [this, msg](uintptr_t colour, intptr_t id) {
                sent.push_back({msg, static_cast<COLORREF>(colour), id});
                return 0;
            });
        auto* panel = new wxPanel(frame);  // a frame would stretch its only child
        picker = new CColourPicker();
        ASSERT_TRUE(picker->Create(panel, kPickerId, {10, 10, 110, 30}, holder.Handle()));
        frame->Show();
        platform::ui::ProcessPending();
        face = platform::ui::SysColor(platform::ui::SysColour::BtnFace);
    }
    void TearDown() override {
        frame->Destroy();
        platform::ui::ProcessPending();
    }
    CColourPopup* Open() {
        sent.clear();
        picker->Click();
        EXPECT_TRUE(picker->IsPopupOpen());
        return picker->Popup();
    }
    Sent Msg(unsigned msg, COLORREF colour) const { return {msg, colour, kPickerId}; }

    wxFrame* frame = nullptr;
    platform::ui::Window holder;
    CColourPicker* picker = nullptr;
    std::vector<Sent> sent;
    COLORREF face = 0;
};

TEST(ColourPopupTable, FortyNamedColoursEightToARow) {
    const auto& table = CColourPopup::Table();
    EXPECT_EQ(table.size(), 40u);
    EXPECT_STREQ(table[0].name, "Black");
    EXPECT_STREQ(table[35].name, "Pale green ") << "the name keeps its trailing blank";
    EXPECT_EQ(table[9].colour, platform::RGB(255, 104, 32));
    EXPECT_EQ(CColourPopup::IndexOf(kGold), 25);
    EXPECT_EQ(CColourPopup::IndexOf(0xFFFFFF), 39);
    EXPECT_EQ(CColourPopup::IndexOf(0x123456), CColourPopup::kNoBox);
    EXPECT_EQ(CColourPopup::kRows, 5);
}

TEST(ColourPopupLayout, TextBoxesAboveAndBelowTheGrid) {
    const int m = 2;
    const auto plain = CColourPopup::ComputeLayout({}, {}, m);
    EXPECT_EQ(plain.window, (platform::ui::Size{8 * 18 + 4, 5 * 18 + 4}));
    EXPECT_EQ(plain.grid, (platform::ui::Point{2, 2}));

    const auto both = CColourPopup::ComputeLayout({60, 13}, {90, 15}, m);
    const int text = 15 + 4 * m + 2;  // the taller text
    EXPECT_EQ(both.defaultBox, (platform::ui::Rect{2, 2, both.window.cx - 2, 2 + text}));
    EXPECT_EQ(both.grid.y, 2 + text + 2 * m);
    EXPECT_EQ(both.customBox.top, both.grid.y + 5 * 18 + m);
    EXPECT_EQ(both.customBox.Height(), text);
    EXPECT_EQ(both.window.cx, 8 * 18 + 4 + 5);
    EXPECT_EQ(both.window.cy, 5 * 18 + 4 + (text + 2 * m) * 2 + 25);

    const auto wide = CColourPopup::ComputeLayout({400, 13}, {}, m);
    EXPECT_GE(wide.window.cx, 400) << "a wide text widens the palette";
    EXPECT_EQ(wide.defaultBox.right, wide.window.cx - 2);

    const auto thick = CColourPopup::ComputeLayout({}, {}, 8);
    EXPECT_EQ(thick.box, 23) << "boxes at least twice the edge plus 7";
}

TEST_F(Picker, ANeverSetColourShowsTheFace) {
    EXPECT_EQ(picker->GetBkColour(), face);
    EXPECT_EQ(picker->SwatchColour(), face);
    picker->SetBkColour(CColourPicker::kNoColour);
    EXPECT_EQ(picker->SwatchColour(), face) << "no colour set";
    picker->SetBkColour(kRed);
    picker->Enable(false);
    EXPECT_EQ(picker->SwatchColour(), face) << "disabled";
    picker->Enable(true);
    const wxSize size = picker->GetSize();
    EXPECT_EQ(size.y, CColourPicker::ButtonSize(0).cy);
    EXPECT_GE(size.x, 2 * CColourPicker::ArrowSize());
}

TEST_F(Picker, ChoosingAutomaticSendsNoColourAndStoresTheFace) {
    picker->SetBkColour(kRed);
    CColourPopup* popup = Open();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(sent, (std::vector<Sent>{Msg(CColourPicker::kDropDown, kRed)}));
    EXPECT_EQ(popup->ChosenIndex(), CColourPopup::IndexOf(kRed));
    sent.clear();

    const platform::ui::Rect automatic = popup->BoxRect(CColourPopup::kDefaultBox);
    popup->OnMouseMove({automatic.left + 3, automatic.top + 3});
    EXPECT_EQ(popup->HotIndex(), CColourPopup::kDefaultBox);
    EXPECT_EQ(sent, (std::vector<Sent>{Msg(CColourPicker::kSelChange, face)}))
        << "the hot colour reaches the holder as the face";
    EXPECT_EQ(picker->GetBkColour(), kRed) << "without tracking the button keeps its colour";
    sent.clear();

    EXPECT_TRUE(popup->OnKeyDown(WXK_RETURN));
    EXPECT_EQ(sent, (std::vector<Sent>{Msg(CColourPicker::kCloseUp, CColourPicker::kNoColour),
                                       Msg(CColourPicker::kSelEndOk, CColourPicker::kNoColour),
                                       Msg(CColourPicker::kSelChange, CColourPicker::kNoColour)}));
    EXPECT_EQ(picker->GetBkColour(), face);
    EXPECT_FALSE(picker->IsPopupOpen());
    sent.clear();
    EXPECT_FALSE(popup->OnKeyDown(WXK_DOWN)) << "an ended palette takes no more keys";
    popup->OnMouseMove({5, 40});
    EXPECT_TRUE(sent.empty());
    platform::ui::ProcessPending();
    EXPECT_EQ(picker->Popup(), nullptr) << "the palette is gone after its last event";
}

TEST_F(Picker, AcceptingTheSameColourSendsNoChange) {
    picker->SetBkColour(kGold);
    CColourPopup* popup = Open();
    popup->ChangeSelection(25);
    sent.clear();
    const platform::ui::Rect box = popup->BoxRect(25);
    popup->OnButtonUp({box.left + 4, box.top + 4});
    EXPECT_EQ(sent,
              (std::vector<Sent>{Msg(CColourPicker::kCloseUp, kGold), Msg(CColourPicker::kSelEndOk, kGold)}));
}

TEST_F(Picker, EscapeAndClicksOutsideCancelWithTheInitialColour) {
    picker->SetBkColour(kRed);
    picker->SetTrackSelection(true);
    CColourPopup* popup = Open();
    popup->ChangeSelection(25);
    EXPECT_EQ(picker->GetBkColour(), kGold) << "tracking shows the hot colour at once";
    sent.clear();
    EXPECT_TRUE(popup->OnKeyDown(WXK_ESCAPE));
    EXPECT_EQ(sent, (std::vector<Sent>{Msg(CColourPicker::kCloseUp, kRed),
                                       Msg(CColourPicker::kSelEndCancel, kRed)}));
    EXPECT_EQ(picker->GetBkColour(), kRed);

    popup = Open();
    popup->ChangeSelection(3);
    sent.clear();
    popup->OnButtonUp({-5, 40});
    EXPECT_EQ(sent, (std::vector<Sent>{Msg(CColourPicker::kCloseUp, kRed),
                                       Msg(CColourPicker::kSelEndCancel, kRed)}));
}

TEST_F(Picker, MoreColoursAsksTheDialogAndItsCancelCancels) {
    std::optional<COLORREF> answer;
    COLORREF asked = 0;
    picker->SetColourChooser([&](wxWindow*, COLORREF initial) {
        asked = initial;
        return answer;
    });
    picker->SetSelectionMode(CColourPicker::kTextMode);
    picker->SetTextColour(0x123456);
    CColourPopup* popup = Open();
    EXPECT_EQ(popup->ChosenIndex(), CColourPopup::kCustomBox)
        << "a colour off the table marks the custom box";
    popup->ChangeSelection(CColourPopup::kCustomBox);
    EXPECT_EQ(popup->CurrentColour(), 0x123456u);
    sent.clear();
    popup->OnKeyDown(WXK_SPACE);
    EXPECT_EQ(asked, 0x123456u);
    EXPECT_EQ(sent, (std::vector<Sent>{Msg(CColourPicker::kCloseUp, 0x123456),
                                       Msg(CColourPicker::kSelEndCancel, 0x123456)}));

    answer = 0x00FF80;
    popup = Open();
    popup->ChangeSelection(CColourPopup::kCustomBox);
    sent.clear();
    popup->OnKeyDown(WXK_RETURN);
    EXPECT_EQ(sent, (std::vector<Sent>{Msg(CColourPicker::kCloseUp, 0x00FF80),
                                       Msg(CColourPicker::kSelEndOk, 0x00FF80),
                                       Msg(CColourPicker::kSelChange, 0x00FF80)}));
    EXPECT_EQ(picker->GetTextColour(), 0x00FF80u) << "text mode stores the text colour";
    EXPECT_EQ(picker->GetBkColour(), face);
}

TEST_F(Picker, TheChosenBoxFollowsTheInitialColour) {
    struct {
        COLORREF colour;
        std::string defaultText;
        std::string customText;
        int chosen;
    } cases[] = {
        {kGold, "Automatic", "More Colours...", 25},
        {CColourPicker::kNoColour, "Automatic", "More Colours...", CColourPopup::kDefaultBox},
        {0x123456, "Automatic", "More Colours...", CColourPopup::kCustomBox},
        {0x123456, "Automatic", "", CColourPopup::kNoBox},
        {CColourPicker::kNoColour, "", "", CColourPopup::kNoBox},
    };
    for (const auto& c : cases) {
        picker->SetBkColour(c.colour);
        picker->SetDefaultText(c.defaultText);
        picker->SetCustomText(c.customText);
        CColourPopup* popup = Open();
        EXPECT_EQ(popup->ChosenIndex(), c.chosen) << std::hex << c.colour;
        popup->OnKeyDown(WXK_ESCAPE);
        platform::ui::ProcessPending();
    }
}

TEST_F(Picker, ArrowKeysWalkTheGridAndTheTextBoxes) {
    picker->SetBkColour(kGold);  // index 25: row 3, column 1
    CColourPopup* popup = Open();
    struct {
        int key;
        int hot;
    } walk[] = {{WXK_UP, 17},
                {WXK_UP, 9},
                {WXK_UP, 1},
                {WXK_UP, CColourPopup::kDefaultBox},
                {WXK_UP, CColourPopup::kDefaultBox},
                {WXK_DOWN, 0},
                {WXK_LEFT, 0},
                {WXK_RIGHT, 1},
                {WXK_DOWN, 9},
                {WXK_DOWN, 17},
                {WXK_DOWN, 25},
                {WXK_DOWN, 33},
                {WXK_DOWN, CColourPopup::kCustomBox},
                {WXK_UP, 32}};
    for (const auto& step : walk) {
        EXPECT_TRUE(popup->OnKeyDown(step.key));
        EXPECT_EQ(popup->HotIndex(), step.hot) << step.key;
    }
    EXPECT_FALSE(popup->OnKeyDown('x'));
    EXPECT_EQ(popup->IndexAt({popup->BoxRect(12).left + 1, popup->BoxRect(12).top + 1}), 12);
    EXPECT_EQ(popup->IndexAt({0, 0}), CColourPopup::kNoBox);

    // A picture of the open palette and of the button.
    platform::ui::MemoryCanvas palette(popup->GetLayout().window.cx, popup->GetLayout().window.cy);
    popup->Paint(palette.Dc());
    EXPECT_TRUE(palette.SavePng(ControlArtifacts() / "colourpopup.png"));
    EXPECT_EQ(palette.PixelAt(popup->BoxRect(16).left + 9, popup->BoxRect(16).top + 9), kRed)
        << "the red box is filled red";
    platform::ui::MemoryCanvas button(picker->GetSize().x, picker->GetSize().y);
    picker->Paint(button.Dc());
    EXPECT_TRUE(button.SavePng(ControlArtifacts() / "colourpicker.png"));
    EXPECT_EQ(button.PixelAt(10, button.Height() / 2), kGold) << "the swatch shows the colour";
    // The same as they are on the screen.
    platform::ui::ProcessPending();
    EXPECT_TRUE(platform::ui::SaveWindowPicture(popup, ControlArtifacts() / "colourpopup-window.png"));
    EXPECT_TRUE(platform::ui::SaveWindowPicture(frame, ControlArtifacts() / "colourpicker-window.png"));
    popup->OnKeyDown(WXK_ESCAPE);
}

}  // namespace
