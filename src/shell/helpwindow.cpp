#include "helpwindow.h"

#include <QAction>
#include <QCollator>
#include <QCoreApplication>
#include <QDateTime>
#include <QKeyEvent>
#include <QLocale>
#include <QStyle>
#include <QTextDocument>
#include <QToolBar>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHelpContentWidget>
#include <QHelpEngine>
#include <QHelpIndexModel>
#include <QHelpLink>
#include <QHash>
#include <QHelpSearchEngine>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>

#include "common/texts.h"
#include "desktop.h"

namespace zarn {
namespace {

const TextPair txtHelpTitle{u"Справка", u"Help"};
const TextPair txtHelpContents{u"Содержание", u"Contents"};
const TextPair txtHelpIndex{u"Указатель", u"Index"};
const TextPair txtHelpSearch{u"Поиск", u"Search"};
const TextPair txtHelpFind{u"Найти", u"Find"};
const TextPair txtHelpBack{u"Назад", u"Back"};
const TextPair txtHelpForward{u"Вперёд", u"Forward"};
const TextPair txtHelpNothingFound{u"Ничего не найдено", u"Nothing found"};
const TextPair txtHelpMissing{
    u"Справка не найдена: нет файла %1. Установите программу заново или соберите её вместе со справкой.",
    u"The help is missing: there is no file %1. Reinstall the program or build it with its help."};
const TextPair txtHelpDamaged{u"Файл справки %1 испорчен и не читается (%2). Установите программу заново.",
                              u"The help file %1 is damaged and cannot be read (%2). Reinstall the program."};

constexpr QStringView kLanguageFolders[2] = {u"ru", u"en"};

}  // namespace

QString HelpContextId(int context, int language) {
  return QStringLiteral("context-%1-%2").arg(context).arg(kLanguageFolders[language]);
}

QVariant THelpBrowser::loadResource(int type, const QUrl& name) {
  // Pages name their style sheet and each other relative to themselves.
  const QUrl url = name.isRelative() ? source().resolved(name) : name;
  if (engine_ && url.scheme() == u"qthelp") {
    const QByteArray data = engine_->fileData(url);
    if (type == QTextDocument::StyleSheetResource) return QString::fromUtf8(data);
    return data;
  }
  return QTextBrowser::loadResource(type, name);
}

THelpWindow::THelpWindow(QWidget* parent, QString collection, QString topics, QString cacheFolder)
    : QMainWindow(parent, Qt::Window) {
  setObjectName(QStringLiteral("frmHelp"));
  setWindowIcon(ProgramIcon());
  resize(900, 640);

  auto* splitter = new QSplitter(this);
  Tabs = new QTabWidget(splitter);
  Tabs->setObjectName(QStringLiteral("Tabs"));
  Browser = new THelpBrowser(splitter);
  Browser->setObjectName(QStringLiteral("Browser"));
  Browser->setOpenLinks(false);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({260, 640});
  setCentralWidget(splitter);

  auto* tools = new QToolBar(this);
  tools->setObjectName(QStringLiteral("HelpToolBar"));
  tools->setMovable(false);
  tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  addToolBar(tools);
  ABack = tools->addAction(style()->standardIcon(QStyle::SP_ArrowBack), QString());
  ABack->setObjectName(QStringLiteral("ABack"));
  ABack->setShortcut(QKeySequence::Back);
  ABack->setEnabled(false);
  AForward = tools->addAction(style()->standardIcon(QStyle::SP_ArrowForward), QString());
  AForward->setObjectName(QStringLiteral("AForward"));
  AForward->setShortcut(QKeySequence::Forward);
  AForward->setEnabled(false);
  connect(ABack, &QAction::triggered, Browser, &QTextBrowser::backward);
  connect(AForward, &QAction::triggered, Browser, &QTextBrowser::forward);
  connect(Browser, &QTextBrowser::backwardAvailable, ABack, &QAction::setEnabled);
  connect(Browser, &QTextBrowser::forwardAvailable, AForward, &QAction::setEnabled);
  connect(Browser, &QTextBrowser::sourceChanged, this, [this] { PageShown(); });

  auto* indexPage = new QWidget(Tabs);
  auto* indexLayout = new QVBoxLayout(indexPage);
  IndexFilter = new QLineEdit(indexPage);
  IndexFilter->setObjectName(QStringLiteral("IndexFilter"));
  IndexFilter->setClearButtonEnabled(true);
  IndexList = new QListWidget(indexPage);
  IndexList->setObjectName(QStringLiteral("IndexList"));
  indexLayout->addWidget(IndexFilter);
  indexLayout->addWidget(IndexList);

  auto* searchPage = new QWidget(Tabs);
  auto* searchLayout = new QVBoxLayout(searchPage);
  SearchInput = new QLineEdit(searchPage);
  SearchInput->setObjectName(QStringLiteral("SearchInput"));
  SearchInput->setClearButtonEnabled(true);
  auto* findButton = new QPushButton(searchPage);
  findButton->setObjectName(QStringLiteral("FindButton"));
  SearchResults = new QListWidget(searchPage);
  SearchResults->setObjectName(QStringLiteral("SearchResults"));
  SearchResults->setWordWrap(true);
  searchLayout->addWidget(SearchInput);
  searchLayout->addWidget(findButton);
  searchLayout->addWidget(SearchResults);

  connect(Browser, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
    const QUrl url = Browser->source().resolved(link);
    if (url.scheme() == u"qthelp")
      Open(url);
    else
      OpenWithDesktop(url);  // web and mail addresses: the desktop's handlers
  });
  connect(IndexFilter, &QLineEdit::textChanged, this, [this](const QString& text) {
    QListWidgetItem* first = nullptr;
    for (int i = 0; i < IndexList->count(); ++i) {
      QListWidgetItem* item = IndexList->item(i);
      item->setHidden(!item->text().contains(text, Qt::CaseInsensitive));
      if (!first && !item->isHidden()) first = item;
    }
    // The first entry shown is the one Enter opens.
    IndexList->setCurrentItem(first);
  });
  connect(IndexFilter, &QLineEdit::returnPressed, this, &THelpWindow::OpenChosenIndexEntry);
  IndexFilter->installEventFilter(this);
  connect(Tabs, &QTabWidget::currentChanged, this, [this](int tab) {
    if (tab == 1) IndexFilter->setFocus();
  });
  auto openItem = [this](QListWidgetItem* item) {
    if (item) Open(item->data(Qt::UserRole).toUrl());
  };
  connect(IndexList, &QListWidget::itemActivated, this, openItem);
  connect(IndexList, &QListWidget::itemClicked, this, openItem);
  connect(SearchResults, &QListWidget::itemActivated, this, openItem);
  connect(SearchResults, &QListWidget::itemClicked, this, openItem);
  connect(SearchInput, &QLineEdit::returnPressed, this, [this] { Search(SearchInput->text()); });
  connect(findButton, &QPushButton::clicked, this, [this] { Search(SearchInput->text()); });

