#include "chart1.h"

namespace zarn {

TChart::TChart(QWidget* parent) : QChartView(parent) { setObjectName(QStringLiteral("Chart1")); }
TChart::~TChart() = default;
void TChart::ClearBlowSeries() {}
void TChart::DrawProcessChart(const ProcessView&, uint16_t, int) {}
void TChart::DrawZeroLine() {}
QStringList TChart::TitleLines() const { return {}; }
std::vector<std::vector<ChartPoint>> TChart::SeriesPoints() const { return {}; }
QImage TChart::ToImage() { return grab().toImage(); }

}  // namespace zarn
