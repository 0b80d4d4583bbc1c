#pragma once
// An XY chart drawn by ourselves: title, up to four axes, series, cursors, a
// legend and the cursor value text. It draws off-screen and copies the picture
// on paint; the user zooms with a left-button rectangle (dragged backwards it
// undoes the zoom), pans with the right button and drags cursors.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include <wx/window.h>

#include "controls/ChartAxis.h"
#include "controls/ChartCursor.h"
#include "controls/ChartFont.h"
#include "controls/ChartLegend.h"
#include "controls/ChartMouseListener.h"
#include "controls/ChartSerie.h"
#include "controls/ChartTitle.h"
#include "platform/Bitmap.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Geometry.h"

class wxDC;
class wxScrollEvent;

namespace controls {

class CChartCtrl : public wxWindow {
  public:
    enum AxisPosition : int { kLeftAxis = 0, kBottomAxis = 1, kRightAxis = 2, kTopAxis = 3 };
    // The colours series take in turn as they are attached.
    static constexpr std::array<platform::COLORREF, 10> kSeriesColours = {
        0x0000FF, 0x009600, 0xFF0000, 0x00FFFF, 0xFFFF00, 0x0080FF, 0x800080, 0x008080, 0xFF00FF, 0x808040};
    static constexpr const char* kCursorValueFormat = "Cursor value: %lu Hz";
    // Scroll requests of an axis's scroll bar.
    enum class Scroll { LineUp, LineDown, PageUp, PageDown, ThumbPosition, ThumbTrack, Top, Bottom, End };
    // Logical page size of a printout, from the printer's page and resolution.
    struct PrintSize {
        int width = 0;
        int height = 0;
    };

    CChartCtrl();
    ~CChartCtrl() override;

    bool Create(wxWindow* parent, int id, const platform::ui::Rect& rect, long style = 0);

    // Prints the chart on one page; without a printer context the print
    // dialog asks for one. False when cancelled or failed.
    virtual bool Print(const std::string& title, wxDC* printer = nullptr);
    virtual void OnBeginPrinting(wxDC& printer);
    virtual void OnPrint(wxDC& printer);
    virtual void OnEndPrinting();
    virtual void DrawChart(platform::ui::DrawContext& dc, const platform::ui::Rect& rect);
    virtual void DrawBackground(platform::ui::DrawContext& dc, const platform::ui::Rect& rect);

    static PrintSize LogicalPrintSize(platform::ui::Size printerPixels, platform::ui::Size screenPpi,
                                      platform::ui::Size printerPpi);

    // Redraws everything; held while refresh is disabled (then only marked pending).
    void RefreshCtrl();
    void EnableRefresh(bool enable);
    int RefreshCount() const { return refreshCount_; }
    bool RefreshPending() const { return refreshPending_; }
    // How many times the picture was drawn.
    int DrawCount() const { return drawCount_; }

    // Takes the axis into a slot (0 left, 1 bottom, 2 right, 3 top), replacing
    // the one there. Series and cursors on the replaced axis move to the new one.
    CChartAxis* AttachCustomAxis(std::unique_ptr<CChartAxis> axis, int position);
    CChartAxis* GetAxis(int position) const;
    CChartAxis* GetLeftAxis() const { return GetAxis(kLeftAxis); }
    CChartAxis* GetBottomAxis() const { return GetAxis(kBottomAxis); }
    // Takes the series onto the left and bottom axes there now, with the next colour.
    CChartSerie* AttachCustomSerie(std::unique_ptr<CChartSerie> serie);
    void RemoveAllSeries();
    const std::map<uint32_t, std::unique_ptr<CChartSerie>>& Series() const { return series_; }
    CChartCursor* AddCursor(std::unique_ptr<CChartCursor> cursor);
    const std::map<uint32_t, std::unique_ptr<CChartCursor>>& Cursors() const { return cursors_; }

    void SetCursorValue(double value);
    uint32_t CursorValue() const { return cursorValue_; }
    std::string CursorValueText() const;
    const platform::ui::Rect& CursorValueRect() const { return cursorValueRect_; }
    void UndoZoom();

