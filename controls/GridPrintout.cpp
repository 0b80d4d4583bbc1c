#include "controls/GridPrintout.h"

#include <wx/gdicmn.h>

namespace controls {

void GridPrintout::Begin() {
    wxDC* dc = GetDC();
    if (dc == nullptr) return;
    platform::ui::DrawContext context(*dc);
    int ppiX = 96;
    int ppiY = 96;
    GetPPIScreen(&ppiX, &ppiY);
    info_.screenPpi = {ppiX, ppiY};
    info_.monochrome = dc->GetDepth() == 1;
    grid_.OnBeginPrinting(context, info_);
    begun_ = true;
}

void GridPrintout::OnBeginPrinting() {
    wxPrintout::OnBeginPrinting();
    if (!begun_) Begin();
}

void GridPrintout::OnEndPrinting() {
    if (begun_) {
        if (wxDC* dc = GetDC()) {
            platform::ui::DrawContext context(*dc);
            grid_.OnEndPrinting(context, info_);
        }
    }
    begun_ = false;
    wxPrintout::OnEndPrinting();
}

void GridPrintout::GetPageInfo(int* minPage, int* maxPage, int* pageFrom, int* pageTo) {
    // The page count needs the printer's context, which exists by now.
    if (!begun_) Begin();
    *minPage = 1;
    *maxPage = info_.maxPage;
    *pageFrom = 1;
    *pageTo = info_.maxPage;
}

bool GridPrintout::HasPage(int page) {
    return page >= 1 && page <= info_.maxPage;
}

bool GridPrintout::OnPrintPage(int page) {
    wxDC* dc = GetDC();
    if (dc == nullptr) return false;
    if (!begun_) Begin();
    platform::ui::DrawContext context(*dc);
    info_.currentPage = page;
    grid_.OnPrint(context, info_);
    return true;
}

}  // namespace controls
