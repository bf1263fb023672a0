// zarn26-sim in one process, zarn26-cli read in another: the data file the reader
// writes holds exactly the four blocks the simulator holds, through the pipe transport
// and through libusb (the test's stand-in library), also when the instrument is
// unplugged during the read and plugged in again. Nothing may hang: every child has a
// bound, and a stalled or absent instrument ends the reader with its exit code.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTextStream>
#include <QThread>
#include <memory>

#include "common/images.h"
#include "data/datafile.h"
#include "device_helpers.h"
#include "materials/materialsfile.h"
#include "objects/objectsfile.h"

namespace zarn {
namespace {

using testing::Child;
using testing::Simulator;

enum class Route { Pipe, Libusb };

// Devices under the program's fixed root belong to someone else, and the reader would
// find them first.
bool FixedRootBusy() {
  const QDir classFolder(QStringLiteral("/run/zarn26/") +
                         QLatin1StringView(PipeTransport::kClassFolder));
  return classFolder.exists() &&
         !classFolder.entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty();
}

class ReadTest : public ::testing::TestWithParam<Route> {
 protected:
  void SetUp() override {
    if (FixedRootBusy()) GTEST_SKIP() << "/run/zarn26 holds a device; the reader would use it";
    ASSERT_TRUE(dir_.isValid());
    runtime_ = dir_.filePath(QStringLiteral("runtime"));
    ASSERT_TRUE(QDir().mkpath(runtime_));
    ASSERT_TRUE(QDir().mkpath(dir_.filePath(QStringLiteral("config"))));
    // Through libusb the simulator lives outside the pipe roots, so only the bus that
    // the stand-in library presents leads to it.
    simRoot_ = GetParam() == Route::Pipe ? runtime_ + QStringLiteral("/zarn26")
                                         : dir_.filePath(QStringLiteral("usb"));
    saved_ = dir_.filePath(QStringLiteral("held.zarn"));
    out_ = dir_.filePath(QStringLiteral("read.zarn"));
  }

  QByteArray StartSimulator(const QStringList& faults) {
    const QByteArray path =
        sim_.Start(QStringList{QStringLiteral("--name"), QStringLiteral("sim"),
                               QStringLiteral("--processes"), QStringLiteral("60"),
                               QStringLiteral("--seed"), QStringLiteral("5"),
                               QStringLiteral("--save-on-exit"), saved_} +
                   faults);
    if (!path.isEmpty() && GetParam() == Route::Libusb) {
      QFile bus(dir_.filePath(QStringLiteral("bus.txt")));
      if (bus.open(QIODevice::WriteOnly)) {
        QTextStream(&bus) << "001 001 1d6b 0002 -\n"
                          << "001 004 03eb 0101 " << QString::fromUtf8(path) << '\n';
      }
    }
    return path;
  }

  QProcessEnvironment ReaderEnvironment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir_.filePath(QStringLiteral("data")));
    if (GetParam() == Route::Libusb) {
      const QString previous = env.value(QStringLiteral("LD_LIBRARY_PATH"));
      env.insert(QStringLiteral("LD_LIBRARY_PATH"),
                 QStringLiteral(ZARN_USBSHIM_DIR) +
                     (previous.isEmpty() ? QString() : u':' + previous));
      env.insert(QStringLiteral("ZARN_USBSHIM_BUS"), dir_.filePath(QStringLiteral("bus.txt")));
    } else {
      // No libusb at all: the reader must not meet the machine's real buses.
      env.insert(QStringLiteral("LD_LIBRARY_PATH"), QStringLiteral(ZARN_USBSHIM_DIR));
      env.insert(QStringLiteral("ZARN_USBSHIM_BUS"), dir_.filePath(QStringLiteral("none.txt")));
    }
    return env;
  }

  // zarn26-cli COMMAND FILE --timeout S, run to its end (bounded).
  int Send(const QString& command, const QString& file, int timeoutS) {
    Child writer;
    writer.Start(QStringLiteral(ZARN_CLI_PATH),
                 {command, file, QStringLiteral("--timeout"), QString::number(timeoutS)}, ReaderEnvironment());
    const int code = writer.Wait(90000);
    log_ = writer.Process().readAllStandardError();
    return code;
  }

