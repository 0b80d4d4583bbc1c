#pragma once
// A tab strip drawn by us, so that windows can draw their tabs themselves
// (disabled tabs, for one). It tells its holder before and after a change of
// tab; the holder may stop a change by answering a negative number.

#include <functional>
#include <string>
#include <vector>

#include <wx/control.h>

#include "platform/ui/DrawContext.h"
#include "platform/ui/Geometry.h"

namespace platform::ui {

class TabCtrl : public wxControl {
  public:
    TabCtrl() = default;
    bool Create(wxWindow* parent, int id, const wxPoint& pos = wxDefaultPosition,
                const wxSize& size = wxDefaultSize);

    int InsertItem(int index, const std::string& text);
    bool DeleteItem(int index);
    void DeleteAllItems();
    int GetItemCount() const { return static_cast<int>(items_.size()); }
    std::string GetItemText(int index) const;
    bool SetItemText(int index, const std::string& text);
    int GetCurSel() const { return current_; }
    // Selects without asking anyone (the program's own choice). Returns the previous tab.
    int SetCurSel(int index);
    // Fixed width for every tab; 0 sizes tabs to their texts.
    void SetItemWidth(int width);

    Rect GetItemRect(int index) const;
    int HitTest(Point point) const;  // -1: no tab there
    // The area under the strip that pages use.
    Rect DisplayRect() const;
    int StripHeight() const;

    // Holder's hooks: selChanging answers <0 to stop the change.
    std::function<int()> selChanging;
    std::function<void()> selChange;

    // What a click or a key would do, for tests and scripted use.
    bool ClickAt(Point point);
    bool PressKey(int keyCode);

    // Draws the whole control into dc (also used for pictures of it).
    void DrawAll(DrawContext& dc);

  protected:
    // Owner drawing of one tab's inside; the frame is drawn already.
    virtual void DrawItem(DrawContext& dc, int index, const Rect& rect, bool selected);
    // The control's own look at a change asked for with the mouse: true refuses.
    virtual bool ReflectSelChanging(Point /*cursor*/) { return false; }
    // Keys before the usual handling; true when the key was taken.
    virtual bool PreTranslateKey(int keyCode);
    // Asks the holder, selects, tells the holder; false when stopped.
    bool ChangeTo(int index);

  private:
    void OnPaint(wxPaintEvent& event);
    void OnLeftDown(wxMouseEvent& event);
    void OnKeyDown(wxKeyEvent& event);
    wxSize DoGetBestSize() const override;

    std::vector<std::string> items_;
    int current_ = -1;
    int itemWidth_ = 0;
};

}  // namespace platform::ui
