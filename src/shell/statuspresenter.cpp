#include "statuspresenter.h"

#include <QProgressBar>
#include <QTimer>

#include "controls.h"

namespace zarn {
namespace {

// A link error in either language, also one that came without its failure notice.
bool IsLinkError(const Phrase& text) {
  const QString ru = text.Str(kRussian);
  return ru.startsWith(txtStatusLinkError.ru) || text.Str(kEnglish).startsWith(txtStatusLinkError.en);
}

}  // namespace

TStatusPresenter::TStatusPresenter(TStatusBar& bar, QProgressBar& progress, QObject* parent)
    : QObject(parent), bar_(bar), progress_(progress), hold_(new QTimer(this)) {
  setObjectName(QStringLiteral("StatusPresenter"));
  hold_->setObjectName(QStringLiteral("StatusHold"));
  hold_->setSingleShot(true);
  hold_->setInterval(kHoldMs);
  connect(hold_, &QTimer::timeout, this, &TStatusPresenter::EndHold);
  // What the panels hold already (the connecting text at start) stays as it is.
  for (int panel : {0, 1}) panels_[size_t(panel)] = bar.PanelText(panel);
}

bool TStatusPresenter::Holding() const { return hold_->isActive(); }

void TStatusPresenter::Put(int panel, const Phrase& text) {
  panels_[size_t(panel)] = text;
  if (panel == 0) note_ = Phrase();
  Render(panel);
}

void TStatusPresenter::Render(int panel) {
  const Phrase& text = panels_[size_t(panel)];
  if (panel == 0 && !note_.IsEmpty())
    bar_.SetPanelText(0, text.IsEmpty() ? note_() : text() + QStringLiteral(" — ") + note_());
  else
    bar_.SetPanelText(panel, text());
}

void TStatusPresenter::ArchiveNote(const Phrase& note) {
  note_ = note;
  Render(0);
}

void TStatusPresenter::LinkText(int panel, const Phrase& text) {
  if (panel == 0) {
    Put(0, text);
    return;
  }
  if (panel != 1) return;
  // The loop waits for every notification: nothing here waits. A link error stays for
  // the hold, however soon the loop's next attempt writes over it; what comes meanwhile
  // is kept and shown when the hold ends (the last text wins).
  const bool failure = failureNext_ || IsLinkError(text);
  failureNext_ = false;
  if (failure) {
    deferred_.reset();
    Put(1, text);
    hold_->start();
    return;
  }
  if (Holding()) {
    deferred_ = text;
    return;
  }
  Put(1, text);
}

void TStatusPresenter::Show(int panel, const Phrase& text) {
  if (panel != 0 && panel != 1) return;
  if (panel == 1) {
    hold_->stop();
    deferred_.reset();
    failureNext_ = false;
  }
  Put(panel, text);
}

void TStatusPresenter::TransferFailed() {
  failureNext_ = true;
  ProgressGone();
  progress_.hide();
}

void TStatusPresenter::ShowProgress() {
  // Over a link error that is still held, the bar comes when the hold ends.
  if (Holding())
    progressDeferred_ = true;
  else
    progress_.show();
}

void TStatusPresenter::ProgressGone() { progressDeferred_ = false; }

void TStatusPresenter::Retranslate() {
  for (int panel : {0, 1}) Render(panel);
}

void TStatusPresenter::EndHold() {
  hold_->stop();
  if (deferred_) Put(1, *deferred_);
  deferred_.reset();
  if (progressDeferred_) progress_.show();
  progressDeferred_ = false;
}

}  // namespace zarn
