// Start-up: the language chooser, the settings with their defaults and clamps, the
// launch counter, and settings files that are damaged or cannot be written.

#include <QAction>
#include <QProgressBar>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QRadioButton>

#include "shell/controls.h"
#include "shell/language.h"
#include "shell/stringgrid.h"
#include "window_util.h"

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
  EXPECT_EQ(chooserGeometry.size(), QSize(104, 105));
  EXPECT_EQ(chooserGeometry.topLeft(), QPoint((1920 - 104) / 2, (1080 - 105) / 2));

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

TEST_F(StartupTest, SettingsThatCannotBeWrittenChangeNothingButTheFile) {
  // The settings path is a folder: it reads as empty and every write fails.
  settingsPath_ = dir_.filePath(QStringLiteral("folder.ini"));
  ASSERT_TRUE(QDir().mkpath(settingsPath_));
  Expect([](QDialog& dialog) {
    static_cast<TfrmLanguage&>(dialog).RadioButton2->click();
    return dialog.result();
  });
  TForm1& form = MakeForm();
  EXPECT_EQ(LanguageIndex.load(), kEnglish);  // applies for this run
  EXPECT_EQ(shown_.size(), 1u);               // and no message about the file
  form.AkgmExecute();
  EXPECT_TRUE(form.Akgm->isChecked());
  form.AExitExecute();
  EXPECT_EQ(quits_, 1);
  EXPECT_TRUE(QFileInfo(settingsPath_).isDir());
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

}  // namespace
}  // namespace zarn::wintest
