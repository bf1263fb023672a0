#pragma once
// TfrmArchiveSettings: "Parameters > Archive...": where the lab archive is (an SQLite
// file, chosen with a browse button, or a postgresql:// address) and a "Test the
// connection" button. The test runs on a thread of its own and answers within 10 s
// (the connection's own time-out is 8 s); the dialog stays responsive meanwhile and may
// be closed. A password typed into the address is used for this run and never stored.

#include <QDialog>
#include <QString>
#include <functional>

QT_BEGIN_NAMESPACE
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
QT_END_NAMESPACE

namespace zarn {

// What a connection test found: whether the archive can be used, and a sentence.
struct ArchiveTestAnswer {
  bool ok = false;
  QString ru, en;
};
// Tests the archive at `location` without creating or changing anything (a missing
// SQLite file is fine: the first import creates it). Takes at most the connection's
// time-out.
ArchiveTestAnswer TestArchiveLocation(const QString& location);

class TfrmArchiveSettings final : public QDialog {
 public:
  static constexpr int kTestAnswerMs = 10000;

  // `location` as stored (empty: the default archive); `execModal` runs the browse
  // dialog (the window's seam).
  TfrmArchiveSettings(const QString& location, std::function<int(QDialog&)> execModal, QWidget* parent);
  ~TfrmArchiveSettings() override;

  // The location entered, blanks trimmed (empty: the default archive).
  QString Location() const;

  QLineEdit* EditLocation = nullptr;
  QPushButton* BtnBrowse = nullptr;
  QPushButton* BtnTest = nullptr;
  QLabel* LabelHint = nullptr;
  QLabel* TestResult = nullptr;

  void BtnBrowseClick();
  void BtnTestClick();
  // A test under way (tests wait for false).
  bool Testing() const;
  // Whether the last test's archive can be used.
  bool LastTestOk() const { return lastOk_; }

 private:
  void Answered(quint64 test, const ArchiveTestAnswer& answer);

  std::function<int(QDialog&)> execModal_;
  QTimer* answerTimer_ = nullptr;
  quint64 tests_ = 0;     // the number of the test under way
  bool testing_ = false;
  bool lastOk_ = false;
};

}  // namespace zarn
