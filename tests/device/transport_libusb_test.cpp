// LibusbTransport through the real dlopen path, against the test-only shim that stands
// in for libusb 0.1 and presents a simulated bus (see usbshim/usbshim_hooks.h).

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <functional>
#include <thread>

#include "common/texts.h"
#include "device/libusbtransport.h"
#include "device/usbwatch.h"
#include "transport_helpers.h"
#include "usbshim_hooks.h"

namespace zarn {
namespace {

using testing::FakeInstrument;
using testing::MakeDevice;
using testing::MillisecondsSince;
using testing::Pattern;
using testing::RecordingSink;

QString Shown(const QString& text) {
  return QStringLiteral("StatusText(0, %1)").arg(text);
}

class LibusbTransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The test's own reference to the shim keeps it loaded between the transports of
    // one test, and reaches its counters.
    shim_ = dlopen(ZARN_USBSHIM_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(shim_, nullptr) << dlerror();
    stats_ = reinterpret_cast<ZarnShimStatsFn>(dlsym(shim_, "zarnshim_stats"));
    reset_ = reinterpret_cast<ZarnShimResetFn>(dlsym(shim_, "zarnshim_reset"));
    ASSERT_TRUE(stats_ && reset_);
    reset_();
    busFile_ = dir_.filePath(QStringLiteral("bus.txt"));
    qputenv("ZARN_USBSHIM_BUS", QFile::encodeName(busFile_));
    // The device lock files go into this test's own folder: test programs run side by
    // side would otherwise find each other's lock on the same simulated device.
    savedRuntime_ = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir_.path()));
    SetBus({});
    usb_.SetRuleFolders({dir_.path()});
    savedLanguage_ = LanguageIndex.load();
  }
  void TearDown() override {
    usb_.TransportClose();
    LanguageIndex = savedLanguage_;
    qunsetenv("ZARN_USBSHIM_BUS");
    if (savedRuntime_.isNull())
      qunsetenv("XDG_RUNTIME_DIR");
    else
      qputenv("XDG_RUNTIME_DIR", savedRuntime_);
    if (shim_) dlclose(shim_);
  }

  void SetBus(const QStringList& lines) {
    QFile file(busFile_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QTextStream(&file) << lines.join(u'\n') << '\n';
  }
  ZarnShimStats Stats() {
    ZarnShimStats stats{};
    stats_(&stats);
    return stats;
  }
  QString Line(const QString& bus, const QString& device, const QString& path,
               const QString& options = {}) {
    return QStringLiteral("%1 %2 03eb 0101 %3 %4").arg(bus, device, path, options);
  }

  QTemporaryDir dir_;
  QString busFile_;
  QByteArray savedRuntime_;
  void* shim_ = nullptr;
  ZarnShimStatsFn stats_ = nullptr;
  ZarnShimResetFn reset_ = nullptr;
  uint8_t savedLanguage_ = 0;
  LibusbTransport usb_{ZARN_USBSHIM_PATH};
  RecordingSink sink_;
};

TEST(LibusbTransportLoad, LibraryMissingOrIncomplete) {
  LibusbTransport missing("libzarn-no-such-library.so.0");
  EXPECT_EQ(missing.Load(), 1);
  EXPECT_EQ(missing.Load(), 1);  // tried again, fails again
  EXPECT_FALSE(missing.IsLoaded());

  LibusbTransport partial(ZARN_USBSHIM_PARTIAL_PATH);  // lacks usb_bulk_read
  EXPECT_EQ(partial.Load(), 2);
  EXPECT_FALSE(partial.IsLoaded());
  RecordingSink sink;
  EXPECT_EQ(partial.TransportOpen(sink), 1);  // nothing to open with
  uint8_t byte = 0;
  EXPECT_LT(partial.TransportRead(&byte, 1), 0);
}

TEST_F(LibusbTransportTest, LoadsOnceAndInitialisesOnce) {
  EXPECT_EQ(usb_.Load(), 0);
  EXPECT_TRUE(usb_.IsLoaded());
  EXPECT_EQ(usb_.Load(), 0);
  EXPECT_EQ(Stats().inits, 1);
  EXPECT_EQ(&TheLibusbTransport(), &TheLibusbTransport());
}

