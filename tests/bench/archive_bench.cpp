// The archive's speed, each figure beside its baseline in the same run:
//  - importing a full memory (2688 series) into a new SQLite archive, against the JSON of
//    the same file's series (what `zarn26-cli export --format json series` computes);
//  - importing it again (nothing new), and a read of the same memory again;
//  - list by object and summary by object over about 100 000 series;
//  - bytes of the archive per series against the zlib size of the record (counters);
//  - with PGHOST set (scripts/test-postgres's cluster, or any server): the same import
//    into PostgreSQL.
//   archive_bench [--benchmark_filter=...]

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <memory>
#include <zlib.h>

#include "archive/archive.h"
#include "data/datafile.h"
#include "export_json.h"
#include "samplegen.h"

namespace zarn {
namespace {

struct Shared {
  QTemporaryDir dir;
  std::unique_ptr<DeviceImages> images = std::make_unique<DeviceImages>();
  QString file;
  int counter = 0;
  Shared() {
    sim::GenerateSample(*images, 2688, 1);
    file = dir.filePath(QStringLiteral("full.zarn"));
    WriteDataFile(file, *images);
  }
  QString NewArchive() { return dir.filePath(QStringLiteral("a%1.sqlite").arg(++counter)); }
};
Shared& S() {
  static Shared s;
  return s;
}

void BM_JsonOfTheFileBaseline(benchmark::State& state) {
  DataFileView view;
  view.Open(S().file);
  for (auto _ : state) {
    const QByteArray json = cli::SeriesJson(S().file, view.ParamBlock(), view.DataImage(),
                                            CountProcesses(view.ParamBlock()));
    benchmark::DoNotOptimize(json.size());
  }
}
BENCHMARK(BM_JsonOfTheFileBaseline)->Unit(benchmark::kMillisecond);

void ImportNew(benchmark::State& state, const std::function<QString()>& newLocation) {
  for (auto _ : state) {
    state.PauseTiming();
    auto archive = Archive::Open(newLocation());
    if (!archive) {
      state.SkipWithError(archive.error().Text(1).toUtf8().constData());
      return;
    }
    state.ResumeTiming();
    const auto outcome = (*archive)->ImportFile(S().file);
    if (!outcome || outcome->added != 2688) state.SkipWithError("import failed");
  }
}
void BM_ImportFullMemorySqlite(benchmark::State& state) { ImportNew(state, [] { return S().NewArchive(); }); }
BENCHMARK(BM_ImportFullMemorySqlite)->Unit(benchmark::kMillisecond)->Iterations(5);

// PostgreSQL: a new database per import on the server libpq's environment names.
void BM_ImportFullMemoryPostgres(benchmark::State& state) {
  if (!qEnvironmentVariableIsSet("PGHOST")) {
    state.SkipWithError("no PGHOST: no PostgreSQL server to compare with");
    return;
  }
  ImportNew(state, [] {
    static int n = 0;
    const QString name = QStringLiteral("zarn_bench_%1_%2").arg(QCoreApplication::applicationPid()).arg(++n);
    {
      QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("bench"));
      db.setDatabaseName(QStringLiteral("postgres"));
      if (db.open()) QSqlQuery(db).exec(QStringLiteral("CREATE DATABASE ") + name);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench"));
    return QStringLiteral("postgresql:///") + name;
  });
}
BENCHMARK(BM_ImportFullMemoryPostgres)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ImportTheSameFileAgain(benchmark::State& state) {
  auto archive = Archive::Open(S().NewArchive());
  (*archive)->ImportFile(S().file);
  for (auto _ : state) {
    const auto outcome = (*archive)->ImportFile(S().file);
    if (!outcome || outcome->added != 0) state.SkipWithError("import failed");
  }
}
BENCHMARK(BM_ImportTheSameFileAgain)->Unit(benchmark::kMillisecond);

void BM_ImportTheSameReadAgain(benchmark::State& state) {
  auto archive = Archive::Open(S().NewArchive());
  (*archive)->ImportRead(*S().images, QStringLiteral("v1"));
  for (auto _ : state) {
    const auto outcome = (*archive)->ImportRead(*S().images, QStringLiteral("v1"));
    if (!outcome || outcome->added != 0) state.SkipWithError("import failed");
  }
}
BENCHMARK(BM_ImportTheSameReadAgain)->Unit(benchmark::kMillisecond);

// About 100 000 series: 38 memories of 2688.
Archive& Big() {
  static std::unique_ptr<Archive> archive = [] {
    auto a = Archive::Open(S().dir.filePath(QStringLiteral("big.sqlite")));
    auto images = std::make_unique<DeviceImages>();
    for (uint64_t seed = 100; seed < 138; ++seed) {
      sim::GenerateSample(*images, 2688, seed);
      (*a)->ImportRead(*images, QStringLiteral("v1"));
    }
    return std::move(*a);
  }();
  return *archive;
}

SeriesFilter OneObject() {
  SeriesFilter f;
  SeriesRow row;
  Big().List()->at(5000).FillRow(StrengthUnit::MPa, row);
  f.object = row[5];
  return f;
}

void BM_ListByObjectOf100000(benchmark::State& state) {
  const SeriesFilter f = OneObject();
  qsizetype found = 0;
  for (auto _ : state) found = Big().List(f)->size();
  state.counters["series"] = double(Big().List()->size());
  state.counters["found"] = double(found);
}
BENCHMARK(BM_ListByObjectOf100000)->Unit(benchmark::kMillisecond);

void BM_SummaryByObjectOf100000(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Big().Summary(SummaryBy::Object)->size());
}
BENCHMARK(BM_SummaryByObjectOf100000)->Unit(benchmark::kMillisecond);

// Bytes per series: the archive file after one full memory, against zlib of each record.
void BM_BytesPerSeries(benchmark::State& state) {
  const QString location = S().NewArchive();
  {
    auto archive = Archive::Open(location);
    (*archive)->ImportFile(S().file);
  }
  const uint32_t n = CountProcesses(S().images->ParamBlock.data());
  double zlib = 0;
  ProcessRecordBuffer r;
  for (uint32_t i = 0; i < n; ++i) {
    CopyProcess(*S().images, n, i, r.data());
    uLongf size = compressBound(uLong(r.size()));
    std::vector<Bytef> out(size);
    compress(out.data(), &size, r.data(), uLong(r.size()));
    zlib += double(size);
  }
  for (auto _ : state) benchmark::DoNotOptimize(n);
  const double archive = double(QFileInfo(location).size()) / n;
  state.counters["archive_bytes"] = archive;
  state.counters["zlib_bytes"] = zlib / n;
  state.counters["ratio"] = archive / (zlib / n);
}
BENCHMARK(BM_BytesPerSeries)->Iterations(1);

}  // namespace
}  // namespace zarn

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
