#pragma once
// Resizable control bars: a bar docked at a side of a frame is sized by its
// inner edge, bars in one row share the row's length, and each bar's sizes are
// saved to and restored from the program's profile.

#include <cstdint>
#include <string>
#include <vector>

#include <wx/panel.h>

#include "platform/Registry.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Geometry.h"

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
    bool Create(const std::string& title, wxWindow* parent, int id, uint32_t style);
    bool Create(const std::string& title, wxWindow* parent, platform::ui::Size size, bool hasGripper, int id,
                uint32_t style);

    void SaveState(BarProfile& profile, const std::string& name) const;
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
    platform::ui::Rect window_;
    int barId_ = 0;
    uint32_t style_ = 0;
    uint32_t edges_ = 0;
    unsigned dockBarId_ = kFloating;
    platform::ui::Rect client_;
};

// Bars docked in one row of a dock bar, in row order.
class SizingBarRow {
  public:
    explicit SizingBarRow(std::vector<CSizingControlBar*> bars) : bars_(std::move(bars)) {}
    const std::vector<CSizingControlBar*>& Bars() const { return bars_; }

    // Shares a row length among the bars (the frame was resized).
    void Negotiate(int rowLength);
    // Starts of the bars along the row.
    std::vector<int> Align() const;

    // Dragging an edge of bar index: limits first, then moves.
    void StartTracking(int index, int hitCode, int position, int freeSpace);
    void UpdateTrackSize(int position);
    void StopTracking() { tracking_ = false; }
    bool IsTracking() const { return tracking_; }
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
};

// A bar with a caption strip showing its title.
class CSizingControlBarCF : public CSizingControlBarG {
  public:
    bool active = false;
    bool HasGripper() const override { return true; }
    // Colour of band i of 64 between two caption colours.
    static platform::COLORREF GradientBand(int i, platform::COLORREF first, platform::COLORREF second);
    void DrawCaption(platform::ui::DrawContext& dc, const platform::ui::Rect& window, bool gradient);
};
