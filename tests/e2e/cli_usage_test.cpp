// zarn26-cli's command lines as a user meets them: every command answers --help on
// stdout with exit 0, and a wrong command line with the problem and the command's
// usage on stderr, exit 2, before it touches a file or the instrument.

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include "testing/clirun.h"

using zarn::testing::CliRun;

using namespace Qt::StringLiterals;

namespace {

CliRun Cli(const QStringList& args, const QString& home) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(u"HOME"_s, home);
  env.insert(u"XDG_CONFIG_HOME"_s, home + u"/config"_s);
  env.insert(u"XDG_RUNTIME_DIR"_s, home);
  p.setProcessEnvironment(env);
  p.setWorkingDirectory(home);
  p.start(QStringLiteral(ZARN_CLI), args);
  return zarn::testing::FinishCli(p, 30000);
}

}  // namespace

TEST(CliUsage, EveryCommandAnswersHelpAndWrongUse) {
  QTemporaryDir home;
  const struct {
    QStringList args;
    QByteArray problem;  // empty: --help, answered on stdout
    QByteArray usage;    // how the usage (or the help) begins
  } cases[] = {
      {{u"--help"_s}, {}, "usage: zarn26-cli read"},
      {{}, "zarn26-cli: no command given", "usage: zarn26-cli read"},
      {{u"frobnicate"_s}, "zarn26-cli: unknown command \"frobnicate\"", "usage: zarn26-cli read"},
      {{u"--frobnicate"_s, u"read"_s}, "zarn26-cli: unknown option \"--frobnicate\"", "usage: zarn26-cli read"},
      {{u"read"_s, u"--help"_s}, {}, "usage: zarn26-cli read OUT.zarn"},
      {{u"read"_s}, "zarn26-cli read: the output file is missing", "usage: zarn26-cli read OUT.zarn"},
      {{u"read"_s, u"a.zarn"_s, u"b.zarn"_s}, "only one output file, not also \"b.zarn\"", "usage: zarn26-cli read"},
      {{u"read"_s, u"a.zarn"_s, u"--timeout"_s, u"0"_s}, "--timeout wants whole seconds from 1 to 86400, not \"0\"",
       "usage: zarn26-cli read"},
      {{u"read"_s, u"a.zarn"_s, u"--timeout"_s}, "--timeout needs a number of seconds", "usage: zarn26-cli read"},
      {{u"read"_s, u"--lang"_s, u"en"_s, u"a.zarn"_s}, "unknown option \"--lang\"", "usage: zarn26-cli read"},
      {{u"write-materials"_s, u"-h"_s}, {}, "usage: zarn26-cli write-materials FILE.mtzarn"},
      {{u"write-materials"_s}, "zarn26-cli write-materials: the file is missing", "usage: zarn26-cli write-materials"},
      {{u"write-objects"_s, u"--help"_s}, {}, "usage: zarn26-cli write-objects FILE.objzarn"},
      {{u"write-objects"_s, u"a"_s, u"b"_s}, "zarn26-cli write-objects: only one file, not also \"b\"", "usage: zarn26-cli write-objects"},
      {{u"export"_s, u"--help"_s}, {}, "usage: zarn26-cli export FILE.zarn"},
      {{u"export"_s, u"f.zarn"_s}, "zarn26-cli export: nothing to export given", "usage: zarn26-cli export"},
      {{u"export"_s, u"f.zarn"_s, u"series"_s, u"--unit"_s}, "--unit takes mpa or kgf", "usage: zarn26-cli export"},
      {{u"export"_s, u"--lang=de"_s, u"f.zarn"_s, u"series"_s}, "--lang takes ru or en", "usage: zarn26-cli export"},
      {{u"export"_s, u"f.zarn"_s, u"series"_s, u"-o"_s, u"x"_s}, "unknown option \"-o\"", "usage: zarn26-cli export"},
      {{u"report"_s, u"--help"_s}, {}, "usage: zarn26-cli report FILE "},
      {{u"report"_s, u"f.zarn"_s, u"--format"_s, u"pdf"_s}, "zarn26-cli report: no output file given (-o OUT)",
       "usage: zarn26-cli report"},
      {{u"report"_s, u"f.zarn"_s, u"--format=xml"_s, u"-o"_s, u"x"_s}, "--format takes pdf, xlsx, ods, odt, rtf, html, txt, csv or prepared", "usage: zarn26-cli report"},
      {{u"report"_s, u"f.zarn"_s, u"--timeout"_s, u"3"_s}, "unknown option \"--timeout\"", "usage: zarn26-cli report"},
      {{u"archive"_s, u"--help"_s}, {}, "usage: zarn26-cli archive [--db PATH|URL] ACTION"},
      {{u"archive"_s, u"list"_s, u"-h"_s}, {}, "usage: zarn26-cli archive [--db PATH|URL] ACTION"},
      {{u"archive"_s}, "zarn26-cli archive: no action given", "usage: zarn26-cli archive"},
      {{u"archive"_s, u"purge"_s}, "zarn26-cli archive: unknown action \"purge\"", "usage: zarn26-cli archive"},
      {{u"archive"_s, u"--db"_s}, "zarn26-cli archive: --db takes PATH|URL", "usage: zarn26-cli archive"},
      {{u"archive"_s, u"--db"_s, u"postgresql://lab:secret@db/lab"_s, u"list"_s},
       "zarn26-cli archive list: --db must not hold a password: give it in PGPASSWORD or ~/.pgpass, or use a "
       "PGSERVICE",
       "usage: zarn26-cli archive [--db PATH|URL] list"},
      {{u"archive"_s, u"import"_s}, "zarn26-cli archive import: no data file given", "usage: zarn26-cli archive [--db PATH|URL] import"},
      {{u"archive"_s, u"list"_s, u"--from"_s, u"2024-02-30"_s}, "--from takes a day as YYYY-MM-DD, not \"2024-02-30\"",
       "usage: zarn26-cli archive [--db PATH|URL] list"},
      {{u"archive"_s, u"list"_s, u"--to=17.05.2024"_s}, "--to takes a day as YYYY-MM-DD, not \"17.05.2024\"", "usage:"},
      {{u"archive"_s, u"list"_s, u"--from"_s, u"2024-06-01"_s, u"--to"_s, u"2024-05-31"_s},
       "--from 2024-06-01 is after --to 2024-05-31", "usage:"},
      {{u"archive"_s, u"list"_s, u"--object"_s}, "--object takes TEXT", "usage:"},
      {{u"archive"_s, u"list"_s, u"--format"_s, u"xml"_s}, "--format takes tsv, csv or json", "usage:"},
      {{u"archive"_s, u"list"_s, u"extra"_s}, "archive list: unexpected argument \"extra\"", "usage:"},
      {{u"archive"_s, u"summary"_s}, "archive summary: no grouping given (--by)", "usage:"},
      {{u"archive"_s, u"summary"_s, u"--by"_s, u"week"_s},
       "--by takes object, material, day, month or instrument", "usage:"},
      {{u"archive"_s, u"export"_s, u"--object"_s, u"x"_s}, "archive export: no output file given (-o OUT.zarn)", "usage:"},
      {{u"archive"_s, u"imports"_s, u"--unit"_s, u"mpa"_s}, "unknown option \"--unit\"", "usage:"},
      {{u"archive"_s, u"import-file"_s, u"0"_s, u"-o"_s, u"x"_s}, "the import id must be a number from 1: 0", "usage:"},
      {{u"archive"_s, u"import-file"_s, u"1"_s}, "archive import-file: no output file given (-o OUT.zarn)", "usage:"},
      {{u"archive"_s, u"note"_s, u"x1"_s, u"t"_s}, "the series id must be a number from 1: x1", "usage:"},
      {{u"archive"_s, u"note"_s, u"1"_s}, "archive note: no note given (\"\" clears the note)", "usage:"},
      {{u"archive"_s, u"note"_s, u"1"_s, u"a"_s, u"b"_s}, "only one TEXT, not also \"b\" (quote a note with blanks)", "usage:"},
      {{u"archive"_s, u"check"_s, u"--object"_s, u"x"_s}, "unknown option \"--object\"", "usage:"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.join(u' ').toStdString());
    const CliRun r = Cli(c.args, home.path());
    if (c.problem.isEmpty()) {
      EXPECT_EQ(r.code, 0);
      EXPECT_TRUE(r.out.startsWith(c.usage)) << r.out.toStdString();
      EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    } else {
      EXPECT_EQ(r.code, 2);
      EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
      EXPECT_TRUE(r.err.contains(c.problem + "\n" + c.usage)) << r.err.toStdString();
    }
  }
  // Nothing was written anywhere.
  EXPECT_TRUE(QDir(home.path()).isEmpty());
  const CliRun version = Cli({u"--version"_s}, home.path());
  EXPECT_EQ(version.code, 0);
  EXPECT_TRUE(version.out.startsWith("zarn26-cli ")) << version.out.toStdString();
}
