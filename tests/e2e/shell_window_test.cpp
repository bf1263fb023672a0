// zarn26 against zarn26-sim on a private X server: the start-up read fills the window,
// a click shows a process, and closing ends the program quickly even in the middle of
// a transfer or with a stalled instrument.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QThread>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "data/datafile.h"
#include "device_helpers.h"
#include "materials/materialsblock.h"
#include "objects/objectsblock.h"

namespace zarn::testing {
namespace {

// An X server of our own. The server picks a free display itself and names it on its
// stdout once it accepts connections: two suites that start at the same moment never
// share one server (the one whose server then ends would take the other's window with
// it), and lock files left by servers that were killed are the server's to judge.
class Xvfb {
 public:
  Xvfb() {
    child_.Start(QStringLiteral(ZARN_XVFB_PATH),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                  QStringLiteral("0"), QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                  QStringLiteral("tcp")});
    bool number = false;
    const int n = child_.ReadLine(10000).toInt(&number);
    if (number && n >= 0 && child_.Process().state() == QProcess::Running)
      display_ = QStringLiteral(":%1").arg(n);
  }
  // Ended as asked, the server removes its lock file and socket.
  ~Xvfb() { child_.Stop(SIGTERM, 5000); }
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;
  const QString& Display() const { return display_; }