  void StartReader(Child& reader, const QString& out, int timeoutS, const QStringList& more = {}) {
    reader.Start(QStringLiteral(ZARN_CLI_PATH),
                 QStringList{QStringLiteral("read"), out, QStringLiteral("--timeout"), QString::number(timeoutS)} + more,
                 ReaderEnvironment());
  }

  // Runs the reader to its end (bounded); returns its exit code, -1 when it had to be
  // killed.
  int Read(int timeoutS, int boundMs, const QStringList& more = {}) {
    StartReader(reader_, out_, timeoutS, more);
    const int code = reader_.Wait(boundMs);
    log_ = reader_.Process().readAllStandardError();
    return code;
  }

  // The simulator's blocks, as it saves them when it ends.
  std::unique_ptr<DeviceImages> Held() {
    auto images = std::make_unique<DeviceImages>();
    EXPECT_EQ(sim_.Stop(), 0);
    EXPECT_EQ(ReadDataFile(saved_, *images), DataFileStatus::Ok);
    return images;
  }

  void ExpectSameBlocks(const DeviceImages& held) {
    auto read = std::make_unique<DeviceImages>();
    ASSERT_EQ(ReadDataFile(out_, *read), DataFileStatus::Ok) << log_.toStdString();
    EXPECT_EQ(read->ParamBlock, held.ParamBlock);
    EXPECT_EQ(read->MaterialsBlock, held.MaterialsBlock);
    EXPECT_EQ(read->ObjectsBlock, held.ObjectsBlock);
    EXPECT_TRUE(read->DataImage == held.DataImage);
    EXPECT_GT(CountProcesses(read->ParamBlock.data()), 0u);
  }

  QTemporaryDir dir_;
  QString runtime_;
  QString simRoot_;
  QString saved_;
  QString out_;
  QByteArray log_;
  Simulator sim_{dir_.filePath(GetParam() == Route::Pipe ? QStringLiteral("runtime/zarn26")
                                                          : QStringLiteral("usb"))};
  Child reader_;
};

TEST_P(ReadTest, TheFileHoldsWhatTheInstrumentHolds) {
  ASSERT_FALSE(StartSimulator({}).isEmpty());
  ASSERT_EQ(Read(60, 90000), 0) << log_.toStdString();
  EXPECT_TRUE(log_.contains("Zarn-2.6 v3.14 sn 0001")) << log_.toStdString();
  ExpectSameBlocks(*Held());
}

// read --archive: the read goes into the archive the settings name, with the
// instrument's version text, and gives back the file written; an archive that cannot be
// used ends the command before the read.
TEST_P(ReadTest, TheReadIsKeptInTheArchiveToo) {
  ASSERT_TRUE(QDir().mkpath(dir_.filePath(QStringLiteral("config/zarn26"))));
  auto write = [](const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
  };
  auto archive = [&](const QStringList& args) {
    Child cli;
    cli.Start(QStringLiteral(ZARN_CLI_PATH), QStringList{QStringLiteral("archive")} + args, ReaderEnvironment());
    EXPECT_EQ(cli.Wait(30000), 0) << cli.Process().readAllStandardError().toStdString();
    return cli.Process().readAllStandardOutput();
  };
  const QString settings = dir_.filePath(QStringLiteral("config/zarn26/Zarn26.ini"));
  const QString notArchive = dir_.filePath(QStringLiteral("notes.txt"));
  const QString db = dir_.filePath(QStringLiteral("lab.sqlite"));
  write(notArchive, "no archive");
  write(settings, "[Archive]\r\nDatabase=" + notArchive.toUtf8() + "\r\n");
  ASSERT_FALSE(StartSimulator({}).isEmpty());
  EXPECT_EQ(Read(30, 60000, {QStringLiteral("--archive")}), 8) << log_.toStdString();
  EXPECT_FALSE(QFile::exists(out_));

  write(settings, "[Archive]\r\nDatabase=" + db.toUtf8() + "\r\n");
  ASSERT_EQ(Read(60, 90000, {QStringLiteral("--archive")}), 0) << log_.toStdString();
  EXPECT_TRUE(log_.contains(db.toUtf8())) << log_.toStdString();  // kept in it too
  const QList<QByteArray> rows = archive({QStringLiteral("imports"), QStringLiteral("--lang"), QStringLiteral("en")}).split('\n');
  ASSERT_GE(rows.size(), 2);
  const QList<QByteArray> cells = rows[1].trimmed().split('\t');
  ASSERT_EQ(cells.size(), 7) << rows[1].toStdString();
  EXPECT_EQ(cells[2] + ' ' + cells[5] + ' ' + cells[6], "read 60 60");
  EXPECT_EQ(cells[3], "Zarn-2.6 v3.14 sn 0001 (" + out_.toUtf8() + ")");
  const QString back = dir_.filePath(QStringLiteral("back.zarn"));
  archive({QStringLiteral("import-file"), QStringLiteral("1"), QStringLiteral("-o"), back});
  QFile written(out_), given(back);
  ASSERT_TRUE(written.open(QIODevice::ReadOnly) && given.open(QIODevice::ReadOnly));
  EXPECT_TRUE(written.readAll() == given.readAll());
  sim_.Stop();
}

