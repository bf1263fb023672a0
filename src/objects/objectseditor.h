#pragma once
// TfrmObjects: the objects editor. It works on its own copy of the ObjectsBlock, taken
// from the program's Images when it opens, and shows its thirty names in three columns
// of ten (entry 0 cannot be edited); it reads them from the instrument as soon as it
// opens and sends its copy back through the exchange loop, loads and saves them as an
// objects file and loads the built-in default list. The outcome line says how each
// transfer ended.

#include <array>

#include "materials/editorwindow.h"
#include "objectsblock.h"

QT_BEGIN_NAMESPACE
class QLineEdit;
QT_END_NAMESPACE

namespace zarn {

// Program-wide, on the main thread, as their materials counterparts.
extern bool ObjectsModified;
extern bool ObjectsEditorOpen;

class TfrmObjects final : public EditorWindow {
  Q_OBJECT

 public:
  // The user guide's page of this editor.
  static constexpr int kHelpContext = 23;
  static constexpr int kClientWidth = 421;
  static constexpr int kClientHeight = 304;

  // FormCreate sets the texts; the opener then calls btnFromDeviceClick.
  explicit TfrmObjects(EditorSeams seams, QWidget* parent = nullptr);

  // EditName1 ... EditName30: entry k in EditName[k].
  std::array<QLineEdit*, kObjectCount> EditName{};
  // The editor's copy of the block.
  const std::array<uint8_t, kObjectsBlockSize>& Block() const { return block_; }

  void ShowObjects();
  void StoreObjects();
  void ButtonDefaultClick();
  void btnFromDeviceClick();
  void btnToDeviceClick();
  void btnFromFileClick();
  void btnToFileClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool Modified() const override { return ObjectsModified; }
  bool SendBeforeClose() override;
  void Closing() override;

 private:
  int language_;
  std::array<uint8_t, kObjectsBlockSize> block_;
};

}  // namespace zarn
