// Printing the grid over pages with a header and a footer.

#include <algorithm>
#include <cstdio>
#include <ctime>

#include <wx/app.h>
#include <wx/dc.h>
#include <wx/dcps.h>
#include <wx/font.h>
#include <wx/gdicmn.h>
#include <wx/print.h>

#include "controls/GridCtrl.h"
#include "controls/GridPrintout.h"

namespace controls {

using platform::ui::DrawContext;
using platform::ui::Rect;
using platform::ui::Size;

namespace {

int MulDiv(int a, int b, int c) {
    if (c == 0) return 0;
    const long long product = static_cast<long long>(a) * b;
    const long long half = (product >= 0) == (c > 0) ? std::abs(c) / 2 : -(std::abs(c) / 2);
    return static_cast<int>((product + half) / c);
}

// Page starts over a run of sizes: a size that does not fit what is left begins the next page.
std::vector<int> PageStarts(const std::vector<int>& sizes, int first, int count, int body) {
    std::vector<int> starts{first};
    int sum = 0;
    int pageStart = first;
    for (int i = first; i < count; ++i) {
        sum += sizes[i];
        if (sum > body && i > pageStart) {
            starts.push_back(i);
            pageStart = i;
            sum = sizes[i];
        }
    }
    return starts;
}

}  // namespace

std::string CGridCtrl::PageText(int page, int maxPage) {
    char text[64];
    std::snprintf(text, sizeof(text), "Page %d of %d", page, maxPage);
    return text;
}

GridPrintLayout CGridCtrl::ComputePrintLayout(int charWidth, int charHeight, Size paper, Size screenPpi,
                                              Size printerPpi) const {
    GridPrintLayout layout;
    layout.charWidth = charWidth;
    layout.charHeight = charHeight;
    layout.paper = paper;
    const int margins = (printLeftMargin_ + printRightMargin_) * charWidth;
    if (printSameSize_ && printerPpi.cx > 0 && printerPpi.cy > 0) {
        layout.logicalPage.cx = paper.cx * screenPpi.cx / printerPpi.cx * 3 / 4;
        layout.logicalPage.cy = paper.cy * screenPpi.cy / printerPpi.cy * 3 / 4;
    } else {
        layout.logicalPage.cx = GetVirtualWidth() + margins;
        layout.logicalPage.cy = MulDiv(layout.logicalPage.cx, paper.cy, paper.cx);
    }
    layout.bodyHeight = layout.logicalPage.cy -
                        (printHeaderLines_ + printFooterLines_ + 2 * printGap_) * charHeight -
                        GetFixedRowHeight();
    layout.bodyWidth = layout.logicalPage.cx - GetFixedColumnWidth() - margins;
    layout.pageFirstRows = PageStarts(rowHeights_, fixedRows_, rowCount_, layout.bodyHeight);
    layout.pagesDown = static_cast<int>(layout.pageFirstRows.size());
    if (printSameSize_) {
        layout.pageFirstCols = PageStarts(colWidths_, fixedCols_, colCount_, layout.bodyWidth);
    } else {
        layout.pageFirstCols = {fixedCols_};
    }
    layout.pagesAcross = static_cast<int>(layout.pageFirstCols.size());
    return layout;
}

void CGridCtrl::OnBeginPrinting(DrawContext& dc, GridPrintInfo& info) {
    platform::ui::FontSpec spec;
    spec.face = "Arial";
    printFont_ = std::make_unique<wxFont>(platform::ui::MakeFont(spec));
    printFont_->SetPixelSize(wxSize(0, 10));
    dc.SetFont(*printFont_);
    const Size extent = dc.TextExtent("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSATUVWXYZ");
    const wxSize ppi = dc.Wx().GetPPI();
    printLayout_ = ComputePrintLayout(std::max(1, extent.cx / 52), std::max(1, extent.cy), dc.GetSize(),
                                      info.screenPpi, {ppi.x, ppi.y});
    info.maxPage = printLayout_.MaxPage();
    info.currentPage = 1;
    printInfo_ = info;
}

void CGridCtrl::OnEndPrinting(DrawContext&, GridPrintInfo&) {
    printFont_.reset();
    printInfo_ = {};
}

void CGridCtrl::OnPrint(DrawContext& dc, GridPrintInfo& info) {
    if (!printFont_) return;
    printInfo_.currentPage = info.currentPage;
    printInfo_.maxPage = info.maxPage;
    const GridPrintLayout& layout = printLayout_;
    if (layout.logicalPage.cx <= 0 || layout.logicalPage.cy <= 0) return;
    wxDC& wx = dc.Wx();
    dc.SetFont(*printFont_);
    wx.SetUserScale(static_cast<double>(layout.paper.cx) / layout.logicalPage.cx,
                    static_cast<double>(layout.paper.cy) / layout.logicalPage.cy);
    const int left = printLeftMargin_ * layout.charWidth;
    const int width = layout.logicalPage.cx - (printLeftMargin_ + printRightMargin_) * layout.charWidth;
    wx.SetLogicalOrigin(-left, 0);

    printHeaderRect_ = {0, 0, width, printHeaderLines_ * layout.charHeight};
    PrintHeader(dc, info);

    const int bodyTop = (printHeaderLines_ + printGap_) * layout.charHeight;
    wx.SetLogicalOrigin(-left, -bodyTop);
    const int page = std::clamp(info.currentPage, 1, layout.MaxPage()) - 1;
    const int down = page % layout.pagesDown;
    const int across = page / layout.pagesDown;
    const int firstRow = layout.pageFirstRows[down];
    const int endRow = down + 1 < layout.pagesDown ? layout.pageFirstRows[down + 1] : rowCount_;
    printFirstCol_ = layout.pageFirstCols[across];

    PrintColumnHeadings(dc, info);
    const int fixedHeight = GetFixedRowHeight();
    int top = fixedHeight;
    bool first = true;
    for (int row = firstRow; row < endRow; ++row) {
        const int height = rowHeights_[row];
        if (height == 0) continue;
        if (top + height > fixedHeight + layout.bodyHeight) break;
        PrintRowButtons(dc, info, row, top);
        PrintRow(dc, info, row, top, first);
        first = false;
        top += height;
    }

    wx.SetLogicalOrigin(-left, 0);
    const int footerTop = bodyTop + fixedHeight + layout.bodyHeight + printGap_ * layout.charHeight;
    printFooterRect_ = {0, footerTop, width, footerTop + printFooterLines_ * layout.charHeight};
    PrintFooter(dc, info);
    wx.SetLogicalOrigin(0, 0);
    wx.SetUserScale(1, 1);
}

void CGridCtrl::PrintCellsOfRow(DrawContext& dc, int row, int top, int left, int firstCol, int lastCol,
                                bool firstRow) {
    const int height = rowHeights_[row];
    const int limit = GetFixedColumnWidth() + printLayout_.bodyWidth;
    int x = left;
    bool firstCol1 = true;
    for (int col = firstCol; col <= lastCol && col < colCount_; ++col) {
        const int width = colWidths_[col];
        if (width == 0) continue;
        if (col >= fixedCols_ && x + width > limit) break;
        const Rect rect{x, top, x + width - 1, top + height - 1};
        if (CGridCellBase* cell = GetCell(row, col)) cell->PrintCell(dc, row, col, rect);
        if (gridLines_ == gridlines::Horz || gridLines_ == gridlines::Both) {
            dc.FillSolidRect({x, rect.bottom, x + width, rect.bottom + 1}, gridLineColor_);
            if (firstRow) dc.FillSolidRect({x, top, x + width, top + 1}, gridLineColor_);
        }
        if (gridLines_ == gridlines::Vert || gridLines_ == gridlines::Both) {
            dc.FillSolidRect({rect.right, top, rect.right + 1, top + height}, gridLineColor_);
            if (firstCol1) dc.FillSolidRect({x, top, x + 1, top + height}, gridLineColor_);
        }
        firstCol1 = false;
        x += width;
    }
}

void CGridCtrl::PrintColumnHeadings(DrawContext& dc, GridPrintInfo&) {
    int top = 0;
    for (int row = 0; row < fixedRows_; ++row) {
        if (rowHeights_[row] == 0) continue;
        PrintCellsOfRow(dc, row, top, 0, 0, fixedCols_ - 1, row == 0);
        PrintCellsOfRow(dc, row, top, GetFixedColumnWidth(), printFirstCol_, colCount_ - 1, row == 0);
        top += rowHeights_[row];
    }
}

void CGridCtrl::PrintRowButtons(DrawContext& dc, GridPrintInfo&, int row, int top) {
    PrintCellsOfRow(dc, row, top, 0, 0, fixedCols_ - 1, false);
}

void CGridCtrl::PrintRow(DrawContext& dc, GridPrintInfo&, int row, int top, bool first) {
    PrintCellsOfRow(dc, row, top, GetFixedColumnWidth(), printFirstCol_, colCount_ - 1,
                    first && fixedRows_ == 0);
}

void CGridCtrl::PrintHeader(DrawContext& dc, GridPrintInfo&) {
    if (!printFont_) return;
    wxFont bold = *printFont_;
    bold.SetWeight(wxFONTWEIGHT_BOLD);
    dc.SetFont(bold);
    dc.SetBkTransparent(true);
    dc.SetTextColor(0);
    const Rect& rect = printHeaderRect_;
    const std::string parent = host_ != nullptr ? host_->ParentTitle() : std::string();
    std::string app = host_ != nullptr ? host_->ApplicationTitle() : std::string();
    if (app.empty() && wxTheApp != nullptr) app = wxTheApp->GetAppDisplayName().utf8_string();
    if (!parent.empty()) dc.DrawText(parent, rect, platform::ui::text::Center | platform::ui::text::VCenter);
    if (!app.empty()) dc.DrawText(app, rect, platform::ui::text::Right | platform::ui::text::VCenter);
    dc.FillSolidRect({rect.left, rect.bottom - 1, rect.right, rect.bottom}, 0);
    dc.SetFont(*printFont_);
}

void CGridCtrl::PrintFooter(DrawContext& dc, GridPrintInfo& info) {
    if (!printFont_) return;
    const Rect& rect = printFooterRect_;
    dc.FillSolidRect({rect.left, rect.top, rect.right, rect.top + 1}, 0);
    wxFont bold = *printFont_;
    bold.SetWeight(wxFONTWEIGHT_BOLD);
    dc.SetFont(bold);
    dc.SetTextColor(0);
    dc.SetBkTransparent(true);
    dc.DrawText(PageText(info.currentPage, info.maxPage), rect,
                platform::ui::text::Left | platform::ui::text::VCenter);
    char date[128] = {};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(date, sizeof(date), "%c", &local);
    dc.DrawText(date, rect, platform::ui::text::Right | platform::ui::text::VCenter);
    dc.SetFont(*printFont_);
}

bool CGridCtrl::Print(wxWindow* parent) {
    wxPrintDialogData data;
    data.SetMinPage(1);
    wxPrinter printer(&data);
    GridPrintout printout(*this);
    return printer.Print(parent, &printout, true);
}

bool CGridCtrl::PrintPreview(wxWindow* parent) {
    auto* preview = new wxPrintPreview(new GridPrintout(*this), new GridPrintout(*this));
    if (!preview->IsOk()) {
        delete preview;
        return false;
    }
    auto* frame = new wxPreviewFrame(preview, parent, "Print Preview", wxDefaultPosition, wxSize(800, 600));
    frame->Initialize();
    frame->Show();
    return true;
}

bool CGridCtrl::PrintToFile(const std::filesystem::path& file) {
    wxPrintData data;
    data.SetFilename(wxString::FromUTF8(file.string()));
    data.SetPrintMode(wxPRINT_MODE_FILE);
    data.SetColour(true);
    wxPostScriptDC ps(data);
    if (!ps.IsOk()) return false;
    if (!ps.StartDoc("Grid")) return false;
    DrawContext dc(ps);
    GridPrintInfo info;
    const wxSize screen = wxGetDisplayPPI();
    if (screen.x > 0 && screen.y > 0) info.screenPpi = {screen.x, screen.y};
    OnBeginPrinting(dc, info);
    for (int page = 1; page <= info.maxPage; ++page) {
        info.currentPage = page;
        ps.StartPage();
        OnPrint(dc, info);
        ps.EndPage();
    }
    OnEndPrinting(dc, info);
    ps.EndDoc();
    return std::filesystem::exists(file);
}

}  // namespace controls
