// The searching combo box on a real combo under Xvfb: filtering while typing,
// choosing from a filtered list, and entry indexes that filtering never moves.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/panel.h>

#include "ControlsTestSupport.h"
#include "controls/ComboBoxSearch.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WindowPicture.h"

using controls::CComboBoxSearch;
using Items = std::vector<std::string>;

namespace {

class SearchCombo : public ::testing::Test {
  protected:
    void SetUp() override {
        frame = new wxFrame(nullptr, wxID_ANY, "search");
        frame->SetClientSize(240, 60);
        auto* panel = new wxPanel(frame);  // a frame would stretch its only child
        combo = new CComboBoxSearch();
        ASSERT_TRUE(combo->Create(panel, 1050, wxPoint(5, 5), wxSize(200, -1)));
        for (const char* name : {"Motor A", "motor B", "Encoder"}) combo->AddItem(name);
    }
    void TearDown() override {
        frame->Destroy();
        platform::ui::ProcessPending();
    }
    // What typing does: the field's text changes, then the edit-change handler runs.
    void Type(const std::string& text) {
        combo->ChangeValue(wxString::FromUTF8(text));
        combo->OnEditChange();
    }
    void Choose(const std::string& text) {
        const int item = combo->FindString(wxString::FromUTF8(text), true);
        ASSERT_NE(item, wxNOT_FOUND) << text;
        combo->SetSelection(item);
        combo->OnSelChange();
    }

    wxFrame* frame = nullptr;
    CComboBoxSearch* combo = nullptr;
};

TEST_F(SearchCombo, TypingFiltersIgnoringCaseAndChoosingBringsAllBack) {
    Type("MOT");
    EXPECT_EQ(combo->ShownItems(), (Items{"Motor A", "motor B"}));
    EXPECT_TRUE(combo->IsFiltered());
    EXPECT_EQ(combo->GetValue(), "MOT") << "the typed text stays in the field";
    Type("or b");
    EXPECT_EQ(combo->ShownItems(), (Items{"motor B"}));
    Type("MOT");
    Choose("motor B");
    EXPECT_EQ(combo->ShownItems(), (Items{"Motor A", "motor B", "Encoder"}));
    EXPECT_FALSE(combo->IsFiltered());
    EXPECT_EQ(combo->GetStringSelection(), "motor B");
    EXPECT_EQ(combo->GetCurSelIndex(), 1);

    Type("xyz");
    EXPECT_TRUE(combo->ShownItems().empty());
    EXPECT_EQ(combo->GetValue(), "xyz");
    EXPECT_EQ(combo->GetCurSelIndex(), -1);
    Type("");
    EXPECT_EQ(combo->ShownItems().size(), 3u) << "an empty text shows every entry";
}

TEST_F(SearchCombo, SameTextDoesNotRebuildTheList) {
    Type("enc");
    const int rebuilds = combo->Rebuilds();
    combo->SetInsertionPoint(1);  // the caret moves; the text stays
    Type("enc");
    EXPECT_EQ(combo->Rebuilds(), rebuilds);
    Type("Enc");
    EXPECT_EQ(combo->Rebuilds(), rebuilds + 1) << "the comparison of texts keeps case";
}

TEST_F(SearchCombo, EntryIndexesStayWhateverIsShown) {
    struct {
        int index;
        std::string selected;
        int back;
    } cases[] = {{2, "Encoder", 2}, {0, "Motor A", 0}, {-1, "", -1}, {7, "", -1}};
    for (const auto& c : cases) {
        combo->SetCurSelIndex(0);
        combo->SetCurSelIndex(c.index);
        EXPECT_EQ(combo->GetStringSelection().utf8_string(), c.selected) << c.index;
        EXPECT_EQ(combo->GetCurSelIndex(), c.back) << c.index;
    }

    Type("mot");
    EXPECT_EQ(combo->SelectItemText("motor B"), 1);
    EXPECT_EQ(combo->GetCurSelIndex(), 1);
    EXPECT_EQ(combo->SelectItemText("Encoder"), -1) << "filtered out: nothing to select";
    EXPECT_EQ(combo->SelectItemText("Resolver"), -1) << "no such entry";

    EXPECT_EQ(combo->SetItemValue(2, 300), 0);
    EXPECT_EQ(combo->GetItemValue(2), 300);
    EXPECT_EQ(combo->GetItemValue(0), 0) << "new entries start at 0";
    EXPECT_EQ(combo->SetItemValue(3, 1), -1);
    EXPECT_EQ(combo->SetItemValue(-1, 1), -1);
}

TEST_F(SearchCombo, ALaterEntryWithTheSameTextOwnsIt) {
    EXPECT_EQ(combo->AddItem("Encoder"), 3);
    combo->SetCurSelIndex(2);
    EXPECT_EQ(combo->GetCurSelIndex(), 3) << "the map of texts points at the later entry";
    combo->ResetContent();
    EXPECT_TRUE(combo->Entries().empty());
    EXPECT_TRUE(combo->ShownItems().empty());
    EXPECT_EQ(combo->AddItem("Resolver"), 0);
}

TEST_F(SearchCombo, TheUsersTypingAndChoosingReachTheHandlers) {
    frame->Show();
    combo->SetValue("mot");  // as the field reports typing: a text event
    platform::ui::ProcessPending();
    EXPECT_EQ(combo->ShownItems(), (Items{"Motor A", "motor B"}));
    EXPECT_TRUE(platform::ui::SaveWindowPicture(frame, ControlArtifacts() / "comboboxsearch.png"));
    combo->SetSelection(1);
    wxCommandEvent chosen(wxEVT_COMBOBOX, combo->GetId());
    chosen.SetEventObject(combo);
    chosen.SetInt(1);
    combo->GetEventHandler()->ProcessEvent(chosen);
    platform::ui::ProcessPending();
    EXPECT_EQ(combo->ShownItems().size(), 3u);
    EXPECT_EQ(combo->GetCurSelIndex(), 1);
}

}  // namespace
