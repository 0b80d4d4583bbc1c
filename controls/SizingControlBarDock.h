#pragma once
// The frame's side of the sizing bars: dock bars on the four sides of the
// frame's client area holding rows of bars, floating bars in small frames of
// their own, dragging a bar to another side or out of the frame, and the dock
// state kept in the profile next to the bars' sizes.

#include <map>
#include <string>
#include <vector>

#include <wx/frame.h>
#include <wx/popupwin.h>

#include "controls/SizingControlBar.h"

namespace controls {

// A halftone bar shown over the screen while something is dragged: the sizing
// tracker, and the sides of a dragged bar's outline.
class SizingBarTracker {
  public:
    explicit SizingBarTracker(wxWindow* owner);
    ~SizingBarTracker();
    SizingBarTracker(const SizingBarTracker&) = delete;
    SizingBarTracker& operator=(const SizingBarTracker&) = delete;
    void Show(const platform::ui::Rect& screen);
    void Hide();
    bool IsShown() const { return shown_; }
    platform::ui::Rect GetRect() const { return rect_; }
    // The halftone pattern over a rectangle of a picture.
    static void DrawHalftone(platform::ui::DrawContext& dc, const platform::ui::Rect& rect);

  private:
    wxPopupWindow* window_ = nullptr;
    platform::ui::Rect rect_;
    bool shown_ = false;
};

// The dock state: where each dock bar is and which bars it holds.
struct SizingBarDockState {
    struct DockBar {
        unsigned id = 0;            // a side's dock bar id, or kFloating
        platform::ui::Point point;  // floating: the small frame's top-left (screen)
        std::vector<int> bars;      // bar ids in order; 0 ends a row
        bool operator==(const DockBar&) const = default;
    };
    struct Bar {
        int id = 0;
        bool visible = true;
        unsigned lastDock = CSizingControlBar::kDockBottom;  // where a double click docks it
        bool operator==(const Bar&) const = default;
    };
    std::vector<DockBar> dockBars;
    std::vector<Bar> bars;
    bool operator==(const SizingBarDockState&) const = default;
};

class SizingBarDockSite;

// The small frame a floating bar lives in: a 1-pixel border and a caption of
// SmallCaptionHeight() with the title and a close button, drawn here.
class SizingBarMiniFrame : public wxFrame {
  public:
    SizingBarMiniFrame(SizingBarDockSite& site, wxWindow* parent, CSizingControlBar* bar);
    CSizingControlBar* Bar() const { return bar_; }
    // Sizes the frame around the bar's floating size.
    void FitBar();
    // Window coordinates of the caption and its close button.
    platform::ui::Rect CaptionRect() const;
    platform::ui::Rect CloseRect() const;
    void Paint(platform::ui::DrawContext& dc);
    // The user's close: the bar is hidden, nothing is destroyed.
    void CloseBar();
    void Detach() {
        bar_ = nullptr;
        site_ = nullptr;
    }

  private:
    void OnPaintEvent(wxPaintEvent& event);
    void OnLeftDown(wxMouseEvent& event);
    void OnLeftUp(wxMouseEvent& event);
    void OnLeftDClick(wxMouseEvent& event);
    void OnMotion(wxMouseEvent& event);
    void OnCaptureLost(wxMouseCaptureLostEvent& event);
    void OnSizeEvent(wxSizeEvent& event);
    void OnClose(wxCloseEvent& event);
    SizingBarDockSite* site_;
    CSizingControlBar* bar_;
    bool closePressed_ = false;
};

class SizingBarDockSite {
  public:
    // Docking on all four sides of the frame's client area.
    explicit SizingBarDockSite(wxFrame* frame);
    ~SizingBarDockSite();
    SizingBarDockSite(const SizingBarDockSite&) = delete;
    SizingBarDockSite& operator=(const SizingBarDockSite&) = delete;

    wxFrame* Frame() const { return frame_; }
    // The window that takes what the bars leave of the client area.
    void SetView(wxWindow* view);

    // A bar joins the site; a bar created on the frame but never docked floats.
    void AddBar(CSizingControlBar* bar);
    void RemoveBar(CSizingControlBar* bar);
    // Docks at a side: row -1 is a new row innermost, index -1 the row's end.
    void DockControlBar(CSizingControlBar* bar, unsigned dockBarId, int row = -1, int index = -1);
    // Floats with the bar's top-left at a screen point.
    void FloatControlBar(CSizingControlBar* bar, platform::ui::Point screen);
    void ShowControlBar(CSizingControlBar* bar, bool show, bool delay);
    bool IsBarVisible(const CSizingControlBar* bar) const;
    // Docked bars float where they are; floating bars dock where they last were.
    void ToggleDocking(CSizingControlBar* bar);
    CSizingControlBar* FindBar(int barId) const;
    SizingBarMiniFrame* MiniFrameOf(const CSizingControlBar* bar) const;

