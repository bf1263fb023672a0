// The main window's data file commands: open (menu and command line) and save, with
// their dialogs and messages.

#include <QCoreApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <QDir>
#include <QFontMetrics>

#include "common/images.h"
#include "common/filewrite.h"
#include "common/paths.h"
#include "common/texts.h"
#include "data/datafile.h"
#include "device/instrumentlink.h"
#include "archivewindow.h"
#include "formmain.h"
#include "materials/editorwindow.h"
#include "statuspresenter.h"

namespace zarn {
namespace {

const QString kDataFilter = QStringLiteral("DataFile (*.zarn)");
const QString kAllFilter = QStringLiteral("All files (*.*)");

// Asked when the save command's name rule turned the chosen name into that of a file
// that exists (the dialog asked only about the name as typed).
const TextPair txtMenuRecent{u"Последние файлы", u"Recent files"};
const TextPair txtRecentMissing{u"Файл \"%1\" не найден. Он убран из списка последних файлов.",
                                u"File \"%1\" was not found. It is removed from the recent files."};
const TextPair txtRecentNone{u"(нет)", u"(none)"};

const TextPair txtReplaceFile{u"Файл \"%1\" уже существует.\nЗаменить его?",
                              u"File \"%1\" already exists.\nDo you want to replace it?"};

QString FileNameOnly(const QString& path) { return QFileInfo(path).fileName(); }

// 'File "walk1.zarn"': panel 0 after a file was opened or saved.
Phrase FilePhrase(const QString& path) {
  return Phrase(txtFileQuote) + FileNameOnly(path) + QStringLiteral("\"");
}

// The name typed in a (non-native) file dialog, with its folder.
QString TypedFileName(QFileDialog* dialog) {
  if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
    const QString typed = edit->text();
    if (typed.isEmpty()) return {};
    return QFileInfo(typed).isAbsolute() ? typed : dialog->directory().filePath(typed);
  }
  return dialog->selectedFiles().value(0);
}

void Propose(QFileDialog* dialog, const QString& path) {
  const QFileInfo info(path);
  dialog->setDirectory(info.absolutePath());
  dialog->selectFile(info.fileName());
}

}  // namespace

void TForm1::CreateDialogs() {
  auto make = [this](QFileDialog*& dialog, const char* name, QFileDialog::AcceptMode mode) {
    dialog = new QFileDialog(this);
    dialog->setObjectName(QString::fromLatin1(name));
    // The program's own dialog: the same on every desktop, and reachable by tests.
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAcceptMode(mode);
    dialog->setNameFilters({kDataFilter, kAllFilter});
    dialog->setSizeGripEnabled(true);
    UseInterfaceLocale(dialog);
    connect(dialog, &QFileDialog::filterSelected, this, [this, dialog](const QString& filter) {
      SaveDialog1TypeChange(dialog, int(dialog->nameFilters().indexOf(filter)) + 1);
    });
  };
  make(OpenDialog1, "OpenDialog1", QFileDialog::AcceptOpen);
  OpenDialog1->setFileMode(QFileDialog::ExistingFile);
  make(SaveDialog1, "SaveDialog1", QFileDialog::AcceptSave);
  SaveDialog1->setFileMode(QFileDialog::AnyFile);
  // A name typed without extension gets ".zarn" before the dialog checks whether it
  // would replace a file.
  SaveDialog1->setDefaultSuffix(QStringLiteral("zarn"));
}

void TForm1::SaveDialog1TypeChange(QFileDialog* dialog, int filterIndex) {
  QString name = TypedFileName(dialog);
  const QString suffix = DataDialogTypeChange(filterIndex, name);
  dialog->setDefaultSuffix(suffix);
  if (filterIndex == 2 && !name.isEmpty()) dialog->selectFile(FileNameOnly(name));
}

std::unique_lock<std::mutex> TForm1::LockImages() { return LockImagesServingEvents(); }

bool TForm1::ShowOpenDialog(QString& fileName) {
  OpenDialog1->setWindowTitle(txtOpenFileTitle());
  Propose(OpenDialog1, fileName);
  if (ExecModal(*OpenDialog1) != QDialog::Accepted) return false;
  const QStringList files = OpenDialog1->selectedFiles();
  if (files.isEmpty() || files.first().isEmpty()) return false;
  fileName = files.first();
  return true;
}

