// The main window and the lab archive: every completed read and every opened data file
// kept there by the keeper's thread, what the status bar says of it, the pending list's
// notice, and the archive's menu items.

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>

#include "archivekeeper.h"
#include "archivesettings.h"
#include "archivewindow.h"
#include "common/paths.h"
#include "common/texts.h"
#include "formmain.h"
#include "statuspresenter.h"

namespace zarn {
namespace {

const TextPair txtKeepInArchive{u"Сохранять в архиве", u"Keep in the archive"};
const TextPair txtArchiveSettings{u"Архив...", u"Archive..."};
const TextPair txtArchiveUnusable{
    u"Архив измерений недоступен. Программа работает без него: прочитанные и открытые серии ждут "
    u"в папке «%1» и попадут в архив при следующем сохранении в него или при следующем запуске.",
    u"The measurement archive cannot be used. The program works without it: the series read and "
    u"opened wait in \"%1\" and go into the archive with the next import or at the next start."};
const TextPair txtArchiveWaiting{u"архив недоступен, ждут: %1", u"the archive cannot be used, waiting: %1"};
const TextPair txtArchiveNotKept{
    u"Серии не удалось сохранить ни в архиве, ни в папке ожидания (%1). Сохраните их в файл данных.",
    u"The series could be kept neither in the archive nor in the pending folder (%1). Save them as a data file."};

}  // namespace

void TForm1::StartKeeping() {
  if (!seams_.keepInArchive || !AArchiveKeep->isChecked()) return;
  if (!keeper_) {
    keeper_ = new TArchiveKeeper(ArchiveLocation(),
                                 seams_.pendingFolder.isEmpty() ? PendingFolder() : seams_.pendingFolder, this);
    connect(keeper_, &TArchiveKeeper::Reported, this, &TForm1::KeepReported);
  }
  // What waits from an earlier run (or an earlier failure) goes in now, and an archive
  // that cannot be used is told at once rather than at the first read.
  keeper_->Retry();
}

QString TForm1::ArchiveLocation() const {
  return archiveLocation_.isEmpty() ? settings_.ArchiveLocation() : archiveLocation_;
}

void TForm1::AArchiveKeepExecute() {
  const bool keep = AArchiveKeep->isChecked();
  settings_.SetArchiveKeep(keep);
  if (keep) StartKeeping();
}

void TForm1::KeepInArchive(const CompletedRead& read) {
  if (!keeper_ || !AArchiveKeep->isChecked() || !read.images || read.images->processCount == 0) return;
  lastKept_ = keeper_->KeepRead(read.images, read.version.trimmed());
}

void TForm1::KeepFileInArchive(const QString& path) {
  if (!keeper_ || !AArchiveKeep->isChecked()) return;
  lastKept_ = keeper_->KeepFile(QFileInfo(path).absoluteFilePath());
}

void TForm1::KeepReported(const KeepReport& report) {
  const bool latest = report.ticket == lastKept_;
  if (report.unusable) {
    if (report.pendingFailed.error != 0) {
      // Kept nowhere but in the window: said every time, with what to do; not modal (it
      // comes whenever the keeper is done), one box that the latest failure updates.
      auto* box = findChild<QMessageBox*>(QStringLiteral("ArchiveNotKept"));
      if (!box) {
        box = new QMessageBox(QMessageBox::Warning, txtAppTitle(), QString(), QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("ArchiveNotKept"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
      }
      box->setText(txtArchiveNotKept().arg(WriteFailureMessage(report.pendingFailed, LanguageIndex.load())));
      box->setInformativeText(report.unusable->Text(LanguageIndex.load()));
      box->show();
    } else {
      ShowArchiveNotice(report);
    }
    if (latest || !report.job) status_->ArchiveNote(Phrase(txtArchiveWaiting, {QString::number(report.pendingLeft)}));
    return;
  }
  // It works (again): a later failure is told again.
  archiveNoticeDone_ = false;
  if (!report.refused.isEmpty() && latest) {
    status_->ArchiveNote(Phrase(report.refused.last().Text(LanguageIndex.load())));
    return;
  }
  if (latest || (!report.job && report.pendingIn > 0)) status_->ArchiveNote(KeptPhrase(report.series, report.added));
}

void TForm1::ShowArchiveNotice(const KeepReport& report) {
  if (archiveNoticeDone_) return;
  archiveNoticeDone_ = true;
  // Not modal: the window goes on working without the archive.
  const QString folder = keeper_ ? keeper_->PendingFolder() : PendingFolder();
  auto* box = new QMessageBox(QMessageBox::Warning, txtAppTitle(), txtArchiveUnusable().arg(folder),
                              QMessageBox::Ok, this);
  box->setObjectName(QStringLiteral("ArchiveNotice"));
  box->setInformativeText(report.unusable->Text(LanguageIndex.load()));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  box->show();
}

void TForm1::AArchiveSettingsExecute() {
  TfrmArchiveSettings dialog(settings_.ArchiveDatabase(), [this](QDialog& d) { return ExecModal(d); }, this);
  if (ExecModal(dialog) != QDialog::Accepted) return;
  // Stored without a password; this run goes on with the location as typed.
  const QString typed = dialog.Location();
  settings_.SetArchiveDatabase(typed);
  archiveLocation_ = typed;
  if (keeper_) keeper_->SetLocation(ArchiveLocation());
  if (frmArchive) frmArchive->Refresh();
  // A new archive takes what waits at once, and says whether it can be used.
  archiveNoticeDone_ = false;
  if (keeper_ && AArchiveKeep->isChecked()) keeper_->Retry();
}

void TForm1::ArchiveMenuFill() {
  AArchiveKeep->setText(txtKeepInArchive());
  if (AArchiveSettings) AArchiveSettings->setText(txtArchiveSettings());
}

}  // namespace zarn