TEST_F(LibusbTransportTest, NoInstrumentShowsItsMessageInTheInterfacesLanguage) {
  ASSERT_EQ(usb_.Load(), 0);
  SetBus({QStringLiteral("001 001 1d6b 0002 -")});  // a hub, but no instrument
  const std::pair<uint8_t, QString> cases[] = {
      {kRussian, QStringLiteral("Прибор не подключен к шине USB или выключен. Включите "
                                "прибор, подключите его к шине USB и перезапустите программу.")},
      {kEnglish, QStringLiteral("The instrument is not connected to the USB bus or is switched off. "
                                "Switch the instrument on, connect it to the USB bus and restart the "
                                "program.")}};
  for (const auto& [language, text] : cases) {
    LanguageIndex = language;
    sink_.events.clear();
    EXPECT_EQ(usb_.TransportOpen(sink_), 1);
    EXPECT_EQ(sink_.events, (std::vector<QString>{Shown(text), QStringLiteral("ProgressHide")}));
  }
  LanguageIndex = kRussian;
  EXPECT_FALSE(usb_.IsOpen());
  EXPECT_EQ(Stats().opens, 0);
}

TEST_F(LibusbTransportTest, OpensOnceWhileNothingChangesAndAfreshWhenTheBusChanges) {
  ASSERT_EQ(usb_.Load(), 0);
  SetBus({Line(QStringLiteral("001"), QStringLiteral("004"), QStringLiteral("-"))});
  EXPECT_EQ(usb_.TransportOpen(sink_), 0);
  EXPECT_TRUE(sink_.events.empty());
  ZarnShimStats stats = Stats();
  EXPECT_EQ(stats.opens, 1);
  EXPECT_EQ(stats.lastConfiguration, 1);
  EXPECT_EQ(stats.lastInterface, 0);

  // Same buses, handle held: nothing is opened.
  EXPECT_EQ(usb_.TransportOpen(sink_), 0);
  EXPECT_EQ(Stats().opens, 1);

  // Closed: the next open opens again although nothing changed.
  usb_.TransportClose();
  EXPECT_FALSE(usb_.IsOpen());
  usb_.TransportClose();  // harmless
  EXPECT_EQ(Stats().closes, 1);
  EXPECT_EQ(usb_.TransportOpen(sink_), 0);
  EXPECT_EQ(Stats().opens, 2);

  // Another device plugged in on another bus: the instrument is opened with a new
  // handle, and the old one is closed first.
  SetBus({Line(QStringLiteral("001"), QStringLiteral("004"), QStringLiteral("-")),
          QStringLiteral("002 009 046d c52b -")});
  EXPECT_EQ(usb_.TransportOpen(sink_), 0);
  stats = Stats();
  EXPECT_EQ(stats.opens, 3);
  EXPECT_EQ(stats.closes, 2);
  EXPECT_EQ(stats.liveHandles, 1);
  EXPECT_TRUE(sink_.events.empty());
}

TEST_F(LibusbTransportTest, AVanishedInstrumentIsDroppedAndOpenedAfreshWhenBack) {
  ASSERT_EQ(usb_.Load(), 0);
  const QString line = Line(QStringLiteral("001"), QStringLiteral("004"), QStringLiteral("-"));
  SetBus({line});
  ASSERT_EQ(usb_.TransportOpen(sink_), 0);
  SetBus({});
  EXPECT_EQ(usb_.TransportOpen(sink_), 1);
  EXPECT_FALSE(usb_.IsOpen());
  EXPECT_EQ(Stats().liveHandles, 0);  // closed before it was dropped
  EXPECT_EQ(sink_.events.size(), 2u);
  EXPECT_EQ(usb_.TransportOpen(sink_), 1);  // stays away: the message again
  EXPECT_EQ(sink_.events.size(), 4u);
  SetBus({line});
  EXPECT_EQ(usb_.TransportOpen(sink_), 0);
  EXPECT_EQ(Stats().opens, 2);
}

TEST_F(LibusbTransportTest, AReplugBetweenTwoSearchesStillCountsAsAChange) {
  // The instrument is pulled and put back between two opens: the buses look the same,
  // but it is a new device, and the old handle would talk to nothing.
  ASSERT_EQ(usb_.Load(), 0);
  const QString folder = MakeDevice(dir_.path(), QStringLiteral("sim"));
  SetBus({Line(QStringLiteral("001"), QStringLiteral("004"), folder)});
  ASSERT_EQ(usb_.TransportOpen(sink_), 0);
  QFile::remove(folder + QStringLiteral("/Pipe00"));
  QFile::remove(folder + QStringLiteral("/Pipe01"));
  MakeDevice(dir_.path(), QStringLiteral("sim"));
  EXPECT_EQ(usb_.TransportOpen(sink_), 0);
  EXPECT_EQ(Stats().opens, 2);
  EXPECT_EQ(Stats().liveHandles, 1);
}

