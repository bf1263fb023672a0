// The command-line structure of zarn26-cli; the texts each command prints are checked on
// the programs themselves (tests/e2e/cli_usage_test.cpp).

#include <gtest/gtest.h>

#include "commandline.h"
#include "commands.h"
#include "common/texts.h"

using namespace zarn;
using namespace zarn::cli;
using namespace Qt::StringLiterals;

namespace {

// A command that takes every shared option and one of its own.
struct Demo {
  CommandLine line{{u"demo"_s, u"usage: zarn26-cli demo FILE\n"_s, {}}};
  Demo() {
    line.AddLanguage().AddUnit().AddFormat({u"tsv"_s, u"csv"_s}).AddTimeout().AddOutput();
    line.AddOption({u"blow"_s}, u"B"_s);
  }
};

}  // namespace

TEST(CommandLine, SharedOptionsGiveTypedValuesOrEndTheCommand) {
  Demo all;
  ASSERT_EQ(all.line.Parse({u"--lang"_s, u"en"_s, u"--unit=kgf"_s, u"f"_s, u"--format"_s, u"csv"_s, u"-o"_s,
                            u"x"_s, u"--timeout"_s, u"5"_s, u"--blow"_s, u"3"_s, u"--"_s, u"-1"_s}),
            std::nullopt);
  EXPECT_EQ(all.line.Language(), kEnglish);
  EXPECT_EQ(all.line.Unit(), StrengthUnit::Kgf);
  EXPECT_EQ(all.line.Format(), u"csv");
  EXPECT_EQ(all.line.Output(), u"x");
  EXPECT_EQ(all.line.TimeoutSeconds(), 5);
  EXPECT_EQ(all.line.Value(u"blow"_s), u"3");
  EXPECT_EQ(all.line.Positional(), (QStringList{u"f"_s, u"-1"_s}));
  Demo none;
  ASSERT_EQ(none.line.Parse({u"f"_s}), std::nullopt);
  EXPECT_EQ(none.line.Language(), std::nullopt);
  EXPECT_EQ(none.line.Unit(), std::nullopt);
  EXPECT_EQ(none.line.Format(), QString());
  EXPECT_EQ(none.line.TimeoutSeconds(), CommandLine::kDefaultTimeoutS);

  const struct {
    QStringList args;
    int exit;
  } ends[] = {
      {{u"f"_s, u"--help"_s, u"--bogus"_s}, kExitOk},  // help asked for wins
      {{u"-h"_s}, kExitOk},
      {{u"--lang"_s, u"de"_s}, kExitUsage},
      {{u"--unit="_s}, kExitUsage},
      {{u"--format"_s, u"json"_s}, kExitUsage},
      {{u"--timeout=86401"_s}, kExitUsage},
      {{u"f"_s, u"-o"_s}, kExitUsage},
      {{u"--blow"_s}, kExitUsage},
      {{u"f"_s, u"-1"_s}, kExitUsage},
  };
  for (const auto& e : ends) EXPECT_EQ(Demo().line.Parse(e.args), e.exit) << e.args.join(u' ').toStdString();
}

// A command made of actions with options of their own, as
// `zarn26-cli archive [--db URL] ACTION [OPTIONS]` is built.
TEST(CommandLine, ActionsTakeTheirOwnOptionsAfterTheCommandsOwn) {
  const struct {
    QStringList args;
    int exit;
    QString ran;  // what the action saw
  } cases[] = {
      {{u"--db"_s, u"lab.sqlite"_s, u"list"_s, u"--object"_s, u"Мост"_s, u"--lang"_s, u"en"_s}, 0,
       u"list lab.sqlite Мост 1"_s},
      {{u"list"_s, u"--db=other"_s}, 0, u"list other  -1"_s},
      {{u"import"_s, u"a.zarn"_s, u"--db"_s, u"b.zarn"_s}, 0, u"import a.zarn,--db,b.zarn"_s},
      {{u"--db"_s, u"x"_s}, kExitUsage, {}},                         // no action
      {{u"frobnicate"_s}, kExitUsage, {}},                           // no such action
      {{u"list"_s, u"--lang"_s, u"de"_s}, kExitUsage, {}},           // the action's option
      {{u"--object"_s, u"x"_s, u"list"_s}, kExitUsage, {}},          // not the command's
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.join(u' ').toStdString());
    QString ran;
    CommandLine archive({u"archive"_s, u"usage: zarn26-cli archive ...\n"_s, {}});
    archive.AddOption({u"db"_s}, u"PATH|URL"_s).StopAtFirstPositional();
    const Action actions[] = {
        {u"list"_s,
         [&](const QStringList& args) {
           CommandLine list({u"archive list"_s, u"usage: zarn26-cli archive list\n"_s, {}});
           list.AddOption({u"db"_s}, u"PATH|URL"_s).AddOption({u"object"_s}, u"TEXT"_s).AddLanguage();
           if (const auto done = list.Parse(args)) return *done;
           const QString db = list.IsSet(u"db"_s) ? list.Value(u"db"_s) : archive.Value(u"db"_s);
           ran = u"list %1 %2 %3"_s.arg(db, list.Value(u"object"_s)).arg(list.Language().value_or(-1));
           return 0;
         }},
        // An action that takes no options hands every argument on as it came.
        {u"import"_s, [&](const QStringList& args) { return ran = u"import "_s + args.join(u','), 0; }},
    };
    const auto done = archive.Parse(c.args);
    EXPECT_EQ(done ? *done : RunAction(archive, actions), c.exit);
    EXPECT_EQ(ran, c.ran);
  }
}
