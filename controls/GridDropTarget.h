#pragma once
// Hands drags of text over a grid's window to the grid.

#include <wx/dnd.h>

namespace controls {

class CGridCtrl;

class CGridDropTarget : public wxDropTarget {
  public:
    explicit CGridDropTarget(CGridCtrl& grid);

    wxDragResult OnEnter(wxCoord x, wxCoord y, wxDragResult def) override;
    wxDragResult OnDragOver(wxCoord x, wxCoord y, wxDragResult def) override;
    void OnLeave() override;
    bool OnDrop(wxCoord x, wxCoord y) override;
    wxDragResult OnData(wxCoord x, wxCoord y, wxDragResult def) override;

  private:
    CGridCtrl& grid_;
    wxTextDataObject* text_;
};

}  // namespace controls