  QWidget* contentsPage = nullptr;
  if (OpenCollection(collection, topics, cacheFolder)) {
    QHelpContentWidget* contents = engine_->contentWidget();
    contents->setObjectName(QStringLiteral("ContentsTree"));
    contentsPage = contents;
    connect(contents, &QHelpContentWidget::linkActivated, this, &THelpWindow::Open);
    connect(engine_->contentModel(), &QHelpContentModel::contentsCreated, this, &THelpWindow::FillContents);
    connect(engine_->indexModel(), &QHelpIndexModel::indexCreated, this, &THelpWindow::FillIndex);
    QHelpSearchEngine* search = engine_->searchEngine();
    connect(search, &QHelpSearchEngine::indexingFinished, this, [this] {
      indexing_ = false;
      if (!pendingQuery_.isEmpty()) Search(std::exchange(pendingQuery_, QString()));
    });
    connect(search, &QHelpSearchEngine::searchingFinished, this, &THelpWindow::FillSearchResults);
    // The engine builds the contents and the index by itself once the collection is set
    // up, each on a thread of its own.
    // Until the indexer has looked at the topics, a search would find nothing: it waits.
    indexing_ = true;
    search->scheduleIndexDocumentation();
  } else {
    contentsPage = new QWidget(Tabs);
  }
  Tabs->addTab(contentsPage, QString());
  Tabs->addTab(indexPage, QString());
  Tabs->addTab(searchPage, QString());
  ApplyLanguage();
}

