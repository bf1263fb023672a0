// zarn26-cli report run as a program, without a display, its files read back by real
// readers: poppler's pdfinfo/pdffonts/pdftotext, Python's openpyxl, odfpy, csv and
// html.parser (testing/readers.h). A reader that is not installed skips its checks.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "common/numbers.h"
#include "common/texts.h"
#include "report/seriesreport.h"
#include "samplegen.h"
#include "testdata.h"
#include "testing/files.h"
#include "testing/readers.h"

using namespace zarn;
using namespace zarn::test;
using namespace Qt::StringLiterals;

namespace {

using zarn::testing::ProgramRun;
using zarn::testing::Read;
using zarn::testing::Start;

std::optional<QJsonValue> PythonRead(const QString& module, const QString& script, const QString& file) {
  return zarn::testing::PythonRead(module, script, {file});
}

const char* kOdtScript = R"(import sys, json
from odf.opendocument import load
from odf import table, text, teletype
doc = load(sys.argv[1])
# Blanks and line breaks in the XML count as one blank, none at a paragraph's ends.
def shown(e): return " ".join(teletype.extractText(e).split())
rows = [[shown(c) for c in r.getElementsByType(table.TableCell)]
        for r in doc.getElementsByType(table.TableRow)]
print(json.dumps({"v": {"title": shown(doc.getElementsByType(text.P)[0]),
                        "rows": rows}}))
)";
const char* kHtmlScript = R"(import sys, json
from html.parser import HTMLParser
class Reader(HTMLParser):
    def __init__(self):
        super().__init__()
        self.tables, self.h1, self.p, self.cur = [], [], [], None
    def handle_starttag(self, tag, attrs):
        if tag == "table": self.tables.append([])
        elif tag == "tr": self.tables[-1].append([])
        elif tag in ("td", "th", "h1", "p"): self.cur = ""
    def handle_endtag(self, tag):
        if tag in ("td", "th"): self.tables[-1][-1].append(self.cur)
        elif tag == "h1": self.h1.append(self.cur)
        elif tag == "p": self.p.append(self.cur)
        self.cur = None
    def handle_data(self, data):
        if self.cur is not None: self.cur += data
r = Reader()
r.feed(open(sys.argv[1], encoding="utf-8").read())
print(json.dumps({"v": {"tables": r.tables, "h1": r.h1, "p": r.p}}))
)";
const char* kCsvScript = R"(import sys, json, csv
raw = open(sys.argv[1], "rb").read()
print(json.dumps({"v": {"bom": raw.startswith(b"\xef\xbb\xbf"),
    "rows": list(csv.reader(raw.decode("utf-8-sig").splitlines()))}}))
)";

QStringList Strings(const QJsonValue& v) {
  QStringList out;
  for (const QJsonValue& e : v.toArray()) out.append(e.toString());
  return out;
}

struct Case {
  int series;
  int language;
  StrengthUnit unit;
  int pages;
};