 private:
  Child child_;
  QString display_;
};

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "shell_e2e_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    ASSERT_TRUE(dir_.isValid());
    ASSERT_FALSE(x_.Display().isEmpty()) << "no X server";
    runtime_ = dir_.filePath(QStringLiteral("run"));
    QDir().mkpath(runtime_);
    ::chmod(runtime_.toLocal8Bit().constData(), 0700);
    probe_ = dir_.filePath(QStringLiteral("probe"));
    dataFile_ = dir_.filePath(QStringLiteral("memory.zarn"));
    Child writer;
    writer.Start(QStringLiteral(ZARN_SIM_PATH), {QStringLiteral("--write-sample"), dataFile_,
                                                 QStringLiteral("--processes"), QStringLiteral("40"),
                                                 QStringLiteral("--seed"), QStringLiteral("11")});
    ASSERT_EQ(writer.Wait(30000), 0) << writer.Process().readAllStandardError().toStdString();
  }

  QByteArray StartSimulator(const QStringList& extra = {}) {
    return sim_.Start(QStringList{QStringLiteral("--data"), dataFile_} + extra);
  }

  void StartProgram(const QByteArray& settings) {
    const QString config = dir_.filePath(QStringLiteral("config/zarn26"));
    QDir().mkpath(config);
    QFile ini(config + QStringLiteral("/Zarn26.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(settings);
    ini.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), x_.Display());
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir_.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("HOME"), dir_.path());
    env.insert(QStringLiteral("ZARN26_TEST_PROBE"), probe_);
    app_.Start(QStringLiteral(ZARN_APP_PATH), {}, env);
    ASSERT_EQ(app_.Process().state(), QProcess::Running);
  }

  // The window's last reported state, key by key.
  QMap<QString, QString> State() const {
    QMap<QString, QString> state;
    QFile f(probe_ + QStringLiteral("/state.txt"));
    if (!f.open(QIODevice::ReadOnly)) return state;
    for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
      const qsizetype eq = line.indexOf(u'=');
      if (eq > 0) state.insert(line.left(eq), line.mid(eq + 1));
    }
    return state;
  }

  bool WaitFor(const std::function<bool(const QMap<QString, QString>&)>& done, int ms) {
    QDeadlineTimer deadline(Bound(ms));
    while (!deadline.hasExpired()) {
      if (done(State())) return true;
      // The window's end is seen at once (state() alone does not learn of it without
      // an event loop), and the dump then says how it ended.
      if (app_.Process().state() != QProcess::Running || app_.Process().waitForFinished(50))
        return false;
    }
    return false;
  }

  // The window's state without the grids' rows, and the end of what it and the simulator
  // wrote to stderr: what a failed wait shows.
  std::string Dump() {
    std::string all;
    const QMap<QString, QString> state = State();
    for (auto it = state.begin(); it != state.end(); ++it)
      if (!it.key().contains(u'[')) all += (it.key() + u'=' + it.value() + u'\n').toStdString();
    if (app_.Process().state() == QProcess::NotRunning)
      all += "window ended: " + std::string(app_.Process().exitStatus() == QProcess::NormalExit ? "exit " : "crash ") +
             std::to_string(app_.Process().exitCode()) + "\n";
    all += "window stderr: " + app_.Process().readAllStandardError().right(6000).toStdString();
    all += "\nsimulator stderr: " + sim_.Process().Process().readAllStandardError().right(2000).toStdString();
    return all;
  }

  void Command(const QString& line) {
    QSaveFile f(probe_ + QStringLiteral("/command"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(line.toUtf8() + '\n');
    ASSERT_TRUE(f.commit());
  }

  // zarn26-cli read OUT in the window's surroundings (the same instrument).
  void StartReader(Child& reader, const QString& out) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.filePath(QStringLiteral("config")));
    reader.Start(QStringLiteral(ZARN_CLI_PATH),
                 {QStringLiteral("read"), out, QStringLiteral("--timeout"), QStringLiteral("60")}, env);
  }

  // Closes the window as its close box does; the time until the process has ended.
  qint64 CloseAndTime() {
    QElapsedTimer timer;
    timer.start();
    Command(QStringLiteral("close"));
    if (app_.Wait(10000) != 0) return -1;
    return timer.elapsed();
  }

  // What zarn26-cli exports from the data file: the same presenters as the window.
  QStringList Export(const QStringList& what) {
    Child cli;
    cli.Start(QStringLiteral(ZARN_CLI_PATH),
              QStringList{QStringLiteral("export"), dataFile_, QStringLiteral("--lang"), QStringLiteral("ru")} +
                  what);
    cli.Process().waitForFinished(30000);
    return QString::fromUtf8(cli.Process().readAllStandardOutput()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  }

  // What zarn26-cli archive ARGS --format json prints of the window's archive.
  QJsonObject ArchiveJson(const QStringList& args) {
    Child cli;
    cli.Start(QStringLiteral(ZARN_CLI_PATH),
              QStringList{QStringLiteral("archive"), QStringLiteral("--db"), dir_.filePath(QStringLiteral("data/zarn26/archive.sqlite"))} +
                  args + QStringList{QStringLiteral("--format"), QStringLiteral("json")});
    cli.Process().waitForFinished(30000);
    return QJsonDocument::fromJson(cli.Process().readAllStandardOutput()).object();
  }

  // Panel 0's own text, without the archive's note after it.
  static QString OwnText(const QString& panel) { return panel.section(QStringLiteral(" — "), 0, 0); }

  static QStringList GridRows(const QMap<QString, QString>& state, const QString& grid) {
    QStringList rows;
    for (int r = 0;; ++r) {
      const auto it = state.find(QStringLiteral("%1[%2]").arg(grid).arg(r));
      if (it == state.end()) return rows;
      rows.append(*it);
    }
  }

  Xvfb x_;
  QTemporaryDir dir_;
  QString runtime_, probe_, dataFile_;
  Simulator sim_{dir_.filePath(QStringLiteral("run/zarn26"))};
  Child app_;
};

// Suites started at the same moment each get an X server of their own, and each server
// lives on while the others end: a window never loses its display to another suite.
#if defined(__SANITIZE_THREAD__)
#define ZARN_UNDER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZARN_UNDER_TSAN 1
#endif
#endif

TEST(ShellXServer, ServersStartedTogetherEachHaveTheirOwnDisplay) {
#ifdef ZARN_UNDER_TSAN
  // The race detector cannot follow a fork from a process that runs threads already,
  // which is what starting the servers together needs; the ordinary build checks this.
  GTEST_SKIP() << "servers started from several threads: not under the race detector";
#endif
  App();
  constexpr int kServers = 3;
  std::vector<std::unique_ptr<Xvfb>> servers(kServers);
  std::vector<std::thread> starts;
  for (auto& server : servers) starts.emplace_back([&server] { server = std::make_unique<Xvfb>(); });
  for (std::thread& start : starts) start.join();
  std::set<QString> displays;
  for (const auto& server : servers) {
    ASSERT_FALSE(server->Display().isEmpty());
    displays.insert(server->Display());
  }
  EXPECT_EQ(int(displays.size()), kServers);
  servers.front().reset();
  for (size_t i = 1; i < servers.size(); ++i) {
    const QString socket = QStringLiteral("/tmp/.X11-unix/X") + servers[i]->Display().mid(1);
    EXPECT_TRUE(QFileInfo::exists(socket)) << socket.toStdString();
  }
}

