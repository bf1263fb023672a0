// The archive window over about 100 000 series (38 memories of 2688), each figure beside
// its baseline in the same run:
//  - a keystroke in the object filter until the list has its answer, and until the
//    summary has its answer too, against the library's own List of the same filter
//    (every row read at once) and the two queries the window makes (ids, summary);
//  - a jump to a far place of the list until every row in view has its texts, against
//    ListOf of one page of ids;
//  - the process's peak memory after the list was scrolled from top to bottom (counter
//    "peak_MB"); the archive is made by a child process first, so that the peak is the
//    window's alone.
//   cmake --build BUILD --target archive_window_bench && BUILD/tests/bench/archive_window_bench

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>
#include <random>

#include "archive/archive.h"
#include "samplegen.h"
#include "shell/archivewindow.h"

namespace zarn {
namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "archive_window_bench";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// The archive is made in a child process: its imports' memory is not the window's.
QString& Location() {
  static QString location;
  return location;
}
void MakeArchiveInChild(const QString& location) {
  const pid_t child = fork();
  if (child == 0) {
    auto archive = Archive::Open(location);
    auto images = std::make_unique<DeviceImages>();
    for (uint64_t seed = 100; seed < 138 && archive; ++seed) {
      sim::GenerateSample(*images, 2688, seed);
      (*archive)->ImportRead(*images, QStringLiteral("Zarn-2.6 v3.14 sn %1").arg(seed % 5));
    }
    _exit(archive ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
}

struct Big {
  std::unique_ptr<Archive> archive;
  std::unique_ptr<TfrmArchive> window;
  QString object;  // an object of the sample, to filter by
  Big() {
    App();
    archive = std::move(*Archive::Open(Location()));
    SeriesRow row;
    archive->ListOf({5000})->front().FillRow(StrengthUnit::MPa, row);
    object = row[5];
    ArchiveWindowSeams seams;
    seams.location = [] { return Location(); };
    window = std::make_unique<TfrmArchive>(seams);
    window->resize(1280, 800);
    window->show();
    Settle();
  }
  // Serves events (sleeping while there are none) until `done`.
  template <typename Done>
  void Until(Done done) const {
    const QDeadlineTimer deadline(60000);
    QTimer wake;  // a bounded sleep
    wake.start(20);
    do QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    while (!done() && !deadline.hasExpired());
  }
  void Settle() const {
    Until([this] { return window->Idle(); });
  }
  // The first and last rows in view have their texts (asking for them fetches them).
  bool ShownRowsHaveTexts() const {
    QTableView* view = window->SeriesList;
    const int top = view->rowAt(0);
    int bottom = view->rowAt(view->viewport()->height() - 1);
    if (bottom < 0) bottom = window->Model()->rowCount() - 1;
    for (int r : {top, bottom})
      if (r >= 0 && window->Model()->data(window->Model()->index(r, 0), Qt::DisplayRole).toString().isEmpty())
        return false;
    return true;
  }
  // Paints the view, then serves events until its rows have come.
  void SettleShown() const {
    Until([this] {
      window->SeriesList->viewport()->repaint();
      return ShownRowsHaveTexts() && window->Idle();
    });
  }
};
// Never destroyed: the window would go after the parts of Qt it needs at exit.
Big& B() {
  static Big* big = new Big;
  return *big;
}

void BM_ListOfTheFilterBaseline(benchmark::State& state) {
  SeriesFilter f;
  f.object = B().object.left(4);
  qsizetype found = 0;
  for (auto _ : state) found = B().archive->List(f)->size();
  state.counters["found"] = double(found);
}
BENCHMARK(BM_ListOfTheFilterBaseline)->Unit(benchmark::kMillisecond);

void BM_IdsAndSummaryOfTheFilterBaseline(benchmark::State& state) {
  SeriesFilter f;
  f.object = B().object.left(4);
  for (auto _ : state) {
    benchmark::DoNotOptimize(B().archive->SeriesIds(f)->size());
    benchmark::DoNotOptimize(B().archive->Summary(SummaryBy::Month, f)->size());
  }
}
BENCHMARK(BM_IdsAndSummaryOfTheFilterBaseline)->Unit(benchmark::kMillisecond);

// One keystroke: the filter's text one letter longer or shorter, until the list has
// the series it selects (the summary may still be on its way), or until all is in.
void Keystroke(benchmark::State& state, bool all) {
  QLineEdit* edit = B().window->ObjectEdit;
  const QString texts[] = {B().object.left(3), B().object.left(4)};
  int k = 0;
  for (auto _ : state) {
    const int before = B().window->Model()->Generation();
    edit->setText(texts[k++ % 2]);
    if (all)
      B().Settle();
    else
      B().Until([before] { return B().window->Model()->Generation() != before; });
    state.PauseTiming();
    B().Settle();
    state.ResumeTiming();
  }
  state.counters["series"] = double(B().window->Model()->rowCount());
  edit->clear();
  B().Settle();
}
void BM_FilterKeystrokeList(benchmark::State& state) { Keystroke(state, false); }
BENCHMARK(BM_FilterKeystrokeList)->Unit(benchmark::kMillisecond);
void BM_FilterKeystrokeListAndSummary(benchmark::State& state) { Keystroke(state, true); }
BENCHMARK(BM_FilterKeystrokeListAndSummary)->Unit(benchmark::kMillisecond);

void BM_OnePageBaseline(benchmark::State& state) {
  const QList<qint64> ids = B().window->Model()->Ids().mid(50000, TArchiveModel::kPageRows);
  for (auto _ : state) benchmark::DoNotOptimize(B().archive->ListOf(ids)->size());
}
BENCHMARK(BM_OnePageBaseline)->Unit(benchmark::kMillisecond);

// A jump to a far place of the 100 000 rows, until the rows in view are shown.
void BM_ScrollJump(benchmark::State& state) {
  QScrollBar* bar = B().window->SeriesList->verticalScrollBar();
  std::mt19937 random(7);
  for (auto _ : state) {
    bar->setValue(int(random() % uint32_t(bar->maximum() + 1)));
    B().SettleShown();
  }
  state.counters["rows"] = double(B().window->Model()->rowCount());
}
BENCHMARK(BM_ScrollJump)->Unit(benchmark::kMillisecond);

// Top to bottom a page at a time, then the peak memory of the process.
void BM_ScrollThroughAllPeakMemory(benchmark::State& state) {
  QScrollBar* bar = B().window->SeriesList->verticalScrollBar();
  for (auto _ : state) {
    for (int at = 0; at <= bar->maximum(); at += bar->pageStep() * 20) {
      bar->setValue(at);
      B().SettleShown();
    }
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_MB"] = double(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
  state.counters["pages_kept"] = double(B().window->Model()->CachedPages());
}
BENCHMARK(BM_ScrollThroughAllPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace zarn

int main(int argc, char** argv) {
  QTemporaryDir dir;
  zarn::Location() = dir.filePath(QStringLiteral("big.sqlite"));
  zarn::MakeArchiveInChild(zarn::Location());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