class CliReport : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  // A data file with `series` generated series, and table 1's texts for it.
  QString File(int series, int language, StrengthUnit unit) {
    auto images = std::make_unique<DeviceImages>();
    sim::GenerateSample(*images, series, 7);
    const QString path = dir_.filePath(u"s%1.zarn"_s.arg(series));
    EXPECT_TRUE(WriteBytes(path, DataFileBytes(*images)));
    table_ = std::make_unique<Table1Snapshot>(images->ParamBlock.data(), images->DataImage.data(),
                                              uint32_t(series), language, unit);
    return path;
  }

  // The lines as the report prints them: the number, then table 1's row n + 2.
  QList<QStringList> Rows() const {
    QList<QStringList> rows;
    for (int n = 0; n + 2 < table_->RowCount(); ++n) {
      QStringList row{QString::number(n + 1)};
      for (int c = 1; c < kSeriesColumns; ++c) row.append(table_->Cells(c, n + 2));
      rows.append(row);
    }
    return rows;
  }

  // zarn26-cli report with no display at all, as on a server.
  ProgramRun Report(const QStringList& args, const QString& shellPrefix = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
      env.remove(QString::fromLatin1(name));
    env.insert(u"HOME"_s, dir_.path());
    env.insert(u"XDG_CONFIG_HOME"_s, dir_.filePath(u"config"_s));
    const QStringList all = QStringList{u"report"_s} + args;
    if (shellPrefix.isEmpty()) return Start(QStringLiteral(ZARN_CLI), all, env);
    return Start(u"/bin/sh"_s, QStringList{u"-c"_s, shellPrefix + u"; exec \"$0\" \"$@\""_s,
                                           QStringLiteral(ZARN_CLI)} + all, env);
  }

  QString Write(const QString& file, const Case& c, const QString& format) {
    const QString out = dir_.filePath(u"out."_s + format);
    const ProgramRun r = Report({file, u"--lang"_s, c.language == kEnglish ? u"en"_s : u"ru"_s, u"--unit"_s,
                          c.unit == StrengthUnit::MPa ? u"mpa"_s : u"kgf"_s, u"--format"_s, format,
                          u"-o"_s, out});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty() && r.err.isEmpty()) << r.err.toStdString();
    return out;
  }

  QTemporaryDir dir_;
  std::unique_ptr<Table1Snapshot> table_;
};

QStringList Headings(int language, StrengthUnit unit) {
  const bool en = language == kEnglish;
  const bool mpa = unit == StrengthUnit::MPa;
  return {u"№"_s,
          en ? u"Date"_s : u"Дата"_s,
          en ? u"Time"_s : u"Время"_s,
          en ? (mpa ? u"Strength, MPa"_s : u"Strength, kgs/sm2"_s)
             : (mpa ? u"Прочность, МПа"_s : u"Прочность, кгс/см2"_s),
          en ? u"Material"_s : u"Материал"_s,
          en ? u"Object"_s : u"Объект"_s,
          en ? u"Variation, %"_s : u"K вариации, %"_s,
          en ? u"Sving"_s : u"Размах"_s,
          en ? u"Impacts"_s : u"Ударов"_s};
}

QString Title(int language) {
  return language == kEnglish ? u"Meassured strength values"_s : u"Измеренные значения прочности"_s;
}

// pdftotext -raw prints a line's cells separated by one blank, empty cells not at all.
QString RawLine(const QStringList& cells) {
  QStringList shown;
  for (const QString& c : cells) {
    if (!c.isEmpty()) shown.append(c);
  }
  return shown.join(u' ');
}

}  // namespace

// What the pages of a report show: the title, the headings and every line.
struct Shown {
  QString title;
  QString headings;
  QList<QStringList> rows;
  int pages;
};

Shown ShownBy(const Case& c, const QList<QStringList>& rows) {
  return {Title(c.language), Headings(c.language, c.unit).join(u' '), rows, c.pages};
}

// The text of every page of a PDF, as pdftotext -raw reads it, against what the
// report's pages show: the title on page 1 only, the headings on every page, the lines
// in order, the page number at the bottom from page 2 on.
void ExpectPages(const QString& pdf, const Shown& shown) {
  const auto info = Read(u"pdfinfo"_s, {pdf});
  if (!info) return;
  EXPECT_TRUE(info->contains("Pages:           " + QByteArray::number(shown.pages) + "\n")) << info->data();
  EXPECT_TRUE(info->contains(" pts (A4)")) << info->data();
  qsizetype next = 0;
  for (int p = 1; p <= shown.pages; ++p) {
    const QString page = QString::fromUtf8(
        Read(u"pdftotext"_s, {u"-raw"_s, u"-f"_s, QString::number(p), u"-l"_s, QString::number(p), pdf, u"-"_s})
            .value_or(""));
    QStringList lines = page.split(u'\n', Qt::SkipEmptyParts);
    if (!lines.isEmpty() && lines.last() == u"\f") lines.removeLast();
    ASSERT_GE(lines.size(), 2) << p;
    if (p == 1) {
      EXPECT_EQ(lines.takeFirst(), shown.title);
    }
    EXPECT_EQ(lines.takeFirst(), shown.headings) << p;
    if (p > 1) {
      EXPECT_EQ(lines.takeLast(), u"- %1 -"_s.arg(p));
    }
    EXPECT_FALSE(page.contains(shown.title) && p > 1);
    for (const QString& line : lines) {
      ASSERT_LT(next, shown.rows.size()) << "page " << p;
      EXPECT_EQ(line, RawLine(shown.rows[next])) << "line " << next + 1 << ", page " << p;
      ++next;
    }
  }
  EXPECT_EQ(next, shown.rows.size());
}

