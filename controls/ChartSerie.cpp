#include "controls/ChartSerie.h"

#include <atomic>

#include "controls/ChartAxis.h"
#include "controls/ChartCtrl.h"

namespace controls {

namespace {

std::atomic<uint32_t> g_nextSerieId{0};

}  // namespace

CChartSerie::CChartSerie(CChartCtrl* chart) : chart_(chart), id_(g_nextSerieId++) {}

CChartSerie::~CChartSerie() {
    if (horizontalAxis_ != nullptr) horizontalAxis_->RemoveSeries(this);
    if (verticalAxis_ != nullptr) verticalAxis_->RemoveSeries(this);
}

void CChartSerie::SetName(std::string name) {
    name_ = std::move(name);
    RefreshChart();
}

void CChartSerie::SetVisible(bool visible) {
    visible_ = visible;
    RefreshChart();
}

void CChartSerie::SetColor(platform::COLORREF colour) {
    colour_ = colour;
    RefreshChart();
}

void CChartSerie::SetShadowColor(platform::COLORREF colour) {
    shadowColour_ = colour;
    RefreshChart();
}

void CChartSerie::EnableShadow(bool shadow) {
    shadow_ = shadow;
    RefreshChart();
}

void CChartSerie::SetShadowDepth(int depth) {
    shadowDepth_ = depth;
    RefreshChart();
}

void CChartSerie::RefreshAutoAxes() {
    if (chart_ != nullptr) chart_->EnableRefresh(false);
    if (horizontalAxis_ != nullptr) horizontalAxis_->UpdateAutoRange();
    if (verticalAxis_ != nullptr) verticalAxis_->UpdateAutoRange();
    RefreshChart();
    if (chart_ != nullptr) chart_->EnableRefresh(true);
}

void CChartSerie::RefreshChart() {
    if (chart_ != nullptr) chart_->RefreshCtrl();
}

}  // namespace controls