TEST_F(ShellTest, StartUpReadFillsTheWindowAndAClickShowsAProcess) {
  ASSERT_FALSE(StartSimulator().isEmpty());
  StartProgram("[Config]\r\nLangId=Rus\r\n[FormMain]\r\nWidth=1100\r\nHeight=700\r\nTable1Width=560\r\n");
  // The status comes first, the tables right after it.
  ASSERT_TRUE(WaitFor(
      [](const auto& s) {
        return s.value(u"panel1"_qs) == u"Данные считаны (40)" && s.value(u"table1.size"_qs) == u"9x42";
      },
      60000))
      << Dump();
  const QMap<QString, QString> state = State();
  EXPECT_EQ(OwnText(state.value(u"panel0"_qs)), u"Zarn-2.6 v3.14 sn 0001");
  EXPECT_EQ(state.value(u"lamp"_qs), u"8000000f");  // back to the button colour
  EXPECT_EQ(state.value(u"progress"_qs), u"0");
  EXPECT_EQ(state.value(u"table1.size"_qs), u"9x42");
  const QStringList series = Export({QStringLiteral("series")});
  ASSERT_EQ(series.size(), 42);
  EXPECT_EQ(GridRows(state, u"table1"_qs), series);
  EXPECT_EQ(GridRows(state, u"table2"_qs), Export({QStringLiteral("impacts"), QStringLiteral("0")}));

  Command(QStringLiteral("click1 4"));
  const QStringList impacts2 = Export({QStringLiteral("impacts"), QStringLiteral("2")});
  ASSERT_TRUE(WaitFor([&](const auto& s) { return GridRows(s, u"table2"_qs) == impacts2; }, 10000));
  const QStringList blowHeadings = impacts2.first().split(u'\t');
  EXPECT_EQ(State().value(u"chart.series"_qs).toInt(), blowHeadings.size() - 1);
  EXPECT_EQ(State().value(u"koef[0]"_qs),
            Export({QStringLiteral("coefficients"), QStringLiteral("2")}).value(0));

  Command(QStringLiteral("click2 2"));
  ASSERT_TRUE(WaitFor([](const auto& s) { return s.value(u"chart.title"_qs) == u"2-й удар"; }, 10000));
  Command(QStringLiteral("click1 2"));
  ASSERT_TRUE(WaitFor([](const auto& s) { return s.value(u"row1"_qs) == u"2"; }, 10000));
  Command(QStringLiteral("grab ") + QStringLiteral(ZARN_APP_PATH) + QStringLiteral("-e2e.png"));
  QThread::msleep(500);

  const qint64 ms = CloseAndTime();
  EXPECT_GE(ms, 0) << "the program did not end";
  EXPECT_LT(ms, 3000);
}

