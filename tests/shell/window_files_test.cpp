// The data file commands: the open and save dialogs, the save-name rules, the
// messages, the remembered folder and the command-line open.

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QAbstractProxyModel>
#include <QFileSystemModel>
#include <QLocale>
#include <QTest>
#include <QFileInfo>
#include <QTimer>

#include "device/instrumentlink.h"
#include "device/libusbtransport.h"
#include "common/paths.h"
#include "data/datafile.h"
#include "shell/controls.h"
#include "shell/stringgrid.h"
#include "window_util.h"

namespace zarn::wintest {
namespace {

class FilesTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    WriteSettings("[Config]\r\nLangId=Rus\r\n");
  }

  // A data file of `count` generated processes; the images are left as they were.
  QString MakeDataFile(const QString& name, int count, uint64_t seed = 3) {
    auto images = std::make_unique<DeviceImages>();
    sim::GenerateSample(*images, count, seed);
    const QString path = dir_.filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    EXPECT_TRUE(WriteDataFile(path, *images));
    return path;
  }

  // Answers a file dialog by choosing `path` (as typed into it).
  void ExpectFileDialog(const QString& path, QStringList* proposed = nullptr, QStringList* titles = nullptr) {
    Expect([path, proposed, titles](QDialog& dialog) {
      auto& files = static_cast<QFileDialog&>(dialog);
      if (proposed) proposed->append(files.selectedFiles().value(0));
      if (titles) titles->append(files.windowTitle());
      files.setDirectory(QFileInfo(path).absolutePath());
      files.selectFile(QFileInfo(path).fileName());
      return int(QDialog::Accepted);
    });
  }
};

TEST_F(FilesTest, OpeningAFileFillsTablesAndStatusAndIdlesTheLoop) {
  const QString path = MakeDataFile(u"data/one.zarn"_qs, 25);
  TForm1& form = MakeForm();
  form.LinkLamp(LampColour::Red);
  QStringList proposed, titles;
  ExpectFileDialog(path, &proposed, &titles);
  form.AOpenExecute(form.AOpen);

  EXPECT_EQ(titles, QStringList{u"Открыть файл..."_qs});
  // The dialog starts in the default folder, proposing "File".
  EXPECT_EQ(proposed.value(0), DefaultDataFolder() + u"File"_qs);
  EXPECT_EQ(ProcessCount.load(), 25u);
  EXPECT_EQ(form.StringGrid1->RowCount(), 27);
  EXPECT_EQ(form.Link()->State(), LinkStates::Idle);
  EXPECT_EQ(form.StatusBar1->PanelText(0), u"Файл \"one.zarn\"");
  EXPECT_EQ(form.StatusBar1->PanelText(1), u"Данные считаны (25)");
  EXPECT_EQ(form.CurrentLamp(), LampColour::ButtonFace);
  EXPECT_EQ(Setting("Config", "LastReadPath"), dir_.filePath(u"data/"_qs));

  // The next dialog starts in the remembered folder.
  proposed.clear();
  Expect([&](QDialog& d) {
    proposed.append(static_cast<QFileDialog&>(d).selectedFiles().value(0));
    return int(QDialog::Rejected);
  });
  form.AOpenExecute(form.AOpen);
  EXPECT_EQ(proposed.value(0), dir_.filePath(u"data/File"_qs));
}

