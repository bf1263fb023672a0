#pragma once
// Chart1: the waveforms of the blows of the process shown in table 2 (Qt Charts).
// Series1..Series15 hold one blow each, Series16 the zero line.

#include <QChartView>
#include <QImage>
#include <QStringList>
#include <vector>

#include "data/presenters.h"

namespace zarn {

class TChart : public QChartView {
  Q_OBJECT

 public:
  explicit TChart(QWidget* parent = nullptr);
  ~TChart() override;

  // Removes all points of Series1..Series15.
  void ClearBlowSeries();
  // Draws the view `a` of `process` (0 = all blows, gray ones first; a >= 1 = blow a
  // alone), sets the title in `language`, the zero line and the symmetric left axis.
  void DrawProcessChart(const ProcessView& process, uint16_t a, int language);
  // Resets Series16 to the zero line from x = 0 to the largest x of the chart.
  void DrawZeroLine();

  // What the chart holds now (after any zoom or trimming), for the chart-data copy.
  QStringList TitleLines() const;
  std::vector<std::vector<ChartPoint>> SeriesPoints() const;  // Series1..Series15
  // The chart drawn on white at its current size.
  QImage ToImage();

 signals:
  // The pointer position of a mouse press, in the chart's coordinates (LastMouseDown).
  void MousePressed(QPoint position);
};

}  // namespace zarn