// One program per instrument: the window waits, saying so, while zarn26-cli reads; and
// zarn26-cli is turned away while the window reads. Each read that runs is whole.
TEST_F(ShellTest, TheWindowAndTheReaderTakeTurnsWithTheInstrument) {
  // 2 ms after every 4 KiB: each 8 MiB read takes a few seconds.
  ASSERT_FALSE(StartSimulator({QStringLiteral("--slow"), QStringLiteral("2")}).isEmpty());
  Child first;
  StartReader(first, dir_.filePath(QStringLiteral("first.zarn")));
  QThread::msleep(2000);  // the reader has the instrument now
  StartProgram("[Config]\r\nLangId=Rus\r\n");
  EXPECT_TRUE(WaitFor([](const auto& s) { return s.value(u"panel1"_qs) == u"Прибор занят другой программой"; },
                      30000))
      << State().value(u"panel1"_qs).toStdString();
  EXPECT_EQ(first.Wait(60000), 0) << first.Process().readAllStandardError().toStdString();
  ASSERT_TRUE(WaitFor([](const auto& s) { return s.value(u"panel1"_qs) == u"Данные считаны (40)"; }, 60000));

  Command(QStringLiteral("read"));
  ASSERT_TRUE(WaitFor([](const auto& s) { return s.value(u"progress"_qs) == u"1"; }, 30000));
  Child second;
  const QString secondOut = dir_.filePath(QStringLiteral("second.zarn"));
  StartReader(second, secondOut);
  EXPECT_EQ(second.Wait(30000), 7) << second.Process().readAllStandardError().toStdString();
  EXPECT_TRUE(second.Process().readAllStandardError().contains("Прибор занят другой программой"));
  EXPECT_FALSE(QFileInfo::exists(secondOut));
  ASSERT_TRUE(WaitFor([](const auto& s) { return s.value(u"panel1"_qs) == u"Данные считаны (40)"; }, 60000));
  EXPECT_EQ(GridRows(State(), u"table1"_qs), Export({QStringLiteral("series")}));
  EXPECT_GE(CloseAndTime(), 0);
}

// The editors against the instrument: Default on group 0 and To device, an object name
// typed and sent; closing with an unsent change asks, Cancel keeps the window, No closes
// it without sending. The instrument then holds what was sent and nothing else.
TEST_F(ShellTest, TheEditorsSendWhatTheUserChose) {
  const QString held = dir_.filePath(u"held.zarn"_qs);
  ASSERT_FALSE(StartSimulator({QStringLiteral("--save-on-exit"), held}).isEmpty());
  StartProgram("[Config]\r\nLangId=Eng\r\n");
  ASSERT_TRUE(WaitFor([](const auto& s) { return s.value(u"panel1"_qs) == u"Data Readed (40)"; }, 60000)) << Dump();
  // "modified" holds the materials' and the objects' flag, in that order.
  auto settled = [](const QString& kind, int flag, QChar modified) {
    return [=](const QMap<QString, QString>& s) {
      return s.value(kind + u".open"_qs) == u"1" && s.value(kind + u".busy"_qs) == u"0" &&
             s.value(u"modified"_qs).mid(flag, 1) == QString(modified) && !s.contains(u"modal"_qs);
    };
  };
  Command(QStringLiteral("editor materials open"));
  ASSERT_TRUE(WaitFor(settled(u"materials"_qs, 0, u'0'), 20000)) << Dump();
  Command(QStringLiteral("editor materials click ButtonDefault"));
  ASSERT_TRUE(WaitFor(settled(u"materials"_qs, 0, u'1'), 20000)) << Dump();
  Command(QStringLiteral("editor materials click btnToDevice"));
  ASSERT_TRUE(WaitFor(settled(u"materials"_qs, 0, u'0'), 20000)) << Dump();
  const QString materialsShot = QStringLiteral(ZARN_APP_PATH) + QStringLiteral("-materials.png");
  QFile::remove(materialsShot);
  Command(QStringLiteral("editor materials grab ") + materialsShot);
  ASSERT_TRUE(WaitFor([&](const auto&) { return QFileInfo::exists(materialsShot); }, 20000)) << Dump();

  Command(QStringLiteral("editor objects open"));  // opens with a read of the names
  ASSERT_TRUE(WaitFor(settled(u"objects"_qs, 1, u'0'), 20000)) << Dump();
  Command(QStringLiteral("editor objects type EditName2 Beam 7"));
  ASSERT_TRUE(WaitFor(settled(u"objects"_qs, 1, u'1'), 20000)) << Dump();
  Command(QStringLiteral("editor objects click btnToDevice"));
  ASSERT_TRUE(WaitFor(settled(u"objects"_qs, 1, u'0'), 20000)) << Dump();
  const QString objectsShot = QStringLiteral(ZARN_APP_PATH) + QStringLiteral("-objects.png");
  QFile::remove(objectsShot);
  Command(QStringLiteral("editor objects grab ") + objectsShot);
  ASSERT_TRUE(WaitFor([&](const auto&) { return QFileInfo::exists(objectsShot); }, 20000)) << Dump();

  Command(QStringLiteral("editor materials type EditA2_1 5"));
  ASSERT_TRUE(WaitFor(settled(u"materials"_qs, 0, u'1'), 20000)) << Dump();
  Command(QStringLiteral("editor materials close"));
  ASSERT_TRUE(WaitFor([](const auto& s) { return s.contains(u"modal"_qs); }, 20000)) << Dump();
  Command(QStringLiteral("answer cancel"));
  ASSERT_TRUE(WaitFor(settled(u"materials"_qs, 0, u'1'), 20000)) << Dump();
  Command(QStringLiteral("editor materials close"));
  ASSERT_TRUE(WaitFor([](const auto& s) { return s.contains(u"modal"_qs); }, 20000)) << Dump();
  Command(QStringLiteral("answer no"));
  ASSERT_TRUE(WaitFor([](const auto& s) { return s.value(u"materials.open"_qs) == u"0"; }, 20000)) << Dump();
  EXPECT_GE(CloseAndTime(), 0);

  ASSERT_EQ(sim_.Stop(), 0);
  auto before = std::make_unique<DeviceImages>();
  auto after = std::make_unique<DeviceImages>();
  ASSERT_EQ(ReadDataFile(dataFile_, *before), DataFileStatus::Ok);
  ASSERT_EQ(ReadDataFile(held, *after), DataFileStatus::Ok);
  bool blank = true;
  const MaterialGroupTexts group0 = MaterialGroupToTexts(after->MaterialsBlock.data(), 0, blank);
  const MaterialGroupTexts defaults = DefaultMaterialGroupTexts(0, kEnglish);
  for (int r = 0; r < kMaterialsPerGroup; ++r) {
    EXPECT_EQ(group0[size_t(r)].name, defaults[size_t(r)].name) << r;
    EXPECT_EQ(group0[size_t(r)].coefficients, defaults[size_t(r)].coefficients) << r;
  }
  const size_t groupBytes = size_t(kMaterialsPerGroup) * kMaterialRecordSize;
  EXPECT_TRUE(std::equal(after->MaterialsBlock.begin() + groupBytes, after->MaterialsBlock.end(),
                         before->MaterialsBlock.begin() + groupBytes));
  ObjectNameTexts names = ObjectsToTexts(before->ObjectsBlock.data(), blank);
  names[1] = u"Beam 7"_qs;
  EXPECT_EQ(ObjectsToTexts(after->ObjectsBlock.data(), blank), names);
}