// The status bar keeps what its texts mean: a language switch changes every one of them
// at once, whoever put it there, and a saved file is named there as an opened one is.
TEST_F(FilesTest, StatusTextsFollowTheLanguageAtOnceAndNameTheFileSaved) {
  WriteSettings("[Config]\r\nLangId=Eng\r\n");
  TForm1& form = MakeForm();
  form.OpenCommandLine({MakeDataFile(u"gone.zarn"_qs, 4)});
  ExpectFileDialog(dir_.filePath(u"walk1.zarn"_qs));
  form.ASaveExecute();
  EXPECT_EQ(form.StatusBar1->PanelText(0), u"File \"walk1.zarn\"");
  struct Case {
    int panel;
    std::optional<Phrase> text;  // as the loop shows it; none: as the save left it
    QString en, ru;
  };
  const Case cases[] = {
      {0, std::nullopt, u"File \"walk1.zarn\""_qs, u"Файл \"walk1.zarn\""_qs},
      {1, Phrase(txtStatusParamWritten), u"Param Writed"_qs, u"Параметры записаны"_qs},
      {1, Phrase(txtStatusDataRead) + u" (40)"_qs, u"Data Readed (40)"_qs, u"Данные считаны (40)"_qs},
      {0, LibusbTransport::NotConnectedPhrase(), LibusbTransport::NotConnectedPhrase().Str(kEnglish),
       LibusbTransport::NotConnectedPhrase().Str(kRussian)},
      {0, Phrase(u"Zarn-2.6 v3.14"_qs), u"Zarn-2.6 v3.14"_qs, u"Zarn-2.6 v3.14"_qs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.en.toStdString());
    form.ALangEng->trigger();
    if (c.text) form.StatusText(c.panel, *c.text);
    EXPECT_EQ(form.StatusBar1->PanelText(c.panel), c.en);
    form.ALangRus->trigger();
    EXPECT_EQ(form.StatusBar1->PanelText(c.panel), c.ru);
    form.ALangEng->trigger();
    EXPECT_EQ(form.StatusBar1->PanelText(c.panel), c.en);
  }
  // A held link error, and the text that waits for the end of its hold, too.
  form.TransferFailed(LinkFailure{LinkBlock::Objects, LinkFault::ReplyCut});
  form.StatusText(1, Phrase(txtStatusLinkError) + u": "_qs + LinkFailurePhrase({LinkBlock::Objects, LinkFault::ReplyCut}));
  form.StatusText(1, txtStatusCheckConnection);
  form.ALangRus->trigger();
  EXPECT_EQ(form.StatusBar1->PanelText(1), u"Ошибка связи: блок объектов: ответ оборвался");
  QTimer* hold = form.findChild<QTimer*>(u"StatusHold"_qs);
  ASSERT_NE(hold, nullptr);
  QMetaObject::invokeMethod(hold, "timeout");
  EXPECT_EQ(form.StatusBar1->PanelText(1), u"Проверьте подключение");
}

TEST_F(FilesTest, ADamagedFileIsReportedAndChangesNothing) {
  LoadSample(4);
  TForm1& form = MakeForm();
  form.ShowCurrentImages();
  const QString path = MakeDataFile(u"bad.zarn"_qs, 9);
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("x");  // one byte too many
  }
  ExpectFileDialog(path);
  ExpectReturn(QMessageBox::Ok);
  form.AOpenExecute(form.AOpen);
  ASSERT_EQ(shown_.size(), 2u);
  EXPECT_EQ(shown_[1].text, u"Файл не читается или испорчен: bad.zarn");
  EXPECT_EQ(shown_[1].title, u"Zarn-2.5/2.6");
  EXPECT_EQ(shown_[1].icon, QMessageBox::Warning);
  EXPECT_EQ(ProcessCount.load(), 4u);
  EXPECT_EQ(form.StringGrid1->RowCount(), 6);
  EXPECT_EQ(form.Link()->State(), LinkStates::ChooseTransport);  // as it was
  // The folder was remembered before the file was tried.
  EXPECT_EQ(Setting("Config", "LastReadPath"), dir_.path() + u'/');
}

TEST_F(FilesTest, CommandLineArgumentsAreJoinedByBlanks) {
  const QString path = MakeDataFile(u"My Data/120307.1405.zarn"_qs, 6);
  TForm1& form = MakeForm();
  form.OpenCommandLine({dir_.filePath(u"My"_qs), u"Data/120307.1405.zarn"_qs});
  EXPECT_TRUE(shown_.empty());
  EXPECT_EQ(ProcessCount.load(), 6u);
  EXPECT_EQ(form.StatusBar1->PanelText(0), u"Файл \"120307.1405.zarn\"");
  EXPECT_EQ(QFileInfo(path).exists(), true);
}

TEST_F(FilesTest, ACommandLineFileThatCannotBeOpenedBringsTheDialogWithItsName) {
  const QString missing = dir_.filePath(u"gone.zarn"_qs);
  const QString good = MakeDataFile(u"good.zarn"_qs, 2);
  TForm1& form = MakeForm();
  QStringList proposed;
  ExpectFileDialog(good, &proposed);
  form.OpenCommandLine({missing});
  EXPECT_EQ(proposed, QStringList{missing});
  EXPECT_EQ(ProcessCount.load(), 2u);
  EXPECT_EQ(shown_.size(), 1u);  // no message about the missing file
}

