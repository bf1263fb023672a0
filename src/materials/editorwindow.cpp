#include "editorwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

#include "common/images.h"
#include "common/shorttext.h"
#include "device/linksink.h"

namespace zarn {

const TextPair txtEdFromDevice{u"Из прибора", u"From device"};
const TextPair txtEdToDevice{u"В прибор", u"To device"};
const TextPair txtEdFromFile{u"Из файла", u"From file"};
const TextPair txtEdToFile{u"В файл", u"To file"};
const TextPair txtEdDefault{u"По умолчанию", u"Default"};
const TextPair txtEdClose{u"Закрыть", u"Close"};
const TextPair txtEdCloseQuestion{u"Параметры были изменены. Записать изменения в прибор?",
                                  u"Parameters was changed. Save parameters to device?"};
const TextPair txtEdNothingToSend{u"Нечего записывать: сначала считайте параметры из прибора или файла либо нажмите «По умолчанию»",
                                  u"Nothing to send: read the parameters from the instrument or a file first, or press Default"};

namespace {

class InterfaceLocaleModel : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;
  QVariant data(const QModelIndex& index, int role) const override {
    // Columns of the files' model: name, size, type, date modified.
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (files && role == Qt::DisplayRole && (index.column() == 1 || index.column() == 3)) {
      const QModelIndex source = mapToSource(index);
      const QLocale locale;
      if (index.column() == 3) return locale.toString(files->lastModified(source), QLocale::ShortFormat);
      if (!files->isDir(source)) return locale.formattedDataSize(files->size(source));
    }
    return QIdentityProxyModel::data(index, role);
  }
};

void Propose(QFileDialog* dialog, const QString& path) {
  const QFileInfo info(path);
  dialog->setDirectory(info.absolutePath());
  dialog->selectFile(info.fileName());
}

}  // namespace

void UseInterfaceLocale(QFileDialog* dialog) { dialog->setProxyModel(new InterfaceLocaleModel(dialog)); }

EditorWindow::Running::~Running() {
  if (--w_.busy_ > 0 || !w_.closePending_) return;
  // The close asked for while the handler ran: now that nothing uses the window any
  // more, from the event loop.
  w_.closePending_ = false;
  EditorWindow* w = &w_;
  QTimer::singleShot(0, w, [w] { w->close(); });
}

