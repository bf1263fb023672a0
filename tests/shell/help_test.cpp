// Help: where the help files are found, the help window on the built collection
// (contents, context 3, index, full-text search, both languages), a missing or damaged
// collection, and the main window's help commands.

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QListWidget>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTextEdit>
#include <QAction>
#include <QLineEdit>
#include <QTest>

#include "common/paths.h"
#include "shell/desktop.h"
#include "shell/archivewindow.h"
#include "shell/helpwindow.h"
#include "materials/materialseditor.h"
#include "objects/objectseditor.h"
#include "window_util.h"

using namespace Qt::StringLiterals;

namespace zarn::wintest {
namespace {

const QString kBuiltHelp = QStringLiteral(ZARN_HELP_DIR);

TEST(HelpFiles, FoundBesideTheProgramOrInTheInstalledDataFolder) {
  QTemporaryDir prefix;
  const QString bin = prefix.filePath(QStringLiteral("bin"));
  const QString beside = bin + QStringLiteral("/Help");
  const QString installed = prefix.filePath(QStringLiteral("share/zarn26/Help"));
  QDir().mkpath(beside);
  QDir().mkpath(installed);
  auto touch = [](const QString& path) { QFile(path).open(QIODevice::WriteOnly); };
  touch(installed + QStringLiteral("/Zarn26help.qhc"));
  touch(installed + QStringLiteral("/Zarn26Help.chm"));
  touch(beside + QStringLiteral("/Zarn26Help.chm"));

  EXPECT_EQ(HelpFolders(bin), (QStringList{beside, installed}));
  EXPECT_EQ(HelpFilePath(u"Zarn26help.qhc", bin), installed + QStringLiteral("/Zarn26help.qhc"));
  EXPECT_EQ(HelpFilePath(u"Zarn26Help.chm", bin), beside + QStringLiteral("/Zarn26Help.chm"));  // beside first
  EXPECT_EQ(HelpFilePath(u"Zarn26help.qch", bin), beside + QStringLiteral("/Zarn26help.qch"));  // named where looked first
}

class HelpWindowTest : public WindowTest {
 protected:
  std::unique_ptr<THelpWindow> Open(const QString& folder = kBuiltHelp) {
    return std::make_unique<THelpWindow>(nullptr, folder + QStringLiteral("/Zarn26help.qhc"),
                                         folder + QStringLiteral("/Zarn26help.qch"), cache_.path());
  }
  QTemporaryDir cache_;
};

TEST_F(HelpWindowTest, ContextThreeIndexAndSearchInEachLanguage) {
  struct Case {
    int language;
    const char *folder, *title, *keyword, *otherKeyword, *word;
  };
  const Case cases[] = {
      {kEnglish, "en", "The main window", "udev", "доступ", "uaccess"},
      {kRussian, "ru", "Главное окно", "доступ", "access", "переподключите"},
  };
  for (const Case& c : cases) {
    LanguageIndex.store(uint8_t(c.language));
    auto help = Open();
    ASSERT_TRUE(help->ErrorText().isEmpty()) << help->ErrorText().toStdString();
    const QString folder = QString::fromLatin1(c.folder);

    EXPECT_TRUE(help->ContextUrl(kMainWindowHelpContext, c.language).path().endsWith(folder + QStringLiteral("/mainwindow.html")));
    for (const auto& [context, page] : {std::pair{kArchiveWindowHelpContext, "/archive.html"},
                                        {TfrmMaterials::kHelpContext, "/materials.html"},
                                        {TfrmObjects::kHelpContext, "/objects.html"}})
      EXPECT_TRUE(help->ContextUrl(context, c.language).path().endsWith(folder + QString::fromLatin1(page))) << page;
    EXPECT_FALSE(help->ContextUrl(99, c.language).isValid());
    help->ShowContext(kMainWindowHelpContext);
    EXPECT_TRUE(help->Browser->source().path().endsWith(folder + QStringLiteral("/mainwindow.html")));
    EXPECT_EQ(help->windowTitle(), QString::fromUtf8(c.title) + QStringLiteral(" — Zarn-2.5/2.6"));
    EXPECT_TRUE(help->Browser->toPlainText().contains(QString::fromUtf8(c.title)));

    help->ShowContents();
    EXPECT_TRUE(help->Browser->source().path().endsWith(folder + QStringLiteral("/index.html")));
    EXPECT_EQ(help->Tabs->currentIndex(), 0);

    if (help->IndexKeywords().isEmpty()) {
      QSignalSpy ready(help.get(), &THelpWindow::IndexReady);
      ASSERT_TRUE(ready.wait(10000));
    }
    EXPECT_TRUE(help->IndexKeywords().contains(QString::fromUtf8(c.keyword)));
    EXPECT_FALSE(help->IndexKeywords().contains(QString::fromUtf8(c.otherKeyword)));

    QSignalSpy searched(help.get(), &THelpWindow::SearchFinished);
    help->Search(QString::fromUtf8(c.word));
    ASSERT_TRUE(searched.wait(20000));
    const QList<QUrl> hits = help->SearchHits();
    ASSERT_FALSE(hits.isEmpty());
    for (const QUrl& hit : hits) EXPECT_TRUE(hit.path().contains(QStringLiteral("/%1/").arg(folder))) << hit.toString().toStdString();
  }
}

TEST_F(HelpWindowTest, AMissingOrDamagedCollectionIsSaidOnThePage) {
  LanguageIndex.store(kEnglish);
  QTemporaryDir folder;
  auto missing = Open(folder.path());
  EXPECT_TRUE(missing->ErrorText().startsWith(u"The help is missing")) << missing->ErrorText().toStdString();
  EXPECT_TRUE(missing->Browser->toPlainText().contains(u"Zarn26help.qhc"));

  // A collection that is no database, and one whose topics are not help topics.
  for (const char* damagedFile : {"Zarn26help.qhc", "Zarn26help.qch"}) {
    for (const char* file : {"Zarn26help.qhc", "Zarn26help.qch"}) {
      const QString to = folder.filePath(QString::fromLatin1(file));
      QFile::remove(to);
      if (qstrcmp(file, damagedFile) == 0) {
        QFile f(to);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
      } else {
        ASSERT_TRUE(QFile::copy(kBuiltHelp + u'/' + QString::fromLatin1(file), to));
      }
    }
    auto damaged = Open(folder.path());
    EXPECT_TRUE(damaged->ErrorText().contains(u"damaged")) << damagedFile << ": " << damaged->ErrorText().toStdString();
    EXPECT_TRUE(damaged->Browser->toPlainText().contains(u"damaged")) << damagedFile;
    damaged->ShowContext(kMainWindowHelpContext);  // nothing to open: the message stays
    EXPECT_TRUE(damaged->Browser->toPlainText().contains(u"damaged")) << damagedFile;
  }
}

TEST_F(HelpWindowTest, TheCachedCopyFollowsTheShippedCollection) {
  QTemporaryDir folder;
  for (const char* file : {"Zarn26help.qhc", "Zarn26help.qch"})
    ASSERT_TRUE(QFile::copy(kBuiltHelp + u'/' + QString::fromLatin1(file), folder.filePath(QString::fromLatin1(file))));
  const QString copy = cache_.filePath(QStringLiteral("Zarn26help.qhc"));
  auto stamp = [&] {
    QFile f(cache_.filePath(QStringLiteral("source")));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  };
  ASSERT_TRUE(Open(folder.path())->ErrorText().isEmpty());
  const QDateTime copied = QFileInfo(copy).lastModified();
  const QByteArray first = stamp();
  ASSERT_FALSE(first.isEmpty());
  QTest::qWait(20);
  ASSERT_TRUE(Open(folder.path())->ErrorText().isEmpty());
  EXPECT_EQ(QFileInfo(copy).lastModified(), copied);  // the same collection: the copy is kept

  // An older collection put in its place (a downgrade) is copied afresh too.
  QFile shipped(folder.filePath(QStringLiteral("Zarn26help.qhc")));
  ASSERT_TRUE(shipped.open(QIODevice::ReadWrite));
  ASSERT_TRUE(shipped.setFileTime(QDateTime::currentDateTime().addDays(-30), QFileDevice::FileModificationTime));
  shipped.close();
  auto help = Open(folder.path());
  EXPECT_TRUE(help->ErrorText().isEmpty());
  EXPECT_NE(stamp(), first);
  help->ShowContext(kMainWindowHelpContext);
  EXPECT_TRUE(help->Browser->source().path().endsWith(u"mainwindow.html"));
}

class HelpCommandsTest : public WindowTest {
 protected:
  FormSeams HelpSeams(const QString& programDir) {
    FormSeams seams = Seams();
    seams.programDir = programDir;
    seams.helpCacheFolder = cache_.path();
    seams.openUrl = [this](const QUrl& url) {
      opened_.push_back(url);
      return false;
    };
    return seams;
  }
  QTemporaryDir cache_;
  std::vector<QUrl> opened_;
};

TEST_F(HelpCommandsTest, F1OpensTheMainWindowsTopicAndHelpOpensTheContents) {
  WriteSettings("[Config]\r\nLangId=Eng\r\n");
  TForm1& form = MakeForm(HelpSeams(QFileInfo(kBuiltHelp).path()));
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QTest::keyClick(&form, Qt::Key_F1);
  ASSERT_NE(form.frmHelp, nullptr);
  EXPECT_TRUE(form.frmHelp->isVisible());
  EXPECT_TRUE(form.frmHelp->Browser->source().path().endsWith(u"/en/mainwindow.html"));

  form.AMainHelp->trigger();
  EXPECT_TRUE(form.frmHelp->Browser->source().path().endsWith(u"/en/index.html"));
  // One help window, reused; it follows the interface's language when shown again.
  THelpWindow* first = form.frmHelp;
  form.ALangRus->trigger();
  form.AMainHelp->trigger();
  EXPECT_EQ(form.frmHelp, first);
  EXPECT_TRUE(form.frmHelp->Browser->source().path().endsWith(u"/ru/index.html"));
  EXPECT_TRUE(opened_.empty());
}

TEST_F(HelpCommandsTest, WithoutTheChmOrAViewerTheUserIsToldAndOfferedTheHelpWindow) {
  WriteSettings("[Config]\r\nLangId=Eng\r\n");
  QTemporaryDir empty;
  struct Case {
    QString programDir;
    bool russian;
    bool tried;                // the desktop was asked to open the file (and had no viewer)
    const char16_t *says, *ends;  // the start and the end of the message
    int answer;
  };
  const Case cases[] = {
      {QFileInfo(kBuiltHelp).path(), false, true, u"The CHM help did not open: no viewer", u"help window?",
       QMessageBox::Yes},
      {empty.path(), false, false, u"The help file ", u"help window?", QMessageBox::No},
      {empty.path(), true, false, u"Файл справки", u"окне программы?", QMessageBox::No},
  };
  for (const Case& c : cases) {
    opened_.clear();
    shown_.clear();
    TForm1& form = MakeForm(HelpSeams(c.programDir));
    if (c.russian) form.ALangRus->trigger();
    ExpectReturn(c.answer);
    form.AChmHelp->trigger();
    if (c.tried) {
      ASSERT_EQ(opened_.size(), 1u);
      EXPECT_EQ(opened_[0], QUrl::fromLocalFile(kBuiltHelp + QStringLiteral("/Zarn26Help.chm")));
      EXPECT_TRUE(QFileInfo(opened_[0].toLocalFile()).size() > 0);
    } else {
      EXPECT_TRUE(opened_.empty());
    }
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_TRUE(shown_[0].text.startsWith(QStringView(c.says))) << shown_[0].text.toStdString();
    EXPECT_TRUE(shown_[0].text.endsWith(QStringView(c.ends))) << shown_[0].text.toStdString();
    // Yes: the help window, at its contents.
    EXPECT_EQ(form.frmHelp && form.frmHelp->isVisible(), c.answer == QMessageBox::Yes);
  }
}

// A real desktop without a CHM viewer: the check finds none for the file's type.
TEST(DesktopHandlers, AFileTypeWithoutAnApplicationIsNotOpened) {
  if (QStandardPaths::findExecutable(u"xdg-mime"_s).isEmpty()) GTEST_SKIP() << "no xdg-mime";
  QTemporaryDir home;
  qputenv("XDG_DATA_HOME", home.filePath(u"data"_s).toLocal8Bit());
  qputenv("XDG_CONFIG_HOME", home.filePath(u"config"_s).toLocal8Bit());
  qputenv("XDG_DATA_DIRS", home.filePath(u"none"_s).toLocal8Bit());
  const QString chm = kBuiltHelp + QStringLiteral("/Zarn26Help.chm");
  EXPECT_FALSE(DesktopOpensFile(chm));
  EXPECT_FALSE(OpenWithDesktop(QUrl::fromLocalFile(chm)));
  qunsetenv("XDG_DATA_HOME");
  qunsetenv("XDG_CONFIG_HOME");
  qunsetenv("XDG_DATA_DIRS");
}

TEST(HelpIndex, SortedAsAReaderOfTheLanguageExpects) {
  struct Case {
    int language;
    QStringList given, sorted;
  };
  const Case cases[] = {
      {kEnglish, {u"udev"_s, u"USB"_s, u"archive"_s, u"Access"_s, u"zarn26-cli"_s, u"Zarn"_s},
       {u"Access"_s, u"archive"_s, u"udev"_s, u"USB"_s, u"Zarn"_s, u"zarn26-cli"_s}},
      {kRussian, {u"Яма"_s, u"вал"_s, u"абрикос"_s, u"Вода"_s, u"ёлка"_s, u"Единицы"_s},
       {u"абрикос"_s, u"вал"_s, u"Вода"_s, u"Единицы"_s, u"ёлка"_s, u"Яма"_s}},
  };
  for (const Case& c : cases) {
    QStringList keywords = c.given;
    THelpWindow::SortIndex(keywords, c.language);
    EXPECT_EQ(keywords, c.sorted);
  }
}

// Back and Forward (buttons and keys) go through the pages shown, the title naming
// each; the Index tab gives its filter the keyboard and Enter there opens the entry
// chosen; a page opened from the search hits shows the words marked.
TEST_F(HelpWindowTest, BackForwardIndexFilterAndMarkedHits) {
  struct Case {
    int language;
    const char *keyword, *word;
  };
  const Case cases[] = {{kEnglish, "udev", "uaccess"}, {kRussian, "доступ", "переподключите"}};
  for (const Case& c : cases) {
    LanguageIndex.store(uint8_t(c.language));
    auto help = Open();
    help->show();
    help->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(help.get()));
    const auto title = [&] { return help->Browser->documentTitle() + u" — Zarn-2.5/2.6"_s; };
    help->ShowContents();
    const QUrl start = help->Browser->source();
    const QString startTitle = title();
    EXPECT_FALSE(help->ABack->isEnabled());
    help->ShowContext(kMainWindowHelpContext);
    const QUrl main = help->Browser->source();
    const QString mainTitle = title();
    EXPECT_NE(mainTitle, startTitle);
    EXPECT_EQ(help->windowTitle(), mainTitle);
    // Each step needs its action enabled, then shows the contents or the main window's page.
    const struct Step {
      QAction* needs;
      Qt::Key altKey;  // Qt::Key_unknown: the tool bar button
      bool toMain;
    } steps[] = {{help->ABack, Qt::Key_unknown, false}, {help->AForward, Qt::Key_Right, true},
                 {help->ABack, Qt::Key_Left, false}};
    for (const Step& s : steps) {
      ASSERT_TRUE(s.needs->isEnabled());
      if (s.altKey == Qt::Key_unknown) s.needs->trigger();
      else QTest::keyClick(help.get(), s.altKey, Qt::AltModifier);
      EXPECT_EQ(help->Browser->source(), s.toMain ? main : start);
      EXPECT_EQ(help->windowTitle(), s.toMain ? mainTitle : startTitle);
    }

    if (help->IndexKeywords().isEmpty()) {
      QSignalSpy ready(help.get(), &THelpWindow::IndexReady);
      ASSERT_TRUE(ready.wait(10000));
    }
    QStringList sorted = help->IndexKeywords();
    THelpWindow::SortIndex(sorted, c.language);
    EXPECT_EQ(help->IndexKeywords(), sorted);
    help->Tabs->setCurrentIndex(1);
    EXPECT_EQ(QApplication::focusWidget(), help->IndexFilter);
    const QString keyword = QString::fromUtf8(c.keyword);
    TypeText(help->IndexFilter, keyword);
    ASSERT_NE(help->IndexList->currentItem(), nullptr);
    const QUrl chosen = help->IndexList->currentItem()->data(Qt::UserRole).toUrl();
    QTest::keyClick(help->IndexFilter, Qt::Key_Return);
    EXPECT_EQ(help->Browser->source(), chosen);
    EXPECT_EQ(help->windowTitle(), title());
    EXPECT_EQ(help->MarkedHits(), 0);

    QSignalSpy searched(help.get(), &THelpWindow::SearchFinished);
    const QString word = QString::fromUtf8(c.word);
    help->Search(word);
    ASSERT_TRUE(searched.wait(20000));
    ASSERT_GT(help->SearchResults->count(), 0);
    QListWidgetItem* hit = help->SearchResults->item(0);
    emit help->SearchResults->itemActivated(hit);
    EXPECT_EQ(help->Browser->source(), hit->data(Qt::UserRole).toUrl());
    ASSERT_GT(help->MarkedHits(), 0);
    for (const QTextEdit::ExtraSelection& mark : help->Browser->extraSelections())
      EXPECT_EQ(mark.cursor.selectedText().toLower(), word.toLower());
  }
}
}  // namespace
}  // namespace zarn::wintest