TEST_F(FilesTest, SavingWithoutProcessesSaysNoData) {
  TForm1& form = MakeForm();
  ExpectReturn(QMessageBox::Ok);
  form.ASaveExecute();
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].text, u"Данных нет");
  EXPECT_EQ(shown_[0].icon, QMessageBox::NoIcon);
}

TEST_F(FilesTest, SaveNameRules) {
  LoadSample(5);
  struct Case {
    QString typed;
    QString written;
  };
  const QString d = dir_.path() + u'/';
  for (const Case& c : {Case{u"data.zarn"_qs, u"data.zarn"_qs}, Case{u"b."_qs, u"b.zarn"_qs},
                        Case{u"c.ZARN"_qs, u"c.ZARN.zarn"_qs}, Case{u"e.txt"_qs, u"e.txt.zarn"_qs}}) {
    SCOPED_TRACE(c.typed.toStdString());
    shown_.clear();
    TForm1& form = MakeForm();
    form.ShowCurrentImages();  // the window saves what it shows
    ExpectFileDialog(d + c.typed);
    form.ASaveExecute();
    EXPECT_EQ(shown_.size(), 1u);
    EXPECT_TRUE(QFileInfo::exists(d + c.written));
    EXPECT_EQ(QFileInfo(d + c.written).size(), kDataFileSize);
    form_.reset();
  }
}

TEST_F(FilesTest, AMaterialsExtensionAsksAgainWithTheDataExtension) {
  LoadSample(5);
  TForm1& form = MakeForm();
  form.ShowCurrentImages();
  const QString d = dir_.path() + u'/';
  QStringList proposed, titles;
  ExpectFileDialog(d + u"data.mtzarn"_qs, &proposed, &titles);
  ExpectFileDialog(d + u"data.zarn"_qs, &proposed, &titles);
  form.ASaveExecute();
  ASSERT_EQ(proposed.size(), 2);
  // The first proposal is yymmdd.hhmm.zarn in the starting folder.
  EXPECT_TRUE(QFileInfo(proposed[0]).fileName().contains(QRegularExpression(u"^\\d{6}\\.\\d{4}\\.zarn$"_qs)))
      << proposed[0].toStdString();
  EXPECT_EQ(proposed[1], d + u"data.zarn"_qs);
  EXPECT_EQ(titles, (QStringList{u"Сохранить как..."_qs, u"Сохранить как..."_qs}));
  EXPECT_FALSE(QFileInfo::exists(d + u"data.mtzarn"_qs));
  EXPECT_TRUE(QFileInfo::exists(d + u"data.zarn"_qs));
  EXPECT_EQ(Setting("Config", "LastReadPath"), d);

  // The saved file opens to the same table.
  const QString before = form.StringGrid1->Cells(3, 6);
  ProcessCount.store(0);
  form.OpenCommandLine({d + u"data.zarn"_qs});
  EXPECT_EQ(ProcessCount.load(), 5u);
  EXPECT_EQ(form.StringGrid1->Cells(3, 6), before);
}

TEST_F(FilesTest, AFileThatCannotBeCreatedOffersAbortRetryIgnore) {
  LoadSample(5);
  TForm1& form = MakeForm();
  form.ShowCurrentImages();  // the window saves what it shows
  // A folder stands where the file should go.
  const QString noFolder = dir_.filePath(u"blocked.zarn"_qs);
  ASSERT_TRUE(QDir().mkpath(noFolder));
  const QString ok = dir_.filePath(u"x.zarn"_qs);
  ExpectFileDialog(noFolder);
  ExpectReturn(QMessageBox::Retry);
  ExpectFileDialog(ok);
  form.ASaveExecute();
  ASSERT_EQ(shown_.size(), 3u);
  EXPECT_EQ(shown_[1].text,
            u"Не удается создать файл. Возможно, нет места на диске или диск защищен от записи");
  EXPECT_EQ(shown_[1].icon, QMessageBox::Warning);
  EXPECT_EQ(shown_[1].buttons, int(QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore));
  EXPECT_EQ(shown_[1].defaultButton, int(QMessageBox::Retry));
  EXPECT_TRUE(QFileInfo::exists(ok));

  // Abort ends the command.
  shown_.clear();
  ExpectFileDialog(noFolder);
  ExpectReturn(QMessageBox::Abort);
  form.ASaveExecute();
  EXPECT_EQ(shown_.size(), 2u);
}

