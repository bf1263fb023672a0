// zarn26-cli archive: the lab archive from the command line. Every series ever read or
// opened is kept there once; the actions put data files in, select, summarise and give
// back series and imports, keep notes and check the archive.

#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>
#include <cstdio>
#include <memory>
#include <optional>

#include "archive/archive.h"
#include "archive/archiveaddress.h"
#include "archive_output.h"
#include "archive_texts.h"
#include "cli_common.h"
#include "commandline.h"
#include "commands.h"
#include "common/programsettings.h"
#include "common/texts.h"
#include "progressline.h"
#include "tableout.h"

namespace zarn::cli {
namespace {

constexpr char kArchiveUsage[] =
    "usage: zarn26-cli archive [--db PATH|URL] ACTION [OPTIONS]\n"
    "       ACTION: import FILE.zarn... | list [FILTERS] [--unit mpa|kgf] [--format tsv|csv|json]\n"
    "               | summary --by object|material|day|month|instrument [FILTERS] [--unit mpa|kgf]\n"
    "                 [--format tsv|csv|json] | export [FILTERS] -o OUT.zarn\n"
    "               | imports [--format tsv|csv|json] | import-file ID -o OUT.zarn\n"
    "               | note SERIES-ID TEXT | check\n"
    "       FILTERS: --object TEXT --material TEXT --instrument TEXT --note TEXT\n"
    "                --from YYYY-MM-DD --to YYYY-MM-DD\n"
    "       zarn26-cli archive --help   for the details\n";

constexpr char kArchiveHelp[] =
    "usage: zarn26-cli archive [--db PATH|URL] ACTION [OPTIONS]\n"
    "\n"
    "The lab archive keeps every series read or opened once, with the instrument it came\n"
    "from, every import that carried it and its notes.\n"
    "\n"
    "ACTION:\n"
    "  import FILE.zarn...   puts data files into the archive; prints per file how many\n"
    "                        series it carried, how many were new, how many already kept\n"
    "  list [FILTERS]        the selected series as table 1 (two heading rows, nine\n"
    "                        columns), then Instrument, Note and Id; ordered by the\n"
    "                        instrument's date and time\n"
    "  summary --by object|material|day|month|instrument [FILTERS]\n"
    "                        per group: series, mean, minimum, maximum, standard\n"
    "                        deviation and coefficient of variation of the series'\n"
    "                        strengths, first and last date\n"
    "  export [FILTERS] -o OUT.zarn\n"
    "                        the selected series in a new data file\n"
    "  imports               every import: id, time, kind, source, SHA-256, series, new\n"
    "  import-file ID -o OUT.zarn\n"
    "                        the data file of import ID, byte for byte as imported\n"
    "  note SERIES-ID TEXT   keeps TEXT as the series' note (\"\" clears it)\n"
    "  check                 the database's own integrity check and every record against\n"
    "                        its identity\n"
    "\n"
    "FILTERS (all given must hold):\n"
    "  --object TEXT, --material TEXT, --instrument TEXT, --note TEXT\n"
    "                        the series' object, material, instrument or note holds\n"
    "                        TEXT, in any case\n"
    "                        Every character of TEXT is taken as itself (quotes, %, _, \\).\n"
    "  --from YYYY-MM-DD, --to YYYY-MM-DD\n"
    "                        the instrument's date, both days included\n"
    "\n"
    "Options of every action:\n"
    "  --db PATH|URL         the archive: an SQLite file, or\n"
    "                        postgresql://[user@]host[:port]/dbname[?sslmode=...] for a\n"
    "                        lab's server; the password comes from PGPASSWORD or\n"
    "                        ~/.pgpass, never from the command line. Default: [Archive]\n"
    "                        Database of the settings file, else the archive.sqlite in\n"
    "                        the program's data folder\n"
    "  --lang ru|en          the language of the tables and messages\n"
    "  --unit mpa|kgf        (list, summary) the strength unit\n"
    "  --format tsv|csv|json (list, summary, imports) tsv (default): TAB between cells,\n"
    "                        CRLF after every line; csv for a spreadsheet of the\n"
    "                        language; json the raw values (strengths in MPa)\n"
    "The language and unit default to those of the program's settings file, else\n"
    "Russian and MPa.\n"
    "\n"
    "Exit codes: 0 done, 1 the output could not be written or the selection does not fit\n"
    "one data file (nothing written), 2 usage, 3 a data file is not readable or damaged,\n"
    "4 no such series or import, or none selected, 8 the archive cannot be used\n"
    "(missing, damaged, newer, unreachable; the reason on stderr).\n";

const QString kDb = QStringLiteral("db");
const QString kBy = QStringLiteral("by");

// What every action knows before it runs: the --db given before its name.
struct Context {
  QString db;
};

// The texts of one action's command line; every action takes --db and --lang (after
// its name as well as before it: ActionLine).
CommandText ActionText(const QString& action, const char* usage) {
  return {QStringLiteral("archive ") + action,
          QStringLiteral("usage: zarn26-cli archive [--db PATH|URL] ") + QString::fromUtf8(usage) +
              QStringLiteral("       zarn26-cli archive --help   for the details\n"),
          QString::fromUtf8(kArchiveHelp)};
}
CommandLine& AddActionOptions(CommandLine& line) { return line.AddOption({kDb}, QStringLiteral("PATH|URL")).AddLanguage(); }

const QStringList kTableFormats{QStringLiteral("tsv"), QStringLiteral("csv"), QStringLiteral("json")};

void AddFilters(CommandLine& line) {
  for (const char* name : {"object", "material", "instrument", "note"})
    line.AddOption({QString::fromLatin1(name)}, QStringLiteral("TEXT"));
  line.AddOption({QStringLiteral("from")}, QStringLiteral("YYYY-MM-DD"));
  line.AddOption({QStringLiteral("to")}, QStringLiteral("YYYY-MM-DD"));
}

// The filters of `line`; nullopt after telling a usage error.
std::optional<SeriesFilter> Filters(const CommandLine& line) {
  SeriesFilter filter;
  filter.object = line.Value(QStringLiteral("object"));
  filter.material = line.Value(QStringLiteral("material"));
  filter.instrument = line.Value(QStringLiteral("instrument"));
  filter.note = line.Value(QStringLiteral("note"));
  for (const auto& [name, day] : {std::pair{QStringLiteral("from"), &filter.from}, std::pair{QStringLiteral("to"), &filter.to}}) {
    if (!line.IsSet(name)) continue;
    const QString text = line.Value(name);
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid()) {
      line.Usage(QStringLiteral("--%1 takes a day as YYYY-MM-DD, not \"%2\"").arg(name, text));
      return std::nullopt;
    }
    *day = date;
  }
  if (filter.from && filter.to && *filter.from > *filter.to) {
    line.Usage(QStringLiteral("--from %1 is after --to %2").arg(filter.from->toString(Qt::ISODate),
                                                                filter.to->toString(Qt::ISODate)));
    return std::nullopt;
  }
  return filter;
}

// The exit code of a failure of the kind given.
int ExitCode(ArchiveErrorKind kind) {
  switch (kind) {
    case ArchiveErrorKind::Unusable: return kExitArchive;
    case ArchiveErrorKind::DataFile: return kExitBadFile;
    case ArchiveErrorKind::NotFound: return kExitNoProcess;
    case ArchiveErrorKind::TooMany: return kExitWriteFailed;
    case ArchiveErrorKind::Output: return kExitWriteFailed;
  }
  return kExitArchive;
}

// One action at work: its command line parsed, its language, its archive.
class Run {
 public:
  Run(CommandLine& line, const Context& context) : line_(line), context_(context) {}

