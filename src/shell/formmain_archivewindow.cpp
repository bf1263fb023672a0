// The main window's side of the archive window: opening it, and showing the series it
// hands over as an opened data file is shown.

#include <QMessageBox>
#include <algorithm>

#include "archivewindow.h"
#include "common/texts.h"
#include "data/datafile.h"
#include "device/instrumentlink.h"
#include "formmain.h"
#include "screenfit.h"
#include "statuspresenter.h"

namespace zarn {
namespace {

const TextPair txtArchiveWord{u"Архив", u"Archive"};

}  // namespace

void TForm1::AArchiveExecute() {
  if (!frmArchive) {
    ArchiveWindowSeams seams;
    seams.location = [this] { return ArchiveLocation(); };
    seams.execModal = [this](QDialog& dialog) { return ExecModal(dialog); };
    seams.unit = [this] { return Unit(); };
    seams.showInMain = [this](const QString& dataFile, int count) { ShowArchiveSeries(dataFile, count); };
    seams.showReport = [this](std::shared_ptr<const Table1Snapshot> table) { ShowSeriesReport(std::move(table)); };
    seams.help = [this](int context) { ShowHelpContext(context); };
    seams.startFolder = [this] { return settings_.StartingFolder(); };
    seams.rememberFolder = [this](const QString& chosen) { settings_.RememberFolderOf(chosen); };
    frmArchive = new TfrmArchive(std::move(seams), this);
    // Most of the screen: room for the eleven columns and the group table.
    const QRect area = AvailableGeometry();
    frmArchive->resize(std::clamp(area.width() * 85 / 100, std::min(900, area.width()), area.width()),
                       std::clamp(area.height() * 3 / 4, std::min(560, area.height()), area.height()));
    frmArchive->move(frameGeometry().center() - frmArchive->rect().center());
    KeepOnScreen(frmArchive, [this] { return ScreenAreas(); });
  } else if (!frmArchive->isVisible()) {
    // Opened again: what was imported meanwhile is there.
    frmArchive->Refresh();
  }
  frmArchive->show();
  frmArchive->raise();
  frmArchive->activateWindow();
}

bool TForm1::ShowArchiveSeries(const QString& dataFile, int count) {
  // As a data file opens: read and checked first, then in at once, the link let go.
  if (OpenToShow(dataFile) != DataFileStatus::Ok) {
    WarningBox(txtFileDamaged() + QStringLiteral(": ") + ArchiveShownTitle(count, LanguageIndex.load()),
               QMessageBox::Ok, 0);
    return false;
  }
  ShowOpenedData(Phrase(txtArchiveWord) + QStringLiteral(" (%1)").arg(count));
  archiveShown_ = count;
  titleName_.clear();
  ShowTitle();
  return true;
}

}  // namespace zarn