TEST_F(LibusbTransportTest, TheFirstOfTwoInstrumentsInBusAndDeviceOrderIsOpened) {
  ASSERT_EQ(usb_.Load(), 0);
  const QString first = MakeDevice(dir_.path(), QStringLiteral("first"));
  SetBus({QStringLiteral("001 002 046d c52b -"),
          Line(QStringLiteral("001"), QStringLiteral("005"), first),
          Line(QStringLiteral("002"), QStringLiteral("001"),
               MakeDevice(dir_.path(), QStringLiteral("other-bus"))),
          Line(QStringLiteral("001"), QStringLiteral("007"),
               MakeDevice(dir_.path(), QStringLiteral("second")))});
  ASSERT_EQ(usb_.TransportOpen(sink_), 0);
  EXPECT_EQ(QString::fromUtf8(Stats().lastOpenedPath), first);
}

TEST_F(LibusbTransportTest, ConfigurationAndClaimFailuresAreShownButTheOpenSucceeds) {
  ASSERT_EQ(usb_.Load(), 0);
  LanguageIndex = kEnglish;
  SetBus({Line(QStringLiteral("001"), QStringLiteral("004"), QStringLiteral("-"),
               QStringLiteral("config=-16 claim=-1"))});
  EXPECT_EQ(usb_.TransportOpen(sink_), 0);
  EXPECT_TRUE(usb_.IsOpen());
  EXPECT_EQ(sink_.events,
            (std::vector<QString>{
                Shown(QStringLiteral("LibUsb: strerror reports \"Resource device\"")),
                QStringLiteral("ProgressHide"),
                // Refused access, and no udev rule installed: the message says so.
                Shown(QStringLiteral("LibUsb: Operation not permitted (the udev rule "
                                     "70-zarn26.rules is not installed)")),
                QStringLiteral("ProgressHide")}));

  // With the rule in place the library's text stands alone.
  QFile rule(dir_.filePath(QStringLiteral("70-zarn26.rules")));
  ASSERT_TRUE(rule.open(QIODevice::WriteOnly));
  rule.close();
  usb_.TransportClose();
  sink_.events.clear();
  LanguageIndex = kRussian;
  EXPECT_EQ(usb_.TransportOpen(sink_), 0);
  EXPECT_EQ(sink_.events,
            (std::vector<QString>{
                Shown(QStringLiteral("LibUsb: strerror reports \"Resource device\"")),
                QStringLiteral("ProgressHide"),
                Shown(QStringLiteral("LibUsb: Операция запрещена")),
                QStringLiteral("ProgressHide")}));
}

TEST_F(LibusbTransportTest, AnInstrumentThatCannotBeOpenedFailsWithTheLibrarysReason) {
  ASSERT_EQ(usb_.Load(), 0);
  LanguageIndex = kRussian;
  SetBus({Line(QStringLiteral("001"), QStringLiteral("004"), QStringLiteral("-"),
               QStringLiteral("open=13"))});
  EXPECT_EQ(usb_.TransportOpen(sink_), 1);
  EXPECT_FALSE(usb_.IsOpen());
  EXPECT_EQ(sink_.events,
            (std::vector<QString>{
                Shown(QStringLiteral(
                    "LibUsb: Доступ запрещен (не установлено правило udev 70-zarn26.rules)")),
                QStringLiteral("ProgressHide")}));
  uint8_t byte = 0;
  EXPECT_LT(usb_.TransportWrite(&byte, 1), 0);  // no handle: refused, never passed on
}

