// How fast the main window fills and switches a full memory of 2688 processes, how
// soon Print Report shows its first page, and how much a launch with such a file
// costs. Each figure comes with its baseline, measured in the same run; the ratios are
// what to compare.

#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/prctl.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <memory>
#include <vector>

#include "common/images.h"
#include "data/datafile.h"
#include "data/presenters.h"
#include "data/process.h"
#include "samplegen.h"
#include "shell/formmain.h"
#include "shell/reportpreview.h"
#include "shell/stringgrid.h"

namespace zarn {
namespace {

constexpr int kFull = 2688;

QTemporaryDir& Dir() {
  static QTemporaryDir dir;
  return dir;
}

void LoadFull() {
  sim::GenerateSample(Images, kFull, 5);
  CountProcesses();
}

FormSeams BenchSeams() {
  FormSeams seams;
  seams.settingsPath = Dir().filePath(QStringLiteral("Zarn26.ini"));
  seams.keepInArchive = false;
  seams.availableGeometry = [] { return QRect(0, 0, 1920, 1080); };
  seams.execModal = [](QDialog&) { return 0; };
  seams.quit = [] {};
  seams.startWorker = false;
  return seams;
}

std::unique_ptr<TForm1> MakeForm() {
  QFile ini(Dir().filePath(QStringLiteral("Zarn26.ini")));
  if (ini.open(QIODevice::WriteOnly))
    ini.write("[Config]\r\nLangId=Rus\r\n[FormMain]\r\nWidth=1200\r\nHeight=800\r\n");
  ini.close();
  auto form = std::make_unique<TForm1>(BenchSeams());
  form->show();
  QCoreApplication::processEvents();
  return form;
}

// Baseline: the 2688 rows of table 1 as texts, no widgets.
void BM_SeriesTextsOnly(benchmark::State& state) {
  LoadFull();
  std::vector<SeriesRow> rows(kFull);
  ProcessRecordBuffer record{};
  for (auto _ : state) {
    const uint32_t count = ProcessCount.load();
    for (uint32_t i = 0; i < count; ++i) {
      CopyProcess(Images, count, i, record.data());
      FillSeriesRow(ProcessView(record.data()), StrengthUnit::MPa, rows[i]);
    }
    benchmark::DoNotOptimize(rows.data());
  }
}
BENCHMARK(BM_SeriesTextsOnly)->Unit(benchmark::kMillisecond);

// FillSeriesTable: the same texts into table 1, then process 0 into table 2 and the chart.
void BM_FillSeriesTable(benchmark::State& state) {
  LoadFull();
  auto form = MakeForm();
  for (auto _ : state) {
    form->ShowCurrentImages();
  }
  state.counters["rows"] = form->StringGrid1->RowCount();
}
BENCHMARK(BM_FillSeriesTable)->Unit(benchmark::kMillisecond);

// The unit switch with 2688 processes, until the window has repainted.
void BM_UnitSwitchAndRepaint(benchmark::State& state) {
  LoadFull();
  auto form = MakeForm();
  form->ShowCurrentImages();
  bool kgf = false;
  for (auto _ : state) {
    kgf = !kgf;
    if (kgf)
      form->AkgmExecute();
    else
      form->AMPaExecute();
    form->repaint();  // painted now, not at the next turn of the event loop
  }
}
BENCHMARK(BM_UnitSwitchAndRepaint)->Unit(benchmark::kMillisecond);

// Print Report with 2688 processes: from the command until the preview window has
// painted its first page (the preview made anew each time). Compare with
// BM_FillSeriesTable.
void BM_PrintReportToFirstPage(benchmark::State& state) {
  LoadFull();
  auto form = MakeForm();
  form->ShowCurrentImages();
  int pages = 0;
  for (auto _ : state) {
    form->APrintExecute();
    auto* preview = form->findChild<TfrmReportPreview*>(QString(), Qt::FindDirectChildrenOnly);
    if (!preview) {
      state.SkipWithError("no preview");
      break;
    }
    preview->View()->viewport()->repaint();
    state.PauseTiming();
    pages = preview->View()->PageCount();
    delete preview;
    state.ResumeTiming();
  }
  state.counters["pages"] = pages;
}
BENCHMARK(BM_PrintReportToFirstPage)->Unit(benchmark::kMillisecond);

// ---- Whole launches of zarn26, offscreen.

QString FullFile() {
  const QString path = Dir().filePath(QStringLiteral("full.zarn"));
  if (!QFileInfo::exists(path)) {
    auto images = std::make_unique<DeviceImages>();
    sim::GenerateSample(*images, kFull, 5);
    WriteDataFile(path, *images);
  }
  return path;
}

struct Launch {
  double msToFirstPaint = -1;
  double peakKiB = -1;
};

// Starts zarn26, waits for its first paint of table 1 (and `settleMs` more), reads its
// peak memory and ends it.
Launch LaunchOnce(const QStringList& args, int settleMs) {
  const QString painted = Dir().filePath(QStringLiteral("painted"));
  QFile::remove(painted);
  QProcess app;
  app.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  env.insert(QStringLiteral("XDG_CONFIG_HOME"), Dir().filePath(QStringLiteral("config")));
  env.insert(QStringLiteral("XDG_RUNTIME_DIR"), Dir().filePath(QStringLiteral("run")));
  env.insert(QStringLiteral("ZARN26_TEST_PAINTED"), painted);
  app.setProcessEnvironment(env);
  QElapsedTimer timer;
  timer.start();
  app.start(QStringLiteral(ZARN_APP_PATH), args);
  Launch result;
  QDeadlineTimer deadline(30000);
  while (!QFileInfo::exists(painted) && !deadline.hasExpired()) QThread::usleep(200);
  if (QFileInfo::exists(painted)) result.msToFirstPaint = double(timer.nsecsElapsed()) / 1e6;
  QThread::msleep(settleMs);
  QFile status(QStringLiteral("/proc/%1/status").arg(app.processId()));
  if (status.open(QIODevice::ReadOnly)) {
    for (const QByteArray& line : status.readAll().split('\n'))
      if (line.startsWith("VmHWM:")) result.peakKiB = line.mid(6).trimmed().split(' ').value(0).toDouble();
  }
  app.kill();
  app.waitForFinished(5000);
  return result;
}

void PrepareLaunchSettings() {
  QDir().mkpath(Dir().filePath(QStringLiteral("config/zarn26")));
  QDir().mkpath(Dir().filePath(QStringLiteral("run")));
  QFile ini(Dir().filePath(QStringLiteral("config/zarn26/Zarn26.ini")));
  if (ini.open(QIODevice::WriteOnly))
    ini.write("[Config]\r\nLangId=Rus\r\n[FormMain]\r\nWidth=1200\r\nHeight=800\r\n");
}

double Median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Launches with and without the full file, taken in turns so that the load of the
// machine falls on both alike; the medians and their ratio are the figures.
void BM_LaunchToFirstPaint(benchmark::State& state) {
  PrepareLaunchSettings();
  const QStringList withFile{FullFile()};
  std::vector<double> plain, loaded;
  for (auto _ : state) {
    const Launch a = LaunchOnce({}, 0);
    const Launch b = LaunchOnce(withFile, 0);
    if (a.msToFirstPaint < 0 || b.msToFirstPaint < 0) {
      state.SkipWithError("zarn26 did not paint");
      break;
    }
    plain.push_back(a.msToFirstPaint);
    loaded.push_back(b.msToFirstPaint);
    state.SetIterationTime((a.msToFirstPaint + b.msToFirstPaint) / 1000.0);
  }
  state.counters["no_file_ms"] = Median(plain);
  state.counters["file_ms"] = Median(loaded);
  state.counters["ratio"] = Median(loaded) / Median(plain);
}
BENCHMARK(BM_LaunchToFirstPaint)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

// Peak memory of a launch with the full file, after the window has settled.
void BM_PeakMemoryWithFullFile(benchmark::State& state) {
  PrepareLaunchSettings();
  double peak = 0;
  for (auto _ : state) {
    const Launch launch = LaunchOnce({FullFile()}, 1500);
    state.SetIterationTime(std::max(0.0, launch.msToFirstPaint) / 1000.0);
    peak = std::max(peak, launch.peakKiB);
  }
  state.counters["peak_MiB"] = peak / 1024.0;
}
BENCHMARK(BM_PeakMemoryWithFullFile)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zarn

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