TEST_P(ReadTest, AnUnplugDuringTheDataReadIsSurvivedAfterTheReplug) {
  ASSERT_FALSE(StartSimulator({QStringLiteral("--unplug-on"), QStringLiteral("04,300000"),
                               QStringLiteral("--replug-after"), QStringLiteral("1500")})
                   .isEmpty());
  ASSERT_EQ(Read(60, 90000), 0) << log_.toStdString();
  // The failure was seen and reported before the read completed.
  EXPECT_TRUE(log_.contains("Ошибка связи") || log_.contains("Link Error")) << log_.toStdString();
  ExpectSameBlocks(*Held());
}

TEST_P(ReadTest, AStalledInstrumentEndsTheReaderWithinItsTimeOut) {
  ASSERT_FALSE(StartSimulator({QStringLiteral("--stall-after"), QStringLiteral("200000")})
                   .isEmpty());
  EXPECT_EQ(Read(6, 60000), 6) << log_.toStdString();
  EXPECT_TRUE(log_.contains("the read did not finish")) << log_.toStdString();
  EXPECT_FALSE(QFile::exists(out_));
  sim_.Stop();
}

TEST_P(ReadTest, NoInstrumentEndsTheReaderWithItsExitCode) {
  EXPECT_EQ(Read(3, 60000), 5) << log_.toStdString();
  EXPECT_TRUE(log_.contains("no instrument answered")) << log_.toStdString();
}

// Replies that do not arrive whole: the reader says which block did not finish, exits 6
// and leaves the file that was there byte for byte as it was.
TEST_P(ReadTest, AReadThatDidNotFinishLeavesTheOldFile) {
  struct Case {
    const char* name;
    QStringList faults;
    const char* block;  // in the reader's message (Russian: no settings file)
  };
  const Case cases[] = {
      {"a version with an absurd length", {QStringLiteral("--garbage-length"), QStringLiteral("1")},
       "версия прибора"},
      {"a data memory with an absurd length", {QStringLiteral("--garbage-length"), QStringLiteral("4")},
       "память данных"},
      {"an objects reply that stalls half-way", {QStringLiteral("--stall-on"), QStringLiteral("6,300")},
       "блок объектов"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QByteArray old = "an older read, kept as it was";
    {
      QFile file(out_);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(old);
    }
    ASSERT_FALSE(StartSimulator(c.faults).isEmpty());
    EXPECT_EQ(Read(40, 90000), 6) << log_.toStdString();
    EXPECT_TRUE(log_.contains("the read did not finish: ")) << log_.toStdString();
    EXPECT_TRUE(log_.contains(c.block)) << log_.toStdString();
    QFile file(out_);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), old);
    sim_.Stop();
  }
}

// A reply that pauses and goes on is read whole (on libusb the pause outlasts a transfer's
// time-out: the pass fails and the read starts again).
TEST_P(ReadTest, AReplyThatPausesAndResumesIsReadWhole) {
  ASSERT_FALSE(StartSimulator({QStringLiteral("--stall-on"), QStringLiteral("4,300000,1200")}).isEmpty());
  ASSERT_EQ(Read(60, 90000), 0) << log_.toStdString();
  ExpectSameBlocks(*Held());
}

