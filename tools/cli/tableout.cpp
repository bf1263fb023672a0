#include "tableout.h"

#include <cerrno>
#include <cstdio>

#include "commands.h"
#include "common/filewrite.h"

namespace zarn::cli {

int WriteStdout(const QByteArray& bytes, const QString& command, int language) {
  errno = 0;
  const bool written =
      (bytes.isEmpty() || std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size())) &&
      std::fflush(stdout) == 0 && !std::ferror(stdout);
  if (written) return kExitOk;
  const FileWriteResult failed = FileWriteResult::Failed(errno != 0 ? errno : EIO, QStringLiteral("stdout"));
  std::fprintf(stderr, "zarn26-cli %s: %s\n", qUtf8Printable(command),
               qUtf8Printable(WriteFailureMessage(failed, language)));
  return kExitWriteFailed;
}

}  // namespace zarn::cli
