#pragma once
// A grid's print job for the desktop's printing (print dialog and preview).

#include <wx/print.h>

#include "controls/GridCtrl.h"

namespace controls {

class GridPrintout : public wxPrintout {
  public:
    explicit GridPrintout(CGridCtrl& grid) : wxPrintout("Grid"), grid_(grid) {}

    void OnBeginPrinting() override;
    void OnEndPrinting() override;
    void GetPageInfo(int* minPage, int* maxPage, int* pageFrom, int* pageTo) override;
    bool HasPage(int page) override;
    bool OnPrintPage(int page) override;

  private:
    void Begin();

    CGridCtrl& grid_;
    GridPrintInfo info_;
    bool begun_ = false;
};

}  // namespace controls