    // Places the bars and the view now, or once the frame is idle.
    void RecalcLayout();
    void DelayRecalcLayout();
    // Rows of a side, outermost first, with hidden bars; and one bar's row of shown bars.
    const std::vector<std::vector<CSizingControlBar*>>& Rows(unsigned dockBarId) const;
    std::vector<CSizingControlBar*> RowOf(const CSizingControlBar* bar) const;
    // The client-area rectangle the bars leave (frame client coordinates).
    platform::ui::Rect ViewRect() const { return view_; }
    // Extent of the free area across a row of this bar (sizing room).
    int FreeExtent(const CSizingControlBar* bar) const;

    // Dragging a bar through the dock context (screen coordinates).
    void StartDrag(CSizingControlBar* bar, platform::ui::Point screen, wxWindow* captureWindow = nullptr);
    void MoveDrag(platform::ui::Point screen, bool noDocking = false);
    // Ends the drag: a bar moved beyond the drag threshold docks or floats.
    void EndDrag(platform::ui::Point screen, bool noDocking = false);
    // The mouse button went up in the capturing window: ends the drag once its handler is done.
    void DragMouseUp(platform::ui::Point screen, bool noDocking);
    void CancelDrag();
    bool IsDragging() const { return drag_.bar != nullptr; }
    // Where the dragged bar would go: a side's id or kFloating, and its outline.
    unsigned DragTarget() const { return drag_.target; }
    platform::ui::Rect DragRect() const { return drag_.rect; }
    bool IsDragOutlineShown() const;

    SizingBarDockState GetDockState() const;
    void SetDockState(const SizingBarDockState& state);
    void SaveBarState(BarProfile& profile, const std::string& name) const;
    void LoadBarState(BarProfile& profile, const std::string& name);
    static SizingBarDockState ReadDockState(BarProfile& profile, const std::string& name);
    static void WriteDockState(BarProfile& profile, const std::string& name, const SizingBarDockState& state);
    // Moves the stored point of every floating dock bar holding barId.
    static void ShiftFloatingEntries(BarProfile& profile, const std::string& name, int barId, int dx, int dy);

    // Height of a small caption; a floating bar sits 1 pixel right and this + 1 below its frame's corner.
    static int SmallCaptionHeight() { return 15; }

  private:
    struct Drag {
        CSizingControlBar* bar = nullptr;
        wxWindow* capture = nullptr;
        platform::ui::Point offset;
        platform::ui::Point start;
        unsigned target = CSizingControlBar::kFloating;
        int row = -1;
        int index = -1;
        platform::ui::Rect rect;
    };
    struct BarInfo {
        bool visible = true;
        unsigned lastDock = CSizingControlBar::kDockBottom;
        platform::ui::Point lastFloat{100, 100};
        bool floatedOnce = false;
    };
    void Unlink(CSizingControlBar* bar);
    void OnFrameSize(wxSizeEvent& event);
    void OnFrameDestroy(wxWindowDestroyEvent& event);
    void OnFrameIdle(wxIdleEvent& event);
    void OnViewDestroy(wxWindowDestroyEvent& event);
    void ReleaseDragCapture();
    void ShowDragOutline(const platform::ui::Rect& rect);
    platform::ui::Rect ClientScreenRect() const;
    void PlaceRow(unsigned side, size_t rowIndex, platform::ui::Rect& area);

    wxFrame* frame_;
    wxWindow* viewWindow_ = nullptr;
    std::map<unsigned, std::vector<std::vector<CSizingControlBar*>>> rows_;
    std::map<unsigned, platform::ui::Rect> sideRects_;
    std::map<unsigned, std::vector<platform::ui::Rect>> rowRects_;
    std::map<CSizingControlBar*, SizingBarMiniFrame*> floating_;
    std::map<CSizingControlBar*, BarInfo> bars_;
    std::vector<CSizingControlBar*> order_;
    platform::ui::Rect view_;
    Drag drag_;
    std::vector<std::unique_ptr<SizingBarTracker>> outline_;
    bool layoutPending_ = false;
    int batch_ = 0;
};

}  // namespace controls