// A second reader started during the first one's read sends nothing and exits 7; the
// first one's read is whole.
TEST_P(ReadTest, ASecondProgramIsToldTheInstrumentIsInUse) {
  // About five seconds of memory: 1 MiB in 4 KiB pieces 20 ms apart.
  ASSERT_FALSE(StartSimulator({QStringLiteral("--data-length"), QStringLiteral("1048576"),
                               QStringLiteral("--slow"), QStringLiteral("20")})
                   .isEmpty());
  StartReader(reader_, out_, 60);
  QThread::msleep(2500);  // past the first reader's connect
  Child second;
  const QString secondOut = dir_.filePath(QStringLiteral("second.zarn"));
  StartReader(second, secondOut, 60);
  EXPECT_EQ(second.Wait(30000), 7) << second.Process().readAllStandardError().toStdString();
  const QByteArray secondLog = second.Process().readAllStandardError();
  EXPECT_TRUE(secondLog.contains("Прибор занят другой программой")) << secondLog.toStdString();
  EXPECT_FALSE(QFile::exists(secondOut));
  EXPECT_EQ(reader_.Wait(90000), 0) << reader_.Process().readAllStandardError().toStdString();
  auto held = Held();
  auto read = std::make_unique<DeviceImages>();
  ASSERT_EQ(ReadDataFile(out_, *read), DataFileStatus::Ok);
  EXPECT_EQ(read->ParamBlock, held->ParamBlock);
  EXPECT_TRUE(std::equal(read->DataImage.begin(), read->DataImage.begin() + 1048576,
                         held->DataImage.begin()));
}

// zarn26-cli write-materials / write-objects: a damaged file or no instrument sends
// nothing; a good file ends up in the instrument whole, the Kf the file does not carry
// as the instrument had it.
TEST_P(ReadTest, MaterialsAndObjectsFilesAreSentWhole) {
  auto materials = std::make_unique<DeviceImages>();
  FillDefaultMaterials(materials->MaterialsBlock.data(), kEnglish);
  FillDefaultObjects(materials->ObjectsBlock.data(), kEnglish);
  const QString mt = dir_.filePath(QStringLiteral("lab.mtzarn"));
  const QString obj = dir_.filePath(QStringLiteral("lab.objzarn"));
  const QString damaged = dir_.filePath(QStringLiteral("damaged.mtzarn"));
  ASSERT_TRUE(WriteMaterialsFile(mt, materials->MaterialsBlock.data()));
  ASSERT_TRUE(WriteObjectsFile(obj, materials->ObjectsBlock.data()));
  {
    QFile file(damaged);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\x00\x01 not an INI text");
  }
  EXPECT_EQ(Send(QStringLiteral("write-materials"), mt, 3), 5) << log_.toStdString();

  ASSERT_FALSE(StartSimulator({}).isEmpty());
  EXPECT_EQ(Send(QStringLiteral("write-materials"), damaged, 30), 3) << log_.toStdString();
  EXPECT_TRUE(log_.contains("damaged.mtzarn")) << log_.toStdString();
  ASSERT_EQ(Read(60, 90000), 0) << log_.toStdString();
  auto before = std::make_unique<DeviceImages>();
  ASSERT_EQ(ReadDataFile(out_, *before), DataFileStatus::Ok);
  EXPECT_EQ(Send(QStringLiteral("write-materials"), mt, 60), 0) << log_.toStdString();
  EXPECT_TRUE(log_.contains("the instrument took")) << log_.toStdString();
  EXPECT_EQ(Send(QStringLiteral("write-objects"), obj, 60), 0) << log_.toStdString();

  auto held = Held();
  EXPECT_EQ(MaterialsFileText(held->MaterialsBlock.data()), MaterialsFileText(materials->MaterialsBlock.data()));
  EXPECT_EQ(ObjectsFileText(held->ObjectsBlock.data()), ObjectsFileText(materials->ObjectsBlock.data()));
  for (int m = 0; m < kMaterialCount; ++m)
    EXPECT_EQ(GetMaterial(held->MaterialsBlock.data(), m).Kf, GetMaterial(before->MaterialsBlock.data(), m).Kf)
        << "material " << m;
}

INSTANTIATE_TEST_SUITE_P(Transports, ReadTest, ::testing::Values(Route::Pipe, Route::Libusb),
                         [](const ::testing::TestParamInfo<Route>& route) {
                           return route.param == Route::Pipe ? "Pipe" : "Libusb";
                         });

}  // namespace
}  // namespace zarn
