#include "pipeio.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>

namespace zarn::pipeio {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point start, int timeoutMs) {
  const auto spent =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  return spent >= timeoutMs ? 0 : int(timeoutMs - spent);
}

// Waits until `fd` is ready for `events`, the wake descriptor fires, or the time-out
// runs out. Returns Ok when `fd` has something to report (readiness, hang-up or error:
// the following read or write tells which), otherwise TimedOut, Woken or Failed.
Outcome WaitReady(int fd, short events, int wakeFd, Clock::time_point start, int timeoutMs,
                  int& error) {
  for (;;) {
    const int left = MillisecondsLeft(start, timeoutMs);
    if (left <= 0) return Outcome::TimedOut;
    pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
    const int ready = ::poll(fds, wakeFd >= 0 ? 2 : 1, left);
    if (ready < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return Outcome::Failed;
    }
    if (ready == 0) continue;  // the next round sees the time-out
    if (wakeFd >= 0 && fds[1].revents != 0) return Outcome::Woken;
    if (fds[0].revents & POLLNVAL) {
      error = EBADF;
      return Outcome::Failed;
    }
    return Outcome::Ok;
  }
}

}  // namespace

Result ReadFull(int fd, uint8_t* buffer, size_t count, int timeoutMs, Deadline deadline,
                int wakeFd) {
  Result result;
  auto start = Clock::now();
  while (result.done < count) {
    // Poll before reading: a FIFO whose writer has not yet opened reads as end of file,
    // but polls as "nothing yet"; only a writer that came and went polls as a hang-up.
    result.outcome = WaitReady(fd, POLLIN, wakeFd, start, timeoutMs, result.error);
    if (result.outcome != Outcome::Ok) return result;
    const ssize_t got = ::read(fd, buffer + result.done, count - result.done);
    if (got > 0) {
      result.done += size_t(got);
      if (deadline == Deadline::SinceProgress) start = Clock::now();
    } else if (got == 0) {
      result.outcome = Outcome::Closed;
      return result;
    } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      result.outcome = Outcome::Failed;
      result.error = errno;
      return result;
    }
  }
  result.outcome = Outcome::Ok;
  return result;
}

Result WriteFull(int fd, const uint8_t* bytes, size_t count, int timeoutMs, Deadline deadline,
                 int wakeFd) {
  Result result;
  auto start = Clock::now();
  while (result.done < count) {
    const long put = WriteNoSigpipe(fd, bytes + result.done, count - result.done);
    if (put > 0) {
      result.done += size_t(put);
      if (deadline == Deadline::SinceProgress) start = Clock::now();
      continue;
    }
    if (put < 0 && errno == EPIPE) {
      result.outcome = Outcome::Closed;
      return result;
    }
    if (put < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      result.outcome = Outcome::Failed;
      result.error = errno;
      return result;
    }
    result.outcome = WaitReady(fd, POLLOUT, wakeFd, start, timeoutMs, result.error);
    if (result.outcome != Outcome::Ok) return result;
  }
  result.outcome = Outcome::Ok;
  return result;
}

long WriteNoSigpipe(int fd, const uint8_t* bytes, size_t count) {
  // Writing to a pipe without a reader raises SIGPIPE in the writing thread. Block it
  // for this thread around the write and take back a SIGPIPE that the write raised,
  // leaving one that was already pending (someone else's) alone.
  sigset_t pipeOnly;
  sigemptyset(&pipeOnly);
  sigaddset(&pipeOnly, SIGPIPE);
  sigset_t pendingBefore;
  sigemptyset(&pendingBefore);
  sigpending(&pendingBefore);
  const bool alreadyPending = sigismember(&pendingBefore, SIGPIPE) == 1;
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);

  const ssize_t put = ::write(fd, bytes, count);
  const int writeError = errno;

  if (put < 0 && writeError == EPIPE && !alreadyPending) {
    const timespec noWait{0, 0};
    while (sigtimedwait(&pipeOnly, nullptr, &noWait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = writeError;
  return long(put);
}

int OpenNonBlocking(const char* path, int access) {
  for (;;) {
    const int fd = ::open(path, access | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

void CloseFd(int& fd) {
  if (fd >= 0) {
    // Linux releases the descriptor even when close reports EINTR: never retry.
    ::close(fd);
    fd = -1;
  }
}

}  // namespace zarn::pipeio
