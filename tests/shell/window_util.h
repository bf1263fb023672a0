#pragma once
// The main window under test: a window built offscreen with its surroundings replaced:
// a settings file in a temporary folder, a screen of chosen size, scripted answers to
// every modal dialog it runs, and a recorded quit.

#include <QKeyEvent>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "common/images.h"
#include "common/inifile.h"
#include "common/texts.h"
#include "data/process.h"
#include "materials/materialsblock.h"
#include "objects/objectsblock.h"
#include "device/linksink.h"
#include "samplegen.h"
#include "shell/formmain.h"

namespace zarn::wintest {

// The application lives until the process ends: destroyed among the exit handlers it
// would outlive parts of Qt it still refers to.
inline QApplication& App() {
  static int argc = 1;
  static char name[] = "window_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// The program-wide state a window reads and writes.
inline void ResetGlobals() {
  LanguageIndex.store(kRussian);
  ProcessCount.store(0);
  Images = DeviceImages{};
  ProcessRecord.fill(0);
  MaterialsBlank.store(true);
  ObjectsBlank.store(true);
}

// Fills the images with `count` generated processes, as a read would.
inline void LoadSample(int count, uint64_t seed = 7) {
  sim::GenerateSample(Images, count, seed);
  CountProcesses();
}

// A completed read of what the images hold now, as the loop hands it over.
inline CompletedRead ReadOfImages(QString version = {}) {
  std::lock_guard lock(ImagesLock);
  return CompletedRead{SnapshotImagesLocked(), std::move(version)};
}

// Types `text` into `w` key by key, as a keyboard of its script would (QTest's own
// typing knows Latin letters only).
inline void TypeText(QWidget* w, const QString& text) {
  for (QChar ch : text) {
    const int key = ch.unicode() < 128 ? ch.toUpper().unicode() : int(Qt::Key_unknown);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(ch));
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(ch));
    QCoreApplication::sendEvent(w, &press);
    QCoreApplication::sendEvent(w, &release);
  }
}

// One modal dialog as the window showed it.
struct ShownDialog {
  QString kind;   // class name
  QString title;
  QString text;   // message boxes
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
  int defaultButton = 0;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    ResetGlobals();
    ASSERT_TRUE(dir_.isValid());
    settingsPath_ = dir_.filePath(QStringLiteral("Zarn26.ini"));
  }
  void TearDown() override {
    form_.reset();
    ResetGlobals();
  }

  FormSeams Seams() {
    FormSeams seams;
    seams.settingsPath = settingsPath_;
    seams.availableGeometry = [this] { return screen_; };
    seams.execModal = [this](QDialog& dialog) { return Answer(dialog); };
    seams.quit = [this] { ++quits_; };
    seams.startWorker = false;
    seams.keepInArchive = false;  // the archive tests turn it on with their own archive
    return seams;
  }

  TForm1& MakeForm() { return MakeForm(Seams()); }
  TForm1& MakeForm(FormSeams seams) {
    form_ = std::make_unique<TForm1>(std::move(seams));
    return *form_;
  }

  // A settings file with the language already chosen, so that no chooser comes.
  void WriteSettings(const QByteArray& text) {
    QFile f(settingsPath_);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }
  QString Setting(const char* section, const char* key) const {
    return IniFile(settingsPath_).ReadString(QString::fromLatin1(section), QString::fromLatin1(key),
                                             u"<absent>");
  }

  // The answers the next modal dialogs get, in order; a dialog without an answer is
  // a failure and is rejected.
  void Expect(std::function<int(QDialog&)> answer) { answers_.push_back(std::move(answer)); }
  void ExpectReturn(int result) {
    Expect([result](QDialog&) { return result; });
  }

  int Answer(QDialog& dialog) {
    ShownDialog shown;
    shown.kind = QString::fromLatin1(dialog.metaObject()->className());
    shown.title = dialog.windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
      shown.text = box->text();
      shown.icon = box->icon();
      shown.buttons = int(box->standardButtons());
      shown.defaultButton = box->defaultButton() ? int(box->standardButton(box->defaultButton())) : 0;
    }
    shown_.push_back(shown);
    if (answers_.empty()) {
      ADD_FAILURE() << "unexpected dialog " << shown.kind.toStdString() << " \"" << shown.title.toStdString()
                    << "\" " << shown.text.toStdString();
      return QDialog::Rejected;
    }
    auto answer = std::move(answers_.front());
    answers_.pop_front();
    return answer(dialog);
  }

  QTemporaryDir dir_;
  QString settingsPath_;
  QRect screen_{0, 0, 1920, 1080};
  std::deque<std::function<int(QDialog&)>> answers_;
  std::vector<ShownDialog> shown_;
  int quits_ = 0;
  std::unique_ptr<TForm1> form_;
};

}  // namespace zarn::wintest
