#pragma once
// Resizable control bars: a bar docked at a side of a frame is sized by its
// inner edge, bars in one row share the row's length, and each bar's sizes are
// saved to and restored from the program's profile.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <wx/panel.h>

#include "platform/Registry.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Geometry.h"

namespace controls {

// Where bar sizes are kept: integers in named sections.
class BarProfile {
  public:
    virtual ~BarProfile() = default;
    virtual int GetInt(const std::string& section, const std::string& entry, int defaultValue) = 0;
    virtual bool WriteInt(const std::string& section, const std::string& entry, int value) = 0;
};

// Sections as keys under a root key of the user scope of the registry.
class RegistryBarProfile : public BarProfile {
  public:
    RegistryBarProfile(platform::Registry& registry, std::string rootKey)
        : registry_(registry), root_(std::move(rootKey)) {}
    int GetInt(const std::string& section, const std::string& entry, int defaultValue) override;
    bool WriteInt(const std::string& section, const std::string& entry, int value) override;

  private:
    platform::Registry& registry_;
    std::string root_;
};

class SizingBarDockSite;
class SizingBarRow;
class SizingBarTracker;

class CSizingControlBar : public wxPanel {
  public:
    // Edge and style flags.
    enum : uint32_t {
        kEdgeLeft = 1,
        kEdgeRight = 2,
        kEdgeTop = 4,
        kEdgeBottom = 8,
        kDrawEdges = 16,
        kSizeChild = 32
    };
    // Dock bar ids: the side a bar is docked at; anything else is floating.
    enum : unsigned {
        kDockTop = 59419,
        kDockLeft = 59420,
        kDockRight = 59421,
        kDockBottom = 59422,
        kFloating = 59423
    };
    // Hit-test answers.
    enum : int {
        kHitClient = 1,
        kHitLeft = 10,
        kHitRight = 11,
        kHitTop = 12,
        kHitBottom = 15,
        kHitClose = 20
    };

    CSizingControlBar();
    ~CSizingControlBar() override;
    bool Create(const std::string& title, wxWindow* parent, int id, uint32_t style);
    bool Create(const std::string& title, wxWindow* parent, platform::ui::Size size, bool hasGripper, int id,
                uint32_t style);

    void SaveState(BarProfile& profile, const std::string& name) const;
    // Also moves the stored position of a floating dock bar holding this bar by
    // the mini frame's caption, so that the bar comes back where it was.
    void LoadState(BarProfile& profile, const std::string& name);
    static std::string SectionName(const std::string& name, int id);
    // The bar's control id (the frame's numbering, beyond what wx window ids allow).
    int GetBarId() const { return barId_; }

    // Layout as the frame asks for it.
    platform::ui::Size CalcFixedLayout(bool stretch, bool horizontal) const;
    enum : unsigned { kLengthY = 0x8, kMruWidth = 0x10, kHorzDock = 0x20, kVertDock = 0x40, kCommit = 0x80 };
    platform::ui::Size CalcDynamicLayout(int length, unsigned mode);

    // Non-client layout: edges towards the row's neighbours and the frame's centre.
    void SetDockBarId(unsigned id) { dockBarId_ = id; }
    unsigned DockBarId() const { return dockBarId_; }
    bool IsFloating() const;
    bool IsHorzDocked() const { return dockBarId_ == kDockTop || dockBarId_ == kDockBottom; }
    platform::ui::Rect CalcNcClient(const platform::ui::Rect& window, bool neighbourBefore,
                                    bool neighbourAfter);
    virtual int NcHitTest(platform::ui::Point windowPoint) const;
    uint32_t EdgeFlags() const { return edges_; }
    virtual bool HasGripper() const { return false; }

    // The window as docked or floating: the frame's dock site places it.
    SizingBarDockSite* DockSite() const { return site_; }
    void SetDockSite(SizingBarDockSite* site) { site_ = site; }
    // Neighbours in the row decide the edges; recomputes the non-client layout.
    void SetNeighbours(bool before, bool after);
    void RecalcNcLayout();
    // The inner (client) rectangle in window coordinates.
    platform::ui::Rect ClientRect() const { return client_; }
    // Title change: the floating frame's caption and our own caption follow.
    void SetLabel(const wxString& label) override;

    // Sizing by the user (screen coordinates).
    virtual void StartTracking(int hitCode, platform::ui::Point screen);
    virtual void StopTracking();
    virtual void UpdateTrackSize(platform::ui::Point screen);
    virtual void InvertTracker();
    bool IsTracking() const { return tracking_; }
    // Where the tracker is drawn now (screen), empty when it is not shown.
    platform::ui::Rect TrackerRect() const;
    bool IsTrackerShown() const;
    // Whether the bars follow the mouse live while sized (no tracker then).
    bool dragFullWindows = false;

    // The whole non-client picture: background, sizing edges, gripper.
    void PaintNc(platform::ui::DrawContext& dc);
    virtual void PaintGripper(platform::ui::DrawContext& dc, const platform::ui::Rect& client);
    // Idle-time state refresh (buttons, focus); true when something changed.
    virtual bool OnUpdateCmdUI() { return false; }

    platform::ui::Size sizeHorz{200, 200};
    platform::ui::Size sizeVert{200, 200};
    platform::ui::Size sizeFloat{200, 200};
    platform::ui::Size minHorz{33, 32};
    platform::ui::Size minVert{33, 32};
    platform::ui::Size minFloat{37, 32};
    bool keepSize = false;
    int edgeWidth = 5;

