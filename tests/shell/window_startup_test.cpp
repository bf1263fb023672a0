// Start-up: the language chooser, the settings with their defaults and clamps, the
// launch counter, and settings files that are damaged or cannot be written.

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QProgressBar>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QRadioButton>

#include "shell/aboutbox.h"
#include "shell/programoptions.h"
#include "shell/controls.h"
#include "testing/files.h"
#include "testing/mounts.h"
#include "shell/language.h"
#include "shell/stringgrid.h"
#include "window_util.h"

#include <optional>
#include <unistd.h>

namespace zarn::wintest {
namespace {

using StartupTest = WindowTest;

TEST_F(StartupTest, FirstStartAsksForTheLanguageAndPlacesTheWindowByDefault) {
  QRect chooserGeometry;
  bool noneSelected = false;
  Expect([&](QDialog& dialog) {
    auto* chooser = qobject_cast<TfrmLanguage*>(&dialog);
    EXPECT_NE(chooser, nullptr);
    if (!chooser) return int(QDialog::Rejected);
    chooserGeometry = chooser->geometry();
    noneSelected = !chooser->RadioButton1->isChecked() && !chooser->RadioButton2->isChecked();
    EXPECT_EQ(chooser->RadioButton1->text(), u"Русский");
    EXPECT_EQ(chooser->RadioButton2->text(), u"English");
    chooser->RadioButton2->click();  // selects English and closes
    return chooser->result();
  });
  TForm1& form = MakeForm();

  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].title, u"Язык (Language)");
  EXPECT_TRUE(noneSelected);
  // Wide enough for its title bar to show the title whole, 105 high, centred.
  QFont titleFont = QApplication::font();
  titleFont.setBold(true);
  const int chooserWidth =
      QFontMetrics(titleFont).horizontalAdvance(u"Язык (Language)"_qs) + TfrmLanguage::kTitleBarRoom;
  EXPECT_EQ(chooserGeometry.size(), QSize(std::max(104, chooserWidth), 105));
  EXPECT_GT(chooserGeometry.width(), 104);
  EXPECT_EQ(chooserGeometry.topLeft(), QPoint((1920 - chooserGeometry.width()) / 2, (1080 - 105) / 2));

  EXPECT_EQ(LanguageIndex.load(), kEnglish);
  EXPECT_TRUE(form.ALangEng->isChecked());
  EXPECT_FALSE(form.ALangRus->isChecked());
  EXPECT_TRUE(form.AMPa->isChecked());
  EXPECT_EQ(form.size(), QSize(500, 400));
  EXPECT_EQ(form.pos(), QPoint((1920 - 500) / 2, (1080 - 400) / 2));
  EXPECT_EQ(form.StringGrid1->width(), 250);
  EXPECT_EQ(form.windowTitle(), u"Zarn-2.5/2.6");

  EXPECT_EQ(Setting("Config", "LangId"), u"Eng");
  EXPECT_EQ(Setting("Config", "Uses"), u"1");
  // Nothing else is written at start.
  EXPECT_EQ(Setting("Config", "Dimension"), u"<absent>");
  EXPECT_EQ(Setting("FormMain", "Width"), u"<absent>");
}

TEST_F(StartupTest, ChooserClosedWithoutAChoiceLeavesRussianAndAsksAgainNextTime) {
  ExpectReturn(QDialog::Rejected);
  TForm1& form = MakeForm();
  EXPECT_EQ(LanguageIndex.load(), kRussian);
  EXPECT_TRUE(form.ALangRus->isChecked());
  EXPECT_EQ(form.AOpen->text(), u"Открыть...");
  EXPECT_EQ(Setting("Config", "LangId"), u"<absent>");
  EXPECT_EQ(Setting("Config", "Uses"), u"1");

  form_.reset();
  ExpectReturn(QDialog::Rejected);
  MakeForm();
  EXPECT_EQ(shown_.size(), 2u);
  EXPECT_EQ(Setting("Config", "Uses"), u"2");
}

