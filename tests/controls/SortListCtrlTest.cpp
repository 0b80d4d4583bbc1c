// The sorting list: headings, rows, the kinds of comparison and their order,
// and the saved column widths.

#include <gtest/gtest.h>
#include <wx/frame.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "ControlsTestSupport.h"
#include "controls/SortListCtrl.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WindowPicture.h"

using namespace controls;

namespace {

std::vector<std::string> Sorted(const std::vector<std::string>& texts, bool ascending = true) {
    std::vector<SortListRecord> records;
    for (const std::string& text : texts) records.push_back({{text}, 0});
    std::vector<const SortListRecord*> rows;
    for (const SortListRecord& record : records) rows.push_back(&record);
    std::vector<std::string> result;
    for (size_t i : SortListOrder(rows, 0, ascending)) result.push_back(texts[i]);
    return result;
}

TEST(SortListOrder, ColumnsSortAsNumbersDatesOrText) {
    struct Case {
        const char* what;
        std::vector<std::string> texts;
        std::vector<std::string> ascending;
    };
    const std::vector<Case> cases = {
        {"numbers, not text", {"1", "10", "9"}, {"1", "9", "10"}},
        {"empty counts as a number", {"5", "", "3"}, {"", "3", "5"}},
        {"numbers longer than any integer",
         {"99999999999999999999", "100000000000000000000", "7"},
         {"7", "99999999999999999999", "100000000000000000000"}},
        {"dates by year, month, day",
         {"01/04/2021", "05/03/2021", "31/12/2020"},
         {"31/12/2020", "05/03/2021", "01/04/2021"}},
        {"letters make the column text", {"10", "9", "abc", "1"}, {"1", "10", "9", "abc"}},
        {"a date among numbers is text", {"10", "01/01/2020", "9"}, {"01/01/2020", "10", "9"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Sorted(c.texts), c.ascending);
        std::vector<std::string> descending(c.ascending.rbegin(), c.ascending.rend());
        EXPECT_EQ(Sorted(c.texts, false), descending);
    }
    // Equal keys keep their order both ways; the empty text equals zero.
    std::vector<SortListRecord> records = {{{"2"}, 1}, {{""}, 2}, {{"2"}, 3}, {{"0"}, 4}};
    std::vector<const SortListRecord*> rows;
    for (const SortListRecord& record : records) rows.push_back(&record);
    EXPECT_EQ(SortListOrder(rows, 0, true), (std::vector<size_t>{1, 3, 0, 2}));
    EXPECT_EQ(SortListOrder(rows, 0, false), (std::vector<size_t>{0, 2, 1, 3}));
}

TEST(SortListOrder, AnyTextsCompareAsDatesOrNumbers) {
    // The kinds are asked for texts of other kinds too: short texts must not
    // be read past their end.
    struct Case {
        std::string a;
        std::string b;
        SortKind kind;
        int sign;
    };
    for (const Case& c : std::vector<Case>{{"", "01/01/2020", SortKind::Date, -1},
                                           {"x", "", SortKind::Date, 0},
                                           {"05/03", "01/04/2021", SortKind::Date, -1},
                                           {"01/04/2021", "05/03/2021", SortKind::Date, 1},
                                           {"abc", "", SortKind::Number, 1},
                                           {"007", "7", SortKind::Number, 0}}) {
        SCOPED_TRACE(c.a + " / " + c.b);
        const int forward = CompareSortTexts(c.a, c.b, c.kind);
        EXPECT_EQ((forward > 0) - (forward < 0), c.sign);
        const int backward = CompareSortTexts(c.b, c.a, c.kind);
        EXPECT_EQ((backward > 0) - (backward < 0), -c.sign);
    }
}

TEST(SortListOrder, TheOrderDoesNotDependOnWhichTextComesFirst) {
    // With the kind taken from the first text of each pair, "9" < "10" (numbers),
    // "10" < "1a" and "1a" < "9" (text): a cycle, and an order that changes with
    // the input order. Taken per column, every input order sorts alike.
    std::vector<std::string> texts = {"9", "10", "1a"};
    std::sort(texts.begin(), texts.end());
    const std::vector<std::string> expected = Sorted(texts);
    do {
        EXPECT_EQ(Sorted(texts), expected);
    } while (std::next_permutation(texts.begin(), texts.end()));
    EXPECT_EQ(expected, (std::vector<std::string>{"10", "1a", "9"}));
}

TEST(SortListOrder, TheComparisonIsAStrictWeakOrderOnMixedColumns) {
    std::mt19937 random(7);
    auto mixed = [&]() -> std::string {
        switch (random() % 5) {
            case 0:
                return std::to_string(random() % 200);
            case 1: {
                char date[16];
                std::snprintf(date, sizeof(date), "%02u/%02u/%04u", static_cast<unsigned>(1 + random() % 28),
                              static_cast<unsigned>(1 + random() % 12),
                              static_cast<unsigned>(2000 + random() % 5));
                return date;
            }
            case 2:
                return std::string(1 + random() % 2, static_cast<char>('a' + random() % 3));
            case 3:
                return "";
            default:
                return std::to_string(random() % 20) + "x";
        }
    };
    for (SortKind kind : {SortKind::Number, SortKind::Date, SortKind::Text}) {
        std::vector<std::string> texts;
        for (int i = 0; i < 60; ++i) {
            std::string text = mixed();
            if (ClassifySortText(text) == kind || kind == SortKind::Text) texts.push_back(text);
        }
        auto less = [&](const std::string& a, const std::string& b) {
            return CompareSortTexts(a, b, kind) < 0;
        };
        for (const std::string& a : texts) {
            EXPECT_FALSE(less(a, a));
            for (const std::string& b : texts) {
                if (less(a, b)) {
                    EXPECT_FALSE(less(b, a)) << a << " " << b;
                }
                const bool equivalent = !less(a, b) && !less(b, a);
                for (const std::string& c : texts) {
                    if (less(a, b) && less(b, c)) {
                        EXPECT_TRUE(less(a, c)) << a << " " << b << " " << c;
                    }
                    if (equivalent && !less(b, c) && !less(c, b)) {
                        EXPECT_FALSE(less(a, c) || less(c, a)) << a << " " << b << " " << c;
                    }
                }
            }
        }
    }

    // Thousands of rows of every kind: a permutation, sorted by the column's kind.
    std::vector<SortListRecord> records;
    for (uint32_t i = 0; i < 5000; ++i) records.push_back({{mixed()}, i});
    std::vector<const SortListRecord*> rows;
    for (const SortListRecord& record : records) rows.push_back(&record);
    const std::vector<size_t> order = SortListOrder(rows, 0, true);
    std::vector<size_t> check = order;
    std::sort(check.begin(), check.end());
    for (size_t i = 0; i < check.size(); ++i) ASSERT_EQ(check[i], i);
    for (size_t i = 1; i < order.size(); ++i) {
        ASSERT_LE(
            CompareSortTexts(records[order[i - 1]].texts[0], records[order[i]].texts[0], SortKind::Text), 0);
    }
}

class SortListCtrlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        frame = new wxFrame(nullptr, wxID_ANY, "list", wxDefaultPosition, wxSize(500, 300));
        list = new CSortListCtrl();
        ASSERT_TRUE(list->Create(frame, 300, wxDefaultPosition, wxSize(480, 280)));
        frame->Show();
    }
    void TearDown() override {
        frame->Destroy();
        platform::ui::ProcessPending();
    }
    std::vector<std::string> ColumnTexts(int column) {
        std::vector<std::string> texts;
        for (int i = 0; i < list->GetItemCount(); ++i)
            texts.push_back(list->GetItemText(i, column).utf8_string());
        return texts;
    }
    wxFrame* frame = nullptr;
    CSortListCtrl* list = nullptr;
};

