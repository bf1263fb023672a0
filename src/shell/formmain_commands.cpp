// The main window's commands that open other windows: the materials and objects
// editors, help and the About box. Each of those windows lives in files of its own.

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>

#include "aboutbox.h"
#include "common/paths.h"
#include "common/texts.h"
#include "desktop.h"
#include "device/instrumentlink.h"
#include "formmain.h"
#include "helpwindow.h"
#include "materials/materialseditor.h"
#include "objects/objectseditor.h"
#include "screenfit.h"

namespace zarn {

EditorSeams TForm1::EditorSurroundings() {
  EditorSeams seams;
  seams.settings = settings_;
  seams.execModal = seams_.execModal;
  seams.transfer = [this](LinkStates request, int waits, QByteArray block) {
    InstrumentLink* link = Link();
    if (!link) return RequestResult{RequestOutcome::NotConnected, {}, {}};
    return link->Transfer(request, waits, std::move(block));
  };
  seams.help = [this](int context) { ShowHelpContext(context); };
  return seams;
}

namespace {

const TextPair txtChmNoViewer{
    u"Справка в формате CHM не открылась: на компьютере нет программы для просмотра файлов CHM "
    u"(например, из пакета xchm).\nОткрыть ту же справку в окне программы?",
    u"The CHM help did not open: no viewer for CHM files is installed (for example the xchm "
    u"package).\nOpen the same guide in the program's help window?"};
const TextPair txtChmMissing{u"Файл справки %1 не найден.\nОткрыть справку в окне программы?",
                             u"The help file %1 is not there.\nOpen the guide in the program's help window?"};

void ShowOnTop(QWidget& window) {
  window.show();
  window.raise();
  window.activateWindow();
}

}  // namespace

// One editor of a kind at a time, modeless, centred on the main window; asked for
// again, the open one comes forward.
void TForm1::AMaterialEditExecute() {
  if (MaterialsEditorOpen) {
    if (frmMaterials) ShowOnTop(*frmMaterials);
    return;
  }
  MaterialsEditorOpen = true;
  frmMaterials = new TfrmMaterials(EditorSurroundings(), this);
  KeepOnScreen(frmMaterials, [this] { return ScreenAreas(); });
  frmMaterials->ShowCentred();
}

void TForm1::AObjectEditExecute() {
  if (ObjectsEditorOpen) {
    if (frmObjects) ShowOnTop(*frmObjects);
    return;
  }
  ObjectsEditorOpen = true;
  frmObjects = new TfrmObjects(EditorSurroundings(), this);
  KeepOnScreen(frmObjects, [this] { return ScreenAreas(); });
  frmObjects->ShowCentred();
  // The objects editor opens with a read of the instrument's list.
  frmObjects->btnFromDeviceClick();
}

bool TForm1::OpenUrl(const QUrl& url) { return seams_.openUrl ? seams_.openUrl(url) : OpenWithDesktop(url); }

QString TForm1::HelpProgramDir() const { return seams_.programDir.isEmpty() ? ProgramDir() : seams_.programDir; }

THelpWindow& TForm1::HelpWindow() {
  if (!frmHelp) {
    const QString dir = HelpProgramDir();
    QString cache = seams_.helpCacheFolder;
    if (cache.isEmpty()) {
      const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
      if (!base.isEmpty()) cache = base + QStringLiteral("/zarn26/help");
    }
    frmHelp = new THelpWindow(this, HelpFilePath(u"Zarn26help.qhc", dir), HelpFilePath(u"Zarn26help.qch", dir),
                              cache);
    KeepOnScreen(frmHelp, [this] { return ScreenAreas(); });
  }
  return *frmHelp;
}

void TForm1::AMainHelpExecute() {
  // The help window at its contents.
  THelpWindow& help = HelpWindow();
  help.ShowContents();
  ShowOnTop(help);
}

void TForm1::ShowHelpContext(int context) {
  THelpWindow& help = HelpWindow();
  help.ShowContext(context);
  ShowOnTop(help);
}

void TForm1::AChmHelpExecute() {
  // The compiled help in the desktop's viewer. Without the file or a viewer the user
  // is told so, and offered the help window, which shows the same guide.
  const QString chm = HelpFilePath(u"Zarn26Help.chm", HelpProgramDir());
  const bool present = QFileInfo(chm).isFile();
  if (present && OpenUrl(QUrl::fromLocalFile(chm))) return;
  const QString text = present ? txtChmNoViewer() : txtChmMissing().arg(QDir::toNativeSeparators(chm));
  QMessageBox ask(QMessageBox::Information, txtAppTitle(), text, QMessageBox::Yes | QMessageBox::No, this);
  ask.setObjectName(QStringLiteral("ChmNotShown"));
  ask.setDefaultButton(QMessageBox::Yes);
  if (ExecModal(ask) == QMessageBox::Yes) AMainHelpExecute();
}

void TForm1::AAboutExecute() {
  TAboutBox box(this, ProgramVersionResource(), [this](const QUrl& url) { return OpenUrl(url); });
  box.move(geometry().center() - box.rect().center());
  KeepOnScreen(&box, [this] { return ScreenAreas(); });
  ExecModal(box);
}

}  // namespace zarn