TEST_F(StartupTest, StoredLanguageAndUnitAreComparedExactly) {
  struct Case {
    const char* langId;
    const char* dimension;
    uint8_t language;
    bool mpa;
  };
  for (const Case& c : {Case{"Rus", "MPa", kRussian, true}, Case{"rus", "kg/sm2", kEnglish, false},
                        Case{"Eng", "mpa", kEnglish, false}, Case{"x", "MPa2", kEnglish, false}}) {
    SCOPED_TRACE(c.langId);
    WriteSettings(QByteArray("[Config]\r\nLangId=") + c.langId + "\r\nDimension=" + c.dimension + "\r\n");
    TForm1& form = MakeForm();
    EXPECT_TRUE(shown_.empty());
    EXPECT_EQ(LanguageIndex.load(), c.language);
    EXPECT_EQ(form.AMPa->isChecked(), c.mpa);
    EXPECT_EQ(form.Akgm->isChecked(), !c.mpa);
    EXPECT_EQ(form.StringGrid1->Cells(3, 1),
              (c.mpa ? txtUnitMPa : txtUnitKgf).Str(c.language));
    // The choice is written back in its own spelling.
    EXPECT_EQ(Setting("Config", "LangId"), c.language == kRussian ? u"Rus" : u"Eng");
    form_.reset();
  }
}

TEST_F(StartupTest, WindowIsClampedToTheScreen) {
  WriteSettings("[Config]\r\nLangId=Rus\r\n[FormMain]\r\nWidth=3000\r\nHeight=400\r\nTop=900\r\n");
  TForm1& form = MakeForm();
  EXPECT_EQ(form.width(), 1920);
  EXPECT_EQ(form.x(), 0);  // centred on a window as wide as the screen
  // The bottom edge would lie below the screen: 25 pixels higher than it allows.
  EXPECT_EQ(form.y(), 1080 - 400 - 25);
  EXPECT_EQ(form.StringGrid1->width(), 960);
}

TEST_F(StartupTest, StoredPlaceIsKeptWithinTheScreen) {
  WriteSettings(
      "[Config]\r\nLangId=Rus\r\n[FormMain]\r\nWidth=800\r\nHeight=600\r\nLeft=1500\r\nTop=-40\r\n"
      "Table1Width=900\r\n");
  TForm1& form = MakeForm();
  EXPECT_EQ(form.size(), QSize(800, 600));
  EXPECT_EQ(form.pos(), QPoint(1920 - 800, 0));
  // Wider than the window: cut to the window, then to the client width less 40.
  EXPECT_EQ(form.StringGrid1->width(), form.ClientWidth() - 40);
}

TEST_F(StartupTest, OnlyTheFirstCharacterOfMaximizedCounts) {
  for (const char* value : {"10", "1", "01", "0"}) {
    SCOPED_TRACE(value);
    WriteSettings(QByteArray("[Config]\r\nLangId=Rus\r\n[FormMain]\r\nMaximized=") + value + "\r\n");
    TForm1& form = MakeForm();
    EXPECT_EQ(bool(form.windowState() & Qt::WindowMaximized), value[0] == '1');
    form_.reset();
  }
}

TEST_F(StartupTest, MalformedNumbersTakeTheirDefaults) {
  WriteSettings(
      "[Config]\r\nLangId=Rus\r\nUses=many\r\n[FormMain]\r\nWidth=12x\r\nHeight=\r\nLeft=0x10\r\n"
      "Top=5a\r\nTable1Width=1e3\r\n");
  TForm1& form = MakeForm();
  EXPECT_EQ(form.size(), QSize(500, 400));
  EXPECT_EQ(form.pos(), QPoint(710, 340));
  EXPECT_EQ(form.StringGrid1->width(), 250);
  EXPECT_EQ(Setting("Config", "Uses"), u"1");
}

TEST_F(StartupTest, OnlyNineCharactersOfANumberAreRead) {
  // "000000004" of "0000000041234".
  WriteSettings("[Config]\r\nLangId=Rus\r\nUses=0000000041234\r\n");
  MakeForm();
  EXPECT_EQ(Setting("Config", "Uses"), u"5");
}

