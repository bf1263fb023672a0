#pragma once
// The command lines of zarn26-cli. Every command parses its arguments with a
// CommandLine (QCommandLineParser underneath): it names the command, gives its usage
// and help texts, adds the shared options it takes (--lang, --unit, --format,
// --timeout, -o, each defined here once with its checks and messages) and its own
// options, and reads the typed values after Parse. Every command answers alike:
//  - --help (or -h) prints the command's help on stdout and ends with exit 0;
//  - a usage error prints "zarn26-cli COMMAND: PROBLEM" and the usage on stderr and ends
//    with exit 2 (an unknown option, a missing or wrong value, a missing argument).
// Options may come before, between and after the other arguments; "--" ends them.
//
// A command made of actions with options of their own (zarn26-cli archive [--db URL]
// list --object X) takes its own options up to the action's name (StopAtFirstPositional)
// and hands the rest to the action (RunAction), which parses them with a CommandLine of
// its own, named "archive list".

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "common/units.h"
#include "data/presenters.h"

namespace zarn::cli {

struct CommandText {
  QString name;   // as the messages name it: "export", "archive list"
  QString usage;  // printed with every usage error; ends with a line end
  QString help;   // what --help prints; empty: the usage
};

class CommandLine {
 public:
  explicit CommandLine(CommandText text);

  // ---- Shared options.
  // --lang ru|en: the language of the texts.
  CommandLine& AddLanguage();
  // --unit mpa|kgf: the strength unit.
  CommandLine& AddUnit();
  // --format NAME, NAME one of `names` (listed in that order when it is wrong).
  CommandLine& AddFormat(QStringList names);
  // --timeout SECONDS: whole seconds from 1 to kMaxTimeoutS, default kDefaultTimeoutS.
  static constexpr int kDefaultTimeoutS = 30;
  static constexpr int kMaxTimeoutS = 24 * 3600;
  CommandLine& AddTimeout();
  // -o, --output FILE.
  CommandLine& AddOutput();
  // --decimal point|comma: CSV's notation, whatever the language: a decimal point with
  // a comma between fields, or a decimal comma with a semicolon between them.
  CommandLine& AddDecimal();

  // ---- A command's own option. `names` as QCommandLineOption takes them ("blow", or
  // {"d", "db"}); a flag when `valueName` is empty. `missing`: the problem told when
  // the value is missing or empty (default: "--NAME takes VALUENAME").
  CommandLine& AddOption(const QStringList& names, const QString& valueName = {},
                         const QString& missing = {});

  // Options end at the first other argument, which names an action; Positional()
  // holds it and everything after it unparsed.
  CommandLine& StopAtFirstPositional();

  // Parses `args` (the arguments after the command's name). nullopt: the command goes
  // on; otherwise it ends with that exit code (0 after --help, kExitUsage after a
  // usage error, both already printed).
  std::optional<int> Parse(const QStringList& args);

  // ---- After Parse.
  const QStringList& Positional() const { return positional_; }
  bool IsSet(const QString& name) const { return parser_.isSet(name); }
  // The option's last value; empty when not given.
  QString Value(const QString& name) const { return parser_.value(name); }
  std::optional<int> Language() const { return language_; }
  std::optional<StrengthUnit> Unit() const { return unit_; }
  // The CSV notation --decimal asked for; nullopt: that of the language.
  std::optional<CsvDialect> Decimal() const { return decimal_; }
  // The --format name given; empty when none was.
  QString Format() const { return IsSet(QStringLiteral("format")) ? Value(QStringLiteral("format")) : QString(); }
  int TimeoutSeconds() const { return timeoutS_; }
  QString Output() const { return Value(QStringLiteral("output")); }

  // The one argument a command takes: empty after telling a usage error, `missing` when
  // there is none, "only one FILE, not also "X"" when there are more.
  std::optional<QString> OneArgument(const QString& missing, const QString& file) const;

  const CommandText& Text() const { return text_; }
  // Prints "zarn26-cli NAME: PROBLEM" and the usage on stderr; returns kExitUsage.
  int Usage(const QString& problem) const;

 private:
  // What a value option takes (flags have no check).
  struct Check {
    QStringList names;
    QString missing;  // told when the value is missing or empty
    // Takes a non-empty value; returns the problem, empty when the value is good.
    std::function<QString(const QString&)> accept;
  };
  CommandLine& Add(const QStringList& names, const QString& valueName, Check check);
  QString ParseProblem(const QStringList& args) const;
  // The argument as typed for an option QCommandLineParser names without its dashes.
  static QString AsTyped(const QString& name, const QStringList& args);

  CommandText text_;
  QCommandLineParser parser_;
  std::vector<Check> checks_;
  QStringList positional_;
  std::optional<int> language_;
  std::optional<StrengthUnit> unit_;
  std::optional<CsvDialect> decimal_;
  int timeoutS_ = kDefaultTimeoutS;
};

// "a, b or c": the names of a choice as the messages list them.
QString ChoiceText(const QStringList& names);

// An action of a command made of actions.
struct Action {
  QString name;
  // Gets the arguments after the action's name; returns the exit code.
  std::function<int(const QStringList& args)> run;
};
// The action called `name`; null when there is none.
const Action* FindAction(std::span<const Action> actions, const QString& name);
// Runs the action that `line`'s first positional argument names, with the arguments
// after it; a missing or unknown one is a usage error of `line` ("no ACTION given",
// "unknown ACTION "x"", `what` naming what an action is called there).
int RunAction(const CommandLine& line, std::span<const Action> actions,
              const QString& what = QStringLiteral("action"));

}  // namespace zarn::cli