THelpWindow::~THelpWindow() {
  if (!engine_) return;
  // The contents, the index and the search index are built on threads of their own,
  // which must not outlive the engine: the search is cancelled, and the contents and
  // index (a few milliseconds' work, needing no events) are let finish.
  engine_->searchEngine()->cancelIndexing();
  engine_->searchEngine()->cancelSearching();
  QElapsedTimer waited;
  waited.start();
  while ((engine_->contentModel()->isCreatingContents() || engine_->indexModel()->isCreatingIndex()) &&
         waited.elapsed() < 5000)
    QThread::msleep(2);
}

bool THelpWindow::OpenCollection(const QString& collection, const QString& topics, const QString& cacheFolder) {
  for (const QString& file : {collection, topics}) {
    if (!QFileInfo(file).isFile()) {
      error_ = txtHelpMissing().arg(QDir::toNativeSeparators(file));
      return false;
    }
  }
  // The shipped collection is copied into the cache whenever it is another one than
  // the copy there was made from (another place, size or time: a new install, upgrade,
  // downgrade or build); the copy's search index goes with it.
  QString working = collection;
  const QString copy = cacheFolder + QStringLiteral("/Zarn26help.qhc");
  const QString stampPath = cacheFolder + QStringLiteral("/source");
  const QFileInfo shipped(collection);
  const QByteArray stamp = QStringLiteral("%1\n%2\n%3\n")
                               .arg(shipped.absoluteFilePath())
                               .arg(shipped.size())
                               .arg(shipped.lastModified().toMSecsSinceEpoch())
                               .toUtf8();
  QFile stampFile(stampPath);
  bool haveCopy = QFileInfo(copy).isFile() && stampFile.open(QIODevice::ReadOnly) && stampFile.readAll() == stamp;
  stampFile.close();
  if (!haveCopy && !cacheFolder.isEmpty()) {
    QDir(cacheFolder).removeRecursively();
    QHelpEngineCore source(collection);
    source.setReadOnly(true);
    haveCopy = QDir().mkpath(cacheFolder) && source.setupData() && source.copyCollectionFile(copy) &&
               stampFile.open(QIODevice::WriteOnly) && stampFile.write(stamp) == stamp.size();
    stampFile.close();
  }
  if (haveCopy) working = copy;

  engine_ = new QHelpEngine(working, this);
  engine_->setReadOnly(!haveCopy);
  const auto damaged = [&](const QString& file, const QString& why) {
    error_ = txtHelpDamaged().arg(QDir::toNativeSeparators(file), why);
    delete engine_;
    engine_ = nullptr;
    if (haveCopy) QDir(cacheFolder).removeRecursively();  // the next opening starts afresh
    return false;
  };
  if (!engine_->setupData()) return damaged(collection, engine_->error());
  const QStringList registered = engine_->registeredDocumentations();
  if (registered.isEmpty()) return damaged(collection, QStringLiteral("no topics"));
  namespace_ = registered.first();
  // The topics are taken from the help folder the collection came from.
  const QString topicsPath = QFileInfo(topics).absoluteFilePath();
  if (QFileInfo(engine_->documentationFileName(namespace_)).absoluteFilePath() != topicsPath) {
    engine_->unregisterDocumentation(namespace_);
    if (!engine_->registerDocumentation(topicsPath)) return damaged(topics, engine_->error());
  }
  // Both start pages must be there: a page that does not load is a damaged file.
  for (int language : {kRussian, kEnglish}) {
    if (engine_->fileData(StartUrl(language)).isEmpty()) return damaged(topics, QStringLiteral("no start page"));
  }
  Browser->SetEngine(engine_);
  return true;
}

QUrl THelpWindow::StartUrl(int language) const {
  return QUrl(QStringLiteral("qthelp://%1/doc/%2/index.html").arg(namespace_, kLanguageFolders[language]));
}

