#pragma once
// A report list whose columns are declared from one text, whose rows are
// added as one text per column, and which sorts itself by a column when its
// heading is clicked (a second click reverses the order). A column sorts as
// numbers when every text in it is a whole number (or empty), as dates when
// every text is dd/mm/yyyy, and as text otherwise.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <wx/listctrl.h>

#include "controls/SortHeaderCtrl.h"

namespace controls {

enum class SortKind { Number, Date, Text };

// The kind one text could be sorted as.
SortKind ClassifySortText(std::string_view text);
// The kind a whole column is sorted as: the one every text allows, else text.
SortKind ColumnSortKind(const std::vector<std::string_view>& texts);
// Negative, zero or positive; a strict weak order for any one kind.
int CompareSortTexts(std::string_view a, std::string_view b, SortKind kind);

// One row of the list: a copy of each column's text and the caller's value.
struct SortListRecord {
    std::vector<std::string> texts;
    uint32_t data = 0;
};

// The order of rows sorted by a column (stable; equal texts keep their order).
std::vector<size_t> SortListOrder(const std::vector<const SortListRecord*>& rows, int column, bool ascending);

class CSortListCtrl : public wxListCtrl {
  public:
    CSortListCtrl() = default;
    ~CSortListCtrl() override;
    bool Create(wxWindow* parent, int id, const wxPoint& pos = wxDefaultPosition,
                const wxSize& size = wxDefaultSize);

    // "Heading,width;Heading,width;..." appended to the columns declared so far.
    // False at the first column that cannot be inserted; true otherwise,
    // including when a part without a comma ends the text.
    bool SetHeadings(std::string_view headings);
    // Appends a row; texts beyond the declared columns are ignored, missing ones are empty.
    int AddItem(uint32_t data, const std::vector<std::string>& texts);
    int DeclaredColumns() const { return columns_; }
    uint32_t GetRowData(int row) const;

    // What a click on a column heading does.
    void OnColumnClick(int column);
    void Sort(int column, bool ascending);
    int GetSortColumn() const { return sortColumn_; }
    bool GetSortAscending() const { return ascending_; }
    CSortHeaderCtrl& GetHeaderCtrl() { return header_; }

  private:
    void OnColClick(wxListEvent& event);
    const SortListRecord* Record(long row) const;

    CSortHeaderCtrl header_;
    std::vector<std::unique_ptr<SortListRecord>> records_;
    int columns_ = 0;
    int sortColumn_ = -1;
    bool ascending_ = true;
};

}  // namespace controls
