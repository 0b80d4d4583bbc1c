#include "platform/ui/DrawContext.h"

#include <algorithm>
#include <cmath>

#include <wx/dc.h>
#include <wx/image.h>
#include <wx/settings.h>

#include "platform/StringHelpers.h"

namespace platform::ui {

wxColour ToWx(platform::COLORREF colour) {
    return wxColour(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

platform::COLORREF FromWx(const wxColour& colour) {
    return static_cast<platform::COLORREF>(colour.Red()) |
           (static_cast<platform::COLORREF>(colour.Green()) << 8) |
           (static_cast<platform::COLORREF>(colour.Blue()) << 16);
}

namespace {

bool IsSubstitutedFace(const std::string& face) {
    const std::string lower = Lower(face);
    return lower == "ms shell dlg" || lower == "ms shell dlg 2" || lower == "microsoft sans serif" ||
           lower == "arial";
}

wxPenStyle ToWx(PenStyle style) {
    switch (style) {
        case PenStyle::Dash:
            return wxPENSTYLE_SHORT_DASH;
        case PenStyle::Dot:
            return wxPENSTYLE_DOT;
        case PenStyle::DashDot:
            return wxPENSTYLE_DOT_DASH;
        case PenStyle::Null:
            return wxPENSTYLE_TRANSPARENT;
        case PenStyle::Solid:
            break;
    }
    return wxPENSTYLE_SOLID;
}

wxString FromUtf8(std::string_view text) {
    return wxString::FromUTF8(text.data(), text.size());
}

}  // namespace

wxFont MakeFont(const FontSpec& spec) {
    wxFont font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
    if (!spec.face.empty()) {
        if (IsSubstitutedFace(spec.face)) {
            font = wxFont(wxFontInfo(spec.pointSize).Family(wxFONTFAMILY_SWISS));
        } else {
            wxFont named(wxFontInfo(spec.pointSize).FaceName(spec.face));
            font = named.IsOk() ? named : wxFont(wxFontInfo(spec.pointSize).Family(wxFONTFAMILY_SWISS));
        }
    }
    font.SetFractionalPointSize(spec.pointSize);
    font.SetWeight(spec.bold ? wxFONTWEIGHT_BOLD : wxFONTWEIGHT_NORMAL);
    font.SetStyle(spec.italic ? wxFONTSTYLE_ITALIC : wxFONTSTYLE_NORMAL);
    font.SetUnderlined(spec.underline);
    return font;
}

DrawContext::DrawContext(wxDC& dc) : dc_(dc) {
    dc_.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc_.SetFont(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT));
}

Size DrawContext::GetSize() const {
    wxSize size = dc_.GetSize();
    return {size.x, size.y};
}

void DrawContext::SetPen(platform::COLORREF colour, int width, PenStyle style) {
    dc_.SetPen(wxPen(ToWx(colour), width, ToWx(style)));
}

void DrawContext::SetNullPen() {
    dc_.SetPen(*wxTRANSPARENT_PEN);
}
void DrawContext::SetBrush(platform::COLORREF colour) {
    dc_.SetBrush(wxBrush(ToWx(colour)));
}
void DrawContext::SetNullBrush() {
    dc_.SetBrush(*wxTRANSPARENT_BRUSH);
}
void DrawContext::SetFont(const FontSpec& font) {
    dc_.SetFont(MakeFont(font));
}
void DrawContext::SetFont(const wxFont& font) {
    dc_.SetFont(font);
}
void DrawContext::SetTextColor(platform::COLORREF colour) {
    dc_.SetTextForeground(ToWx(colour));
}
void DrawContext::SetBkColor(platform::COLORREF colour) {
    dc_.SetTextBackground(ToWx(colour));
}
void DrawContext::SetBkTransparent(bool transparent) {
    dc_.SetBackgroundMode(transparent ? wxBRUSHSTYLE_TRANSPARENT : wxBRUSHSTYLE_SOLID);
}

Size DrawContext::TextExtent(std::string_view text) const {
    wxCoord w = 0;
    wxCoord h = 0;
    dc_.GetTextExtent(FromUtf8(text), &w, &h);
    if (text.empty()) h = dc_.GetCharHeight();
    return {w, h};
}

void DrawContext::TextOut(int x, int y, std::string_view text) {
    dc_.DrawText(FromUtf8(text), x, y);
}

void DrawContext::TextOutRotated(int x, int y, std::string_view text, double degrees) {
    dc_.DrawRotatedText(FromUtf8(text), x, y, degrees);
}

void DrawContext::DrawText(std::string_view text, const Rect& rect, unsigned flags) {
    int align = wxALIGN_LEFT;
    if (flags & text::Center) align = wxALIGN_CENTER_HORIZONTAL;
    if (flags & text::Right) align = wxALIGN_RIGHT;
    if (flags & text::VCenter)
        align |= wxALIGN_CENTER_VERTICAL;
    else if (flags & text::Bottom)
        align |= wxALIGN_BOTTOM;
    else
        align |= wxALIGN_TOP;
    const wxRect area(rect.left, rect.top, rect.Width(), rect.Height());
    if (!(flags & text::NoClip)) {
        wxDCClipper clip(dc_, area);
        dc_.DrawLabel(FromUtf8(text), area, align);
    } else {
        dc_.DrawLabel(FromUtf8(text), area, align);
    }
}

void DrawContext::MoveTo(int x, int y) {
    current_ = {x, y};
}

void DrawContext::LineTo(int x, int y) {
    dc_.DrawLine(current_.x, current_.y, x, y);
    current_ = {x, y};
}

void DrawContext::Line(int x1, int y1, int x2, int y2) {
    dc_.DrawLine(x1, y1, x2, y2);
    current_ = {x2, y2};
}

void DrawContext::Rectangle(const Rect& rect) {
    dc_.DrawRectangle(rect.left, rect.top, rect.Width(), rect.Height());
}

void DrawContext::FillSolidRect(const Rect& rect, platform::COLORREF colour) {
    if (rect.IsEmpty()) return;
    wxDCPenChanger pen(dc_, *wxTRANSPARENT_PEN);
    wxDCBrushChanger brush(dc_, wxBrush(ToWx(colour)));
    dc_.DrawRectangle(rect.left, rect.top, rect.Width(), rect.Height());
}

void DrawContext::FrameRect(const Rect& rect, platform::COLORREF colour) {
    Draw3dRect(rect, colour, colour);
}

void DrawContext::Draw3dRect(const Rect& rect, platform::COLORREF topLeft, platform::COLORREF bottomRight) {
    if (rect.IsEmpty()) return;
    FillSolidRect({rect.left, rect.top, rect.right - 1, rect.top + 1}, topLeft);
    FillSolidRect({rect.left, rect.top, rect.left + 1, rect.bottom - 1}, topLeft);
    FillSolidRect({rect.right - 1, rect.top, rect.right, rect.bottom}, bottomRight);
    FillSolidRect({rect.left, rect.bottom - 1, rect.right, rect.bottom}, bottomRight);
}

void DrawContext::Ellipse(const Rect& rect) {
    dc_.DrawEllipse(rect.left, rect.top, rect.Width(), rect.Height());
}

void DrawContext::Polyline(const std::vector<Point>& points) {
    if (points.size() < 2) return;
    std::vector<wxPoint> wx;
    wx.reserve(points.size());
    for (const Point& p : points) wx.emplace_back(p.x, p.y);
    dc_.DrawLines(static_cast<int>(wx.size()), wx.data());
}

void DrawContext::Polygon(const std::vector<Point>& points) {
    if (points.size() < 3) return;
    std::vector<wxPoint> wx;
    wx.reserve(points.size());
    for (const Point& p : points) wx.emplace_back(p.x, p.y);
    dc_.DrawPolygon(static_cast<int>(wx.size()), wx.data());
}

std::vector<Point> FlattenBezier(const std::vector<Point>& points, int stepsPerSegment) {
    std::vector<Point> out;
    if (points.empty() || stepsPerSegment < 1) return out;
    out.push_back(points[0]);
    for (size_t i = 0; i + 3 < points.size(); i += 3) {
        const Point& p0 = points[i];
        const Point& p1 = points[i + 1];
        const Point& p2 = points[i + 2];
        const Point& p3 = points[i + 3];
        for (int s = 1; s <= stepsPerSegment; ++s) {
            const double t = static_cast<double>(s) / stepsPerSegment;
            const double u = 1 - t;
            const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
            out.push_back({static_cast<int>(std::lround(a * p0.x + b * p1.x + c * p2.x + d * p3.x)),
                           static_cast<int>(std::lround(a * p0.y + b * p1.y + c * p2.y + d * p3.y))});
        }
    }
    return out;
}

void DrawContext::PolyBezier(const std::vector<Point>& points) {
    Polyline(FlattenBezier(points));
}

void DrawContext::DrawBitmap(const wxBitmap& bitmap, int x, int y) {
    if (bitmap.IsOk()) dc_.DrawBitmap(bitmap, x, y, true);
}

void DrawContext::Blit(const Rect& dest, DrawContext& source, Point sourceOrigin) {
    dc_.Blit(dest.left, dest.top, dest.Width(), dest.Height(), &source.dc_, sourceOrigin.x, sourceOrigin.y);
}

void DrawContext::SetClip(const Rect& rect) {
    dc_.DestroyClippingRegion();
    dc_.SetClippingRegion(rect.left, rect.top, rect.Width(), rect.Height());
}

void DrawContext::ResetClip() {
    dc_.DestroyClippingRegion();
}

MemoryCanvas::MemoryCanvas(int width, int height, platform::COLORREF background)
    : bitmap_(std::max(width, 1), std::max(height, 1), 24) {
    dc_ = std::make_unique<wxMemoryDC>(bitmap_);
    dc_->SetBackground(wxBrush(ToWx(background)));
    dc_->Clear();
    context_ = std::make_unique<DrawContext>(*dc_);
}

MemoryCanvas::~MemoryCanvas() {
    context_.reset();
    if (dc_) dc_->SelectObject(wxNullBitmap);
}

wxBitmap MemoryCanvas::Bitmap() {
    dc_->SelectObject(wxNullBitmap);
    wxBitmap copy = bitmap_.GetSubBitmap(wxRect(0, 0, bitmap_.GetWidth(), bitmap_.GetHeight()));
    dc_->SelectObject(bitmap_);
    return copy;
}

bool MemoryCanvas::SavePng(const std::filesystem::path& file) {
    wxInitAllImageHandlers();
    std::error_code ec;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    return Bitmap().ConvertToImage().SaveFile(wxString::FromUTF8(file.string()), wxBITMAP_TYPE_PNG);
}

platform::COLORREF MemoryCanvas::PixelAt(int x, int y) {
    wxImage image = Bitmap().ConvertToImage();
    if (x < 0 || y < 0 || x >= image.GetWidth() || y >= image.GetHeight()) return 0;
    return static_cast<platform::COLORREF>(image.GetRed(x, y)) |
           (static_cast<platform::COLORREF>(image.GetGreen(x, y)) << 8) |
           (static_cast<platform::COLORREF>(image.GetBlue(x, y)) << 16);
}

wxImage ToWxImage(const platform::Bitmap& bitmap) {
    if (bitmap.width <= 0 || bitmap.height <= 0 ||
        bitmap.pixels.size() < static_cast<size_t>(bitmap.width) * static_cast<size_t>(bitmap.height)) {
        return wxImage();
    }
    wxImage image(bitmap.width, bitmap.height);
    for (int y = 0; y < bitmap.height; ++y) {
        for (int x = 0; x < bitmap.width; ++x) {
            const uint32_t px = bitmap.pixels[static_cast<size_t>(y) * bitmap.width + x];
            image.SetRGB(x, y, (px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF);
        }
    }
    return image;
}

}  // namespace platform::ui
