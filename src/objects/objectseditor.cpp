#include "objectseditor.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <cstring>

#include "common/images.h"
#include "device/instrumentlink.h"
#include "objectsfile.h"

namespace zarn {

bool ObjectsModified = false;
bool ObjectsEditorOpen = false;

namespace {

const TextPair txtObjectsCaption{u"Названия объектов", u"Objects names"};

}  // namespace

TfrmObjects::TfrmObjects(EditorSeams seams, QWidget* parent)
    : EditorWindow(std::move(seams), kClientWidth, kClientHeight, kHelpContext, parent),
      language_(Language()),
      block_(CopyOfBlock(Images.ObjectsBlock)) {
  setObjectName(QStringLiteral("frmObjects"));
  // The copy is what the program holds: nothing in it is unsent yet.
  ObjectsModified = false;
  static constexpr int kColumnLeft[3] = {16, 152, 288};
  for (int k = 0; k < kObjectCount; ++k) {
    QLineEdit* edit = new QLineEdit(this);
    edit->setObjectName(QStringLiteral("EditName%1").arg(k + 1));
    edit->setGeometry(kColumnLeft[k / 10], 8 + 24 * (k % 10), 121, 21);
    edit->installEventFilter(this);
    // Every change by the user counts, also a paste through the context menu.
    connect(edit, &QLineEdit::textEdited, this, [] { ObjectsModified = true; });
    EditName[size_t(k)] = edit;
  }
  // Entry 0 changes only with a whole list (instrument, file, defaults).
  EditName[0]->setEnabled(false);

  CreateButtons({QRect(16, 256, 73, 17), QRect(16, 280, 73, 17), QRect(104, 256, 73, 17),
                 QRect(104, 280, 73, 17), QRect(192, 264, 83, 25), QRect(328, 264, 83, 25)},
                language_);
  CreateFileDialogs(kObjectsFileFilter.toString());
  setWindowTitle(txtObjectsCaption.Str(language_));

  QWidget* previous = btnClose;
  for (QWidget* next : std::initializer_list<QWidget*>{
           EditName[1], EditName[2], EditName[3], EditName[4], EditName[5], EditName[6], EditName[7],
           EditName[8], EditName[9], EditName[10], EditName[11], EditName[12], EditName[13],
           EditName[14], EditName[15], EditName[16], EditName[17], EditName[18], EditName[19],
           EditName[20], EditName[21], EditName[22], EditName[23], EditName[24], EditName[25],
           EditName[26], EditName[27], EditName[28], EditName[29], btnFromDevice, btnToDevice,
           btnFromFile, btnToFile, ButtonDefault}) {
    setTabOrder(previous, next);
    previous = next;
  }
  btnClose->setFocus();

  connect(btnFromDevice, &QPushButton::clicked, this, &TfrmObjects::btnFromDeviceClick);
  connect(btnToDevice, &QPushButton::clicked, this, &TfrmObjects::btnToDeviceClick);
  connect(btnFromFile, &QPushButton::clicked, this, &TfrmObjects::btnFromFileClick);
  connect(btnToFile, &QPushButton::clicked, this, &TfrmObjects::btnToFileClick);
  connect(ButtonDefault, &QPushButton::clicked, this, &TfrmObjects::ButtonDefaultClick);
}

void TfrmObjects::ShowObjects() {
  bool blank = ObjectsBlank.load();
  const ObjectNameTexts texts = ObjectsToTexts(block_.data(), blank);
  ObjectsBlank.store(blank);
  for (int k = 0; k < kObjectCount; ++k) EditName[size_t(k)]->setText(texts[size_t(k)]);
}

void TfrmObjects::StoreObjects() {
  ObjectNameTexts texts;
  for (int k = 0; k < kObjectCount; ++k) texts[size_t(k)] = EditName[size_t(k)]->text();
  StoreObjectTexts(block_.data(), texts);
}

void TfrmObjects::ButtonDefaultClick() {
  const ObjectNameTexts texts = DefaultObjectTexts(LanguageIndex.load());
  for (int k = 0; k < kObjectCount; ++k) EditName[size_t(k)]->setText(texts[size_t(k)]);
  ObjectsBlank.store(false);
  ObjectsModified = true;
}

void TfrmObjects::btnFromDeviceClick() {
  Running running(*this);
  const RequestResult read = Transfer(LinkStates::ReadObjects, InstrumentLink::kReadWaits);
  // Only a list that arrived whole replaces what the fields show; otherwise they and
  // their unsent changes stay, and the outcome line says why.
  if (read.outcome != RequestOutcome::Done || size_t(read.block.size()) != block_.size()) return;
  std::memcpy(block_.data(), read.block.constData(), block_.size());
  ShowObjects();
  ObjectsModified = false;
}

void TfrmObjects::btnToDeviceClick() {
  if (ObjectsBlank.load()) {
    ShowOutcome(txtEdNothingToSend);
    return;
  }
  Running running(*this);
  StoreObjects();
  if (Transfer(LinkStates::WriteObjects, InstrumentLink::kWriteWaits, Bytes(block_)).outcome ==
      RequestOutcome::Done)
    ObjectsModified = false;
}

bool TfrmObjects::SendBeforeClose() {
  btnToDeviceClick();
  return true;
}

void TfrmObjects::Closing() { ObjectsEditorOpen = false; }

void TfrmObjects::btnFromFileClick() {
  Running running(*this);
  const QString file = AskOpenFile(language_);
  if (file.isEmpty()) return;
  const std::optional<ObjectNameTexts> names = ReadObjectsFile(file);
  if (!names) {
    WarningBox(ObjectsFileRefusedMessage(file, language_), QMessageBox::Ok, 0);
    return;
  }
  ApplyObjectsFile(*names, block_.data());
  ShowObjects();
  ObjectsModified = true;
}

void TfrmObjects::btnToFileClick() {
  if (ObjectsBlank.load()) {
    ShowOutcome(txtEdNothingToSend);
    return;
  }
  Running running(*this);
  StoreObjects();
  const QString file = AskSaveFile(language_, ProposedObjectsFileName(QDateTime::currentDateTime()),
                                   DecideObjectsSaveName);
  if (file.isEmpty()) return;
  const FileWriteResult written = WriteObjectsFile(file, block_.data());
  if (!written) ReportWriteError(written, language_);
}

bool TfrmObjects::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    for (QLineEdit* edit : EditName) {
      if (watched != edit) continue;
      if (!NameKeyRejected(edit, key, ObjectsModified)) return false;
      SignalRefused(edit);  // a full field: the key is not dropped without a sign
      return true;
    }
  }
  return EditorWindow::eventFilter(watched, event);
}

}  // namespace zarn