// The fonts of a PDF: every one embedded; their names.
QStringList Fonts(const QString& pdf) {
  QStringList names;
  const QList<QByteArray> lines = Read(u"pdffonts"_s, {pdf}).value_or("").split('\n').mid(2);
  // name type encoding emb sub uni object-number generation
  const QRegularExpression columns(u"^(\\S+) .* (yes|no) +(yes|no) +(yes|no) +\\d+ +\\d+ *$"_s);
  for (const QByteArray& line : lines) {
    if (line.trimmed().isEmpty()) continue;
    const QRegularExpressionMatch m = columns.match(QString::fromUtf8(line));
    EXPECT_TRUE(m.hasMatch() && m.captured(2) == u"yes") << line.data();
    names.append(m.captured(1));
  }
  return names;
}

TEST_F(CliReport, PdfPagesHeadingsAndEveryRowInBothLanguagesAndUnits) {
  const Case cases[] = {{3, kRussian, StrengthUnit::MPa, 1},
                        {3, kEnglish, StrengthUnit::Kgf, 1},
                        {60, kRussian, StrengthUnit::Kgf, 2},
                        {160, kEnglish, StrengthUnit::MPa, 4}};
  if (!zarn::testing::Installed(u"pdfinfo"_s)) GTEST_SKIP() << "pdfinfo (poppler-utils) is not installed";
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.series << " series, language " << c.language);
    const QString pdf = Write(File(c.series, c.language, c.unit), c, u"pdf"_s);
    EXPECT_TRUE(Read(u"pdfinfo"_s, {pdf})->contains(("Title:           " + Title(c.language)).toUtf8()));
    Fonts(pdf);
    ExpectPages(pdf, ShownBy(c, Rows()));
  }
}

// LibreOffice Writer lays the ODT out on the PDF's pages: the same count, the title on
// page 1, the headings at the top of every page, the same lines on each, "- N -" from
// page 2 on, in Times New Roman's stand-in; full pages (50 lines on page 1, 52 on the
// others) and a last page of one line.
TEST_F(CliReport, LibreOfficeLaysTheOdtOutOnThePdfsPages) {
  if (!zarn::testing::LibreOffice::IsInstalled()) GTEST_SKIP() << "LibreOffice is not installed";
  const Case cases[] = {{154, kRussian, StrengthUnit::MPa, 3}, {103, kEnglish, StrengthUnit::Kgf, 3}};
  QStringList documents;
  std::vector<Shown> shown;
  const QString folder = dir_.filePath(u"office"_s);
  QDir(dir_.path()).mkpath(u"office"_s);
  for (const Case& c : cases) {
    const QString file = File(c.series, c.language, c.unit);
    shown.push_back(ShownBy(c, Rows()));
    ExpectPages(Write(file, c, u"pdf"_s), shown.back());
    documents.append(folder + u"/r%1.odt"_s.arg(c.series));
    ASSERT_TRUE(QFile::rename(Write(file, c, u"odt"_s), documents.back()));
  }
  // The template's widths in mm and the report's font, named as such.
  const auto content = zarn::testing::PythonRead(
      u"zipfile"_s,
      uR"py(import sys, json, re, zipfile
x = zipfile.ZipFile(sys.argv[1]).read("content.xml").decode()
print(json.dumps({"v": {"widths": re.findall(r'style:column-width="([^"]+)"', x),
                        "fonts": sorted(set(re.findall(r'style:font-name="([^"]+)"', x)))}}))
)py"_s,
      {documents[0]});
  ASSERT_TRUE(content);
  EXPECT_EQ(Strings(content->toObject()[u"fonts"]), QStringList{u"Times New Roman"_s});
  for (const char16_t* w : {u"11mm", u"16mm", u"14mm", u"26mm", u"36mm", u"31mm", u"23mm", u"185mm"})
    EXPECT_TRUE(Strings(content->toObject()[u"widths"]).contains(QString::fromUtf16(w))) << QString::fromUtf16(w).toStdString();
  zarn::testing::LibreOffice office;
  ASSERT_TRUE(office.Convert(documents, u"pdf"_s, folder));
  for (size_t i = 0; i < shown.size(); ++i) {
    SCOPED_TRACE(documents[qsizetype(i)].toStdString());
    const QString pdf = folder + u"/r%1.pdf"_s.arg(cases[i].series);
    ExpectPages(pdf, shown[i]);
    for (const QString& font : Fonts(pdf)) EXPECT_TRUE(font.contains(u"LiberationSerif"_s)) << font.toStdString();
  }
}

