#include "language.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QRadioButton>

#include "common/texts.h"
#include "formmain.h"

#include <algorithm>

namespace zarn {

int TfrmLanguage::ChooserWidth(int titleWidth) {
  return std::max(kClientWidth, titleWidth + kTitleBarRoom);
}

TfrmLanguage::TfrmLanguage(TForm1* form)
    : QDialog(form, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint),
      form_(form) {
  setObjectName(QStringLiteral("frmLanguage"));
  setWindowTitle(kLanguageChooserTitle.toString());
  // Window managers write titles in a bold face of about the desktop's size.
  QFont titleFont = QApplication::font();
  titleFont.setBold(true);
  const int width = ChooserWidth(QFontMetrics(titleFont).horizontalAdvance(windowTitle()));
  setFixedSize(width, kClientHeight);
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(11);
  setFont(font);
  setModal(true);

  GroupBox1 = new QGroupBox(this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry((width - 88) / 2, 4, 88, 93);

  RadioButton1 = new QRadioButton(kLangRusCaption.toString(), GroupBox1);
  RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
  RadioButton1->setGeometry(10, 22, 74, 20);
  RadioButton2 = new QRadioButton(kLangEngCaption.toString(), GroupBox1);
  RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
  RadioButton2->setGeometry(10, 56, 74, 20);
  // Neither is selected when the chooser opens; no button has the focus either, so
  // that no key selects a language by accident.
  RadioButton1->setChecked(false);
  RadioButton2->setChecked(false);
  RadioButton1->setFocusPolicy(Qt::TabFocus);
  RadioButton2->setFocusPolicy(Qt::TabFocus);

  connect(RadioButton1, &QRadioButton::clicked, this, &TfrmLanguage::RadioButton1Click);
  connect(RadioButton2, &QRadioButton::clicked, this, &TfrmLanguage::RadioButton2Click);
}

void TfrmLanguage::RadioButton1Click() {
  form_->ALangRusExecute();
  accept();
}

void TfrmLanguage::RadioButton2Click() {
  form_->ALangEngExecute();
  accept();
}

}  // namespace zarn