TEST_F(LibusbTransportTest, BulkTransfersReachTheInstrumentsPipes) {
  ASSERT_EQ(usb_.Load(), 0);
  const QString folder = MakeDevice(dir_.path(), QStringLiteral("sim"));
  FakeInstrument instrument(folder);
  SetBus({Line(QStringLiteral("003"), QStringLiteral("002"), folder)});
  ASSERT_EQ(usb_.TransportOpen(sink_), 0);

  const uint8_t command[2] = {0x01, 0xFE};
  EXPECT_EQ(usb_.TransportWrite(command, 2), 2);
  EXPECT_EQ(instrument.Receive(2), std::vector<uint8_t>({0x01, 0xFE}));
  const std::vector<uint8_t> reply = Pattern(3000);
  ASSERT_TRUE(instrument.Answer());
  ASSERT_TRUE(instrument.Send(reply));
  std::vector<uint8_t> got(3000);
  EXPECT_EQ(usb_.TransportRead(got.data(), 1000), 1000);
  EXPECT_EQ(usb_.TransportRead(got.data() + 1000, 2000), 2000);
  EXPECT_EQ(got, reply);
  const ZarnShimStats stats = Stats();
  EXPECT_EQ(stats.lastWriteEndpoint, 0x01);
  EXPECT_EQ(stats.lastReadEndpoint, 0x82);
  EXPECT_EQ(stats.lastWriteTimeout, 500);
  EXPECT_EQ(stats.lastReadTimeout, 500);

  // No answer: the library's time-out after 500 ms.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(usb_.TransportRead(got.data(), 64), -110);
  EXPECT_GE(MillisecondsSince(start), 500);

  // The instrument goes away: the transfer fails, and the next open finds it gone.
  instrument.CloseReplies();
  EXPECT_LT(usb_.TransportRead(got.data(), 64), 0);
  QFile::remove(folder + QStringLiteral("/Pipe00"));
  EXPECT_EQ(usb_.TransportOpen(sink_), 1);
  EXPECT_FALSE(usb_.IsOpen());
}

TEST(LibusbErrorText, TableTextsAndOtherNumbers) {
  EXPECT_EQ(LibusbTransport::ErrorText(-116, kEnglish), QStringLiteral("LibUsb: Time-out"));
  EXPECT_EQ(LibusbTransport::ErrorText(-116, kRussian), QStringLiteral("LibUsb: Тайм-аут"));
  // Linux reports a time-out as -110.
  EXPECT_EQ(LibusbTransport::ErrorText(-110, kEnglish), QStringLiteral("LibUsb: Time-out"));
  for (int language : {0, 1}) {
    EXPECT_EQ(LibusbTransport::ErrorText(-15, language), QStringLiteral("LibUsb: Error -15"));
    EXPECT_EQ(LibusbTransport::ErrorText(7, language), QStringLiteral("LibUsb: Error 7"));
    EXPECT_EQ(LibusbTransport::ErrorText(-16, language),
              QStringLiteral("LibUsb: strerror reports \"Resource device\""));
    EXPECT_EQ(LibusbTransport::ErrorText(-21, language), QStringLiteral("LibUsb: Is a directory"));
    EXPECT_EQ(LibusbTransport::ErrorText(-29, language),
              QStringLiteral("LibUsb: Invalid seek (seek on a pipe?)"));
    EXPECT_EQ(LibusbTransport::ErrorText(-33, language),
              QStringLiteral("LibUsb: Domain error (math functions)"));
    EXPECT_TRUE(LibusbTransport::ErrorText(0, language).isEmpty());
  }
  EXPECT_EQ(LibusbTransport::ErrorText(-2, kEnglish),
            QStringLiteral("LibUsb: No entry, ENOFILE, no such file or directory"));
  EXPECT_EQ(LibusbTransport::ErrorText(-18, kEnglish),
            QStringLiteral("LibUsb: Improper link (cross-device link?)"));
  EXPECT_EQ(LibusbTransport::ErrorText(-34, kRussian),
            QStringLiteral("LibUsb: Результат слишком велик (или мал)"));
  EXPECT_EQ(LibusbTransport::ErrorText(-41, kRussian), QStringLiteral("LibUsb: Папка не пуста"));

  // Every number of the table has a text of its own in both languages, and every
  // text starts with the library's name.
  const int numbers[] = {-1,  -2,  -3,  -4,  -5,  -6,  -7,  -8,  -9,  -10, -11, -12,
                         -13, -14, -16, -17, -18, -19, -20, -21, -22, -23, -24, -25,
                         -27, -28, -29, -30, -31, -32, -33, -34, -38, -41, -116};
  for (int code : numbers) {
    for (int language : {0, 1}) {
      const QString text = LibusbTransport::ErrorText(code, language);
      EXPECT_TRUE(text.startsWith(QStringLiteral("LibUsb: "))) << code;
      EXPECT_FALSE(text.startsWith(QStringLiteral("LibUsb: Error "))) << code;
    }
  }
}

}  // namespace
}  // namespace zarn