  // Parses `args`; nullopt: the action goes on.
  std::optional<int> Parse(const QStringList& args) {
    if (const auto done = line_.Parse(args)) return done;
    language_ = line_.Language();
    unit_ = line_.Unit();
    ApplySettings(language_, unit_);
    return std::nullopt;
  }
  int Language() const { return *language_; }
  StrengthUnit Unit() const { return *unit_; }
  const CommandLine& Line() const { return line_; }
  const QString& Name() const { return line_.Text().name; }

  // "zarn26-cli archive ACTION: TEXT" on stderr.
  void Tell(const QString& text) const {
    std::fprintf(stderr, "zarn26-cli %s: %s\n", qUtf8Printable(Name()), qUtf8Printable(text));
    std::fflush(stderr);
  }
  int Fail(const ArchiveError& error) const {
    Tell(error.Text(Language()));
    return ExitCode(error.kind);
  }

  // Opens the archive named by --db (after the action's name, else before it) or by
  // the settings. Empty after telling why (exit code in `code`).
  std::unique_ptr<Archive> Open(Archive::OpenMode mode, int& code) {
    const bool given = line_.IsSet(kDb) || !context_.db.isEmpty();
    const QString location = line_.IsSet(kDb) ? line_.Value(kDb)
                             : given          ? context_.db
                                              : ProgramSettings().ArchiveLocation();
    QString problem;
    const std::optional<ArchiveAddress> address = ParseArchiveAddress(location, &problem);
    if (given && !address) {
      code = line_.Usage(QStringLiteral("--db: %1").arg(problem));
      return nullptr;
    }
    if (given && !address->password.isEmpty()) {
      // A command line is seen by every user of the computer (ps, the shell's history).
      code = line_.Usage(QStringLiteral(
          "--db must not hold a password: give it in PGPASSWORD or ~/.pgpass, or use a PGSERVICE"));
      return nullptr;
    }
    ArchiveResult<std::unique_ptr<Archive>> opened = Archive::Open(location, mode);
    if (!opened) {
      const bool none = mode == Archive::OpenMode::Existing && address &&
                        address->backend == ArchiveBackend::Sqlite && !QFileInfo::exists(address->path);
      Tell(opened.error().Text(Language()) + (none ? txtArchiveMakeIt.Str(Language()) : QString()));
      code = ExitCode(opened.error().kind);
      return nullptr;
    }
    return std::move(*opened);
  }

