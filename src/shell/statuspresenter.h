#pragma once
// What the main window's status bar says, kept as what it means. Panel 0 (the
// instrument's version text, libusb's messages, the open file) and panel 1 (the
// exchange status) each hold a Phrase, rendered in the current language when it is
// shown and again on every language switch, so that no text stays in the language it
// came in.
//
// The hold rule: a link error stays in panel 1 at least kHoldMs, however soon the
// loop's next texts come (the loop never waits for it); the last text that came
// meanwhile, and a progress bar that began meanwhile, show when the hold ends. The
// window's own texts (a file opened or saved) show at once and end a hold.

#include <QObject>
#include <array>
#include <optional>

#include "common/texts.h"

QT_BEGIN_NAMESPACE
class QProgressBar;
class QTimer;
QT_END_NAMESPACE

namespace zarn {

class TStatusBar;

class TStatusPresenter final : public QObject {
 public:
  static constexpr int kHoldMs = 3000;  // long enough to read a link error

  // Texts go to panels 0 and 1 of `bar`; `progress` is the exchange's progress bar.
  TStatusPresenter(TStatusBar& bar, QProgressBar& progress, QObject* parent);

  // A text from the exchange loop (panel 0 or 1; others are ignored).
  void LinkText(int panel, const Phrase& text);
  // The window's own text: shown at once; in panel 1 it ends a hold.
  void Show(int panel, const Phrase& text);
  // A transfer failed: the next panel-1 text is its error, and the bar leaves the panel
  // to it.
  void TransferFailed();
  // A transfer's bar is to show: now, or when a hold ends.
  void ShowProgress();
  // The bar has gone (hidden by the loop or the window): a deferred one does not come.
  void ProgressGone();
  // The archive's note after panel 0's text; empty: none.
  void ArchiveNote(const Phrase& note);
  const Phrase& Note() const { return note_; }
  // Renders both panels anew in the current language.
  void Retranslate();

  const Phrase& Panel(int panel) const { return panels_[size_t(panel == 0 ? 0 : 1)]; }
  bool Holding() const;

 private:
  void Put(int panel, const Phrase& text);
  void EndHold();

  TStatusBar& bar_;
  QProgressBar& progress_;
  QTimer* hold_;  // objectName "StatusHold"
  void Render(int panel);

  std::array<Phrase, 2> panels_;
  Phrase note_;
  std::optional<Phrase> deferred_;
  bool failureNext_ = false;
  bool progressDeferred_ = false;
};

}  // namespace zarn