// LibreOffice Writer takes the RTF as the PDF's pages, and LibreOffice Calc reads the
// ODS as the XLSX's sheet: the same cells, numbers as numbers, texts as texts.
TEST_F(CliReport, LibreOfficeReadsTheRtfAsThePdfsPagesAndTheOdsAsTheXlsxsSheet) {
  if (!zarn::testing::LibreOffice::IsInstalled()) GTEST_SKIP() << "LibreOffice is not installed";
  const Case c{154, kEnglish, StrengthUnit::Kgf, 3};
  const QString file = File(c.series, c.language, c.unit);
  const QString folder = dir_.filePath(u"office"_s);
  QDir(dir_.path()).mkpath(u"office"_s);
  const QString rtf = folder + u"/report.rtf"_s;
  const QString ods = folder + u"/sheet.ods"_s;
  ASSERT_TRUE(QFile::rename(Write(file, c, u"rtf"_s), rtf));
  ASSERT_TRUE(QFile::rename(Write(file, c, u"ods"_s), ods));
  const QString xlsx = Write(file, c, u"xlsx"_s);
  zarn::testing::LibreOffice office;
  ASSERT_TRUE(office.Convert({rtf}, u"pdf"_s, folder));
  ExpectPages(folder + u"/report.pdf"_s, ShownBy(c, Rows()));
  for (const QString& font : Fonts(folder + u"/report.pdf"_s))
    EXPECT_TRUE(font.contains(u"LiberationSerif"_s)) << font.toStdString();

  ASSERT_TRUE(office.Convert({ods}, u"xlsx"_s, folder));
  const QString script = QString::fromLatin1(zarn::testing::kXlsxCellsScript);
  const auto fromOds = zarn::testing::PythonRead(u"openpyxl"_s, script, {folder + u"/sheet.xlsx"_s});
  if (!fromOds) GTEST_SKIP() << "python3-openpyxl is not installed";
  const QJsonArray got = fromOds->toArray();
  EXPECT_EQ(got, zarn::testing::PythonRead(u"openpyxl"_s, script, {xlsx})->toArray());
  ASSERT_EQ(got.size(), c.series + 2);
  int numbers = 0;
  for (const QJsonValue& row : got) {
    for (const QJsonValue& cell : row.toArray()) numbers += cell.isDouble();
  }
  EXPECT_GT(numbers, c.series * 4);
}

