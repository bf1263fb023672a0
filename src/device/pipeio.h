#pragma once
// Bounded reads and writes on FIFOs and character devices, shared by PipeTransport,
// the simulator and the test-only libusb shim. Plain POSIX, no Qt: the shim compiles
// this file into a library that must not pull in anything else of the program.
//
// Every call waits with poll and gives up after a time-out, so no peer can hang the
// caller: either the time-out runs from the last byte moved ("no progress for N ms",
// the pipe transport's rule) or from the start of the call (a whole USB transfer).
// Writes never raise SIGPIPE: a reader that has gone away is reported as Closed.

#include <cstddef>
#include <cstdint>

namespace zarn::pipeio {

enum class Outcome {
  Ok,        // every byte moved
  TimedOut,  // the time-out ran out first
  Closed,    // end of file on a read, no reader left on a write
  Failed,    // any other system error (see Result::error)
  Woken,     // the wake descriptor became readable
};

enum class Deadline {
  SinceProgress,  // the time-out restarts whenever bytes move
  WholeCall,      // the time-out counts from the start of the call
};

struct Result {
  Outcome outcome = Outcome::Ok;
  size_t done = 0;  // bytes moved before the call ended
  int error = 0;    // errno for Failed
};

// Reads exactly `count` bytes (fewer only on failure). `wakeFd` (or -1) ends the wait
// early when it becomes readable; it is not read.
Result ReadFull(int fd, uint8_t* buffer, size_t count, int timeoutMs, Deadline deadline,
                int wakeFd = -1);

// Writes all `count` bytes (fewer only on failure).
Result WriteFull(int fd, const uint8_t* bytes, size_t count, int timeoutMs, Deadline deadline,
                 int wakeFd = -1);

// One write of at most `count` bytes that never raises SIGPIPE: the byte count, or -1
// with errno set (EPIPE when no reader is left). For callers with their own poll loop.
long WriteNoSigpipe(int fd, const uint8_t* bytes, size_t count);

// Opens `path` with O_NONBLOCK | O_CLOEXEC and the given access (O_RDONLY/O_WRONLY) and
// leaves it non-blocking. A FIFO opened for writing with no reader fails with ENXIO
// instead of waiting for one. Returns the descriptor, or -1 with errno set.
int OpenNonBlocking(const char* path, int access);

// Closes `fd` when it is valid and sets it to -1.
void CloseFd(int& fd);

// Owns one descriptor.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1) {
    CloseFd(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

}  // namespace zarn::pipeio