namespace zarn {
namespace {

// The watch over the USB file system: what counts as a change.
TEST(UsbFolderWatch, SeesPlugsUnplugsAndPermissionChangesOnly) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QByteArray root = QFile::encodeName(dir.filePath(QStringLiteral("usb")));
  QDir().mkpath(QString::fromLocal8Bit(root + "/001"));
  auto touch = [](const QByteArray& path) {
    QFile f(QString::fromLocal8Bit(path));
    return f.open(QIODevice::WriteOnly);
  };
  ASSERT_TRUE(touch(root + "/001/001"));
  UsbFolderWatch watch({root + "-missing", root});
  EXPECT_TRUE(watch.Changed());  // the first look always searches
  EXPECT_TRUE(watch.Watching());
  struct Case {
    const char* what;
    std::function<bool()> act;
    bool changed;
  };
  const Case cases[] = {
      {"nothing", [] { return true; }, false},
      {"a device plugged in", [&] { return touch(root + "/001/002"); }, true},
      {"its node given to the user",
       [&] { return QFile::setPermissions(QString::fromLocal8Bit(root + "/001/002"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser); },
       true},
      {"a device read (not a change)",
       [&] {
         QFile f(QString::fromLocal8Bit(root + "/001/001"));
         return f.open(QIODevice::ReadOnly) && f.read(1).size() == 0;
       },
       false},
      {"a device unplugged", [&] { return QFile::remove(QString::fromLocal8Bit(root + "/001/002")); }, true},
      {"a new bus", [&] { return QDir().mkpath(QString::fromLocal8Bit(root + "/002")); }, true},
      {"a device on the new bus", [&] { return touch(root + "/002/001"); }, true},
      {"nothing again", [] { return true; }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(c.act());
    EXPECT_EQ(watch.Changed(), c.changed);
  }
  // Without a folder to watch, every look is a change.
  UsbFolderWatch none({root + "-missing"});
  EXPECT_TRUE(none.Changed());
  EXPECT_FALSE(none.Watching());
  EXPECT_TRUE(none.Changed());
}

TEST_F(LibusbTransportTest, AbsentInstrumentIsSoughtAgainOnlyWhenTheBusesChange) {
  const QByteArray root = QFile::encodeName(dir_.filePath(QStringLiteral("usbfs")));
  QDir().mkpath(QString::fromLocal8Bit(root + "/001"));
  QFile(QString::fromLocal8Bit(root + "/001/001")).open(QIODevice::WriteOnly);
  const QByteArray saved = qgetenv("USB_DEVFS_PATH");
  qputenv("USB_DEVFS_PATH", root);
  ASSERT_EQ(usb_.Load(), 0);
  usb_.SearchOnlyOnChanges(true);
  SetBus({});
  EXPECT_EQ(usb_.TransportOpen(sink_), kUsbNotFound);
  // The shim's bus gains the instrument, the USB file system does not show it yet: the
  // answer stays, and is said again, until a change or the next full search.
  SetBus({Line(QStringLiteral("001"), QStringLiteral("002"), QStringLiteral("-"))});
  sink_.events.clear();
  EXPECT_EQ(usb_.TransportOpen(sink_), kUsbNotFound);
  EXPECT_EQ(sink_.events.front(), Shown(LibusbTransport::NotConnectedText()));
  QFile(QString::fromLocal8Bit(root + "/001/002")).open(QIODevice::WriteOnly);
  EXPECT_EQ(usb_.TransportOpen(sink_), kUsbOpened);
  // Gone again: sought on every call while unchanged nodes hide it, at the latest after
  // a full round of calls.
  usb_.TransportClose();
  SetBus({});
  EXPECT_EQ(usb_.TransportOpen(sink_), kUsbNotFound);
  SetBus({Line(QStringLiteral("001"), QStringLiteral("003"), QStringLiteral("-"))});
  int calls = 1;
  while (usb_.TransportOpen(sink_) != kUsbOpened && calls < 2 * LibusbTransport::kFullSearchEvery) ++calls;
  EXPECT_EQ(calls, LibusbTransport::kFullSearchEvery);
  if (saved.isNull())
    qunsetenv("USB_DEVFS_PATH");
  else
    qputenv("USB_DEVFS_PATH", saved);
}

}  // namespace
}  // namespace zarn