// Browsing, unit switches and copies while re-reads run (the race detector's build runs
// this too): what the window shows is always one whole read, and it ends cleanly.
TEST_F(ShellTest, BrowsingAndCopyingWhileReReadsRun) {
  ASSERT_FALSE(StartSimulator({QStringLiteral("--slow"), QStringLiteral("1")}).isEmpty());
  StartProgram("[Config]\r\nLangId=Rus\r\n");
  ASSERT_TRUE(WaitFor([](const auto& s) { return s.value(u"panel1"_qs) == u"Данные считаны (40)"; }, 60000))
      << Dump();
  QElapsedTimer timer;
  timer.start();
  int reads = 0;
  // Nine seconds of it, and at least two re-reads however slow the machine is today.
  const qint64 bound = Bound(120000);
  for (int round = 0; (timer.elapsed() < 9000 || reads < 2) && timer.elapsed() < bound; ++round) {
    const QMap<QString, QString> state = State();
    if (state.value(u"panel1"_qs).startsWith(u"Данные считаны")) {
      Command(QStringLiteral("read"));
      ++reads;
      QThread::msleep(150);
    }
    Command(QStringLiteral("click1 %1\nunit %2\ncopy1\nclick2 %3\ncopydata\ncopy2")
                .arg(2 + round % 30)
                .arg(round % 2 ? QStringLiteral("kgf") : QStringLiteral("mpa"))
                .arg(1 + round % 5));
    QThread::msleep(200);
    ASSERT_EQ(app_.Process().state(), QProcess::Running);
    const QMap<QString, QString> now = State();
    // Always 40 processes on show: never a half-read directory.
    EXPECT_EQ(now.value(u"shown"_qs), u"40");
    EXPECT_EQ(now.value(u"table1.size"_qs), u"9x42");
  }
  EXPECT_GE(reads, 2);
  Command(QStringLiteral("unit mpa"));
  ASSERT_TRUE(WaitFor([](const auto& s) { return s.value(u"panel1"_qs) == u"Данные считаны (40)"; }, 60000))
      << Dump();
  ASSERT_TRUE(WaitFor([&](const auto& s) { return GridRows(s, u"table1"_qs) == Export({QStringLiteral("series")}); },
                      10000));
  const qint64 ms = CloseAndTime();
  EXPECT_GE(ms, 0) << "the program did not end cleanly: exit " << app_.Process().exitCode() << "\n" << Dump();
}

