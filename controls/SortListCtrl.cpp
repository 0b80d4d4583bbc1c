#include "controls/SortListCtrl.h"

#include <cstdlib>

#include "controls/StableOrder.h"
#include "controls/TextCollation.h"

namespace controls {

namespace {

bool AllDigits(std::string_view text) {
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

bool IsDate(std::string_view text) {
    if (text.size() != 10 || text[2] != '/' || text[5] != '/') return false;
    for (size_t i : {0, 1, 3, 4, 6, 7, 8, 9}) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

// Whole numbers of any length, compared exactly: no overflow, leading zeros ignored.
int CompareNumbers(std::string_view a, std::string_view b) {
    auto strip = [](std::string_view s) {
        const size_t first = s.find_first_not_of('0');
        return first == std::string_view::npos ? std::string_view() : s.substr(first);
    };
    a = strip(a);
    b = strip(b);
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    const int result = a.compare(b);
    return (result > 0) - (result < 0);
}

// A text too short for the part reads as 0, so that any two texts compare as dates.
int Part(std::string_view text, size_t from, size_t length) {
    if (from >= text.size()) return 0;
    return std::atoi(std::string(text.substr(from, length)).c_str());
}

}  // namespace

SortKind ClassifySortText(std::string_view text) {
    if (AllDigits(text)) return SortKind::Number;  // the empty text counts as 0
    if (IsDate(text)) return SortKind::Date;
    return SortKind::Text;
}

SortKind ColumnSortKind(const std::vector<std::string_view>& texts) {
    bool numbers = true;
    bool dates = true;
    for (std::string_view text : texts) {
        const SortKind kind = ClassifySortText(text);
        numbers = numbers && kind == SortKind::Number;
        dates = dates && kind == SortKind::Date;
    }
    if (numbers) return SortKind::Number;
    if (dates) return SortKind::Date;
    return SortKind::Text;
}

int CompareSortTexts(std::string_view a, std::string_view b, SortKind kind) {
    switch (kind) {
        case SortKind::Number:
            return CompareNumbers(a, b);
        case SortKind::Date: {
            for (auto [from, length] : {std::pair<size_t, size_t>{6, 4}, {3, 2}, {0, 2}}) {
                const int x = Part(a, from, length);
                const int y = Part(b, from, length);
                if (x != y) return x < y ? -1 : 1;
            }
            return 0;
        }
        case SortKind::Text:
            break;
    }
    return CollateText(a, b);
}

std::vector<size_t> SortListOrder(const std::vector<const SortListRecord*>& rows, int column,
                                  bool ascending) {
    static const std::string empty;
    auto text = [&](size_t i) -> std::string_view {
        const SortListRecord* record = rows[i];
        if (record == nullptr || column < 0 || static_cast<size_t>(column) >= record->texts.size())
            return empty;
        return record->texts[static_cast<size_t>(column)];
    };
    // One kind for the whole column, so that the comparison is a strict weak
    // order: deciding it pair by pair would let "9" < "10" < "1a" < "9".
    std::vector<std::string_view> texts;
    texts.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) texts.push_back(text(i));
    const SortKind kind = ColumnSortKind(texts);
    return StableOrder(rows.size(), [&](size_t a, size_t b) {
        const int result = CompareSortTexts(texts[a], texts[b], kind);
        return ascending ? result < 0 : result > 0;
    });
}

CSortListCtrl::~CSortListCtrl() {
    // Rows point at their records; the records go only after the rows.
    if (GetHandle() != nullptr) DeleteAllItems();
}

bool CSortListCtrl::Create(wxWindow* parent, int id, const wxPoint& pos, const wxSize& size) {
    if (!wxListCtrl::Create(parent, id, pos, size, wxLC_REPORT | wxBORDER_SUNKEN)) return false;
    header_.Attach(this);
    Bind(wxEVT_LIST_COL_CLICK, &CSortListCtrl::OnColClick, this);
    return true;
}

bool CSortListCtrl::SetHeadings(std::string_view headings) {
    size_t pos = 0;
    while (pos <= headings.size()) {
        const size_t comma = headings.find(',', pos);
        if (comma == std::string_view::npos) return true;
        const std::string_view heading = headings.substr(pos, comma - pos);
        const size_t semicolon = headings.find(';', comma + 1);
        const std::string width(headings.substr(
            comma + 1, semicolon == std::string_view::npos ? std::string_view::npos : semicolon - comma - 1));
        const long index = InsertColumn(columns_, wxString::FromUTF8(heading.data(), heading.size()),
                                        wxLIST_FORMAT_LEFT, std::atoi(width.c_str()));
        if (index < 0) return false;
        ++columns_;
        if (semicolon == std::string_view::npos) return true;
        pos = semicolon + 1;
    }
    return true;
}

int CSortListCtrl::AddItem(uint32_t data, const std::vector<std::string>& texts) {
    auto record = std::make_unique<SortListRecord>();
    record->data = data;
    record->texts.resize(static_cast<size_t>(columns_));
    for (size_t i = 0; i < record->texts.size() && i < texts.size(); ++i) record->texts[i] = texts[i];
    const long row =
        InsertItem(GetItemCount(), wxString::FromUTF8(record->texts.empty() ? "" : record->texts[0]));
    if (row < 0) return -1;
    for (int c = 1; c < columns_; ++c)
        SetItem(row, c, wxString::FromUTF8(record->texts[static_cast<size_t>(c)]));
    SetItemPtrData(row, reinterpret_cast<wxUIntPtr>(record.get()));
    records_.push_back(std::move(record));
    return static_cast<int>(row);
}

const SortListRecord* CSortListCtrl::Record(long row) const {
    return reinterpret_cast<const SortListRecord*>(GetItemData(row));
}

uint32_t CSortListCtrl::GetRowData(int row) const {
    const SortListRecord* record = row >= 0 && row < GetItemCount() ? Record(row) : nullptr;
    return record != nullptr ? record->data : 0;
}

void CSortListCtrl::OnColClick(wxListEvent& event) {
    OnColumnClick(event.GetColumn());
}

void CSortListCtrl::OnColumnClick(int column) {
    if (column < 0) return;
    if (column == sortColumn_) {
        ascending_ = !ascending_;
    } else {
        sortColumn_ = column;
        ascending_ = true;
    }
    header_.SetSortArrow(sortColumn_, ascending_);
    Sort(sortColumn_, ascending_);
}

void CSortListCtrl::Sort(int column, bool ascending) {
    const int count = GetItemCount();
    std::vector<const SortListRecord*> rows(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const SortListRecord* record = Record(i);
        if (record == nullptr) {
            // A row put in without AddItem: its record is made from what it shows.
            auto made = std::make_unique<SortListRecord>();
            for (int c = 0; c < GetColumnCount(); ++c) made->texts.push_back(GetItemText(i, c).utf8_string());
            record = made.get();
            SetItemPtrData(i, reinterpret_cast<wxUIntPtr>(record));
            records_.push_back(std::move(made));
        }
        rows[static_cast<size_t>(i)] = record;
    }
    const std::vector<size_t> order = SortListOrder(rows, column, ascending);
    Freeze();
    for (int i = 0; i < count; ++i) {
        const SortListRecord* record = rows[order[static_cast<size_t>(i)]];
        for (int c = 0; c < GetColumnCount() && c < static_cast<int>(record->texts.size()); ++c)
            SetItem(i, c, wxString::FromUTF8(record->texts[static_cast<size_t>(c)]));
        SetItemPtrData(i, reinterpret_cast<wxUIntPtr>(record));
    }
    Thaw();
}

}  // namespace controls