    // Length along the row and thickness across it, as docked now.
    int Length() const { return IsHorzDocked() ? sizeHorz.cx : sizeVert.cy; }
    int Thickness() const { return IsHorzDocked() ? sizeHorz.cy : sizeVert.cx; }
    int MinLength() const { return IsHorzDocked() ? minHorz.cx : minVert.cy; }
    int MinThickness() const { return IsHorzDocked() ? minHorz.cy : minVert.cx; }
    void SetLength(int v) { (IsHorzDocked() ? sizeHorz.cx : sizeVert.cy) = v; }
    void SetThickness(int v) { (IsHorzDocked() ? sizeHorz.cy : sizeVert.cx) = v; }

  protected:
    // The client rectangle for a window rectangle, with gripper when the class has one.
    virtual platform::ui::Rect LayoutNc(const platform::ui::Rect& window, bool before, bool after) {
        return CalcNcClient(window, before, after);
    }
    virtual void OnLeftDown(wxMouseEvent& event);
    virtual void OnLeftUp(wxMouseEvent& event);
    virtual void OnMotion(wxMouseEvent& event);
    void OnLeftDClick(wxMouseEvent& event);
    void OnRightDown(wxMouseEvent& event);
    void OnCaptureLost(wxMouseCaptureLostEvent& event);
    void OnSizeEvent(wxSizeEvent& event);
    void OnPaintEvent(wxPaintEvent& event);
    void OnIdleEvent(wxIdleEvent& event);
    void OnSettingChanged(wxSysColourChangedEvent& event);
    platform::ui::Rect EdgeRect(int hitCode) const;
    void SetEdgeCursor(int hitCode);

    platform::ui::Rect window_;
    int barId_ = 0;
    uint32_t style_ = 0;
    uint32_t edges_ = 0;
    unsigned dockBarId_ = kFloating;
    platform::ui::Rect client_;
    SizingBarDockSite* site_ = nullptr;
    bool before_ = false;
    bool after_ = false;
    // Tracking state: the row being sized and where the drag started.
    bool tracking_ = false;
    int trackHit_ = 0;
    int trackStart_ = 0;
    int trackPos_ = 0;
    int trackOffset_ = 0;
    std::unique_ptr<SizingBarRow> trackRow_;
    std::unique_ptr<SizingBarTracker> tracker_;
    int cursorHit_ = -1;
    bool closePressed_ = false;  // the close button of the gripper classes is held
};

// Bars docked in one row of a dock bar, in row order.
class SizingBarRow {
  public:
    explicit SizingBarRow(std::vector<CSizingControlBar*> bars) : bars_(std::move(bars)) {}
    const std::vector<CSizingControlBar*>& Bars() const { return bars_; }

    // Shares a row length among the bars (the frame was resized). Returns how
    // many bars stay in the row; the others belong to a new row after it.
    size_t Negotiate(int rowLength);
    // Starts of the bars along the row.
    std::vector<int> Align() const;

    // Dragging an edge of bar index: limits first, then moves.
    void StartTracking(int index, int hitCode, int position, int freeSpace);
    void UpdateTrackSize(int position);
    void StopTracking() { tracking_ = false; }
    bool IsTracking() const { return tracking_; }
    bool IsThicknessEdge() const { return tracking_ && IsThicknessEdge(hit_); }
    int Position() const { return position_; }
    int LowerLimit() const { return lower_; }
    int UpperLimit() const { return upper_; }

  private:
    bool IsThicknessEdge(int hitCode) const;
    std::vector<CSizingControlBar*> bars_;
    bool tracking_ = false;
    int index_ = -1;
    int hit_ = 0;
    int position_ = 0;
    int lower_ = 0;
    int upper_ = 0;
};

// A bar with a close button in its caption area.
class CSizingControlBarG : public CSizingControlBar {
  public:
    int captionSize = 12;
    bool pushed = false;
    bool hover = false;
    platform::ui::Rect CloseButton() const;  // window coordinates, 11 x 11
    int NcHitTest(platform::ui::Point windowPoint) const override;
    platform::ui::Rect CalcGripperClient(const platform::ui::Rect& window, bool before, bool after);
    // Mouse over the close button: the pushed and hover states; true when they changed.
    bool UpdateCloseButton(platform::ui::Point windowPoint, bool leftDown);
    void PaintGripper(platform::ui::DrawContext& dc, const platform::ui::Rect& client) override;

  protected:
    platform::ui::Rect LayoutNc(const platform::ui::Rect& window, bool before, bool after) override {
        return CalcGripperClient(window, before, after);
    }
    void OnLeftDown(wxMouseEvent& event) override;
    void OnLeftUp(wxMouseEvent& event) override;
    void OnMotion(wxMouseEvent& event) override;
    void PaintCloseButton(platform::ui::DrawContext& dc);
};

// A bar with a caption strip showing its title.
class CSizingControlBarCF : public CSizingControlBarG {
  public:
    CSizingControlBarCF();
    bool active = false;
    // "Tahoma" where the desktop has it, else "Arial".
    std::string captionFont;
    bool HasGripper() const override { return true; }
    // Colour of band i of 64 between two caption colours.
    static platform::COLORREF GradientBand(int i, platform::COLORREF first, platform::COLORREF second);
    // The desktop draws captions with a gradient when its two caption colours differ.
    static bool GradientCaptions();
    void DrawCaption(platform::ui::DrawContext& dc, const platform::ui::Rect& window, bool gradient);
    void PaintGripper(platform::ui::DrawContext& dc, const platform::ui::Rect& client) override;
    void SetLabel(const wxString& label) override;
    // The focus window decides the active caption; true when it changed.
    bool UpdateActive(wxWindow* focus);
    bool OnUpdateCmdUI() override;

  private:
    void PaintCaption(platform::ui::DrawContext& dc, bool gradient);
    void OnChildFocus(wxChildFocusEvent& event);
};

}  // namespace controls
