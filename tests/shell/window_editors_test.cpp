// The materials and objects editors against scripted outcomes of their requests: they
// always say how a transfer ended, keep the user's changes unless the transfer
// succeeded, work on their own copy of the block, and a second Command menu choice
// brings the open editor forward.

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QLineEdit>
#include <QShortcut>
#include <QPushButton>

#include "common/programsettings.h"
#include "device/instrumentlink.h"
#include "materials/materialseditor.h"
#include "objects/objectseditor.h"
#include "window_util.h"

namespace zarn::wintest {
namespace {

using EditorsTest = WindowTest;

QByteArray Block(size_t size, uint8_t seed) {
  QByteArray bytes(qsizetype(size), '\0');
  for (size_t i = 0; i < size; ++i) bytes[qsizetype(i)] = char(uint8_t(i * 7 + seed));
  return bytes;
}

TEST_F(EditorsTest, EveryTransferEndsWithItsOutcomeInTheEditor) {
  LanguageIndex.store(kEnglish);
  FillDefaultMaterials(Images.MaterialsBlock.data(), kEnglish);
  FillDefaultObjects(Images.ObjectsBlock.data(), kEnglish);
  const auto program = std::make_unique<DeviceImages>(Images);
  struct Case {
    RequestResult result;
    const char* text;  // what the outcome line says after From device
    const char* written;  // ... after To device
  };
  RequestResult failed{RequestOutcome::Failed, {LinkBlock::Objects, LinkFault::ReplyCut}, {}};
  const Case cases[] = {
      {{RequestOutcome::Done, {}, {}}, "Read from the instrument", "Written to the instrument"},
      {{RequestOutcome::NotConnected, {}, {}}, "The instrument is not connected", nullptr},
      {{RequestOutcome::InUse, {}, {}}, "Instrument is in use by another program", nullptr},
      {{RequestOutcome::Busy, {}, {}}, "The instrument is busy: a transfer is under way. Try again when it has finished",
       nullptr},
      {failed, "Link Error: the objects block: the reply stopped short",
       "Link Error: the objects block: the reply stopped short; the instrument may hold part of the block, "
       "send it again"},
      {{RequestOutcome::ReplacedByFile, {}, {}}, "Not done: a data file was opened meanwhile", nullptr},
      {{RequestOutcome::TimedOut, {}, {}}, "The instrument did not answer in time",
       "The instrument did not answer in time; the instrument may hold part of the block, send it again"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    for (bool objects : {false, true}) {
      const size_t size = objects ? kObjectsBlockSize : kMaterialsBlockSize;
      std::vector<std::pair<LinkStates, QByteArray>> asked;
      EditorSeams seams;
      seams.settings = ProgramSettings(settingsPath_);
      seams.transfer = [&](LinkStates request, int, QByteArray block) {
        asked.emplace_back(request, block);
        RequestResult r = c.result;
        const bool read = request == LinkStates::ReadMaterials || request == LinkStates::ReadObjects;
        if (r.outcome == RequestOutcome::Done && read) r.block = Block(size, 3);
        return r;
      };
      int helped = 0;
      seams.help = [&](int context) { helped = context; };
      std::unique_ptr<EditorWindow> editor;
      TfrmMaterials* materials = nullptr;
      TfrmObjects* names = nullptr;
      if (objects) {
        editor.reset(names = new TfrmObjects(seams));
        names->ShowObjects();
      } else {
        editor.reset(materials = new TfrmMaterials(seams));
      }
      editor->setAttribute(Qt::WA_DeleteOnClose, false);
      emit editor->findChild<QShortcut*>(u"HelpContextKey"_qs)->activated();  // F1
      EXPECT_EQ(helped, objects ? TfrmObjects::kHelpContext : TfrmMaterials::kHelpContext);
      QLineEdit* field = objects ? names->EditName[3] : materials->EditName[1];
      bool& modified = objects ? ObjectsModified : MaterialsModified;
      auto block = [&] {
        return objects ? QByteArray(reinterpret_cast<const char*>(names->Block().data()), qsizetype(size))
                       : QByteArray(reinterpret_cast<const char*>(materials->Block().data()), qsizetype(size));
      };
      const QByteArray before = block();
      field->setText(u"Zz test 42"_qs);
      modified = true;

      editor->btnFromDevice->click();
      EXPECT_EQ(editor->OutcomeLine->text().toStdString(), c.text);
      const bool done = c.result.outcome == RequestOutcome::Done;
      // Only a block that arrived replaces the fields and clears the mark.
      EXPECT_EQ(modified, !done);
      EXPECT_EQ(field->text() == u"Zz test 42"_qs, !done);
      EXPECT_EQ(block(), done ? Block(size, 3) : before);

      field->setText(u"Zz test 42"_qs);
      modified = true;
      editor->btnToDevice->click();
      ASSERT_EQ(asked.size(), 2u);
      // The write hands over the editor's copy, with the change in it.
      EXPECT_EQ(asked[1].second, block());
      EXPECT_NE(asked[1].second, before);
      EXPECT_EQ(editor->OutcomeLine->text().toStdString(), c.written ? c.written : c.text);
      EXPECT_EQ(modified, !done);
      // The program's own blocks change only through the link.
      EXPECT_EQ(Images.MaterialsBlock, program->MaterialsBlock);
      EXPECT_EQ(Images.ObjectsBlock, program->ObjectsBlock);
    }
  }
}

TEST_F(EditorsTest, WithoutAnInstrumentTheEditorsSaySoAndTheMenuBringsThemForward) {
  WriteSettings("[Config]\r\nLangId=Rus\r\n");
  TForm1& form = MakeForm();  // the loop has not begun: it is still looking
  form.AObjectEdit->trigger();  // opens with a read of the names
  ASSERT_TRUE(form.frmObjects);
  EXPECT_EQ(form.frmObjects->OutcomeLine->text(), u"Прибор не подключен");
  form.AMaterialEdit->trigger();
  ASSERT_TRUE(form.frmMaterials);
  TfrmMaterials* first = form.frmMaterials;
  first->btnFromDevice->click();
  EXPECT_EQ(first->OutcomeLine->text(), u"Прибор не подключен");
  first->btnToDevice->click();  // nothing read or chosen yet: nothing to send
  EXPECT_TRUE(first->OutcomeLine->text().startsWith(u"Нечего записывать"));

  // Chosen again: the same editor, brought forward, not a second one.
  form.AMaterialEdit->trigger();
  EXPECT_EQ(form.frmMaterials, first);
  EXPECT_EQ(form.findChildren<TfrmMaterials*>().size(), 1);
  first->close();
  QCoreApplication::processEvents();
  EXPECT_FALSE(MaterialsEditorOpen);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(form.frmMaterials);
  form.AMaterialEdit->trigger();
  EXPECT_TRUE(form.frmMaterials);
  form.frmMaterials->close();
  form.frmObjects->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The editors' fields edit as the desktop's fields do: Ctrl+A selects all of it, so
// that what is typed next replaces it, and the clipboard keys work; a character a
// field refuses shows the field's invalid mark for a moment and changes nothing.
TEST_F(EditorsTest, EditFieldsKeepTheDesktopsEditingKeysAndSignARefusedCharacter) {
  WriteSettings("[Config]\r\nLangId=Eng\r\n");
  LanguageIndex.store(kEnglish);
  FillDefaultMaterials(Images.MaterialsBlock.data(), kEnglish);
  MaterialsBlank.store(false);
  TForm1& form = MakeForm();
  form.AMaterialEditExecute();
  form.AObjectEditExecute();
  ASSERT_TRUE(form.frmMaterials && form.frmObjects);
  TfrmMaterials& materials = *form.frmMaterials;
  const QString full(19, u'x');
  struct Case {
    QLineEdit* edit;
    QString before, typed, after;
    bool refused;  // the invalid mark shows for a moment
    bool marked;   // ... and stays (the text is no number)
  };
  const Case cases[] = {
      {materials.EditCoefficient[0][kColA2], u"0,000E+00"_qs, u"8,500E-01"_qs, u"8,500E-01"_qs, false, false},
      {materials.EditCoefficient[1][kColKf], u"1,000E+00"_qs, u"1.5e+2"_qs, u"1,5e+2"_qs, false, false},
      {materials.EditCoefficient[2][kColA1], u"1,090E+00"_qs, u"x"_qs, u"1,090E+00"_qs, true, false},
      {materials.EditCoefficient[2][kColA0], u"0,000E+00"_qs, u"-"_qs, u"-"_qs, false, true},
      {materials.EditName[3], u"Бетон"_qs, u"Кирпич"_qs, u"Кирпич"_qs, false, false},
      {materials.EditName[4], full, u"y"_qs, full, true, false},  // full: refused over a selection too
      {form.frmObjects->EditName[1], u"Object 2"_qs, u"Beam 7"_qs, u"Beam 7"_qs, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.edit->objectName().toStdString() + " " + c.typed.toStdString());
    c.edit->setText(c.before);
    c.edit->setCursorPosition(2);
    QTest::keyClick(c.edit, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(c.edit->selectedText(), c.before);
    TypeText(c.edit, c.typed);
    EXPECT_EQ(c.edit->text(), c.after);
    EXPECT_EQ(EditorWindow::InvalidMarkShown(c.edit), c.refused || c.marked);
    auto* timer = c.edit->findChild<QTimer*>(u"RefusedMark"_qs);
    EXPECT_EQ(timer && timer->isActive(), c.refused);
    if (timer) {
      timer->stop();
      QMetaObject::invokeMethod(timer, "timeout");
    }
    EXPECT_EQ(EditorWindow::InvalidMarkShown(c.edit), c.marked);
  }

  // Copy and paste with the keyboard, a paste marked like typed text, undo: the clipboard
  // set (if any), Ctrl+keys in a row's a2 field, then the field, the clipboard, row 5's mark.
  const struct { int row; const char16_t *set; std::vector<Qt::Key> keys; const char16_t *text, *clip; bool marked5; } steps[] = {
      {0, nullptr, {Qt::Key_A, Qt::Key_C}, u"8,500E-01", u"8,500E-01", false},
      {5, nullptr, {Qt::Key_A, Qt::Key_V}, u"8,500E-01", u"8,500E-01", false},
      {5, u"abc", {Qt::Key_A, Qt::Key_V}, u"abc", u"abc", true},
      {5, nullptr, {Qt::Key_Z}, u"8,500E-01", u"abc", false}};
  for (const auto& s : steps) {
    QLineEdit* edit = materials.EditCoefficient[s.row][kColA2];
    if (s.set) QApplication::clipboard()->setText(QString::fromUtf16(s.set));
    for (Qt::Key key : s.keys) QTest::keyClick(edit, key, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), QStringView(s.text));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringView(s.clip));
    if (s.row == 5) { EXPECT_EQ(materials.Marked(5, kColA2), s.marked5); }
  }

  MaterialsModified = false;
  ObjectsModified = false;
  materials.close();
  form.frmObjects->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace
}  // namespace zarn::wintest