bool THelpWindow::InLanguage(const QUrl& url, int language) const {
  return url.path().startsWith(QStringLiteral("/doc/%1/").arg(kLanguageFolders[language]));
}

QUrl THelpWindow::ContextUrl(int context, int language) const {
  if (!engine_) return {};
  for (const QHelpLink& link : engine_->documentsForIdentifier(HelpContextId(context, language))) {
    if (InLanguage(link.url, language)) return link.url;
  }
  return {};
}

void THelpWindow::ApplyLanguage() {
  const int language = LanguageIndex.load();
  if (language == language_) return;
  language_ = language;
  Tabs->setTabText(0, txtHelpContents());
  Tabs->setTabText(1, txtHelpIndex());
  Tabs->setTabText(2, txtHelpSearch());
  ABack->setText(txtHelpBack());
  AForward->setText(txtHelpForward());
  ABack->setToolTip(txtHelpBack() + QStringLiteral(" (") + ABack->shortcut().toString(QKeySequence::NativeText) + u')');
  AForward->setToolTip(txtHelpForward() + QStringLiteral(" (") +
                       AForward->shortcut().toString(QKeySequence::NativeText) + u')');
  if (auto* button = findChild<QPushButton*>(QStringLiteral("FindButton"))) button->setText(txtHelpFind());
  FillContents();
  FillIndex();
  SearchResults->clear();
  hits_.clear();
  if (!engine_) ShowError();
}

void THelpWindow::ShowError() {
  setWindowTitle(txtHelpTitle() + QStringLiteral(" — ") + txtAppTitle());
  Browser->setHtml(QStringLiteral("<h2>%1</h2><p>%2</p>").arg(txtHelpTitle(), error_.toHtmlEscaped()));
}

void THelpWindow::ShowContents() {
  ApplyLanguage();
  Tabs->setCurrentIndex(0);
  if (engine_) Open(StartUrl(language_));
}

void THelpWindow::ShowContext(int context) {
  ApplyLanguage();
  if (!engine_) return;
  const QUrl url = ContextUrl(context, language_);
  Open(url.isValid() ? url : StartUrl(language_));
}

void THelpWindow::Open(const QUrl& url) {
  if (!engine_ || !url.isValid()) return;
  Browser->setSource(url);
  PageShown();  // also when the page was shown already
}

void THelpWindow::PageShown() {
  if (!engine_) return;
  const QString page = Browser->documentTitle();
  setWindowTitle((page.isEmpty() ? txtHelpTitle() : page) + QStringLiteral(" — ") + txtAppTitle());
  if (auto* contents = engine_->contentWidget()) {
    const QModelIndex index = contents->indexOf(Browser->source());
    if (index.isValid()) contents->setCurrentIndex(index);
  }
  MarkSearchHits();
}

void THelpWindow::MarkSearchHits() {
  QList<QTextEdit::ExtraSelection> marks;
  QUrl shown = Browser->source();
  shown.setFragment(QString());
  if (hits_.contains(shown)) {
    QTextCharFormat format;
    format.setBackground(QColor(255, 230, 0));
    format.setForeground(QColor(0, 0, 0));
    for (const QString& word : hitWords_) {
      QTextCursor at(Browser->document());
      for (;;) {
        at = Browser->document()->find(word, at);
        if (at.isNull()) break;
        marks.append({at, format});
      }
    }
  }
  Browser->setExtraSelections(marks);
  if (!marks.isEmpty()) {
    // The first hit in sight.
    QTextCursor first = marks.first().cursor;
    for (const QTextEdit::ExtraSelection& m : marks)
      if (m.cursor.position() < first.position()) first = m.cursor;
    first.clearSelection();
    Browser->setTextCursor(first);
    Browser->ensureCursorVisible();
  }
}

int THelpWindow::MarkedHits() const { return int(Browser->extraSelections().size()); }

void THelpWindow::OpenChosenIndexEntry() {
  QListWidgetItem* item = IndexList->currentItem();
  if (!item || item->isHidden()) {
    item = nullptr;
    for (int i = 0; i < IndexList->count() && !item; ++i)
      if (!IndexList->item(i)->isHidden()) item = IndexList->item(i);
  }
  if (item) Open(item->data(Qt::UserRole).toUrl());
}