TEST_F(CliReport, SpreadsheetTextHtmlAndCsvReadBackCellByCell) {
  const Case c{60, kEnglish, StrengthUnit::Kgf, 2};
  const QString file = File(c.series, c.language, c.unit);
  const QList<QStringList> rows = Rows();
  const QStringList headings = Headings(c.language, c.unit);

  // XLSX: the title, the headings, then the lines; numbers where table 1 shows one.
  if (const auto sheet = PythonRead(u"openpyxl"_s, QString::fromLatin1(zarn::testing::kXlsxCellsScript), Write(file, c, u"xlsx"_s))) {
    const QJsonArray got = sheet->toArray();
    ASSERT_EQ(got.size(), rows.size() + 2);
    EXPECT_EQ(got[0].toArray()[0].toString(), Title(c.language));
    EXPECT_EQ(Strings(got[1]), headings);
    int asNumbers = 0;
    for (qsizetype r = 0; r < rows.size(); ++r) {
      const QJsonArray cells = got[r + 2].toArray();
      ASSERT_EQ(cells.size(), kSeriesColumns);
      for (int col = 0; col < kSeriesColumns; ++col) {
        const QString& text = rows[r][col];
        const bool numberColumn = kSeriesNumberColumns.Has(col);
        const std::optional<double> number = numberColumn ? ParseNumber(text) : std::nullopt;
        if (number) {
          ASSERT_TRUE(cells[col].isDouble()) << r << "," << col << " " << text.toStdString();
          EXPECT_DOUBLE_EQ(cells[col].toDouble(), *number);
          ++asNumbers;
        } else if (text.isEmpty()) {
          EXPECT_TRUE(cells[col].isNull());
        } else {
          EXPECT_EQ(cells[col].toString(), text) << r << "," << col;
        }
      }
    }
    EXPECT_GT(asNumbers, 60 * 4);
  }
  // ODT: the title, then per page the heading row and that page's lines.
  if (const auto odt = PythonRead(u"odf"_s, QString::fromUtf8(kOdtScript), Write(file, c, u"odt"_s))) {
    EXPECT_EQ(odt->toObject()[u"title"].toString(), Title(c.language));
    const QJsonArray got = odt->toObject()[u"rows"].toArray();
    ASSERT_EQ(got.size(), 1 + c.pages + rows.size());
    EXPECT_EQ(Strings(got[0]), QStringList{Title(c.language)});
    QList<QStringList> lines;
    int headingRows = 0;
    for (qsizetype r = 1; r < got.size(); ++r) {
      if (Strings(got[r]) == headings) ++headingRows;
      else lines.append(Strings(got[r]));
    }
    EXPECT_EQ(headingRows, c.pages);
    EXPECT_EQ(lines, rows);
  }
  // HTML: a table per page with the headings first, the title once, the page numbers.
  if (const auto html = PythonRead(u"html.parser"_s, QString::fromUtf8(kHtmlScript), Write(file, c, u"html"_s))) {
    const QJsonObject got = html->toObject();
    EXPECT_EQ(Strings(got[u"h1"]), QStringList{Title(c.language)});
    EXPECT_EQ(Strings(got[u"p"]), QStringList{u"- 2 -"_s});
    const QJsonArray tables = got[u"tables"].toArray();
    ASSERT_EQ(tables.size(), c.pages);
    QList<QStringList> lines;
    for (const QJsonValue& t : tables) {
      const QJsonArray trs = t.toArray();
      EXPECT_EQ(Strings(trs[0]), headings);
      for (qsizetype i = 1; i < trs.size(); ++i) lines.append(Strings(trs[i]));
    }
    EXPECT_EQ(lines, rows);
  }
  // CSV: a byte-order mark, the headings and the lines.
  if (const auto csv = PythonRead(u"csv"_s, QString::fromUtf8(kCsvScript), Write(file, c, u"csv"_s))) {
    EXPECT_TRUE(csv->toObject()[u"bom"].toBool());
    const QJsonArray got = csv->toObject()[u"rows"].toArray();
    ASSERT_EQ(got.size(), rows.size() + 1);
    EXPECT_EQ(Strings(got[0]), headings);
    // English: the numbers with a decimal point.
    for (qsizetype r = 0; r < rows.size(); ++r) {
      QStringList expected = rows[r];
      for (int col = 0; col < kSeriesColumns; ++col) {
        if (kSeriesNumberColumns.Has(col)) expected[col].replace(u',', u'.');
      }
      EXPECT_EQ(Strings(got[r + 1]), expected) << r;
    }
  }
  // --decimal comma: English texts for a spreadsheet of a decimal-comma locale.
  {
    const QString out = dir_.filePath(u"comma.csv"_s);
    const ProgramRun r = Report({file, u"--lang"_s, u"en"_s, u"--unit"_s, u"kgf"_s, u"--format"_s, u"csv"_s,
                                 u"--decimal"_s, u"comma"_s, u"-o"_s, out});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    // (Texts with a comma stay quoted, whatever the separator.)
    const QStringList lines = QString::fromUtf8(zarn::testing::ReadAll(out).mid(3)).remove(u'"').split(u"\r\n"_s);
    ASSERT_GT(lines.size(), 1);
    EXPECT_EQ(lines[0].split(u';'), headings);
    EXPECT_EQ(lines[1].split(u';'), rows[0]);  // the shown texts, decimal comma and all
  }
  // Plain text: the pages separated by a form feed, every line's cells in order.
  const QString text = QString::fromUtf8(zarn::testing::ReadAll(Write(file, c, u"txt"_s)));
  EXPECT_EQ(text.count(u'\f'), c.pages - 1);
  QList<QStringList> lines;
  for (const QString& line : text.split(u'\n')) {
    QStringList cells = line.split(u" | "_s);
    if (cells.size() != kSeriesColumns || cells[0].trimmed() == u"№") continue;
    for (QString& cell : cells) cell = cell.trimmed();
    lines.append(cells);
  }
  EXPECT_EQ(lines, rows);
}

