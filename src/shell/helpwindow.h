#pragma once
// THelpWindow: the program's user guide, read from the help collection Zarn26help.qhc
// and its topics Zarn26help.qch in the help folder. Contents, index and full-text
// search at the left, the page at the right, in the interface's language (the
// collection holds both languages, each under its own folder "ru/" and "en/").
//
// A tool bar with Back and Forward (and their keys, Alt+Left and Alt+Right) goes
// through the pages shown; the title names the page shown. The index is sorted as a
// reader of the language expects (letters before case, the language's alphabet), its
// filter takes the keyboard when its tab is chosen and Enter there opens the entry
// chosen. A page opened from the search hits shows the words searched for marked.
//
// The collection is used from a copy in the user's cache folder, so that the search
// index can be written beside it even when the program is installed read-only. A
// missing or damaged collection is said on the page, never shown as a blank one.

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QTextBrowser>
#include <QUrl>

QT_BEGIN_NAMESPACE
class QAction;
class QHelpEngine;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTabWidget;
QT_END_NAMESPACE

namespace zarn {

// The help context of the main window: F1 there opens its topic.
inline constexpr int kMainWindowHelpContext = 3;

// The identifier under which a topic answers a help context in a language (the
// collection's keywords carry it), e.g. "context-3-en".
QString HelpContextId(int context, int language);

// A page browser that loads the collection's pages and pictures from the engine.
class THelpBrowser : public QTextBrowser {
  Q_OBJECT

 public:
  explicit THelpBrowser(QWidget* parent = nullptr) : QTextBrowser(parent) {}
  void SetEngine(QHelpEngine* engine) { engine_ = engine; }
  QVariant loadResource(int type, const QUrl& name) override;

 private:
  QHelpEngine* engine_ = nullptr;
};

class THelpWindow : public QMainWindow {
  Q_OBJECT

 public:
  // `collection` and `topics`: the shipped Zarn26help.qhc and Zarn26help.qch;
  // `cacheFolder`: where the working copy and the search index go.
  THelpWindow(QWidget* parent, QString collection, QString topics, QString cacheFolder);
  ~THelpWindow() override;

  // The start page of the interface's language, contents shown.
  void ShowContents();
  // The topic of a help context in the interface's language; the start page when the
  // context has none.
  void ShowContext(int context);
  // Runs a full-text search and lists the hits of the interface's language.
  void Search(const QString& query);

  // Empty when the collection opened; otherwise what the page says about it.
  QString ErrorText() const { return error_; }
  // The page of a help context in `language`; empty when there is none.
  QUrl ContextUrl(int context, int language) const;
  // The start page of `language`.
  QUrl StartUrl(int language) const;
  // The index's keywords and the search hits of the interface's language.
  QStringList IndexKeywords() const;
  QList<QUrl> SearchHits() const;
  // How many places of the page shown are marked as search hits.
  int MarkedHits() const;
  // The index sorted for `language`: letters compared before case, in the language's
  // alphabet.
  static void SortIndex(QStringList& keywords, int language);

  THelpBrowser* Browser = nullptr;
  QTabWidget* Tabs = nullptr;
  QListWidget* IndexList = nullptr;
  QLineEdit* IndexFilter = nullptr;
  QLineEdit* SearchInput = nullptr;
  QListWidget* SearchResults = nullptr;
  QAction* ABack = nullptr;
  QAction* AForward = nullptr;

 signals:
  // The index has been built, or a search has finished (for those who wait for them).
  void IndexReady();
  void SearchFinished();

 private:
  bool OpenCollection(const QString& collection, const QString& topics, const QString& cacheFolder);
  void ShowError();
  void Open(const QUrl& url);
  void FillContents();
  void FillIndex();
  void FillSearchResults();
  // The page shown changed (a link, the contents, Back or Forward): its title, its
  // place in the contents, its search hits.
  void PageShown();
  void MarkSearchHits();
  // The index entry Enter in the filter opens: the current one, or the first shown.
  void OpenChosenIndexEntry();
  // Up and Down in the filter move the chosen entry among those shown.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void ApplyLanguage();
  bool InLanguage(const QUrl& url, int language) const;

  QHelpEngine* engine_ = nullptr;
  QString namespace_;
  QString error_;
  QString pendingQuery_;
  bool indexing_ = false;
  int language_ = -1;
  QList<QUrl> hits_;
  QStringList hitWords_;  // the words of the search the hits came from
};

}  // namespace zarn
