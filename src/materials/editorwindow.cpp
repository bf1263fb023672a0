#include "editorwindow.h"

#include <QCloseEvent>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "common/images.h"
#include "common/shorttext.h"

namespace zarn {

const TextPair txtEdFromDevice{u"Из прибора", u"From device"};
const TextPair txtEdToDevice{u"В прибор", u"To device"};
const TextPair txtEdFromFile{u"Из файла", u"From file"};
const TextPair txtEdToFile{u"В файл", u"To file"};
const TextPair txtEdDefault{u"По умолчанию", u"Default"};
const TextPair txtEdClose{u"Закрыть", u"Close"};
const TextPair txtEdCloseQuestion{u"Параметры были изменены. Записать изменения в прибор?",
                                  u"Parameters was changed. Save parameters to device?"};

namespace {

void Propose(QFileDialog* dialog, const QString& path) {
  const QFileInfo info(path);
  dialog->setDirectory(info.absolutePath());
  dialog->selectFile(info.fileName());
}

}  // namespace

EditorWindow::Running::~Running() {
  if (--w_.busy_ > 0 || !w_.closePending_) return;
  // The close asked for while the handler ran: now that nothing uses the window any
  // more, from the event loop.
  w_.closePending_ = false;
  EditorWindow* w = &w_;
  QTimer::singleShot(0, w, [w] { w->close(); });
}

EditorWindow::EditorWindow(EditorSeams seams, int clientWidth, int clientHeight, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      seams_(std::move(seams)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(clientWidth, clientHeight);
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPointSize(8);
  setFont(font);
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
  };
  make(OpenDialog1, "OpenDialog1", QFileDialog::AcceptOpen);
  OpenDialog1->setFileMode(QFileDialog::ExistingFile);
  make(SaveDialog1, "SaveDialog1", QFileDialog::AcceptSave);
  SaveDialog1->setFileMode(QFileDialog::AnyFile);
}

RequestOutcome EditorWindow::Transfer(LinkStates request, int waits) {
  lastOutcome_ = seams_.transfer ? seams_.transfer(request, waits) : RequestOutcome::NotAccepted;
  return lastOutcome_;
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

bool EditorWindow::NameKeyRejected(const QLineEdit* edit, const QKeyEvent* key, bool& modified) {
  const QString text = key->text();
  // Moving keys and Delete type no character; Escape closes the window.
  if (text.isEmpty() || key->key() == Qt::Key_Escape) return false;
  modified = true;
  if (text == u"\b" || text == u"\t") return false;
  return edit->text().size() >= kShortTextCapacity - 1;
}

void EditorWindow::ReportWriteError(const FileWriteResult& result, int language) {
  WarningBox(txtCantCreateFile.Str(language) + u'\n' + result.path + QStringLiteral(": ") +
                 WriteFailureReason(result.error, language),
             QMessageBox::Ok, 0);
}

std::unique_lock<std::mutex> EditorWindow::LockImages() { return LockImagesServingEvents(); }

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