// A data file opened while the start-up read runs opens at once: the window shows the
// file, the read is abandoned, and the instrument is free for another program.
TEST_F(ShellTest, AFileOpenedDuringTheReadOpensAtOnceAndFreesTheInstrument) {
  // 4 ms after every 4 KiB: the 8 MiB read takes more than 8 seconds.
  ASSERT_FALSE(StartSimulator({QStringLiteral("--slow"), QStringLiteral("4")}).isEmpty());
  StartProgram("[Config]\r\nLangId=Rus\r\n");
  ASSERT_TRUE(WaitFor([](const auto& s) { return s.value(u"progress"_qs) == u"1"; }, 60000)) << Dump();
  Command(QStringLiteral("open ") + dataFile_);
  // Well before the read could have ended (a bound against hanging).
  ASSERT_TRUE(WaitFor([](const auto& s) { return OwnText(s.value(u"panel0"_qs)) == u"Файл \"memory.zarn\""; }, 5000))
      << Dump();
  const QMap<QString, QString> state = State();
  EXPECT_EQ(state.value(u"panel1"_qs), u"Данные считаны (40)");
  EXPECT_EQ(state.value(u"shown"_qs), u"40");
  EXPECT_EQ(state.value(u"progress"_qs), u"0");
  Child reader;
  const QString out = dir_.filePath(QStringLiteral("after.zarn"));
  StartReader(reader, out);
  EXPECT_EQ(reader.Wait(60000), 0) << reader.Process().readAllStandardError().toStdString();
  auto read = std::make_unique<DeviceImages>();
  auto file = std::make_unique<DeviceImages>();
  ASSERT_EQ(ReadDataFile(out, *read), DataFileStatus::Ok);
  ASSERT_EQ(ReadDataFile(dataFile_, *file), DataFileStatus::Ok);
  EXPECT_TRUE(read->DataImage == file->DataImage);
  // The window kept the file all along.
  EXPECT_EQ(OwnText(State().value(u"panel0"_qs)), u"Файл \"memory.zarn\"");
  EXPECT_GE(CloseAndTime(), 0);
}

TEST_F(ShellTest, EnglishStatusAfterTheRead) {
  ASSERT_FALSE(StartSimulator({QStringLiteral("--version-text"), QStringLiteral("ZARN TEST")}).isEmpty());
  StartProgram("[Config]\r\nLangId=Eng\r\nDimension=kg/sm2\r\n");
  ASSERT_TRUE(WaitFor(
      [](const auto& s) {
        return s.value(u"panel1"_qs) == u"Data Readed (40)" && s.value(u"table1.size"_qs) == u"9x42";
      },
      60000));
  const QMap<QString, QString> state = State();
  EXPECT_EQ(OwnText(state.value(u"panel0"_qs)), u"ZARN TEST");
  EXPECT_TRUE(state.value(u"table1[1]"_qs).contains(u"kgs/sm2"));
  EXPECT_GE(CloseAndTime(), 0);
}