TEST_F(CliReport, BadInputAndFailedWritesSayWhyAndKeepTheOldFile) {
  const QString file = File(3, kRussian, StrengthUnit::MPa);
  const QString out = dir_.filePath(u"old.pdf"_s);
  const QStringList usage[] = {
      {},
      {file},
      {file, u"--format"_s, u"pdf"_s},
      {file, u"-o"_s, out},
      {file, u"--format"_s, u"xls"_s, u"-o"_s, out},
      {file, u"--lang"_s, u"de"_s, u"--format"_s, u"pdf"_s, u"-o"_s, out},
      {file, u"--unit"_s, u"psi"_s, u"--format"_s, u"pdf"_s, u"-o"_s, out},
      {file, file, u"--format"_s, u"pdf"_s, u"-o"_s, out},
      {file, u"--bogus"_s, u"--format"_s, u"pdf"_s, u"-o"_s, out},
      {file, u"--decimal"_s, u"comma"_s, u"--format"_s, u"pdf"_s, u"-o"_s, out},
  };
  for (const QStringList& args : usage) {
    const ProgramRun r = Report(args);
    EXPECT_EQ(r.code, 2) << args.join(u' ').toStdString();
    EXPECT_TRUE(r.err.contains("usage: zarn26-cli report")) << r.err.toStdString();
  }
  // Unreadable or damaged files, and a file without series.
  ASSERT_TRUE(WriteBytes(dir_.filePath(u"damaged.zarn"_s), "not a data file"));
  auto empty = std::make_unique<DeviceImages>();
  ASSERT_TRUE(WriteBytes(dir_.filePath(u"empty.zarn"_s), DataFileBytes(*empty)));
  const struct {
    QString file;
    int code;
    QByteArray says;
  } files[] = {{dir_.filePath(u"missing.zarn"_s), 3, "missing.zarn"},
               {dir_.filePath(u"damaged.zarn"_s), 3, "damaged.zarn"},
               {dir_.filePath(u"empty.zarn"_s), 4, "no series"}};
  for (const auto& f : files) {
    const ProgramRun r = Report({f.file, u"--format"_s, u"pdf"_s, u"-o"_s, out});
    EXPECT_EQ(r.code, f.code) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(f.says)) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(out));
  }
  // Failed writes: exit 1 with the reason, the old file as it was, no temporary left.
  ASSERT_TRUE(zarn::testing::WriteAll(out, "old report"));
  const QString locked = dir_.filePath(u"locked.pdf"_s);
  ASSERT_TRUE(zarn::testing::WriteAll(locked, "old report"));
  ASSERT_TRUE(zarn::testing::WriteAll(dir_.filePath(u".~lock.locked.pdf#"_s), "lock"));
  QDir(dir_.path()).mkdir(u"readonly"_s);
  const QString readonlyOut = dir_.filePath(u"readonly/old.pdf"_s);
  ASSERT_TRUE(zarn::testing::WriteAll(readonlyOut, "old report"));
  QFile::setPermissions(dir_.filePath(u"readonly"_s), QFile::ReadOwner | QFile::ExeOwner);
  const struct {
    QString out;
    QString prefix;
    QByteArray says;
    bool skipAsRoot;
  } writes[] = {
      {out, u"ulimit -f 4"_s, "larger than allowed", false},  // a file-size limit, as a full disk
      {locked, {}, "open in another program", false},
      {readonlyOut, {}, "no permission", true},
      {dir_.filePath(u"no/such/folder.pdf"_s), {}, "folder.pdf", false},
  };
  for (const auto& w : writes) {
    if (w.skipAsRoot && ::geteuid() == 0) continue;  // root writes into any folder
    const ProgramRun r = Report({file, u"--lang"_s, u"en"_s, u"--format"_s, u"pdf"_s, u"-o"_s, w.out}, w.prefix);
    EXPECT_EQ(r.code, 1) << w.out.toStdString() << ": " << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(w.says)) << r.err.toStdString();
    if (QFile::exists(w.out)) {
      EXPECT_EQ(zarn::testing::ReadAll(w.out), "old report");
    }
  }
  QFile::setPermissions(dir_.filePath(u"readonly"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  const QStringList left = QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden);
  EXPECT_EQ(left, (QStringList{u".~lock.locked.pdf#"_s, u"damaged.zarn"_s, u"empty.zarn"_s,
                               u"locked.pdf"_s, u"old.pdf"_s, u"s3.zarn"_s}));
}

