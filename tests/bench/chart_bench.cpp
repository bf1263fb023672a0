// Browsing: holding the arrow key in table 1 switches the shown process once per key
// repeat; each switch refills table 2 and the coefficient row and redraws the chart with
// 15 blows. One iteration is one switch (a run is 200 switches in a row), with and
// without the repaint that follows it on the screen. The baseline fills the chart's
// series point by point, measured in the same run; the ratio is what to compare.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QLineSeries>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "common/images.h"
#include "data/presenters.h"
#include "data/process.h"
#include "data/testdata.h"
#include "shell/chart1.h"
#include "shell/formmain.h"
#include "shell/stringgrid.h"

namespace zarn {
namespace {

constexpr int kProcesses = 40;
constexpr int kSwitches = 200;

// Processes of 15 blows, each blow a decaying oscillation of its own.
void LoadBrowsingSample() {
  std::vector<ProcessRecordBuffer> records;
  for (int i = 0; i < kProcesses; ++i) {
    test::TestProcess p;
    p.blowCount = 15;
    p.blowMask = i % 3 == 0 ? 0x7FF7 : 0x7FFF;  // some with a gray blow
    p.timeStep = 0.001f;
    for (int b = 0; b < 15; ++b) {
      test::TestBlow& w = p.blows[size_t(b)];
      w.impactAmplitude = 2.0f + 0.05f * float((b + i) % 9);
      w.waveStart = 0.001f * float(1 + (b + i) % 7);
      w.stepMode = (b + i) % 11 == 0 ? 1 : 0;
      int running = 0;
      for (int k = 1; k <= kWaveSamples; ++k) {
        const double period = 120 + 5 * ((b * 7 + i) % 13);
        const int value = int(100 * std::exp(-k / 140.0) * std::sin(6.2831853 * k / period));
        if (k == 1) {
          w.firstSample = int8_t(value);
          running = value;
        } else {
          const int step = std::clamp(value - running, -127, 127);
          w.deltas[size_t(k - 2)] = int8_t(step);
          running += step;
        }
      }
    }
    records.push_back(test::Encode(p));
  }
  Images = DeviceImages{};
  test::PlaceProcesses(Images, records);
  CountProcesses();
}

QTemporaryDir& Dir() {
  static QTemporaryDir dir;
  return dir;
}

std::unique_ptr<TForm1> MakeForm() {
  QFile ini(Dir().filePath(QStringLiteral("Zarn26.ini")));
  if (ini.open(QIODevice::WriteOnly))
    ini.write("[Config]\r\nLangId=Rus\r\n[FormMain]\r\nWidth=1200\r\nHeight=800\r\n");
  ini.close();
  FormSeams seams;
  seams.settingsPath = ini.fileName();
  seams.keepInArchive = false;
  seams.availableGeometry = [] { return QRect(0, 0, 1920, 1080); };
  seams.execModal = [](QDialog&) { return 0; };
  seams.quit = [] {};
  seams.startWorker = false;
  auto form = std::make_unique<TForm1>(std::move(seams));
  form->show();
  LoadBrowsingSample();
  form->ShowCurrentImages();
  QCoreApplication::processEvents();
  return form;
}

// The next row of table 1, as the arrow key moves it, and its click.
void NextProcess(TForm1& form, int& row) {
  row = row + 1 < kProcesses + 2 ? row + 1 : 2;
  form.StringGrid1->SetRow(row);
  form.StringGrid1Click();
}

// The switch as the window does it.
void BM_Switch(benchmark::State& state) {
  const bool paint = state.range(0) != 0;
  auto form = MakeForm();
  int row = 2;
  for (auto _ : state) {
    NextProcess(*form, row);
    if (paint) form->repaint();
  }
  state.SetLabel(paint ? "with repaint" : "tables and series only");
}
BENCHMARK(BM_Switch)->Arg(0)->Arg(1)->Iterations(kSwitches)->Repetitions(3)
    ->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: the same switch, but the chart's series refilled point by point.
void BM_SwitchAppendingPoints(benchmark::State& state) {
  auto form = MakeForm();
  int row = 2;
  for (auto _ : state) {
    NextProcess(*form, row);
    const std::vector<BlowCurve> curves = ChartCurves(ProcessView(ProcessRecord.data()), 0);
    for (size_t k = 0; k < curves.size(); ++k) {
      QLineSeries* s = form->Chart1->Series(int(k) + 1);
      s->clear();
      for (const ChartPoint& p : curves[k].points) s->append(p.x, p.y);
    }
  }
  state.SetLabel("tables and series only");
}
// Point by point is slow enough that a few switches tell.
BENCHMARK(BM_SwitchAppendingPoints)->Arg(0)->Iterations(10)->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The parts of a switch: the chart alone, and the curves alone (no widgets).
void BM_ChartOnly(benchmark::State& state) {
  auto form = MakeForm();
  uint32_t i = 0;
  ProcessRecordBuffer record{};
  for (auto _ : state) {
    i = (i + 1) % ProcessCount.load();
    CopyProcess(Images, ProcessCount.load(), i, record.data());
    form->Chart1->DrawProcessChart(ProcessView(record.data()), 0, 0);
  }
}
BENCHMARK(BM_ChartOnly)->Iterations(kSwitches)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CurvesOnly(benchmark::State& state) {
  LoadBrowsingSample();
  uint32_t i = 0;
  ProcessRecordBuffer record{};
  for (auto _ : state) {
    i = (i + 1) % ProcessCount.load();
    CopyProcess(Images, ProcessCount.load(), i, record.data());
    benchmark::DoNotOptimize(ChartCurves(ProcessView(record.data()), 0));
  }
}
BENCHMARK(BM_CurvesOnly)->Iterations(kSwitches)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zarn

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
