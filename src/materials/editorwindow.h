#pragma once
// What the materials and the objects editor share: a small fixed-size modeless window
// over the main window that asks the exchange loop for a transfer and waits for it
// while serving events, its file dialogs with the remembered folder, and the close
// rules (a question about unsent changes; never destroyed while one of its handlers is
// still running, for instance waiting for the instrument).

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <mutex>

#include "common/filewrite.h"
#include "common/images.h"
#include "common/paths.h"
#include "common/programsettings.h"
#include "common/texts.h"
#include "device/linkstate.h"

QT_BEGIN_NAMESPACE
class QDialog;
class QFileDialog;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
QT_END_NAMESPACE

namespace zarn {

// The file dialogs of the program (the main window's and the editors') write the files'
// dates and sizes with the default locale, which follows the interface language; Qt's
// own model would use the desktop's.
void UseInterfaceLocale(QFileDialog* dialog);

// What an editor takes from its surroundings; the program leaves the members empty.
struct EditorSeams {
  // The program's settings (the folder the file dialogs start in and remember).
  ProgramSettings settings;
  // Runs a modal dialog (file dialogs, message boxes); empty: QDialog::exec.
  std::function<int(QDialog&)> execModal;
  // Asks the exchange loop for `request` (taken only while it idles; `block` is what a
  // write sends) and waits for it at most `waits` polls of 100 ms, serving events.
  // Empty: there is no link, and the instrument counts as not connected.
  std::function<RequestResult(LinkStates request, int waits, QByteArray block)> transfer;
  // Opens the user guide at a help context (F1 in the editor); empty: F1 does nothing.
  std::function<void(int context)> help;
};

// The captions shared by both editors.
extern const TextPair txtEdFromDevice, txtEdToDevice, txtEdFromFile, txtEdToFile, txtEdDefault,
    txtEdClose, txtEdCloseQuestion, txtEdNothingToSend;

class EditorWindow : public QWidget {
  Q_OBJECT

 public:
  // The outcome line under the editor's controls, two lines high.
  static constexpr int kOutcomeHeight = 32;

  // A window whose controls take `clientWidth` x `clientHeight`, with the outcome line
  // below them, that `parent` (the main window) keeps above itself; it frees itself
  // when closed. Its texts are in the language current now; F1 opens the user guide at
  // `helpContext`.
  EditorWindow(EditorSeams seams, int clientWidth, int clientHeight, int helpContext, QWidget* parent);

  // Centres the window on its parent and shows it.
  void ShowCentred();
  // True while one of its handlers runs (a transfer wait, a dialog).
  bool Busy() const { return busy_ > 0; }
  // The outcome of the last transfer this window asked for.
  RequestOutcome LastOutcome() const { return lastResult_.outcome; }
  int Language() const { return language_; }

  // What the last transfer or refusal came to, in the editor's language.
  QLabel* OutcomeLine = nullptr;

  QPushButton* btnFromDevice = nullptr;
  QPushButton* btnToDevice = nullptr;
  QPushButton* btnFromFile = nullptr;
  QPushButton* btnToFile = nullptr;
  QPushButton* ButtonDefault = nullptr;
  QPushButton* btnClose = nullptr;
  QFileDialog* OpenDialog1 = nullptr;
  QFileDialog* SaveDialog1 = nullptr;

 protected:
  // Marks a handler as running: a close asked for meanwhile waits for its end.
  class Running {
   public:
    explicit Running(EditorWindow& w) : w_(w) { ++w_.busy_; }
    ~Running();
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

   private:
    EditorWindow& w_;
  };

  // The six buttons at the given places, the texts in `language`, Close first in the
  // tab order; and the two file dialogs with `filter` as the first type.
  struct ButtonPlaces {
    QRect fromDevice, toDevice, fromFile, toFile, defaults, close;
  };
  void CreateButtons(const ButtonPlaces& places, int language);
  void CreateFileDialogs(const QString& filter);

  // The transfer through the seam; its outcome is shown in the outcome line.
  RequestResult Transfer(LinkStates request, int waits, QByteArray block = {});
  // Shows `text` in the outcome line.
  void ShowOutcome(const Phrase& text);

  int ExecModal(QDialog& dialog);
  // A message box with the application title as caption and the warning icon.
  int WarningBox(const QString& text, int buttons, int defaultButton);

  // The open dialog, starting in the remembered folder; the chosen file, whose folder
  // is remembered, or empty on cancel.
  QString AskOpenFile(int language);
  // The save dialog proposing `proposed` (a name without folder) until the user cancels
  // or `decide` accepts a name; the file to write, or empty on cancel.
  QString AskSaveFile(int language, const QString& proposed,
                      const std::function<SaveNameDecision(const QString&)>& decide);

  // The name fields' key filter: a typed character sets `modified`; Backspace and Tab
  // always pass, any other character is refused (true) once the field holds 19. The
  // desktop's editing keys (Ctrl+A, the copy, cut, paste and undo keys) always pass.
  static bool NameKeyRejected(const QLineEdit* edit, const QKeyEvent* key, bool& modified);
  // A key held with Ctrl (or the Meta key): one of the field's own editing keys, never
  // a character typed into it.
  static bool EditingKey(const QKeyEvent* key);

 public:
  // How long a refused character shows the field's invalid mark.
  static constexpr int kRefusedMarkMs = 800;
  // The invalid mark of an edit field: its text red. It shows while the field's text is
  // marked, and for a moment after a character was refused, so that no key is dropped
  // without a sign.
  static void SetInvalidMark(QLineEdit* edit, bool marked);
  static bool InvalidMarkShown(const QLineEdit* edit);
  static void SignalRefused(QLineEdit* edit);

 protected:
  // Says that `file` could not be written, and why.
  void ReportWriteError(const FileWriteResult& result, int language);

  // A copy of one of the program's blocks, taken under ImagesLock (tried while serving
  // the worker's notifications): the editor works on its own copy.
  template <size_t N>
  static std::array<uint8_t, N> CopyOfBlock(const std::array<uint8_t, N>& block) {
    const std::unique_lock<std::mutex> lock = LockImagesServingEvents();
    return block;
  }
  template <size_t N>
  static QByteArray Bytes(const std::array<uint8_t, N>& block) {
    return QByteArray(reinterpret_cast<const char*>(block.data()), qsizetype(N));
  }

  // The subclass's state for the close rules.
  virtual bool Modified() const = 0;
  // Yes on the close question: sends the changes; false keeps the window open.
  virtual bool SendBeforeClose() = 0;
  // The window is closing for good.
  virtual void Closing() = 0;

  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void RememberFolder(const QString& file);

  EditorSeams seams_;
  int language_;
  int busy_ = 0;
  bool closePending_ = false;
  RequestResult lastResult_;
};

}  // namespace zarn
