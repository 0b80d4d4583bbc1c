#include "controls/SortHeaderCtrl.h"

#include <cstdint>
#include <istream>
#include <ostream>

#include <wx/listctrl.h>

namespace controls {

namespace {

void WriteInt(std::ostream& out, int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    const char bytes[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                           static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
    out.write(bytes, 4);
}

bool ReadInt(std::istream& in, int32_t& value) {
    unsigned char bytes[4];
    if (!in.read(reinterpret_cast<char*>(bytes), 4)) return false;
    value = static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                                 (static_cast<uint32_t>(bytes[2]) << 16) |
                                 (static_cast<uint32_t>(bytes[3]) << 24));
    return true;
}

}  // namespace

void CSortHeaderCtrl::SetSortArrow(int column, bool ascending) {
    sortColumn_ = column;
    ascending_ = ascending;
    if (list_ != nullptr) list_->ShowSortIndicator(column, ascending);
}

std::vector<int> CSortHeaderCtrl::ColumnWidths() const {
    std::vector<int> widths;
    if (list_ == nullptr) return widths;
    for (int i = 0; i < list_->GetColumnCount(); ++i) widths.push_back(list_->GetColumnWidth(i));
    return widths;
}

bool CSortHeaderCtrl::Store(std::ostream& out) const {
    const std::vector<int> widths = ColumnWidths();
    WriteInt(out, static_cast<int32_t>(widths.size()));
    for (int width : widths) WriteInt(out, width);
    return static_cast<bool>(out);
}

bool CSortHeaderCtrl::Load(std::istream& in) {
    int32_t count = 0;
    if (!ReadInt(in, count)) return false;
    const int columns = list_ != nullptr ? list_->GetColumnCount() : 0;
    if (count != columns) return true;  // saved for other columns: keep the widths
    std::vector<int32_t> widths(static_cast<size_t>(count));
    for (int32_t& width : widths) {
        if (!ReadInt(in, width)) return false;  // cut short: nothing applied
    }
    for (int i = 0; i < count; ++i) list_->SetColumnWidth(i, widths[static_cast<size_t>(i)]);
    return true;
}

}  // namespace controls