TEST_F(SortListCtrlTest, HeadingsAreDeclaredFromOneText) {
    EXPECT_TRUE(list->SetHeadings("Name,120;Date,80"));
    EXPECT_EQ(list->GetColumnCount(), 2);
    EXPECT_EQ(list->GetColumnWidth(0), 120);
    EXPECT_EQ(list->GetColumnWidth(1), 80);
    EXPECT_TRUE(list->SetHeadings("Size,50;Broken"));
    EXPECT_EQ(list->GetColumnCount(), 3) << "a part without a comma ends the text";
    EXPECT_TRUE(list->SetHeadings("No width at all"));
    EXPECT_EQ(list->GetColumnCount(), 3);
    EXPECT_EQ(list->DeclaredColumns(), 3);
    wxListItem item;
    item.SetMask(wxLIST_MASK_TEXT);
    ASSERT_TRUE(list->GetColumn(2, item));
    EXPECT_EQ(item.GetText(), "Size");
}

TEST_F(SortListCtrlTest, HeadingClicksSortAndReverse) {
    ASSERT_TRUE(list->SetHeadings("Name,100;Count,60;Date,90"));
    list->AddItem(1, {"beta", "10", "01/04/2021"});
    list->AddItem(2, {"alpha", "9", "05/03/2021"});
    list->AddItem(3, {"gamma", "1", "31/12/2020"});
    EXPECT_EQ(list->AddItem(4, {"delta"}), 3) << "missing texts are empty";
    EXPECT_EQ(list->GetItemText(3, 1), "");
    list->OnColumnClick(1);
    EXPECT_EQ(ColumnTexts(1), (std::vector<std::string>{"", "1", "9", "10"}));
    EXPECT_EQ(list->GetRowData(1), 3u) << "the record travels with its row";
    EXPECT_EQ(list->GetHeaderCtrl().GetSortColumn(), 1);
    EXPECT_TRUE(list->GetHeaderCtrl().GetSortAscending());
    list->OnColumnClick(1);
    EXPECT_EQ(ColumnTexts(1), (std::vector<std::string>{"10", "9", "1", ""}));
    EXPECT_FALSE(list->GetSortAscending());
    list->OnColumnClick(0);
    EXPECT_TRUE(list->GetSortAscending());
    EXPECT_EQ(ColumnTexts(0), (std::vector<std::string>{"alpha", "beta", "delta", "gamma"}));
    list->OnColumnClick(2);
    EXPECT_EQ(ColumnTexts(0), (std::vector<std::string>{"delta", "beta", "alpha", "gamma"}))
        << "an empty date makes the column text, which sorts by the day first";
    EXPECT_EQ(list->GetSortIndicator(), 2);
    platform::ui::ProcessPending();
    EXPECT_TRUE(platform::ui::SaveWindowPicture(list, ControlArtifacts() / "sortlist.png"));
}