TEST_F(FilesTest, ANameTheRulesChangedIsNotReplacedWithoutAsking) {
  LoadSample(5);
  TForm1& form = MakeForm();
  form.ShowCurrentImages();  // the window saves what it shows
  const QString existing = dir_.filePath(u"keep.txt.zarn"_qs);
  {
    QFile f(existing);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("precious");
  }
  ExpectFileDialog(dir_.filePath(u"keep.txt"_qs));
  ExpectReturn(QMessageBox::No);
  ExpectReturn(QDialog::Rejected);  // the dialog again, cancelled
  form.ASaveExecute();
  ASSERT_EQ(shown_.size(), 3u);
  EXPECT_EQ(shown_[1].kind, u"QMessageBox");
  EXPECT_EQ(QFileInfo(existing).size(), 8);
}

TEST_F(FilesTest, FileTypeChangeSwitchesTheExtension) {
  TForm1& form = MakeForm();
  QFileDialog* dialog = form.SaveDialog1;
  dialog->setDirectory(dir_.path());
  dialog->selectFile(u"data.zarn"_qs);
  form.SaveDialog1TypeChange(dialog, 2);
  EXPECT_EQ(dialog->defaultSuffix(), u"mtzarn");
  EXPECT_EQ(QFileInfo(dialog->selectedFiles().value(0)).fileName(), u"data.mtzarn");
  form.SaveDialog1TypeChange(dialog, 1);
  EXPECT_EQ(dialog->defaultSuffix(), u"zarn");
  EXPECT_EQ(QFileInfo(dialog->selectedFiles().value(0)).fileName(), u"data.mtzarn");
  dialog->selectFile(u"plain"_qs);
  form.SaveDialog1TypeChange(dialog, 2);
  EXPECT_EQ(QFileInfo(dialog->selectedFiles().value(0)).fileName(), u"plain.mtzarn");
  EXPECT_EQ(dialog->nameFilters(), (QStringList{u"DataFile (*.zarn)"_qs, u"All files (*.*)"_qs}));
  EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
  EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
}

// Qt's file dialog writes the files' dates and sizes in the interface language's way,
// whatever the desktop's locale.
TEST_F(FilesTest, FileDialogsWriteDatesInTheInterfaceLanguage) {
  WriteSettings("[Config]\r\nLangId=Rus\r\n");
  const QString path = MakeDataFile(u"dates/one.zarn"_qs, 2);
  TForm1& form = MakeForm();
  for (int language : {kRussian, kEnglish}) {
    SCOPED_TRACE(language);
    (language == kRussian ? form.ALangRus : form.ALangEng)->trigger();
    for (QFileDialog* dialog : {form.OpenDialog1, form.SaveDialog1}) {
      auto* proxy = dialog->proxyModel();
      ASSERT_NE(proxy, nullptr);
      auto* files = qobject_cast<QFileSystemModel*>(proxy->sourceModel());
      ASSERT_NE(files, nullptr);
      dialog->setDirectory(QFileInfo(path).absolutePath());
      const QModelIndex file = files->index(path);
      QTRY_VERIFY(files->lastModified(file).isValid());
      const QLocale locale = language == kRussian ? QLocale(QLocale::Russian, QLocale::Russia)
                                                  : QLocale(QLocale::English, QLocale::UnitedStates);
      EXPECT_EQ(proxy->mapFromSource(file.siblingAtColumn(3)).data().toString(),
                locale.toString(files->lastModified(file), QLocale::ShortFormat));
      EXPECT_EQ(proxy->mapFromSource(file.siblingAtColumn(1)).data().toString(),
                locale.formattedDataSize(QFileInfo(path).size()));
    }
  }
}

}  // namespace
}  // namespace zarn::wintest
