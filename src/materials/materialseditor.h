#pragma once
// TfrmMaterials: the materials editor. It works on its own copy of the MaterialsBlock,
// taken from the program's Images when it opens, and shows it one group of six at a
// time (the tab is the group); it reads the block from the instrument and sends its copy
// back through the exchange loop (a successful transfer puts the block into the Images),
// loads and saves it as a materials file and loads the built-in default sets. The
// outcome line says how each transfer ended.
//
// A coefficient that does not convert is marked red while the user types. Such a mark
// never reaches the instrument or a file unnoticed: To device, Yes on closing and To
// file refuse and name the material and the coefficient, also for a row that a tab
// switch has stored as 0, 1, 0, 1 and that has not been shown again since.

#include <QString>
#include <array>
#include <optional>

#include "editorwindow.h"
#include "materialsblock.h"

QT_BEGIN_NAMESPACE
class QFrame;
class QLabel;
class QLineEdit;
class QTabBar;
QT_END_NAMESPACE

namespace zarn {

// Program-wide, on the main thread: the editor holds changes not sent to the instrument;
// an editor window exists (the main window sets it when it creates one).
extern bool MaterialsModified;
extern bool MaterialsEditorOpen;

// Column captions of the coefficients: a2, a1, a0 and "Kп" / "Kp".
QString CoefficientName(MaterialColumn column, int language);

// The message that refuses a transfer or a save because material `m`'s coefficient
// `column` holds `text`, which is no number; `toFile` picks the closing sentence.
QString InvalidCoefficientMessage(int m, const QString& name, MaterialColumn column,
                                  const QString& text, bool toFile, int language);

class TfrmMaterials final : public EditorWindow {
  Q_OBJECT

 public:
  // The user guide's page of this editor.
  static constexpr int kHelpContext = 22;
  static constexpr int kClientWidth = 455;
  static constexpr int kClientHeight = 263;

  // FormCreate: takes its copy of the block, shows group 0 and the texts in the current
  // language.
  explicit TfrmMaterials(EditorSeams seams, QWidget* parent = nullptr);

  QTabBar* TabControl1 = nullptr;
  QFrame* TabFrame = nullptr;  // the tab control's body
  QLabel* Label2 = nullptr;    // the column header
  std::array<QLabel*, kMaterialsPerGroup> RowLabels{};
  std::array<QLineEdit*, kMaterialsPerGroup> EditName{};
  // [row][MaterialColumn]: EditA2_r, EditA1_r, EditA0_r, EditKf_r.
  std::array<std::array<QLineEdit*, 4>, kMaterialsPerGroup> EditCoefficient{};

  int Group() const { return group_; }
  // The editor's copy of the block.
  const std::array<uint8_t, kMaterialsBlockSize>& Block() const { return block_; }
  bool Marked(int row, MaterialColumn column) const { return marks_[size_t(row)][size_t(column)]; }

  // The handlers.
  void ShowMaterials();
  // False (and a message shown) when an unmarked text does not convert.
  bool StoreMaterials();
  void ButtonDefaultClick();
  void btnFromDeviceClick();
  void btnToDeviceClick();
  void btnFromFileClick();
  void btnToFileClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool Modified() const override { return MaterialsModified; }
  bool SendBeforeClose() override;
  void Closing() override;

 private:
  enum class Sent { Nothing, Refused, Requested };
  Sent ToDevice();
  // The first coefficient that may not be sent or saved: a red field of the group on
  // screen, or a row stored as 0, 1, 0, 1 by a tab switch. Shows the refusal.
  bool RefuseInvalid(bool toFile);
  void SetMark(int row, int column, bool marked);
  void ClearMarks();
  void TabChanged(int index);
  bool FilterCoefficientKey(QLineEdit* edit, QKeyEvent* key);

  int language_;
  int group_ = 0;
  MaterialGroupMarks marks_{};
  std::array<uint8_t, kMaterialsBlockSize> block_;
};

}  // namespace zarn
