#pragma once
// TfrmLanguage: the small window the first start shows to choose the language.
// A click on either button selects that language in the main window and closes the
// chooser; closing it without a choice leaves Russian and writes nothing.

#include <QDialog>

QT_BEGIN_NAMESPACE
class QGroupBox;
class QRadioButton;
QT_END_NAMESPACE

namespace zarn {

class TForm1;

class TfrmLanguage : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 104;
  static constexpr int kClientHeight = 105;
  // What a title bar takes beside its title: the window's icon, the buttons that a
  // window manager may show anyway, the borders.
  static constexpr int kTitleBarRoom = 120;
  // The chooser is at least kClientWidth wide and wide enough for its title bar to
  // show its title (the title bar's font taken as the desktop's, bold), which the 104 pixels
  // of the original design cut off.
  static int ChooserWidth(int titleWidth);

  explicit TfrmLanguage(TForm1* form);

  QGroupBox* GroupBox1 = nullptr;
  QRadioButton* RadioButton1 = nullptr;  // Русский
  QRadioButton* RadioButton2 = nullptr;  // English

  void RadioButton1Click();
  void RadioButton2Click();

 private:
  TForm1* form_;
};

}  // namespace zarn