// A prepared report written by --format prepared gives the same pages again with no
// data file: the same PDF (its date aside) and the same text; a damaged one is refused
// with the program's message for an unreadable file.
TEST_F(CliReport, PreparedReportGivesTheSamePagesAgain) {
  const Case c{60, kEnglish, StrengthUnit::Kgf, 2};
  const QString file = File(c.series, c.language, c.unit);
  const QString prepared = Write(file, c, u"prepared"_s);
  const QString direct = dir_.filePath(u"direct.pdf"_s);
  ASSERT_TRUE(QFile::rename(Write(file, c, u"pdf"_s), direct));
  QFile::remove(file);  // no data file from here on
  auto withoutDate = [](QByteArray bytes) {
    const qsizetype at = bytes.indexOf("/CreationDate (D:");
    if (at >= 0) bytes.remove(at, bytes.indexOf(')', at) - at);
    return bytes;
  };
  const QString again = dir_.filePath(u"again.pdf"_s);
  // Russian asked for: the pages stay in the language they were made in.
  ProgramRun r = Report({prepared, u"--lang"_s, u"ru"_s, u"--format"_s, u"pdf"_s, u"-o"_s, again});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_EQ(withoutDate(zarn::testing::ReadAll(again)), withoutDate(zarn::testing::ReadAll(direct)));
  const QString text = dir_.filePath(u"again.txt"_s);
  ASSERT_EQ(Report({prepared, u"--format"_s, u"txt"_s, u"-o"_s, text}).code, 0);
  EXPECT_EQ(QString::fromUtf8(zarn::testing::ReadAll(text)).count(u'\f'), c.pages - 1);

  QByteArray damaged = zarn::testing::ReadAll(prepared);
  damaged.chop(1);
  ASSERT_TRUE(WriteBytes(dir_.filePath(u"cut.repzarn"_s), damaged));
  r = Report({dir_.filePath(u"cut.repzarn"_s), u"--lang"_s, u"en"_s, u"--format"_s, u"pdf"_s, u"-o"_s, again});
  EXPECT_EQ(r.code, 3);
  EXPECT_TRUE(r.err.contains("File is not readable or damaged: cut.repzarn")) << r.err.toStdString();
}