void TForm1::AOpenExecute(QObject* sender) {
  QString fileName;
  if (sender) {
    fileName = settings_.StartingFolder() + QStringLiteral("File");
    if (!ShowOpenDialog(fileName)) return;
  } else {
    fileName = commandLineName_;
    if (fileName.isEmpty()) return;
  }
  OpenFile(fileName, sender == nullptr);
}

void TForm1::OpenCommandLine(const QStringList& arguments) {
  commandLineName_ = arguments.join(u' ');
  AOpenExecute(nullptr);
}

DataFileStatus TForm1::OpenToShow(const QString& path) {
  ImagesView opened;
  // The file goes in at once: no transfer holds the images' lock while it waits on
  // the instrument. Once the file has been read and checked, and before its bytes go
  // in, the link abandons whatever the loop was doing and lets the instrument go.
  const DataFileStatus status = OpenDataFile(
      path,
      [this] {
        std::unique_lock<std::mutex> lock = LockImages();
        if (lock.owns_lock() && link_) link_->FileOpened();
        return lock;
      },
      &opened);
  if (status == DataFileStatus::Ok) shown_ = std::move(opened);
  return status;
}

void TForm1::ShowOpenedData(const Phrase& source) {
  ProgressEnd();
  FillSeriesTable();
  status_->Show(0, source);
  status_->Show(1, Phrase(txtStatusDataRead) + QStringLiteral(" (%1)").arg(ShownProcessCount()));
  LinkLamp(LampColour::ButtonFace);
  if (link_) link_->ScreenChanged();
}

void TForm1::OpenFile(QString fileName, bool) {
  for (;;) {
    // The folder is remembered before the file is tried, whatever comes of it.
    settings_.RememberFolderOf(fileName);
    const DataFileStatus status = OpenToShow(fileName);
    if (status == DataFileStatus::Ok) break;
    if (status == DataFileStatus::Damaged) {
      WarningBox(txtFileDamaged() + QStringLiteral(": ") + FileNameOnly(fileName), QMessageBox::Ok, 0);
      return;
    }
    // Cannot be opened: the dialog comes again with that name, until a readable file
    // or cancel.
    if (!ShowOpenDialog(fileName)) return;
  }
  ShowOpenedData(FilePhrase(fileName));
  RememberFile(fileName);
  KeepFileInArchive(fileName);
}

void TForm1::ShowCurrentImages() {
  {
    std::unique_lock<std::mutex> lock = LockImages();
    shown_ = SnapshotImagesLocked();
  }
  FillSeriesTable();
}

void TForm1::ASaveExecute() {
  if (ShownProcessCount() == 0) {
    QMessageBox box(QMessageBox::NoIcon, txtAppTitle(), txtStatusNoData(), QMessageBox::Ok, this);
    ExecModal(box);
    return;
  }
  SaveDialog1->setWindowTitle(txtSaveAsTitle());
  Propose(SaveDialog1, settings_.StartingFolder() + ProposedDataFileName(QDateTime::currentDateTime()));
  for (;;) {
    if (ExecModal(*SaveDialog1) != QDialog::Accepted) return;
    const QString chosen = SaveDialog1->selectedFiles().value(0);
    if (chosen.isEmpty()) return;
    settings_.RememberFolderOf(chosen);
    const SaveNameDecision decision = DecideSaveName(chosen);
    if (decision.askAgain) {
      Propose(SaveDialog1, decision.fileName);
      continue;
    }
    const QString target = decision.fileName;
    if (target != chosen && QFileInfo::exists(target)) {
      QMessageBox ask(QMessageBox::Question, txtAppTitle(), txtReplaceFile().arg(FileNameOnly(target)),
                      QMessageBox::Yes | QMessageBox::No, this);
      ask.setDefaultButton(QMessageBox::No);
      if (ExecModal(ask) != QMessageBox::Yes) {
        Propose(SaveDialog1, target);
        continue;
      }
    }
    // What the window shows is saved: a copy that no transfer changes.
    const ImagesView shown = shown_;
    const FileWriteResult written = WriteDataFile(target, shown->images);
    if (written) {
      // The window now shows the file saved, as after an open.
      status_->Show(0, FilePhrase(target));
      if (link_) link_->ScreenChanged();
      RememberFile(target);
      return;
    }
    QMessageBox box(QMessageBox::Warning, txtAppTitle(), txtCantCreateFile(),
                    QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, this);
    box.setDefaultButton(QMessageBox::Retry);
    // The old file, if any, is as it was; the box says why the new one is not there.
    box.setInformativeText(target + QStringLiteral(": ") +
                           WriteFailureReason(written.error, LanguageIndex.load()));
    if (ExecModal(box) != QMessageBox::Retry) return;
    Propose(SaveDialog1, target);
  }
}

