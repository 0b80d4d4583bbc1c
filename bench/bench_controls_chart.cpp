// Redraw of the chart control with 4 series of 100,000 points at 1280 pixels
// wide, next to drawing the same points (already in pixels) as plain polylines
// with wxDC::DrawLines in the same run. Two kinds of signal: smooth waves, and
// the same waves with a ripple on every sample (the worst case for merging
// points that share a pixel). Prints minimum and median milliseconds per
// frame; the goal for the chart is under 16 ms (60 frames a second).
// Needs a display (run under xvfb-run). Usage: bench_controls_chart [frames]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/graphics.h>

#include "controls/ChartCtrl.h"
#include "controls/ChartLineSerie.h"
#include "controls/ChartStandardAxis.h"
#include "platform/ui/Gui.h"

using controls::CChartAxis;
using controls::CChartCtrl;
using controls::CChartLineSerie;
using controls::SChartXYPoint;

namespace {

constexpr int kSeries = 4;
constexpr int kPoints = 100000;
constexpr int kWidth = 1280;
constexpr int kHeight = 720;

std::vector<SChartXYPoint> Wave(int index, bool ripple) {
    std::vector<SChartXYPoint> points(kPoints);
    const double amplitude = 1.0 + index * 0.5;
    for (int i = 0; i < kPoints; ++i) {
        const double t = i * 1e-5;
        double y = index * 2.0 + amplitude * std::sin(2 * M_PI * (3 + 2 * index) * t + index * 0.8);
        if (ripple) y += 0.05 * amplitude * std::sin(i * 0.7);
        points[i] = {t, y, 0};
    }
    return points;
}

struct Timing {
    std::vector<double> ms;
    double Min() const { return *std::min_element(ms.begin(), ms.end()); }
    double Median() const {
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
};

Timing Time(int frames, const std::function<void()>& frame) {
    frame();  // warm up: buffers, fonts, caches
    Timing timing;
    for (int i = 0; i < frames; ++i) {
        const auto start = std::chrono::steady_clock::now();
        frame();
        timing.ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return timing;
}

void RunCase(const char* name, bool ripple, int frames) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "bench");
    frame->SetClientSize(kWidth, kHeight);
    auto* chart = new CChartCtrl();
    chart->Create(frame, 1217, {0, 0, kWidth, kHeight});
    chart->EnableRefresh(false);
    CChartAxis* bottom =
        chart->AttachCustomAxis(std::make_unique<controls::CChartStandardAxis>(), CChartCtrl::kBottomAxis);
    CChartAxis* left =
        chart->AttachCustomAxis(std::make_unique<controls::CChartStandardAxis>(), CChartCtrl::kLeftAxis);
    bottom->SetAutomaticMode(CChartAxis::kFitAll);
    left->SetAutomaticMode(CChartAxis::kFitAll);
    std::vector<CChartLineSerie*> series;
    for (int s = 0; s < kSeries; ++s) {
        auto* serie =
            static_cast<CChartLineSerie*>(chart->AttachCustomSerie(std::make_unique<CChartLineSerie>(chart)));
        const auto points = Wave(s, ripple);
        serie->SetPoints(points.data(), kPoints);
        serie->RefreshAutoAxes();
        series.push_back(serie);
    }
    chart->EnableRefresh(true);

    // The same points in the chart's own pixels, for the plain polylines.
    std::vector<std::vector<wxPoint>> pixels(kSeries);
    size_t kept = 0;
    for (int s = 0; s < kSeries; ++s) {
        pixels[s].reserve(kPoints);
        for (uint32_t i = 0; i < kPoints; ++i) {
            const platform::ui::Point p = series[s]->PointPixel(i);
            pixels[s].emplace_back(p.x, p.y);
        }
        kept += series[s]->LinePixels().size();
    }

    const Timing ours = Time(frames, [&] { chart->RefreshCtrl(); });

    // The plain polylines, with the back end's smoothed edges (its default) and
    // with hard edges as the chart draws them.
    Timing plain[2];
    for (int hard = 0; hard < 2; ++hard) {
        wxBitmap bitmap(kWidth, kHeight, 24);
        wxMemoryDC dc(bitmap);
        if (hard && dc.GetGraphicsContext() != nullptr)
            dc.GetGraphicsContext()->SetAntialiasMode(wxANTIALIAS_NONE);
        const wxColour colours[kSeries] = {*wxRED, *wxGREEN, *wxBLUE, *wxBLACK};
        plain[hard] = Time(frames, [&] {
            dc.SetBackground(*wxWHITE_BRUSH);
            dc.Clear();
            for (int s = 0; s < kSeries; ++s) {
                dc.SetPen(wxPen(colours[s], 1));
                dc.DrawLines(static_cast<int>(pixels[s].size()), pixels[s].data());
            }
        });
        dc.SelectObject(wxNullBitmap);
    }

    std::printf("%-8s %d series x %d points at %d px: %zu polyline points drawn by the chart\n", name,
                kSeries, kPoints, kWidth, kept);
    std::printf("  chart redraw (whole chart)   min %7.2f ms  median %7.2f ms  (goal < 16 ms)\n", ours.Min(),
                ours.Median());
    std::printf("  wxDC::DrawLines, smoothed    min %7.2f ms  median %7.2f ms  (all points, lines only)\n",
                plain[0].Min(), plain[0].Median());
    std::printf("  wxDC::DrawLines, hard edges  min %7.2f ms  median %7.2f ms  (all points, lines only)\n",
                plain[1].Min(), plain[1].Median());
    frame->Destroy();
    platform::ui::ProcessPending();
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    if (!platform::ui::StartGui()) {
        std::fprintf(stderr, "no display: run under xvfb-run\n");
        return 1;
    }
    RunCase("smooth", false, frames);
    RunCase("ripple", true, frames);
    platform::ui::StopGui();
    return 0;
}
