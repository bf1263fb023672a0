// The About box: the build-date suffix, the texts in both languages from a version
// resource (and the layout's texts for every value it lacks), its layout, the links,
// and the program's own compiled-in version information.

#include <QFrame>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include "shell/aboutbox.h"
#include "window_util.h"

namespace zarn::wintest {
namespace {

TEST(BuildDateText, BothLanguagesAndEveryMonth) {
  struct Case {
    const char16_t* date;
    int language;
    std::optional<QString> text;
  };
  const Case cases[] = {
      {u"Nov  6 2013", kEnglish, QStringLiteral(", 6 Nov 2013")},
      {u"Nov  6 2013", kRussian, QStringLiteral(" от 6 ноября 2013 г.")},
      {u"Dec 25 2026", kRussian, QStringLiteral(" от 25 декабря 2026 г.")},
      {u"Jan  1 2020", kRussian, QStringLiteral(" от 1 января 2020 г.")},
      {u"May 31 2024", kRussian, QStringLiteral(" от 31 мая 2024 г.")},
      {u"Sep  9 2019", kRussian, QStringLiteral(" от 9 сентября 2019 г.")},
      {u"Xyz  3 2020", kRussian, QStringLiteral(" от 3 января 2020 г.")},  // unknown month
      {u"Xyz  3 2020", kEnglish, QStringLiteral(", 3 Xyz 2020")},
      {u"November 16 20131", kEnglish, QStringLiteral(", 16 Nov 2013")},  // words cut to 3, 2, 4
      {u"Nov 2013", kEnglish, std::nullopt},
      {u"", kRussian, std::nullopt},
      {u"Nov  6 2013 12:00", kEnglish, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BuildDateText(QStringView(c.date), c.language), c.text)
        << QString::fromUtf16(c.date).toStdString() << " language " << c.language;
  }
}

// A version resource as a Windows build of the program would carry it.
VersionResource WindowsResource(QString buildDate = QStringLiteral("Nov  6 2013")) {
  VersionResource r;
  r.present = true;
  r.translation = QByteArray("\x19\x04\xE3\x04", 4);
  r.strings.insert(QStringLiteral("\\StringFileInfo\\041904E3\\InternalName"), QStringLiteral("Zarn26.exe"));
  r.strings.insert(QStringLiteral("\\StringFileInfo\\041904E3\\FileVersion"), QStringLiteral("1.5.3.34"));
  r.strings.insert(QStringLiteral("\\StringFileInfo\\041904E3\\LegalCopyright"), QStringLiteral("© Владелец"));
  r.buildDate = std::move(buildDate);
  return r;
}

class AboutBoxTest : public WindowTest {};

TEST_F(AboutBoxTest, TextsInBothLanguages) {
  struct Case {
    int language;
    const char16_t *caption, *version, *fax, *multi, *site, *info, *tech, *hint;
  };
  const Case cases[] = {
      {kEnglish, u"About Zarn26.exe", u"Version 1.5.3.34, 6 Nov 2013", u"Phone/Fax:", u"(multi-line)", u"Site:",
       u"General questions:", u"Technical Support:", u"Write an e-mail"},
      {kRussian, u"О программе Zarn26.exe", u"Версия 1.5.3.34 от 6 ноября 2013 г.", u"тел./факс.:",
       u"(многоканальный)", u"Сайт:", u"Общие вопросы:", u"Техподдержка:", u"Написать письмо"},
  };
  for (const Case& c : cases) {
    LanguageIndex.store(uint8_t(c.language));
    TAboutBox box(nullptr, WindowsResource());
    EXPECT_EQ(box.windowTitle(), QString::fromUtf16(c.caption));
    EXPECT_EQ(box.Version->text(), QString::fromUtf16(c.version));
    EXPECT_EQ(box.ProductName->text(), u"Zarn-2.5/2.6");
    EXPECT_EQ(box.LabelFax->text(), QString::fromUtf16(c.fax));
    EXPECT_EQ(box.LabelMulti->text(), QString::fromUtf16(c.multi));
    EXPECT_EQ(box.LabelSite->text(), QString::fromUtf16(c.site));
    EXPECT_EQ(box.LabelInfo->text(), QString::fromUtf16(c.info));
    EXPECT_EQ(box.LabelTech->text(), QString::fromUtf16(c.tech));
    EXPECT_EQ(box.LabelEMail->toolTip(), QString::fromUtf16(c.hint));
    EXPECT_EQ(box.Label1->toolTip(), QString::fromUtf16(c.hint));
    // The resource's notice in Russian, the makers' fixed English one in English.
    EXPECT_EQ(box.txtCopyright->text().contains(u"The Zarn-2.5/2.6 developers"), c.language == kEnglish);
    EXPECT_EQ(box.txtCopyright->text() == u"© Владелец", c.language == kRussian);
  }
}

TEST_F(AboutBoxTest, AMissingValueLeavesTheLayoutText) {
  LanguageIndex.store(kEnglish);
  struct Case {
    const char* what;
    std::function<void(VersionResource&)> change;
    const char16_t *caption, *version, *copyright, *fax;
  };
  const QString table = QStringLiteral("\\StringFileInfo\\041904E3\\");
  const Case cases[] = {
      {"no version information", [](VersionResource& r) { r.present = false; }, u"About", u"Version",
       u"Copyright", u"тел./факс.:"},
      {"no file version", [&](VersionResource& r) { r.strings.remove(table + QStringLiteral("FileVersion")); },
       u"About Zarn26.exe", u"Version", nullptr, u"Phone/Fax:"},
      {"no internal name", [&](VersionResource& r) { r.strings.remove(table + QStringLiteral("InternalName")); },
       u"About", u"Version 1.5.3.34, 6 Nov 2013", nullptr, u"Phone/Fax:"},
      {"no copyright", [&](VersionResource& r) { r.strings.remove(table + QStringLiteral("LegalCopyright")); },
       u"About Zarn26.exe", u"Version 1.5.3.34, 6 Nov 2013", u"Copyright", u"Phone/Fax:"},
      {"a build date of two words", [](VersionResource& r) { r.buildDate = QStringLiteral("Nov 2013"); }, u"About",
       u"Version", u"Copyright", u"Phone/Fax:"},
      {"a short translation entry", [](VersionResource& r) { r.translation.truncate(3); }, u"About", u"Version",
       u"Copyright", u"Phone/Fax:"},
      {"another string table", [](VersionResource& r) { r.translation = QByteArray("\x09\x04\xB0\x04", 4); },
       u"About", u"Version", u"Copyright", u"Phone/Fax:"},
  };
  for (const Case& c : cases) {
    VersionResource resource = WindowsResource();
    c.change(resource);
    TAboutBox box(nullptr, resource);
    EXPECT_EQ(box.windowTitle(), QString::fromUtf16(c.caption)) << c.what;
    EXPECT_EQ(box.Version->text(), QString::fromUtf16(c.version)) << c.what;
    if (c.copyright) {
      EXPECT_EQ(box.txtCopyright->text(), QString::fromUtf16(c.copyright)) << c.what;
    }
    EXPECT_EQ(box.LabelFax->text(), QString::fromUtf16(c.fax)) << c.what;
    EXPECT_EQ(box.ProductName->text(), resource.present ? u"Zarn-2.5/2.6" : u"Product Name") << c.what;
  }
}

TEST_F(AboutBoxTest, LayoutAndLinks) {
  std::vector<QUrl> opened;
  TAboutBox box(nullptr, WindowsResource(), [&](const QUrl& url) {
    opened.push_back(url);
    return false;  // no handler on this desktop: nothing is said
  });
  EXPECT_EQ(box.size(), QSize(314, 265));
  EXPECT_EQ(box.Panel1->geometry(), QRect(8, 8, 297, 201));
  EXPECT_EQ(box.ProgramIcon->geometry(), QRect(8, 16, 74, 45));
  EXPECT_EQ(box.Comments->geometry(), QRect(72, 88, 96, 39));
  EXPECT_EQ(box.OKButton->geometry(), QRect(124, 228, 75, 25));
  EXPECT_TRUE(box.OKButton->isDefault());
  const std::pair<QWidget*, QPoint> places[] = {
      {box.ProductName, {96, 16}}, {box.Version, {96, 40}},    {box.txtCopyright, {8, 64}},
      {box.LabelFax, {8, 88}},     {box.LabelMulti, {168, 88}}, {box.LabelSite, {56, 144}},
      {box.LabelWWW, {152, 144}},  {box.LabelInfo, {56, 160}},  {box.LabelEMail, {152, 160}},
      {box.LabelTech, {56, 176}},  {box.Label1, {152, 176}}};
  for (const auto& [label, place] : places) {
    EXPECT_EQ(label->parentWidget(), box.Panel1) << label->objectName().toStdString();
    EXPECT_EQ(label->pos(), place) << label->objectName().toStdString();
  }
  for (QWidget* link : {static_cast<QWidget*>(box.LabelWWW), static_cast<QWidget*>(box.LabelEMail),
                        static_cast<QWidget*>(box.Label1), static_cast<QWidget*>(box.ProgramIcon)})
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_TRUE(box.LabelWWW->font().underline());
  EXPECT_EQ(box.LabelWWW->palette().color(QPalette::WindowText), QColor(Qt::blue));

  // Each address is the project's own, at a reserved example domain.
  for (QLabel* address : {static_cast<QLabel*>(box.LabelWWW), static_cast<QLabel*>(box.LabelEMail),
                          static_cast<QLabel*>(box.Label1)})
    EXPECT_TRUE(address->text().endsWith(u"example.org")) << address->text().toStdString();

  for (TClickLabel* label : {box.Label1, box.LabelEMail, box.LabelWWW, box.ProgramIcon})
    QTest::mouseClick(label, Qt::LeftButton);
  ASSERT_EQ(opened.size(), 4u);
  EXPECT_EQ(opened[0], QUrl(QStringLiteral("mailto:support@example.org?Subject=Zarn-2.5/2.6")));
  EXPECT_EQ(opened[1], QUrl(QStringLiteral("mailto:info@example.org?Subject=Zarn-2.5/2.6")));
  EXPECT_EQ(opened[2], QUrl(QStringLiteral("https://www.example.org")));
  EXPECT_EQ(opened[3], opened[2]);
  EXPECT_EQ(box.result(), 0);  // a refused link leaves the box open, without a word
}

TEST_F(AboutBoxTest, TheProgramCarriesItsBuildsVersion) {
  LanguageIndex.store(kEnglish);
  const VersionResource& resource = ProgramVersionResource();
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 1-3]\\d \\d{4}$"))
                  .match(resource.buildDate)
                  .hasMatch())
      << resource.buildDate.toStdString();
  TAboutBox box(nullptr);
  EXPECT_EQ(box.windowTitle(), u"About zarn26");
  EXPECT_EQ(box.Version->text(),
            QStringLiteral("Version " ZARN_EXPECTED_VERSION) + *BuildDateText(resource.buildDate, kEnglish));
}

TEST_F(AboutBoxTest, TheAboutCommandShowsTheBoxModallyOverTheWindow) {
  WriteSettings("[Config]\r\nLangId=Rus\r\n");
  TForm1& form = MakeForm();
  QRect boxGeometry;
  Expect([&](QDialog& dialog) {
    EXPECT_NE(qobject_cast<TAboutBox*>(&dialog), nullptr);
    boxGeometry = dialog.geometry();
    return int(QDialog::Accepted);
  });
  form.AAbout->trigger();
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].title, u"О программе zarn26");
  EXPECT_EQ(boxGeometry.center(), form.geometry().center());
}

}  // namespace
}  // namespace zarn::wintest