// ---- The title, the recent files and dropped files.

QString TForm1::WindowTitle() const {
  if (archiveShown_ >= 0) return ArchiveShownTitle(archiveShown_, LanguageIndex.load()) + QStringLiteral(" — ") + txtAppTitle();
  return titleName_.isEmpty() ? txtAppTitle() : titleName_ + QStringLiteral(" — ") + txtAppTitle();
}

void TForm1::ShowTitle() { setWindowTitle(WindowTitle()); }

void TForm1::RememberFile(const QString& fileName) {
  titleName_ = FileNameOnly(fileName);
  archiveShown_ = -1;
  shownFromFile_ = true;
  ShowTitle();
  recent_.Add(QFileInfo(fileName).absoluteFilePath());
  StoreRecentFiles();
}

void TForm1::StoreRecentFiles() {
  // Kept in the settings file at once, as the language and the unit are.
  settings_.SetRecentFiles(recent_.Files());
  FillRecentMenu();
  AssignMnemonics();
}

void TForm1::FillRecentMenu() {
  itmRecent->setTitle(txtMenuRecent());
  itmRecent->clear();
  const QStringList& files = recent_.Files();
  if (files.isEmpty()) itmRecent->addAction(txtRecentNone())->setEnabled(false);
  const QFontMetrics metrics(itmRecent->font());
  for (qsizetype i = 0; i < files.size(); ++i) {
    const QString path = files[i];
    // Numbered 1..8 (the number is the item's key); long paths lose their middle.
    QString shown = metrics.elidedText(QDir::toNativeSeparators(path), Qt::ElideMiddle, 60 * metrics.averageCharWidth());
    shown.replace(u'&', QStringLiteral("&&"));
    QAction* item = itmRecent->addAction(QStringLiteral("&%1 ").arg(i + 1) + shown);
    item->setObjectName(QStringLiteral("itmRecent%1").arg(i + 1));
    item->setToolTip(path);
    // Queued: opening refills this menu, which deletes the item that was chosen.
    connect(item, &QAction::triggered, this, [this, path] { OpenRecentFile(path); }, Qt::QueuedConnection);
  }
  itmRecent->setToolTipsVisible(true);
}

void TForm1::OpenRecentFile(const QString& path) {
  if (!QFileInfo(path).isFile()) {
    recent_.Remove(path);
    StoreRecentFiles();
    WarningBox(txtRecentMissing().arg(QDir::toNativeSeparators(path)), QMessageBox::Ok, 0);
    return;
  }
  OpenFile(path, false);
}

void TForm1::DropFiles(const QList<QUrl>& urls) {
  const DropDecision drop = DropRule(urls);
  if (!drop.accept) return;
  if (drop.open) {
    OpenFile(drop.fileName, false);
    return;
  }
  // Not a data file: the message Open gives for a file it cannot read.
  WarningBox(txtFileDamaged() + QStringLiteral(": ") + FileNameOnly(drop.fileName), QMessageBox::Ok, 0);
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (DropRule(event->mimeData()->urls()).accept) event->acceptProposedAction();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
  if (DropRule(event->mimeData()->urls()).accept) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (!DropRule(urls).accept) return;
  event->acceptProposedAction();
  // The message boxes of the open come after the drop has ended, not inside the
  // drag source's loop.
  QTimer::singleShot(0, this, [this, urls] { DropFiles(urls); });
}

}  // namespace zarn
