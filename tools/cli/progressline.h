#pragma once
// Progress of long work on stderr as a percentage: on a terminal one line rewritten in
// place, otherwise a line per tenth, so that a log stays short.

#include <cstdint>
#include <cstdio>

#include <unistd.h>

namespace zarn::cli {

class ProgressLine {
 public:
  ProgressLine() : tty_(isatty(STDERR_FILENO) != 0) {}

  // Starts counting again (a new piece of work).
  void Begin() { percent_ = -1; }
  void Percent(int percent) {
    if (percent == percent_) return;
    if (!tty_ && percent_ >= 0 && percent / 10 == percent_ / 10) return;
    percent_ = percent;
    if (tty_) {
      std::fprintf(stderr, "\r%3d%%", percent);
      lineOpen_ = true;
    } else {
      std::fprintf(stderr, "%d%%\n", percent);
    }
    std::fflush(stderr);
  }
  // `done` of `total`.
  void Step(int64_t done, int64_t total) { Percent(total > 0 ? int(done * 100 / total) : 0); }
  // Ends the terminal's line, so that the next text starts on a line of its own.
  void End() {
    if (!lineOpen_) return;
    std::fputc('\n', stderr);
    std::fflush(stderr);
    lineOpen_ = false;
  }

 private:
  const bool tty_;
  int percent_ = -1;
  bool lineOpen_ = false;
};

}  // namespace zarn::cli