TEST_F(SortListCtrlTest, SavedWidthsLoadOnlyForTheSameColumns) {
    ASSERT_TRUE(list->SetHeadings("A,40;B,50;C,60"));
    std::stringstream saved;
    ASSERT_TRUE(list->GetHeaderCtrl().Store(saved));
    EXPECT_EQ(saved.str().size(), 16u);
    list->SetColumnWidth(1, 99);
    ASSERT_TRUE(list->GetHeaderCtrl().Load(saved));
    EXPECT_EQ(list->GetColumnWidth(1), 50);

    std::stringstream other;
    const char twoColumns[] = {2, 0, 0, 0, 10, 0, 0, 0, 20, 0, 0, 0};
    other.write(twoColumns, sizeof(twoColumns));
    ASSERT_TRUE(list->GetHeaderCtrl().Load(other));
    EXPECT_EQ(list->GetHeaderCtrl().ColumnWidths(), (std::vector<int>{40, 50, 60}));

    std::stringstream cut;
    const char shortData[] = {3, 0, 0, 0, 10, 0, 0, 0};
    cut.write(shortData, sizeof(shortData));
    EXPECT_FALSE(list->GetHeaderCtrl().Load(cut));
    EXPECT_EQ(list->GetHeaderCtrl().ColumnWidths(), (std::vector<int>{40, 50, 60})) << "nothing applied";
}

}  // namespace