TEST_F(StartupTest, SettingsThatCannotBeKeptChangeNothingButAreToldOnce) {
  // Each: what is in the settings file's place, and what the notice names. The window
  // starts with its defaults, works, says once that its settings will not be kept, and
  // leaves the file as it was.
  QByteArray large(10 * 1024 * 1024, ';');
  large.prepend("[Config]\r\nLangId=Eng\r\n");
  const struct {
    const char* what;
    QByteArray bytes;  // null: a folder
    int readOnly;  // 0 no, 1 the folder's permissions, 2 a read-only disk
    const char* says;
  } cases[] = {
      {"a folder", {}, 0, "a folder has that name"},
      {"binary", QByteArray("[Config]\r\nLangId=Eng\r\n\0\x01\xFF", 24), 0, "cannot be read"},
      {"10 MB", large, 0, "cannot be read"},
      {"read-only folder", "[Config]\r\nLangId=Eng\r\n", 1, "no permission"},
      {"read-only disk", "[Config]\r\nLangId=Eng\r\n", 2, "the disk is read-only"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.readOnly == 1 && ::geteuid() == 0) continue;  // root writes into any folder
    const QString folder = dir_.filePath(QString::fromLatin1(c.what));
    ASSERT_TRUE(QDir().mkpath(folder));
    settingsPath_ = folder + QStringLiteral("/Zarn26.ini");
    if (c.bytes.isNull()) {
      ASSERT_TRUE(QDir().mkpath(settingsPath_));
    } else if (c.readOnly != 2) {
      WriteSettings(c.bytes);
    }
    if (c.readOnly == 1) QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    std::optional<zarn::testing::SmallDisk> disk;
    if (c.readOnly == 2) {
      disk.emplace(folder, 64, true, [&] { WriteSettings(c.bytes); });
      if (!disk->Mounted()) continue;  // no right to mount here
    }
    shown_.clear();
    Expect([](QDialog& dialog) {
      static_cast<TfrmLanguage&>(dialog).RadioButton2->click();
      return dialog.result();
    });
    TForm1& form = MakeForm();
    EXPECT_EQ(form.size(), QSize(500, 400));
    EXPECT_LE(shown_.size(), 1u);  // the language question, when the file read as empty
    form.AkgmExecute();
    EXPECT_TRUE(form.Akgm->isChecked());
    QApplication::processEvents();
    const QList<QMessageBox*> notices = form.findChildren<QMessageBox*>(QStringLiteral("SettingsNotice"));
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0]->informativeText().contains(QString::fromLatin1(c.says)))
        << notices[0]->informativeText().toStdString();
    form.AExitExecute();
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (c.bytes.isNull()) {
      EXPECT_TRUE(QFileInfo(settingsPath_).isDir());
    } else {
      EXPECT_EQ(zarn::testing::ReadAll(settingsPath_), c.bytes);
    }
    form_.reset();
  }
}

TEST_F(StartupTest, AWindowsSettingsFileKeepsEveryLineAndTakesAnyPath) {
  // Code page 1251, a comment and a key of its own: the launch counter changes its
  // line only, and a path outside the code page makes the file UTF-8 with every line.
  const QByteArray windows =
      "; \xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE8\r\n[Config]\r\nLangId=Eng\r\nUses=4\r\nMyKey=\xDF\r\n";
  WriteSettings(windows);
  TForm1& form = MakeForm();
  QByteArray expected = windows;
  expected.replace("Uses=4", "Uses=5");
  EXPECT_EQ(zarn::testing::ReadAll(settingsPath_), expected);
  const QString path = QStringLiteral("/home/用户/Données/📁");
  ASSERT_TRUE(IniFile(settingsPath_).WriteString(u"Config", u"LastReadPath", path));
  form.AkgmExecute();  // the window's own update keeps what it did not change
  EXPECT_EQ(Setting("Config", "Dimension"), u"kg/sm2");
  EXPECT_EQ(Setting("Config", "LastReadPath"), path);
  EXPECT_EQ(Setting("Config", "MyKey"), u"Я");
  EXPECT_TRUE(zarn::testing::ReadAll(settingsPath_).startsWith("; Настройки\r\n"));
  EXPECT_TRUE(form.findChildren<QMessageBox*>(QStringLiteral("SettingsNotice")).isEmpty());
}