EditorWindow::EditorWindow(EditorSeams seams, int clientWidth, int clientHeight, int helpContext,
                           QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      seams_(std::move(seams)),
      language_(LanguageIndex.load()) {
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(clientWidth, clientHeight + kOutcomeHeight);
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPointSize(8);
  setFont(font);
  OutcomeLine = new QLabel(this);
  OutcomeLine->setObjectName(QStringLiteral("OutcomeLine"));
  OutcomeLine->setGeometry(8, clientHeight, clientWidth - 16, kOutcomeHeight - 4);
  OutcomeLine->setWordWrap(true);
  OutcomeLine->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
  f1->setObjectName(QStringLiteral("HelpContextKey"));
  connect(f1, &QShortcut::activated, this, [this, helpContext] {
    if (seams_.help) seams_.help(helpContext);
  });
}

void EditorWindow::ShowCentred() {
  if (QWidget* owner = parentWidget()) {
    const QRect frame = owner->frameGeometry();
    move(frame.center() - QPoint(width() / 2, height() / 2));
  }
  show();
  raise();
  activateWindow();
}

void EditorWindow::CreateButtons(const ButtonPlaces& places, int language) {
  auto make = [this, language](QPushButton*& button, const char* name, const TextPair& text,
                               const QRect& place) {
    button = new QPushButton(text.Str(language), this);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    // Enter in a field never presses a button behind the user's back.
    button->setAutoDefault(false);
    button->setDefault(false);
  };
  make(btnClose, "btnClose", txtEdClose, places.close);
  make(btnFromDevice, "btnFromDevice", txtEdFromDevice, places.fromDevice);
  make(btnToDevice, "btnToDevice", txtEdToDevice, places.toDevice);
  make(btnFromFile, "btnFromFile", txtEdFromFile, places.fromFile);
  make(btnToFile, "btnToFile", txtEdToFile, places.toFile);
  make(ButtonDefault, "ButtonDefault", txtEdDefault, places.defaults);
  connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
}

void EditorWindow::CreateFileDialogs(const QString& filter) {
  const QString all = QStringLiteral("All files (*.*)");
  auto make = [this, &filter, &all](QFileDialog*& dialog, const char* name,
                                    QFileDialog::AcceptMode mode) {
    dialog = new QFileDialog(this);
    dialog->setObjectName(QString::fromLatin1(name));
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAcceptMode(mode);
    dialog->setNameFilters({filter, all});
    dialog->setSizeGripEnabled(true);
    UseInterfaceLocale(dialog);
  };
  make(OpenDialog1, "OpenDialog1", QFileDialog::AcceptOpen);
  OpenDialog1->setFileMode(QFileDialog::ExistingFile);
  make(SaveDialog1, "SaveDialog1", QFileDialog::AcceptSave);
  SaveDialog1->setFileMode(QFileDialog::AnyFile);
}

RequestResult EditorWindow::Transfer(LinkStates request, int waits, QByteArray block) {
  const bool write = IsWriteRequest(request);
  ShowOutcome({});
  lastResult_ = seams_.transfer ? seams_.transfer(request, waits, std::move(block))
                                : RequestResult{RequestOutcome::NotConnected, {}, {}};
  ShowOutcome(RequestOutcomePhrase(lastResult_, write));
  return lastResult_;
}

void EditorWindow::ShowOutcome(const Phrase& text) {
  const QString shown = text.Str(language_);
  OutcomeLine->setText(shown);
  OutcomeLine->setToolTip(shown);
}

int EditorWindow::ExecModal(QDialog& dialog) {
  if (seams_.execModal) return seams_.execModal(dialog);
  return dialog.exec();
}

int EditorWindow::WarningBox(const QString& text, int buttons, int defaultButton) {
  QMessageBox box(QMessageBox::Warning, txtAppTitle(), text, QMessageBox::StandardButtons(buttons), this);
  if (defaultButton) box.setDefaultButton(QMessageBox::StandardButton(defaultButton));
  return ExecModal(box);
}

void EditorWindow::RememberFolder(const QString& file) {
  // Unchanged, the file is not written again.
  seams_.settings.RememberFolderOf(file);
}

QString EditorWindow::AskOpenFile(int language) {
  OpenDialog1->setWindowTitle(txtOpenFileTitle.Str(language));
  Propose(OpenDialog1, seams_.settings.StartingFolder() + QStringLiteral("File"));
  if (ExecModal(*OpenDialog1) != QDialog::Accepted) return {};
  const QString file = OpenDialog1->selectedFiles().value(0);
  if (file.isEmpty()) return {};
  RememberFolder(file);
  return file;
}

QString EditorWindow::AskSaveFile(int language, const QString& proposed,
                                  const std::function<SaveNameDecision(const QString&)>& decide) {
  SaveDialog1->setWindowTitle(txtSaveAsTitle.Str(language));
  Propose(SaveDialog1, seams_.settings.StartingFolder() + proposed);
  for (;;) {
    if (ExecModal(*SaveDialog1) != QDialog::Accepted) return {};
    const QString chosen = SaveDialog1->selectedFiles().value(0);
    if (chosen.isEmpty()) return {};
    RememberFolder(chosen);
    const SaveNameDecision decision = decide(chosen);
    if (!decision.askAgain) return decision.fileName;
    Propose(SaveDialog1, decision.fileName);
  }
}

bool EditorWindow::EditingKey(const QKeyEvent* key) {
  return (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) != 0;
}

namespace {

const char* const kLastingMark = "invalidMark";
const char* const kRefusedMark = "RefusedMark";

QTimer* RefusedTimer(const QLineEdit* edit) { return edit->findChild<QTimer*>(QLatin1String(kRefusedMark)); }

void ApplyMark(QLineEdit* edit) {
  QPalette palette = edit->palette();
  const QTimer* refused = RefusedTimer(edit);
  const bool red = edit->property(kLastingMark).toBool() || (refused && refused->isActive());
  const QWidget* window = edit->window();
  palette.setColor(QPalette::Text, red ? QColor(255, 0, 0) : window->palette().color(QPalette::Text));
  edit->setPalette(palette);
}

}  // namespace

void EditorWindow::SetInvalidMark(QLineEdit* edit, bool marked) {
  edit->setProperty(kLastingMark, marked);
  ApplyMark(edit);
}

bool EditorWindow::InvalidMarkShown(const QLineEdit* edit) {
  return edit->palette().color(QPalette::Text) == QColor(255, 0, 0);
}

void EditorWindow::SignalRefused(QLineEdit* edit) {
  QTimer* timer = RefusedTimer(edit);
  if (!timer) {
    timer = new QTimer(edit);
    timer->setObjectName(QLatin1String(kRefusedMark));
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, edit, [edit] { ApplyMark(edit); });
  }
  timer->start(kRefusedMarkMs);
  ApplyMark(edit);
  QApplication::beep();
}

bool EditorWindow::NameKeyRejected(const QLineEdit* edit, const QKeyEvent* key, bool& modified) {
  const QString text = key->text();
  // Moving keys and Delete type no character; Escape closes the window; the editing
  // keys are the field's (a paste or undo counts as a change when it makes one).
  if (text.isEmpty() || key->key() == Qt::Key_Escape || EditingKey(key)) return false;
  modified = true;
  if (text == u"\b" || text == u"\t") return false;
  return edit->text().size() >= kShortTextCapacity - 1;
}

void EditorWindow::ReportWriteError(const FileWriteResult& result, int language) {
  WarningBox(txtCantCreateFile.Str(language) + u'\n' + result.path + QStringLiteral(": ") +
                 WriteFailureReason(result.error, language),
             QMessageBox::Ok, 0);
}

void EditorWindow::closeEvent(QCloseEvent* event) {
  if (busy_ > 0) {
    // A handler still uses the window (waiting for the instrument, a dialog): close
    // when it has finished.
    closePending_ = true;
    event->ignore();
    return;
  }
  bool close = true;
  {
    Running running(*this);
    if (Modified()) {
      const int answer = WarningBox(txtEdCloseQuestion(),
                                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                    QMessageBox::No);
      if (answer == QMessageBox::Yes)
        close = SendBeforeClose();
      else
        close = answer == QMessageBox::No;
    }
    // A second close asked for during the question or the transfer is this one.
    closePending_ = false;
  }
  if (!close) {
    event->ignore();
    return;
  }
  Closing();
  event->accept();
}

void EditorWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace zarn
