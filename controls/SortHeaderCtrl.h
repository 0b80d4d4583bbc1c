#pragma once
// The heading strip of a sorting list: which column is sorted and which way,
// shown with an arrow in that column's heading, and the column widths saved
// to and loaded from a stream.

#include <iosfwd>
#include <vector>

class wxListCtrl;

namespace controls {

class CSortHeaderCtrl {
  public:
    CSortHeaderCtrl() = default;
    // The list whose headings these are (null: none yet).
    void Attach(wxListCtrl* list) { list_ = list; }

    void SetSortArrow(int column, bool ascending);
    int GetSortColumn() const { return sortColumn_; }
    bool GetSortAscending() const { return ascending_; }

    // Column count, then each column's width, as little-endian 32-bit integers.
    bool Store(std::ostream& out) const;
    // Reads the count and, only when it equals the list's column count, the
    // widths, which are applied; otherwise the widths stay as they are.
    bool Load(std::istream& in);

    // Widths as the list has them.
    std::vector<int> ColumnWidths() const;

  private:
    wxListCtrl* list_ = nullptr;
    int sortColumn_ = -1;
    bool ascending_ = true;
};

}  // namespace controls
