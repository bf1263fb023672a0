#include "commandline.h"

#include <cstdio>

#include "commands.h"
#include "common/texts.h"

namespace zarn::cli {
namespace {

const QString kHelp = QStringLiteral("help");

}  // namespace

QString ChoiceText(const QStringList& names) {
  if (names.size() < 2) return names.join(QString());
  return names.first(names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ") + names.back();
}

CommandLine::CommandLine(CommandText text) : text_(std::move(text)) {
  // "-o" and "--output" alike; "-lang" is --lang rather than -l -a -n -g.
  parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  // Our own help, not Qt's generated one.
  parser_.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), kHelp}));
}

CommandLine& CommandLine::Add(const QStringList& names, const QString& valueName, Check check) {
  QCommandLineOption option(names);
  if (!valueName.isEmpty()) option.setValueName(valueName);
  parser_.addOption(option);
  check.names = names;
  if (check.missing.isEmpty() && !valueName.isEmpty())
    check.missing = QStringLiteral("--%1 takes %2").arg(names.back(), valueName);
  checks_.push_back(std::move(check));
  return *this;
}

CommandLine& CommandLine::AddLanguage() {
  const QString problem = QStringLiteral("--lang takes ru or en");
  return Add({QStringLiteral("lang")}, QStringLiteral("ru|en"),
             {{}, problem, [this, problem](const QString& v) {
                if (v == u"ru") language_ = kRussian;
                else if (v == u"en") language_ = kEnglish;
                else return problem;
                return QString();
              }});
}

CommandLine& CommandLine::AddUnit() {
  const QString problem = QStringLiteral("--unit takes mpa or kgf");
  return Add({QStringLiteral("unit")}, QStringLiteral("mpa|kgf"),
             {{}, problem, [this, problem](const QString& v) {
                if (v == u"mpa") unit_ = StrengthUnit::MPa;
                else if (v == u"kgf") unit_ = StrengthUnit::Kgf;
                else return problem;
                return QString();
              }});
}

CommandLine& CommandLine::AddDecimal() {
  const QString problem = QStringLiteral("--decimal takes point or comma");
  return Add({QStringLiteral("decimal")}, QStringLiteral("point|comma"),
             {{}, problem, [this, problem](const QString& v) {
                if (v == u"point") decimal_ = kCsvPoint;
                else if (v == u"comma") decimal_ = kCsvComma;
                else return problem;
                return QString();
              }});
}

CommandLine& CommandLine::AddFormat(QStringList names) {
  const QString problem = QStringLiteral("--format takes ") + ChoiceText(names);
  return Add({QStringLiteral("format")}, names.join(u'|'),
             {{}, problem, [names, problem](const QString& v) { return names.contains(v) ? QString() : problem; }});
}

CommandLine& CommandLine::AddTimeout() {
  return Add({QStringLiteral("timeout")}, QStringLiteral("SECONDS"),
             {{}, QStringLiteral("--timeout needs a number of seconds"), [this](const QString& v) {
                bool ok = false;
                const int seconds = v.toInt(&ok);
                if (!ok || seconds < 1 || seconds > kMaxTimeoutS)
                  return QStringLiteral("--timeout wants whole seconds from 1 to %1, not \"%2\"").arg(kMaxTimeoutS).arg(v);
                timeoutS_ = seconds;
                return QString();
              }});
}

CommandLine& CommandLine::AddOutput() {
  return Add({QStringLiteral("o"), QStringLiteral("output")}, QStringLiteral("FILE"),
             {{}, QStringLiteral("-o takes the output file"), {}});
}

CommandLine& CommandLine::AddOption(const QStringList& names, const QString& valueName,
                                    const QString& missing) {
  return Add(names, valueName, {{}, missing, {}});
}

CommandLine& CommandLine::StopAtFirstPositional() {
  parser_.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
  return *this;
}

std::optional<int> CommandLine::Parse(const QStringList& args) {
  // QCommandLineParser takes the first argument for the program's name.
  const bool parsed = parser_.parse(QStringList{text_.name} + args);
  // Help asked for is help given, whatever else the line holds.
  if (parser_.isSet(kHelp)) {
    std::fputs(qUtf8Printable(text_.help.isEmpty() ? text_.usage : text_.help), stdout);
    std::fflush(stdout);
    return kExitOk;
  }
  if (!parsed) return Usage(ParseProblem(args));
  for (const Check& check : checks_) {
    if (check.missing.isEmpty() || !parser_.isSet(check.names.back())) continue;
    const QString value = parser_.value(check.names.back());
    const QString problem = value.isEmpty() ? check.missing : check.accept ? check.accept(value) : QString();
    if (!problem.isEmpty()) return Usage(problem);
  }
  positional_ = parser_.positionalArguments();
  return std::nullopt;
}

QString CommandLine::ParseProblem(const QStringList& args) const {
  const QStringList unknown = parser_.unknownOptionNames();
  if (!unknown.isEmpty()) return QStringLiteral("unknown option \"%1\"").arg(AsTyped(unknown.front(), args));
  // Otherwise the last option given wants a value that is not there.
  const QStringList given = parser_.optionNames();
  if (!given.isEmpty()) {
    for (const Check& check : checks_) {
      if (check.names.contains(given.back()) && !check.missing.isEmpty()) return check.missing;
    }
  }
  return parser_.errorText();
}

QString CommandLine::AsTyped(const QString& name, const QStringList& args) {
  for (const QString& arg : args) {
    if (arg == u"--") break;
    for (const QString& dashes : {QStringLiteral("-"), QStringLiteral("--")}) {
      const QString option = dashes + name;
      if (arg == option || arg.startsWith(option + u'=')) return arg;
    }
  }
  return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

std::optional<QString> CommandLine::OneArgument(const QString& missing, const QString& file) const {
  if (positional_.isEmpty()) {
    Usage(missing);
    return std::nullopt;
  }
  if (positional_.size() > 1) {
    Usage(QStringLiteral("only one %1, not also \"%2\"").arg(file, positional_[1]));
    return std::nullopt;
  }
  return positional_.front();
}

int CommandLine::Usage(const QString& problem) const {
  const QString prefix = text_.name.isEmpty() ? QStringLiteral("zarn26-cli") : QStringLiteral("zarn26-cli ") + text_.name;
  std::fprintf(stderr, "%s: %s\n", qUtf8Printable(prefix), qUtf8Printable(problem));
  std::fputs(qUtf8Printable(text_.usage), stderr);
  std::fflush(stderr);
  return kExitUsage;
}

const Action* FindAction(std::span<const Action> actions, const QString& name) {
  for (const Action& action : actions) {
    if (action.name == name) return &action;
  }
  return nullptr;
}

int RunAction(const CommandLine& line, std::span<const Action> actions, const QString& what) {
  const QStringList& positional = line.Positional();
  if (positional.isEmpty()) return line.Usage(QStringLiteral("no %1 given").arg(what));
  const Action* action = FindAction(actions, positional.front());
  if (!action) return line.Usage(QStringLiteral("unknown %1 \"%2\"").arg(what, positional.front()));
  return action->run(positional.mid(1));
}

}  // namespace zarn::cli