bool THelpWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == IndexFilter && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
      QCoreApplication::sendEvent(IndexList, event);
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void THelpWindow::SortIndex(QStringList& keywords, int language) {
  QCollator collator(language == kRussian ? QLocale(QLocale::Russian, QLocale::Russia)
                                          : QLocale(QLocale::English, QLocale::UnitedStates));
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  collator.setNumericMode(true);
  std::stable_sort(keywords.begin(), keywords.end(), [&collator](const QString& a, const QString& b) {
    const int order = collator.compare(a, b);
    // Equal but for case: the same order every time.
    return order != 0 ? order < 0 : a < b;
  });
}

void THelpWindow::FillContents() {
  // The contents show the book of the interface's language only.
  if (!engine_ || engine_->contentModel()->isCreatingContents()) return;
  QHelpContentModel* model = engine_->contentModel();
  QHelpContentWidget* contents = engine_->contentWidget();
  for (int row = 0; row < model->rowCount(); ++row) {
    const QModelIndex book = model->index(row, 0);
    const QHelpContentItem* item = model->contentItemAt(book);
    if (item && InLanguage(item->url(), language_)) {
      contents->setRootIndex(book);
      contents->expandToDepth(0);
      const QModelIndex shown = contents->indexOf(Browser->source());
      if (shown.isValid()) contents->setCurrentIndex(shown);
      return;
    }
  }
}

void THelpWindow::FillIndex() {
  IndexList->clear();
  if (!engine_ || engine_->indexModel()->isCreatingIndex()) return;
  QStringList keywords;
  QHash<QString, QUrl> urls;
  for (const QString& keyword : engine_->indexModel()->stringList()) {
    for (const QHelpLink& link : engine_->documentsForKeyword(keyword)) {
      if (!InLanguage(link.url, language_)) continue;
      if (!urls.contains(keyword)) keywords << keyword;
      urls.insert(keyword, link.url);
      break;
    }
  }
  SortIndex(keywords, language_);
  for (const QString& keyword : keywords) {
    auto* item = new QListWidgetItem(keyword, IndexList);
    item->setData(Qt::UserRole, urls.value(keyword));
  }
  if (!IndexFilter->text().isEmpty()) emit IndexFilter->textChanged(IndexFilter->text());
  emit IndexReady();
}

QStringList THelpWindow::IndexKeywords() const {
  QStringList keywords;
  for (int i = 0; i < IndexList->count(); ++i) keywords << IndexList->item(i)->text();
  return keywords;
}

void THelpWindow::Search(const QString& query) {
  ApplyLanguage();
  if (!engine_ || query.trimmed().isEmpty()) return;
  Tabs->setCurrentIndex(2);
  SearchInput->setText(query);
  // The words the pages of the hits mark: those of the query, without the search
  // syntax's quotes, wildcards and signs.
  hitWords_.clear();
  for (QString word : query.split(u' ', Qt::SkipEmptyParts)) {
    word.remove(u'"').remove(u'*').remove(u'?');
    while (word.startsWith(u'+') || word.startsWith(u'-')) word.remove(0, 1);
    if (!word.isEmpty()) hitWords_ << word;
  }
  if (indexing_) {
    pendingQuery_ = query;  // searched as soon as the index is written
    return;
  }
  engine_->searchEngine()->search(query);
}

void THelpWindow::FillSearchResults() {
  SearchResults->clear();
  hits_.clear();
  QHelpSearchEngine* search = engine_->searchEngine();
  for (const QHelpSearchResult& result : search->searchResults(0, search->searchResultCount())) {
    if (!InLanguage(result.url(), language_)) continue;
    auto* item = new QListWidgetItem(result.title(), SearchResults);
    item->setData(Qt::UserRole, result.url());
    hits_ << result.url();
  }
  if (hits_.isEmpty()) new QListWidgetItem(txtHelpNothingFound(), SearchResults);
  MarkSearchHits();  // the page shown may be one of them
  emit SearchFinished();
}

QList<QUrl> THelpWindow::SearchHits() const { return hits_; }

}  // namespace zarn