    CChartTitle& GetTitle() { return *title_; }
    CChartLegend& GetLegend() { return *legend_; }
    SChartFont& Font() { return font_; }
    void SetBackColor(platform::COLORREF colour);
    platform::COLORREF BackColor() const { return background_; }
    void SetBackGradient(platform::COLORREF colour1, platform::COLORREF colour2, int type);
    void SetGradient(bool on);
    bool HasGradient() const { return gradient_; }
    void SetPlotFrameColor(platform::COLORREF colour);
    void SetEdgeType(unsigned edge);
    void SetPanEnabled(bool enabled) { panEnabled_ = enabled; }
    bool PanEnabled() const { return panEnabled_; }
    void SetZoomEnabled(bool enabled) { zoomEnabled_ = enabled; }
    bool ZoomEnabled() const { return zoomEnabled_; }
    void SetZoomRectColor(platform::COLORREF colour) { zoomColour_ = colour; }
    void SetMouseListener(CChartMouseListener* listener) { mouseListener_ = listener; }
    void ShowMouseCursor(bool show) { mouseVisible_ = show; }

    const platform::ui::Rect& PlottingRect() const { return plottingRect_; }
    bool IsZooming() const { return zooming_; }
    platform::ui::Rect ZoomRect() const { return zoomRect_; }
    bool IsPanning() const { return panning_; }

    // The user's mouse, in client pixels.
    void OnMouseMove(platform::ui::Point point);
    void OnLButtonDown(platform::ui::Point point);
    void OnLButtonUp(platform::ui::Point point);
    void OnLButtonDblClk(platform::ui::Point point);
    void OnRButtonDown(platform::ui::Point point);
    void OnRButtonUp(platform::ui::Point point);
    void OnRButtonDblClk(platform::ui::Point point);
    // A scroll of an axis's bar (track is the thumb position where it matters).
    void OnAxisScroll(CChartAxis* axis, Scroll what, int track = 0);

    // What a paint shows: the off-screen picture, the zoom rectangle, the
    // cursors and the cursor value text.
    void PaintTo(platform::ui::DrawContext& dc);

  private:
    void OnPaintEvent(wxPaintEvent& event);
    void OnSizeEvent(wxSizeEvent& event);
    void OnMouseEvent(wxMouseEvent& event);
    void OnCaptureLost(wxMouseCaptureLostEvent& event);
    void OnScrollEvent(wxScrollEvent& event);
    void SendMouseEvent(int event, platform::ui::Point point);
    void Capture();
    void Release();
    void ZoomTo(const platform::ui::Rect& rect);

    uint32_t cursorValue_ = 0;
    platform::ui::Rect cursorValueRect_;
    SChartFont font_;
    int refreshCount_ = 1;
    bool refreshPending_ = false;
    int drawCount_ = 0;
    std::unique_ptr<platform::ui::MemoryCanvas> memory_;
    bool backgroundCreated_ = false;
    bool gradient_ = false;
    platform::COLORREF gradientColour1_;
    platform::COLORREF gradientColour2_;
    int gradientType_ = 1;
    platform::COLORREF background_;
    platform::COLORREF plotFrameColour_ = 0;
    unsigned edgeType_ = 5;
    platform::ui::Rect plottingRect_;
    std::map<uint32_t, std::unique_ptr<CChartSerie>> series_;
    std::array<std::unique_ptr<CChartAxis>, 4> axes_;
    std::unique_ptr<CChartLegend> legend_;
    std::unique_ptr<CChartTitle> title_;
    bool panEnabled_ = true;
    bool panning_ = false;
    platform::ui::Point lastPan_;
    bool zoomEnabled_ = true;
    bool zooming_ = false;
    // Corners as dragged: left/top is where the drag began, right/bottom where the mouse is.
    platform::ui::Rect zoomRect_;
    platform::COLORREF zoomColour_ = 0xFFFFFF;
    std::unique_ptr<wxFont> printFont_;
    PrintSize printLogical_;
    platform::ui::Size printPage_;
    std::map<uint32_t, std::unique_ptr<CChartCursor>> cursors_;
    CChartMouseListener* mouseListener_ = nullptr;
    bool mouseVisible_ = true;
};

}  // namespace controls
