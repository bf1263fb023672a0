#include "materialseditor.h"

#include <QDateTime>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <cstring>

#include "common/images.h"
#include "device/instrumentlink.h"
#include "materialsfile.h"

namespace zarn {

bool MaterialsModified = false;
bool MaterialsEditorOpen = false;

namespace {

const TextPair txtMaterialsCaption{u"Параметры материалов", u"Materials parameters"};
const TextPair txtMaterialsHeader{
    u"№    Название материала              a2                   a1                   a0                     Kп",
    u"№         Material name                       a2                   a1                   a0                     Kp"};
const TextPair txtInvalidCoefficient{
    u"%1, строка %2 «%3»: коэффициент %4 «%5» не является числом.",
    u"%1, row %2 \"%3\": coefficient %4 \"%5\" is not a number."};
const TextPair txtNothingSent{u"В прибор ничего не записано. Исправьте значение или нажмите «По умолчанию».",
                              u"Nothing was sent to the device. Correct the value or press Default."};
const TextPair txtNothingSaved{u"Файл не записан. Исправьте значение или нажмите «По умолчанию».",
                               u"The file was not written. Correct the value or press Default."};
const TextPair txtNotStored{u"Изменения группы сохранены не полностью.",
                            u"The group's changes were not all stored."};

// A row that a tab switch stored as 0, 1, 0, 1 because of a red field, until its group
// is shown again or the whole block is replaced: what the field held.
struct HeldNeutral {
  MaterialColumn column;
  QString text;
};
std::array<std::optional<HeldNeutral>, kMaterialCount> heldNeutral;

void ForgetHeld(int firstMaterial, int count) {
  for (int m = firstMaterial; m < firstMaterial + count; ++m) heldNeutral[size_t(m)].reset();
}

// Characters the coefficient fields take: the digits, signs, exponent letters and the
// control characters of editing and moving on.
bool CoefficientChar(char16_t c) {
  return (c >= u'0' && c <= u'9') || c == u'-' || c == u'+' || c == u'E' || c == u'e' || c == 8 ||
         c == 9 || c == 10 || c == 13;
}

}  // namespace

QString CoefficientName(MaterialColumn column, int language) {
  switch (column) {
    case kColA2: return QStringLiteral("a2");
    case kColA1: return QStringLiteral("a1");
    case kColA0: return QStringLiteral("a0");
    case kColKf: return language == kEnglish ? QStringLiteral("Kp") : QStringLiteral("Kп");
  }
  return {};
}

QString InvalidCoefficientMessage(int m, const QString& name, MaterialColumn column,
                                  const QString& text, bool toFile, int language) {
  return txtInvalidCoefficient.Str(language)
             .arg(MaterialGroupCaption(MaterialGroup(m)).Str(language))
             .arg(MaterialSlot(m) + 1)
             .arg(name, CoefficientName(column, language), text) +
         u'\n' + (toFile ? txtNothingSaved : txtNothingSent).Str(language);
}

TfrmMaterials::TfrmMaterials(EditorSeams seams, QWidget* parent)
    : EditorWindow(std::move(seams), kClientWidth, kClientHeight, kHelpContext, parent),
      language_(Language()),
      block_(CopyOfBlock(Images.MaterialsBlock)) {
  setObjectName(QStringLiteral("frmMaterials"));
  // The copy is what the program holds: nothing in it is unsent yet.
  MaterialsModified = false;
  constexpr int kTabLeft = 8, kTabTop = 8, kTabWidth = 441, kTabHeight = 201;

  TabControl1 = new QTabBar(this);
  TabControl1->setObjectName(QStringLiteral("TabControl1"));
  TabControl1->setDrawBase(false);
  TabControl1->setExpanding(false);
  for (int g = 0; g < kMaterialGroups; ++g) TabControl1->addTab(MaterialGroupCaption(g).Str(language_));
  const int barHeight = TabControl1->sizeHint().height();
  TabControl1->setGeometry(kTabLeft, kTabTop, kTabWidth, barHeight);
  TabFrame = new QFrame(this);
  TabFrame->setFrameShape(QFrame::StyledPanel);
  TabFrame->setGeometry(kTabLeft, kTabTop + barHeight - 1, kTabWidth, kTabHeight - barHeight + 1);
  TabFrame->lower();

  // Places inside the tab control.
  auto place = [](QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(kTabLeft + left, kTabTop + top, width, height);
  };
  Label2 = new QLabel(txtMaterialsHeader.Str(language_), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  place(Label2, 8, 32, kTabWidth - 12, 13);
  static constexpr int kColumnLeft[4] = {152, 224, 296, 368};
  static constexpr const char* kColumnName[4] = {"EditA2_", "EditA1_", "EditA0_", "EditKf_"};
  for (int r = 0; r < kMaterialsPerGroup; ++r) {
    const int top = 48 + 24 * r;
    RowLabels[size_t(r)] = new QLabel(QString::number(r + 1), this);
    RowLabels[size_t(r)]->setObjectName(r == 0 ? QStringLiteral("Label1")
                                               : QStringLiteral("Label%1").arg(r + 2));
    place(RowLabels[size_t(r)], 8, top + 3, 14, 13);
    QLineEdit* name = new QLineEdit(this);
    name->setObjectName(QStringLiteral("EditName%1").arg(r + 1));
    place(name, 24, top, 121, 21);
    name->installEventFilter(this);
    connect(name, &QLineEdit::textEdited, this, [] { MaterialsModified = true; });
    EditName[size_t(r)] = name;
    for (int c = 0; c < 4; ++c) {
      QLineEdit* edit = new QLineEdit(this);
      edit->setObjectName(QString::fromLatin1(kColumnName[c]) + QString::number(r + 1));
      place(edit, kColumnLeft[c], top, 65, 21);
      edit->installEventFilter(this);
      // Every change by the user counts, also a paste through the context menu.
      connect(edit, &QLineEdit::textEdited, this, [] { MaterialsModified = true; });
      EditCoefficient[size_t(r)][size_t(c)] = edit;
    }
  }

  CreateButtons({QRect(8, 216, 73, 17), QRect(8, 240, 73, 17), QRect(96, 216, 73, 17),
                 QRect(96, 240, 73, 17), QRect(216, 224, 81, 25), QRect(368, 224, 83, 25)},
                language_);
  CreateFileDialogs(kMaterialsFileFilter.toString());
  setWindowTitle(txtMaterialsCaption.Str(language_));

  // Close first, then the fields row by row, the tabs and the other buttons.
  QWidget* previous = btnClose;
  auto chain = [&previous](QWidget* next) {
    setTabOrder(previous, next);
    previous = next;
  };
  for (int r = 0; r < kMaterialsPerGroup; ++r) {
    chain(EditName[size_t(r)]);
    for (QLineEdit* edit : EditCoefficient[size_t(r)]) chain(edit);
  }
  for (QWidget* w : {static_cast<QWidget*>(TabControl1), static_cast<QWidget*>(btnFromDevice),
                     static_cast<QWidget*>(btnToDevice), static_cast<QWidget*>(btnFromFile),
                     static_cast<QWidget*>(btnToFile), static_cast<QWidget*>(ButtonDefault)})
    chain(w);
  btnClose->setFocus();

  connect(TabControl1, &QTabBar::currentChanged, this, &TfrmMaterials::TabChanged);
  connect(btnFromDevice, &QPushButton::clicked, this, &TfrmMaterials::btnFromDeviceClick);
  connect(btnToDevice, &QPushButton::clicked, this, &TfrmMaterials::btnToDeviceClick);
  connect(btnFromFile, &QPushButton::clicked, this, &TfrmMaterials::btnFromFileClick);
  connect(btnToFile, &QPushButton::clicked, this, &TfrmMaterials::btnToFileClick);
  connect(ButtonDefault, &QPushButton::clicked, this, &TfrmMaterials::ButtonDefaultClick);

  ShowMaterials();
}

void TfrmMaterials::SetMark(int row, int column, bool marked) {
  marks_[size_t(row)][size_t(column)] = marked;
  SetInvalidMark(EditCoefficient[size_t(row)][size_t(column)], marked);
}

void TfrmMaterials::ClearMarks() {
  for (int r = 0; r < kMaterialsPerGroup; ++r)
    for (int c = 0; c < 4; ++c) SetMark(r, c, false);
}

void TfrmMaterials::ShowMaterials() {
  bool blank = MaterialsBlank.load();
  const MaterialGroupTexts texts = MaterialGroupToTexts(block_.data(), group_, blank);
  MaterialsBlank.store(blank);
  for (int r = 0; r < kMaterialsPerGroup; ++r) {
    EditName[size_t(r)]->setText(texts[size_t(r)].name);
    for (int c = 0; c < 4; ++c)
      EditCoefficient[size_t(r)][size_t(c)]->setText(texts[size_t(r)].coefficients[size_t(c)]);
  }
  ClearMarks();
  // What the rows show now is what goes.
  ForgetHeld(MaterialIndex(group_, 0), kMaterialsPerGroup);
}

bool TfrmMaterials::StoreMaterials() {
  MaterialGroupTexts texts;
  for (int r = 0; r < kMaterialsPerGroup; ++r) {
    texts[size_t(r)].name = EditName[size_t(r)]->text();
    for (int c = 0; c < 4; ++c)
      texts[size_t(r)].coefficients[size_t(c)] = EditCoefficient[size_t(r)][size_t(c)]->text();
  }
  const std::optional<MaterialTextError> error =
      StoreMaterialGroupTexts(block_.data(), group_, texts, marks_);
  for (int r = 0; r < kMaterialsPerGroup; ++r) {
    const auto& row = marks_[size_t(r)];
    for (int c = 0; c < 4; ++c) {
      if (!row[size_t(c)]) continue;
      heldNeutral[size_t(MaterialIndex(group_, r))] =
          HeldNeutral{MaterialColumn(c), texts[size_t(r)].coefficients[size_t(c)]};
      break;
    }
  }
  if (!error) return true;
  const int m = MaterialIndex(group_, error->row);
  WarningBox(InvalidCoefficientMessage(m, texts[size_t(error->row)].name, error->column,
                                       error->text, false, language_)
                     .section(u'\n', 0, 0) +
                 u'\n' + txtNotStored.Str(language_),
             QMessageBox::Ok, 0);
  EditCoefficient[size_t(error->row)][size_t(error->column)]->setFocus();
  return false;
}

bool TfrmMaterials::RefuseInvalid(bool toFile) {
  for (int r = 0; r < kMaterialsPerGroup; ++r) {
    for (int c = 0; c < 4; ++c) {
      if (!marks_[size_t(r)][size_t(c)]) continue;
      QLineEdit* edit = EditCoefficient[size_t(r)][size_t(c)];
      WarningBox(InvalidCoefficientMessage(MaterialIndex(group_, r), EditName[size_t(r)]->text(),
                                           MaterialColumn(c), edit->text(), toFile, language_),
                 QMessageBox::Ok, 0);
      edit->setFocus();
      return true;
    }
  }
  for (int m = 0; m < kMaterialCount; ++m) {
    const std::optional<HeldNeutral>& held = heldNeutral[size_t(m)];
    if (!held) continue;
    const QString name = MaterialName(block_.data(), m);
    WarningBox(InvalidCoefficientMessage(m, name, held->column, held->text, toFile, language_),
               QMessageBox::Ok, 0);
    return true;
  }
  return false;
}

void TfrmMaterials::TabChanged(int index) {
  if (index == group_) return;
  if (MaterialsModified && !StoreMaterials()) {
    // The group that could not be stored stays on screen with its texts.
    const QSignalBlocker block(TabControl1);
    TabControl1->setCurrentIndex(group_);
    return;
  }
  group_ = index;
  ShowMaterials();
}

void TfrmMaterials::ButtonDefaultClick() {
  const MaterialGroupTexts texts = DefaultMaterialGroupTexts(group_, LanguageIndex.load());
  for (int r = 0; r < kMaterialsPerGroup; ++r) {
    EditName[size_t(r)]->setText(texts[size_t(r)].name);
    for (int c = 0; c < 4; ++c)
      EditCoefficient[size_t(r)][size_t(c)]->setText(texts[size_t(r)].coefficients[size_t(c)]);
  }
  ClearMarks();
  ForgetHeld(MaterialIndex(group_, 0), kMaterialsPerGroup);
  MaterialsBlank.store(false);
  MaterialsModified = true;
}

void TfrmMaterials::btnFromDeviceClick() {
  Running running(*this);
  const RequestResult read = Transfer(LinkStates::ReadMaterials, InstrumentLink::kReadWaits);
  // Only a block that arrived whole replaces what the rows show; otherwise the rows and
  // their unsent changes stay, and the outcome line says why.
  if (read.outcome != RequestOutcome::Done || size_t(read.block.size()) != block_.size()) return;
  std::memcpy(block_.data(), read.block.constData(), block_.size());
  ForgetHeld(0, kMaterialCount);
  ShowMaterials();
  MaterialsModified = false;
}

TfrmMaterials::Sent TfrmMaterials::ToDevice() {
  if (MaterialsBlank.load()) {
    ShowOutcome(txtEdNothingToSend);
    return Sent::Nothing;
  }
  Running running(*this);
  if (RefuseInvalid(false) || !StoreMaterials()) return Sent::Refused;
  if (Transfer(LinkStates::WriteMaterials, InstrumentLink::kWriteWaits, Bytes(block_)).outcome ==
      RequestOutcome::Done)
    MaterialsModified = false;
  return Sent::Requested;
}

void TfrmMaterials::btnToDeviceClick() { ToDevice(); }

bool TfrmMaterials::SendBeforeClose() { return ToDevice() != Sent::Refused; }

void TfrmMaterials::Closing() { MaterialsEditorOpen = false; }

void TfrmMaterials::btnFromFileClick() {
  Running running(*this);
  const QString file = AskOpenFile(language_);
  if (file.isEmpty()) return;
  const std::optional<MaterialsFileContent> content = ReadMaterialsFile(file);
  if (!content) {
    WarningBox(MaterialsFileRefusedMessage(file, language_), QMessageBox::Ok, 0);
    return;
  }
  ApplyMaterialsFile(*content, block_.data());
  ForgetHeld(0, kMaterialCount);
  ShowMaterials();
  MaterialsModified = true;
}

void TfrmMaterials::btnToFileClick() {
  if (MaterialsBlank.load()) {
    ShowOutcome(txtEdNothingToSend);
    return;
  }
  Running running(*this);
  if (RefuseInvalid(true) || !StoreMaterials()) return;
  const QString file = AskSaveFile(language_, ProposedMaterialsFileName(QDateTime::currentDateTime()),
                                   DecideMaterialsSaveName);
  if (file.isEmpty()) return;
  const FileWriteResult written = WriteMaterialsFile(file, block_.data());
  if (!written) ReportWriteError(written, language_);
}

bool TfrmMaterials::FilterCoefficientKey(QLineEdit* edit, QKeyEvent* key) {
  const QString text = key->text();
  // Moving keys and Delete type no character; Ctrl+A, the copy, cut, paste and undo
  // keys are the field's own (what a paste or undo leaves is marked on the key's
  // release like anything typed).
  if (text.isEmpty() || EditingKey(key)) return false;
  MaterialsModified = true;
  QString accepted;
  for (QChar ch : text) {
    char16_t c = ch.unicode();
    if (c == u'.' || c == u',') c = u',';
    else if (!CoefficientChar(c)) continue;
    accepted += QChar(c);
  }
  if (accepted == text) return false;  // the field handles it itself
  // A point becomes the decimal comma; rejected characters (letters, blanks) are
  // dropped, and the field shows its invalid mark for a moment.
  if (!accepted.isEmpty()) {
    edit->insert(accepted);
  }
  if (accepted.size() != text.size()) SignalRefused(edit);
  return true;
}

bool TfrmMaterials::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
    return EditorWindow::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  // Escape closes the window as Close does; it is no character of the fields.
  if (key->key() == Qt::Key_Escape) return false;
  for (int r = 0; r < kMaterialsPerGroup; ++r) {
    if (watched == EditName[size_t(r)]) {
      if (event->type() != QEvent::KeyPress || !NameKeyRejected(EditName[size_t(r)], key, MaterialsModified))
        return false;
      SignalRefused(EditName[size_t(r)]);
      return true;
    }
    for (int c = 0; c < 4; ++c) {
      QLineEdit* edit = EditCoefficient[size_t(r)][size_t(c)];
      if (watched != edit) continue;
      if (event->type() == QEvent::KeyPress) return FilterCoefficientKey(edit, key);
      // After every key release the mark follows the whole text.
      SetMark(r, c, !ParseCoefficient(edit->text()).has_value());
      return false;
    }
  }
  return EditorWindow::eventFilter(watched, event);
}

}  // namespace zarn
