#pragma once
// A drawing context over wxDC in the terms our own controls draw with: COLORREF
// colours, pens, brushes, fonts by face and point size, text in rectangles,
// polylines and Bezier curves, bitmaps and memory drawing.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <wx/bitmap.h>
#include <wx/colour.h>
#include <wx/dcmemory.h>
#include <wx/font.h>

#include "platform/Bitmap.h"
#include "platform/ui/Geometry.h"

class wxDC;

namespace platform::ui {

wxColour ToWx(platform::COLORREF colour);
platform::COLORREF FromWx(const wxColour& colour);

enum class PenStyle { Solid, Dash, Dot, DashDot, Null };

struct FontSpec {
    std::string face;  // empty: the default GUI font
    double pointSize = 8;
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

// Faces the windows name that the desktop lacks ("MS Shell Dlg", "Microsoft
// Sans Serif", "Arial") become the default sans-serif font at the same size.
wxFont MakeFont(const FontSpec& spec);

// Text placement flags for DrawText.
namespace text {
constexpr unsigned Left = 0x0;
constexpr unsigned Center = 0x1;
constexpr unsigned Right = 0x2;
constexpr unsigned VCenter = 0x4;
constexpr unsigned Bottom = 0x8;
constexpr unsigned NoClip = 0x100;
}  // namespace text

class DrawContext {
  public:
    explicit DrawContext(wxDC& dc);

    wxDC& Wx() { return dc_; }
    Size GetSize() const;

    void SetPen(platform::COLORREF colour, int width = 1, PenStyle style = PenStyle::Solid);
    void SetNullPen();
    void SetBrush(platform::COLORREF colour);
    void SetNullBrush();
    void SetFont(const FontSpec& font);
    void SetFont(const wxFont& font);
    void SetTextColor(platform::COLORREF colour);
    // Opaque text backgrounds are filled with this colour; transparent by default.
    void SetBkColor(platform::COLORREF colour);
    void SetBkTransparent(bool transparent);

    Size TextExtent(std::string_view text) const;
    void TextOut(int x, int y, std::string_view text);
    void TextOutRotated(int x, int y, std::string_view text, double degrees);
    void DrawText(std::string_view text, const Rect& rect, unsigned flags);

    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Line(int x1, int y1, int x2, int y2);
    void Rectangle(const Rect& rect);  // current pen and brush
    void FillSolidRect(const Rect& rect, platform::COLORREF colour);
    void FrameRect(const Rect& rect, platform::COLORREF colour);
    // 3-D frame: top and left in one colour, bottom and right in the other.
    void Draw3dRect(const Rect& rect, platform::COLORREF topLeft, platform::COLORREF bottomRight);
    void Ellipse(const Rect& rect);
    void Polyline(const std::vector<Point>& points);
    void Polygon(const std::vector<Point>& points);
    // Cubic Bezier segments: a start point, then three points per segment.
    void PolyBezier(const std::vector<Point>& points);

    void DrawBitmap(const wxBitmap& bitmap, int x, int y);
    void Blit(const Rect& dest, DrawContext& source, Point sourceOrigin);

    void SetClip(const Rect& rect);
    void ResetClip();

  private:
    wxDC& dc_;
    Point current_;
};

// The points a Bezier run is drawn through (flattened), for callers that hit-test curves.
std::vector<Point> FlattenBezier(const std::vector<Point>& points, int stepsPerSegment = 16);

// A bitmap with a context drawing into it.
class MemoryCanvas {
  public:
    MemoryCanvas(int width, int height, platform::COLORREF background = 0xFFFFFF);
    ~MemoryCanvas();
    DrawContext& Dc() { return *context_; }
    int Width() const { return bitmap_.GetWidth(); }
    int Height() const { return bitmap_.GetHeight(); }
    // Ends drawing and gives the picture; drawing may go on afterwards.
    wxBitmap Bitmap();
    bool SavePng(const std::filesystem::path& file);
    // Colour of one pixel (for checks that something was drawn).
    platform::COLORREF PixelAt(int x, int y);

  private:
    wxBitmap bitmap_;
    std::unique_ptr<wxMemoryDC> dc_;
    std::unique_ptr<DrawContext> context_;
};

wxImage ToWxImage(const platform::Bitmap& bitmap);

}  // namespace platform::ui