// The start-up read and a file opened afterwards go into the archive by themselves;
// zarn26-cli counts what is there.
TEST_F(ShellTest, TheWindowKeepsTheReadAndAnOpenedFileInTheArchive) {
  ASSERT_FALSE(StartSimulator().isEmpty());
  StartProgram("[Config]\r\nLangId=Rus\r\n");
  ASSERT_TRUE(WaitFor(
      [](const auto& s) { return s.value(u"panel0"_qs) == u"Zarn-2.6 v3.14 sn 0001 — 40 новых серий сохранено в архиве"; },
      60000))
      << Dump();
  Command(QStringLiteral("open ") + dataFile_);
  ASSERT_TRUE(WaitFor(
      [](const auto& s) { return s.value(u"panel0"_qs) == u"Файл \"memory.zarn\" — все серии уже были в архиве"; },
      20000))
      << Dump();
  EXPECT_GE(CloseAndTime(), 0);
  const QJsonArray series = ArchiveJson({QStringLiteral("list")}).value(u"series"_qs).toArray();
  EXPECT_EQ(series.size(), 40);
  for (const QJsonValue v : series) EXPECT_EQ(v[u"instrument"_qs].toString(), u"Zarn-2.6 v3.14 sn 0001");
  const QJsonObject imports = ArchiveJson({QStringLiteral("imports")});
  EXPECT_EQ(imports.value(u"imports"_qs).toArray().size(), 2) << QJsonDocument(imports).toJson().toStdString();
}

TEST_F(ShellTest, ClosingDuringTheDataReadEndsWithinThreeSeconds) {
  // 2 ms after every 4 KiB: the 8 MiB read takes several seconds.
  ASSERT_FALSE(StartSimulator({QStringLiteral("--slow"), QStringLiteral("2")}).isEmpty());
  StartProgram("[Config]\r\nLangId=Rus\r\n");
  ASSERT_TRUE(WaitFor([](const auto& s) { return s.value(u"progress"_qs) == u"1"; }, 60000));
  const qint64 ms = CloseAndTime();
  EXPECT_GE(ms, 0) << "the program did not end";
  EXPECT_LT(ms, 3000);
}

TEST_F(ShellTest, ClosingWithAStalledInstrumentEndsWithinThreeSeconds) {
  // The instrument falls silent in the middle of the measurement memory.
  ASSERT_FALSE(StartSimulator({QStringLiteral("--stall-after"), QStringLiteral("500000")}).isEmpty());
  StartProgram("[Config]\r\nLangId=Rus\r\n");
  ASSERT_TRUE(WaitFor([](const auto& s) { return s.value(u"progress"_qs) == u"1"; }, 60000));
  QThread::msleep(700);  // well inside the stalled read
  const qint64 ms = CloseAndTime();
  EXPECT_GE(ms, 0) << "the program did not end";
  EXPECT_LT(ms, 3000);
}

// --help and --version print and end at once, as Linux programs do: no display is
// needed, no window opens and no settings file is written.
TEST(ProgramOptions, HelpAndVersionPrintAndExit) {
  struct Case {
    QStringList arguments;
    const char* printed;
  };
  const Case cases[] = {
      {{u"--help"_qs}, "Usage: zarn26 [FILE.zarn]"},
      {{u"-h"_qs}, "Usage: zarn26 [FILE.zarn]"},
      {{u"--version"_qs}, "zarn26 "},
      {{u"some"_qs, u"--version"_qs}, "zarn26 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.join(u' ').toStdString());
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"DISPLAY"_qs);
    env.remove(u"WAYLAND_DISPLAY"_qs);
    env.remove(u"QT_QPA_PLATFORM"_qs);
    env.insert(u"HOME"_qs, home.path());
    env.insert(u"XDG_CONFIG_HOME"_qs, home.filePath(u"config"_qs));
    QProcess app;
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(ZARN_APP_PATH), c.arguments);
    ASSERT_TRUE(app.waitForFinished(20000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    const QString out = QString::fromLocal8Bit(app.readAllStandardOutput());
    EXPECT_TRUE(out.startsWith(QString::fromLatin1(c.printed))) << out.toStdString();
    EXPECT_TRUE(app.readAllStandardError().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(home.filePath(u"config/zarn26"_qs)));
  }
}

}  // namespace
}  // namespace zarn::testing