 private:
  CommandLine& line_;
  const Context& context_;
  std::optional<int> language_;
  std::optional<StrengthUnit> unit_;
};

// A record id or import id as typed: a whole number from 1.
std::optional<qint64> IdOf(const QString& text) {
  bool ok = false;
  const qint64 id = text.toLongLong(&ok);
  if (!ok || id < 1 || text.startsWith(u'+')) return std::nullopt;
  return id;
}

std::optional<Table> TableFormat(const QString& format) {
  if (format == u"json") return std::nullopt;
  return format == u"csv" ? Table::Csv : Table::Tsv;
}

// ---- Actions.

constexpr char kImportUsage[] = "import FILE.zarn... [--lang ru|en]\n";

int Import(const QStringList& args, const Context& context) {
  CommandLine line(ActionText(QStringLiteral("import"), kImportUsage));
  AddActionOptions(line);
  Run run(line, context);
  if (const auto done = run.Parse(args)) return *done;
  const QStringList& files = line.Positional();
  if (files.isEmpty()) return line.Usage(QStringLiteral("no data file given"));
  int code = kExitOk;
  const std::unique_ptr<Archive> archive = run.Open(Archive::OpenMode::Create, code);
  if (!archive) return code;
  for (const QString& file : files) {
    const ArchiveResult<ImportOutcome> outcome = archive->ImportFile(file);
    if (!outcome) {
      // A damaged file is told and the others still go in; an archive that cannot be
      // used ends the action.
      code = run.Fail(outcome.error());
      if (outcome.error().kind == ArchiveErrorKind::Unusable) return code;
      continue;
    }
    const QString told = Phrase(txtArchiveImported, {file, QString::number(outcome->series),
                                                     QString::number(outcome->added),
                                                     QString::number(outcome->kept())})
                             .Str(run.Language());
    if (const int written = WriteStdout((told + u'\n').toUtf8(), run.Name(), run.Language()); written != kExitOk)
      return written;
  }
  return code;
}

constexpr char kListUsage[] =
    "list [FILTERS] [--lang ru|en] [--unit mpa|kgf] [--format tsv|csv|json]\n"
    "       FILTERS: --object TEXT --material TEXT --instrument TEXT --note TEXT\n"
    "                --from YYYY-MM-DD --to YYYY-MM-DD\n";

int List(const QStringList& args, const Context& context) {
  CommandLine line(ActionText(QStringLiteral("list"), kListUsage));
  AddActionOptions(line).AddUnit().AddFormat(kTableFormats);
  AddFilters(line);
  Run run(line, context);
  if (const auto done = run.Parse(args)) return *done;
  if (!line.Positional().isEmpty())
    return line.Usage(QStringLiteral("unexpected argument \"%1\"").arg(line.Positional().front()));
  const std::optional<SeriesFilter> filter = Filters(line);
  if (!filter) return kExitUsage;
  int code = kExitOk;
  const std::unique_ptr<Archive> archive = run.Open(Archive::OpenMode::Existing, code);
  if (!archive) return code;
  const ArchiveResult<QList<ArchivedSeries>> series = archive->List(*filter);
  if (!series) return run.Fail(series.error());
  if (series->isEmpty()) run.Tell(txtArchiveNoneSelected.Str(run.Language()));
  const std::optional<Table> table = TableFormat(line.Format());
  const QByteArray out = table ? ListTable(*series, *table, run.Language(), run.Unit())
                               : ListJson(archive->Shown(), *series);
  return WriteStdout(out, run.Name(), run.Language());
}

constexpr char kSummaryUsage[] =
    "summary --by object|material|day|month|instrument\n"
    "       [FILTERS] [--lang ru|en] [--unit mpa|kgf] [--format tsv|csv|json]\n"
    "       FILTERS: --object TEXT --material TEXT --instrument TEXT --note TEXT\n"
    "                --from YYYY-MM-DD --to YYYY-MM-DD\n";

int Summary(const QStringList& args, const Context& context) {
  CommandLine line(ActionText(QStringLiteral("summary"), kSummaryUsage));
  AddActionOptions(line);
  const QStringList groups{QStringLiteral("object"), QStringLiteral("material"), QStringLiteral("day"),
                           QStringLiteral("month"), QStringLiteral("instrument")};
  const QString byProblem = QStringLiteral("--by takes ") + ChoiceText(groups);
  line.AddOption({kBy}, groups.join(u'|'), byProblem).AddUnit().AddFormat(kTableFormats);
  AddFilters(line);
  Run run(line, context);
  if (const auto done = run.Parse(args)) return *done;
  if (!line.Positional().isEmpty())
    return line.Usage(QStringLiteral("unexpected argument \"%1\"").arg(line.Positional().front()));
  if (!line.IsSet(kBy)) return line.Usage(QStringLiteral("no grouping given (--by)"));
  const qsizetype byIndex = groups.indexOf(line.Value(kBy));
  if (byIndex < 0) return line.Usage(byProblem);
  const SummaryBy by = std::array{SummaryBy::Object, SummaryBy::Material, SummaryBy::Day, SummaryBy::Month,
                                  SummaryBy::Instrument}[size_t(byIndex)];
  const std::optional<SeriesFilter> filter = Filters(line);
  if (!filter) return kExitUsage;
  int code = kExitOk;
  const std::unique_ptr<Archive> archive = run.Open(Archive::OpenMode::Existing, code);
  if (!archive) return code;
  const std::optional<Table> table = TableFormat(line.Format());
  // JSON keeps the raw unit, as every JSON of the program does.
  const StrengthUnit unit = table ? run.Unit() : StrengthUnit::MPa;
  const ArchiveResult<QList<SummaryGroup>> summary = archive->Summary(by, *filter, unit);
  if (!summary) return run.Fail(summary.error());
  if (summary->isEmpty()) run.Tell(txtArchiveNoneSelected.Str(run.Language()));
  const QByteArray out = table ? SummaryTable(*summary, by, *table, run.Language(), unit)
                               : SummaryJson(archive->Shown(), groups[byIndex], *summary);
  return WriteStdout(out, run.Name(), run.Language());
}

constexpr char kExportUsage[] =
    "export [FILTERS] -o OUT.zarn [--lang ru|en]\n"
    "       FILTERS: --object TEXT --material TEXT --instrument TEXT --note TEXT\n"
    "                --from YYYY-MM-DD --to YYYY-MM-DD\n";

int Export(const QStringList& args, const Context& context) {
  CommandLine line(ActionText(QStringLiteral("export"), kExportUsage));
  AddActionOptions(line).AddOutput();
  AddFilters(line);
  Run run(line, context);
  if (const auto done = run.Parse(args)) return *done;
  if (!line.Positional().isEmpty())
    return line.Usage(QStringLiteral("unexpected argument \"%1\"").arg(line.Positional().front()));
  if (line.Output().isEmpty()) return line.Usage(QStringLiteral("no output file given (-o OUT.zarn)"));
  const std::optional<SeriesFilter> filter = Filters(line);
  if (!filter) return kExitUsage;
  int code = kExitOk;
  const std::unique_ptr<Archive> archive = run.Open(Archive::OpenMode::Existing, code);
  if (!archive) return code;
  const ArchiveResult<QList<ArchivedSeries>> series = archive->List(*filter);
  if (!series) return run.Fail(series.error());
  if (series->isEmpty()) {
    // An empty data file would open as the instrument's cleared memory.
    run.Tell(Phrase(txtArchiveNothingWritten, {line.Output()}).Str(run.Language()));
    return kExitNoProcess;
  }
  QList<qint64> ids;
  ids.reserve(series->size());
  for (const ArchivedSeries& s : *series) ids.append(s.id);
  const ArchiveResult<int> written = archive->ExportSeries(ids, line.Output());
  if (!written) return run.Fail(written.error());
  run.Tell(Phrase(txtArchiveExported, {line.Output(), QString::number(*written)}).Str(run.Language()));
  return kExitOk;
}

constexpr char kImportsUsage[] = "imports [--lang ru|en] [--format tsv|csv|json]\n";

int Imports(const QStringList& args, const Context& context) {
  CommandLine line(ActionText(QStringLiteral("imports"), kImportsUsage));
  AddActionOptions(line).AddFormat(kTableFormats);
  Run run(line, context);
  if (const auto done = run.Parse(args)) return *done;
  if (!line.Positional().isEmpty())
    return line.Usage(QStringLiteral("unexpected argument \"%1\"").arg(line.Positional().front()));
  int code = kExitOk;
  const std::unique_ptr<Archive> archive = run.Open(Archive::OpenMode::Existing, code);
  if (!archive) return code;
  const ArchiveResult<QList<ImportEntry>> imports = archive->Imports();
  if (!imports) return run.Fail(imports.error());
  const std::optional<Table> table = TableFormat(line.Format());
  const QByteArray out = table ? ImportsTable(*imports, *table, run.Language())
                               : ImportsJson(archive->Shown(), *imports);
  return WriteStdout(out, run.Name(), run.Language());
}

constexpr char kImportFileUsage[] = "import-file ID -o OUT.zarn [--lang ru|en]\n";

int ImportFile(const QStringList& args, const Context& context) {
  CommandLine line(ActionText(QStringLiteral("import-file"), kImportFileUsage));
  AddActionOptions(line).AddOutput();
  Run run(line, context);
  if (const auto done = run.Parse(args)) return *done;
  const std::optional<QString> idText = line.OneArgument(QStringLiteral("no import id given"), QStringLiteral("import id"));
  if (!idText) return kExitUsage;
  const std::optional<qint64> id = IdOf(*idText);
  if (!id) return line.Usage(QStringLiteral("the import id must be a number from 1: %1").arg(*idText));
  if (line.Output().isEmpty()) return line.Usage(QStringLiteral("no output file given (-o OUT.zarn)"));
  int code = kExitOk;
  const std::unique_ptr<Archive> archive = run.Open(Archive::OpenMode::Existing, code);
  if (!archive) return code;
  const ArchiveResult<Done> written = archive->WriteImportFile(*id, line.Output());
  if (!written) return run.Fail(written.error());
  run.Tell(Phrase(txtArchiveImportWritten, {line.Output(), QString::number(*id)}).Str(run.Language()));
  return kExitOk;
}

constexpr char kNoteUsage[] = "note SERIES-ID TEXT [--lang ru|en]\n";

int Note(const QStringList& args, const Context& context) {
  CommandLine line(ActionText(QStringLiteral("note"), kNoteUsage));
  AddActionOptions(line);
  Run run(line, context);
  if (const auto done = run.Parse(args)) return *done;
  const QStringList& positional = line.Positional();
  if (positional.isEmpty()) return line.Usage(QStringLiteral("no series id given"));
  const std::optional<qint64> id = IdOf(positional[0]);
  if (!id) return line.Usage(QStringLiteral("the series id must be a number from 1: %1").arg(positional[0]));
  if (positional.size() < 2) return line.Usage(QStringLiteral("no note given (\"\" clears the note)"));
  if (positional.size() > 2)
    return line.Usage(QStringLiteral("only one TEXT, not also \"%1\" (quote a note with blanks)").arg(positional[2]));
  int code = kExitOk;
  const std::unique_ptr<Archive> archive = run.Open(Archive::OpenMode::Existing, code);
  if (!archive) return code;
  const QString& text = positional[1];
  const ArchiveResult<Done> kept = archive->SetNote(*id, text);
  if (!kept) return run.Fail(kept.error());
  run.Tell(Phrase(text.isEmpty() ? txtArchiveNoteCleared : txtArchiveNoteSet, {QString::number(*id)}).Str(run.Language()));
  return kExitOk;
}

constexpr char kCheckUsage[] = "check [--lang ru|en]\n";

int Check(const QStringList& args, const Context& context) {
  CommandLine line(ActionText(QStringLiteral("check"), kCheckUsage));
  AddActionOptions(line);
  Run run(line, context);
  if (const auto done = run.Parse(args)) return *done;
  if (!line.Positional().isEmpty())
    return line.Usage(QStringLiteral("unexpected argument \"%1\"").arg(line.Positional().front()));
  int code = kExitOk;
  const std::unique_ptr<Archive> archive = run.Open(Archive::OpenMode::Existing, code);
  if (!archive) return code;
  ProgressLine progress;
  const ArchiveResult<CheckReport> report =
      archive->Check([&progress](qint64 done, qint64 total) { progress.Step(done, total); });
  progress.End();
  if (!report) return run.Fail(report.error());
  for (const QString& problem : report->problems) run.Tell(problem);
  if (!report->ok()) {
    run.Tell(Phrase(txtArchiveDamaged, {archive->Shown(), QString::number(report->problems.size())}).Str(run.Language()));
    return kExitArchive;
  }
  run.Tell(Phrase(txtArchiveSound, {archive->Shown(), QString::number(report->seriesChecked)}).Str(run.Language()));
  return kExitOk;
}

}  // namespace

int RunArchive(const QStringList& args) {
  CommandLine line({QStringLiteral("archive"), QString::fromUtf8(kArchiveUsage), QString::fromUtf8(kArchiveHelp)});
  line.AddOption({kDb}, QStringLiteral("PATH|URL")).StopAtFirstPositional();
  if (const auto done = line.Parse(args)) return *done;
  const Context context{line.Value(kDb)};
  const Action actions[] = {
      {QStringLiteral("import"), [&](const QStringList& a) { return Import(a, context); }},
      {QStringLiteral("list"), [&](const QStringList& a) { return List(a, context); }},
      {QStringLiteral("summary"), [&](const QStringList& a) { return Summary(a, context); }},
      {QStringLiteral("export"), [&](const QStringList& a) { return Export(a, context); }},
      {QStringLiteral("imports"), [&](const QStringList& a) { return Imports(a, context); }},
      {QStringLiteral("import-file"), [&](const QStringList& a) { return ImportFile(a, context); }},
      {QStringLiteral("note"), [&](const QStringList& a) { return Note(a, context); }},
      {QStringLiteral("check"), [&](const QStringList& a) { return Check(a, context); }},
  };
  return RunAction(line, actions);
}

}  // namespace zarn::cli