// Series sheets from zarn26-cli: a page per chosen series, read back by pdftotext (the
// sheet's texts) and drawn by pdftoppm (the chart's curves); a --series list the file
// cannot satisfy, or that is no list, is refused naming what is wrong.
TEST_F(CliReport, SeriesSheetsShowTheirSeriesAndRefuseBadLists) {
  const QString file = File(12, kEnglish, StrengthUnit::MPa);
  // The series by the numbers table 1 shows: those of its rows 1, 3 and 4 (0-based).
  auto number = [this](int index) { return table_->Cells(0, index + 2).toUInt(); };
  ASSERT_EQ(number(4), number(3) + 1);
  const QString pdf = dir_.filePath(u"sheets.pdf"_s);
  ProgramRun r = Report({file, u"--kind"_s, u"sheets"_s, u"--series"_s, u"%1,%2-%3"_s.arg(number(1)).arg(number(3)).arg(number(4)),
                         u"--lang"_s, u"en"_s, u"--format"_s, u"pdf"_s, u"-o"_s, pdf});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  const auto text = Read(u"pdftotext"_s, {u"-layout"_s, pdf, u"-"_s});
  if (!text) GTEST_SKIP() << "poppler-utils not installed";
  const QStringList pages = QString::fromUtf8(*text).split(u'\f');  // a form feed ends every page
  ASSERT_EQ(pages.size(), 3 + 1) << text->data();
  const int rows[] = {1 + 2, 3 + 2, 4 + 2};  // table 1's rows of those series
  for (int p = 0; p < 3; ++p) {
    SCOPED_TRACE(p);
    EXPECT_TRUE(pages[p].contains(u"Series sheet No. "_s + table_->Cells(0, rows[p]))) << pages[p].toStdString();
    for (int col : {1, 2, 3}) EXPECT_TRUE(pages[p].contains(table_->Cells(col, rows[p]))) << col << pages[p].toStdString();
    for (const char* label : {"Direction", "Strength, MPa", "Variation, %", "Impacts amplitude, V", "Material coefficients",
                              "a2=", "Kf=", "Data file: s12.zarn", "Zarn-2.5/2.6 1.5.3", "Printed: "})
      EXPECT_TRUE(pages[p].contains(QString::fromUtf8(label))) << label << "\n" << pages[p].toStdString();
  }
  // The first sheet as a picture: the chart's red curves below the tables, none in the
  // header and tables (the top third; the texts are black).
  const QString png = dir_.filePath(u"sheet"_s);
  if (Read(u"pdftoppm"_s, {u"-png"_s, u"-r"_s, u"60"_s, u"-f"_s, u"1"_s, u"-l"_s, u"1"_s, u"-singlefile"_s, pdf, png})) {
    const QImage page(png + u".png"_s);
    ASSERT_FALSE(page.isNull());
    int red[2] = {0, 0};
    for (int y = 0; y < page.height(); ++y)
      for (int x = 0; x < page.width(); ++x)
        if (const QColor c = page.pixelColor(x, y); c.red() > 200 && c.green() < 90 && c.blue() < 90) ++red[y > page.height() / 3];
    EXPECT_EQ(red[0], 0);
    EXPECT_GT(red[1], 200);
  }

  // Each list's reading is the report tests' business; here: the message, the code, no file.
  const uint32_t last = number(11);
  const struct {
    QStringList args;
    int code;
    QString message;
  } bad[] = {
      {{u"--kind"_s, u"sheets"_s, u"--series"_s, u"9-7"_s}, 2, u"--series 9-7: the range 9-7 runs backwards (write 7-9)"_s},
      {{u"--kind"_s, u"sheets"_s, u"--series"_s, u"%1-%2,9999"_s.arg(last - 1).arg(last + 2)}, 4,
       u"--series %1-%2,9999: the file holds no series %3-%2, 9999 (it holds %4-%5)"_s.arg(last - 1).arg(last + 2).arg(last + 1).arg(number(0)).arg(last)},
      {{u"--series"_s, u"3"_s}, 2, u"--series goes with --kind sheets only"_s},
      {{u"--kind"_s, u"pages"_s}, 2, u"--kind takes report or sheets, not \"pages\""_s},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(b.message.toStdString());
    const QString out = dir_.filePath(u"bad.pdf"_s);
    r = Report(QStringList{file} + b.args + QStringList{u"--format"_s, u"pdf"_s, u"-o"_s, out});
    EXPECT_EQ(r.code, b.code);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(b.message)) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(out));
  }
}