TEST_F(StartupTest, ControlsCarryTheirNames) {
  WriteSettings("[Config]\r\nLangId=Rus\r\n");
  TForm1& form = MakeForm();
  for (const char* name :
       {"StringGrid1", "Splitter1", "StringGrid2", "StringGridKoef", "Chart1", "StatusBar1",
        "ProgressBar1", "PanelShapeLink", "ShapeLink", "MainMenu1", "KovThreadUSB", "OpenDialog1",
        "SaveDialog1", "itmFile", "itmEdit", "itmCmd", "itmParam", "itmLanguage", "itmUnit",
        "itmHelp", "itmOpen", "itmSave", "itmPrint", "itmExit", "itmCopyAll1", "itmCopySelect",
        "itmCopyAll2", "itmCopyChart", "itmCopyGrData", "itmRetryRd", "itmMaterials", "itmObjects",
        "itmRus", "itmEng", "itmMPa", "itmKG", "itmMainHelp", "chm1", "itmAbout",
        "PopupMenuStringGrid1", "PopupMenuStringGrid2", "PopupMenuChart", "AOpen", "ASave",
        "APrint", "AExit", "ACopyTable1", "ACopyBlockTable1", "ACopyTable2", "ACopyGraph",
        "ACopyGraphData", "AGaugeRead", "AMaterialEdit", "AObjectEdit", "ALangRus", "ALangEng",
        "AMPa", "Akgm", "AMainHelp", "AChmHelp", "AAbout", "AStringGridSelectCancel"}) {
    EXPECT_NE(form.findChild<QObject*>(QString::fromLatin1(name)), nullptr) << name;
  }
  EXPECT_EQ(form.minimumSize(), QSize(394, 320));
  EXPECT_EQ(form.ProgressBar1->size(), QSize(136, 11));
  EXPECT_FALSE(form.ProgressBar1->isVisibleTo(&form));
  EXPECT_EQ(form.StringGrid1->font().family(), u"Times New Roman");
  EXPECT_EQ(form.StringGrid1->font().pixelSize(), 13);
  EXPECT_EQ(form.StringGrid2->font().pixelSize(), 11);
  // The classic Windows font names resolve to their free stand-ins.
  const QStringList families = QFontDatabase::families();
  if (families.contains(u"Liberation Serif"_qs) && !families.contains(u"Times New Roman"_qs)) {
    EXPECT_EQ(QFontInfo(form.StringGrid1->font()).family(), u"Liberation Serif");
  }
  if (families.contains(u"Liberation Sans"_qs) && !families.contains(u"MS Sans Serif"_qs)) {
    EXPECT_EQ(QFontInfo(form.StatusBar1->font()).family(), u"Liberation Sans");
  }
}

TEST(ProgramArguments, HelpAndVersionAreOptionsAndEverythingElseNamesTheFile) {
  using Kind = CommandLineRequest::Kind;
  struct Case {
    QStringList arguments;
    Kind kind;
    QStringList file;
  };
  const Case cases[] = {
      {{}, Kind::Run, {}},
      {{u"--help"_qs}, Kind::Help, {}},
      {{u"-h"_qs}, Kind::Help, {}},
      {{u"--version"_qs}, Kind::Version, {}},
      {{u"My"_qs, u"Data/x.zarn"_qs}, Kind::Run, {u"My"_qs, u"Data/x.zarn"_qs}},
      {{u"-x.zarn"_qs}, Kind::Run, {u"-x.zarn"_qs}},  // not an option the program has
      {{u"--"_qs, u"--help"_qs}, Kind::Run, {u"--help"_qs}},
      {{u"a.zarn"_qs, u"--"_qs, u"-h"_qs}, Kind::Run, {u"a.zarn"_qs, u"-h"_qs}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.join(u' ').toStdString());
    const CommandLineRequest r = ParseProgramArguments(c.arguments);
    EXPECT_EQ(r.kind, c.kind);
    EXPECT_EQ(r.fileArguments, c.file);
  }
  EXPECT_TRUE(ProgramVersionText().startsWith(u"zarn26 "_qs + ProgramVersion()));
}

}  // namespace
}  // namespace zarn::wintest
