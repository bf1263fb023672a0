#include "archivesettings.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <memory>

#include "archive/archive.h"
#include "common/paths.h"
#include "common/programsettings.h"
#include "common/texts.h"
#include "materials/editorwindow.h"

namespace zarn {
namespace {

const TextPair txtArchiveTitle{u"Архив измерений", u"Measurement archive"};
const TextPair txtLocation{u"Расположение архива:", u"Archive location:"};
const TextPair txtBrowse{u"Обзор...", u"Browse..."};
const TextPair txtTest{u"Проверить соединение", u"Test the connection"};
const TextPair txtTesting{u"Проверка соединения...", u"Testing the connection..."};
const TextPair txtHint{
    u"Файл архива (SQLite) или адрес сервера PostgreSQL лаборатории:\n"
    u"postgresql://пользователь@сервер:порт/база\n"
    u"Пусто — файл по умолчанию. Пароль не сохраняется: до конца работы используется введённый, "
    u"затем — из ~/.pgpass или PGPASSWORD.",
    u"The archive's file (SQLite) or the address of the lab's PostgreSQL server:\n"
    u"postgresql://user@server:port/database\n"
    u"Empty: the default file. No password is stored: one typed here is used until the program "
    u"ends, then that of ~/.pgpass or PGPASSWORD."};
const TextPair txtNoAnswer{u"Сервер не ответил за 10 секунд.", u"The server did not answer within 10 seconds."};
const TextPair txtArchiveFilter{u"Архив (*.sqlite)", u"Archive (*.sqlite)"};
const TextPair txtAllFiles{u"Все файлы (*)", u"All files (*)"};

// The archive's reasons are phrases ("there is no archive ..."): a sentence of them.
// (A server's reason may come in several indented lines: one line here.)
QString Sentence(const QString& reason) {
  QString text;
  for (const QString& part : reason.split(u'\n')) {
    const QString line = part.simplified();
    if (line.isEmpty()) continue;
    if (!text.isEmpty()) text += QStringView(u".?!:;").contains(text.back()) ? u" " : u". ";
    text += line;
  }
  if (text.isEmpty()) return text;
  text[0] = text[0].toUpper();
  if (!text.endsWith(u'.') && !text.endsWith(u'?') && !text.endsWith(u'!')) text += u'.';
  return text;
}

}  // namespace

ArchiveTestAnswer TestArchiveLocation(const QString& location) {
  const QString where = location.trimmed().isEmpty() ? DefaultArchivePath() : location.trimmed();
  QString why;
  const std::optional<ArchiveAddress> address = ParseArchiveAddress(where, &why);
  if (!address)
    return {false, QStringLiteral("Адрес не принят: %1").arg(why), QStringLiteral("The address is not taken: %1").arg(why)};
  if (address->backend == ArchiveBackend::Sqlite && !QFileInfo::exists(address->path))
    return {true, QStringLiteral("Файла «%1» ещё нет: архив будет создан при первом сохранении.").arg(address->shown),
            QStringLiteral("There is no file \"%1\" yet: the archive is created with the first import.").arg(address->shown)};
  // Existing: a test creates nothing (a server database without the archive says so).
  auto opened = Archive::Open(where, Archive::OpenMode::Existing);
  if (!opened) return {false, Sentence(opened.error().ru), Sentence(opened.error().en)};
  return {true, QStringLiteral("Соединение установлено: архив «%1» доступен.").arg(address->shown),
          QStringLiteral("Connected: the archive \"%1\" can be used.").arg(address->shown)};
}

TfrmArchiveSettings::TfrmArchiveSettings(const QString& location, std::function<int(QDialog&)> execModal,
                                         QWidget* parent)
    : QDialog(parent), execModal_(std::move(execModal)) {
  setObjectName(QStringLiteral("frmArchiveSettings"));
  setWindowTitle(txtArchiveTitle());
  auto* grid = new QGridLayout(this);
  auto* label = new QLabel(txtLocation(), this);
  EditLocation = new QLineEdit(location, this);
  EditLocation->setObjectName(QStringLiteral("EditLocation"));
  EditLocation->setPlaceholderText(DefaultArchivePath());
  EditLocation->setMinimumWidth(420);
  EditLocation->setClearButtonEnabled(true);
  label->setBuddy(EditLocation);
  BtnBrowse = new QPushButton(txtBrowse(), this);
  BtnBrowse->setObjectName(QStringLiteral("BtnBrowse"));
  LabelHint = new QLabel(txtHint(), this);
  LabelHint->setObjectName(QStringLiteral("LabelHint"));
  LabelHint->setWordWrap(true);
  BtnTest = new QPushButton(txtTest(), this);
  BtnTest->setObjectName(QStringLiteral("BtnTest"));
  TestResult = new QLabel(this);
  TestResult->setObjectName(QStringLiteral("TestResult"));
  TestResult->setWordWrap(true);
  TestResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
  TestResult->setMinimumHeight(2 * fontMetrics().height());
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName(QStringLiteral("Buttons"));
  grid->addWidget(label, 0, 0, 1, 2);
  grid->addWidget(EditLocation, 1, 0);
  grid->addWidget(BtnBrowse, 1, 1);
  grid->addWidget(LabelHint, 2, 0, 1, 2);
  grid->addWidget(BtnTest, 3, 0, Qt::AlignLeft);
  grid->addWidget(TestResult, 4, 0, 1, 2);
  grid->addWidget(buttons, 5, 0, 1, 2);
  grid->setColumnStretch(0, 1);

  answerTimer_ = new QTimer(this);
  answerTimer_->setObjectName(QStringLiteral("TestAnswerTimer"));
  answerTimer_->setSingleShot(true);
  answerTimer_->setInterval(kTestAnswerMs);
  connect(answerTimer_, &QTimer::timeout, this, [this] {
    Answered(tests_, {false, txtNoAnswer.Str(kRussian), txtNoAnswer.Str(kEnglish)});
  });
  connect(BtnBrowse, &QPushButton::clicked, this, &TfrmArchiveSettings::BtnBrowseClick);
  connect(BtnTest, &QPushButton::clicked, this, &TfrmArchiveSettings::BtnTestClick);
  connect(EditLocation, &QLineEdit::textEdited, TestResult, &QLabel::clear);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

TfrmArchiveSettings::~TfrmArchiveSettings() = default;

QString TfrmArchiveSettings::Location() const { return EditLocation->text().trimmed(); }

bool TfrmArchiveSettings::Testing() const { return testing_; }

void TfrmArchiveSettings::BtnBrowseClick() {
  QFileDialog dialog(this, txtArchiveTitle());
  dialog.setObjectName(QStringLiteral("ArchiveFileDialog"));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  // An archive that is not there yet may be named too: the first import creates it.
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters({txtArchiveFilter(), txtAllFiles()});
  dialog.setDefaultSuffix(QStringLiteral("sqlite"));
  UseInterfaceLocale(&dialog);
  const QString now = Location();
  const bool file = !now.isEmpty() && !now.contains(QStringLiteral("://"));
  const QFileInfo start(file ? now : DefaultArchivePath());
  dialog.setDirectory(start.absolutePath());
  dialog.selectFile(start.fileName());
  const int result = execModal_ ? execModal_(dialog) : dialog.exec();
  if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  EditLocation->setText(dialog.selectedFiles().first());
  TestResult->clear();
}

void TfrmArchiveSettings::BtnTestClick() {
  const quint64 test = ++tests_;
  testing_ = true;
  BtnTest->setEnabled(false);
  TestResult->setText(txtTesting());
  answerTimer_->start();
  // The answer comes back through the thread's finished signal, queued to this dialog:
  // a dialog closed meanwhile gets none, and the thread ends on its own.
  auto answer = std::make_shared<ArchiveTestAnswer>();
  QThread* thread = QThread::create([answer, location = EditLocation->text()] { *answer = TestArchiveLocation(location); });
  thread->setObjectName(QStringLiteral("ArchiveTestThread"));
  connect(thread, &QThread::finished, this, [this, test, answer] { Answered(test, *answer); });
  connect(thread, &QThread::finished, thread, &QObject::deleteLater);
  thread->start();
}

void TfrmArchiveSettings::Answered(quint64 test, const ArchiveTestAnswer& answer) {
  // Only the latest test's answer, once (the time-out or the thread, whichever first).
  if (test != tests_ || !testing_) return;
  testing_ = false;
  lastOk_ = answer.ok;
  answerTimer_->stop();
  BtnTest->setEnabled(true);
  const QString text = LanguageIndex.load() == kEnglish ? answer.en : answer.ru;
  TestResult->setText(text);
  TestResult->setStyleSheet(answer.ok ? QString() : QStringLiteral("color: #b00000"));
}

}  // namespace zarn
