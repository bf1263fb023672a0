#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "common/numbers.h"
#include "common/texts.h"
#include "data/presenters.h"
#include "materials/materialsfile.h"
#include "objects/objectsfile.h"
#include "samplegen.h"
#include "testdata.h"
#include "testing/readers.h"
#include "testing/clirun.h"

using zarn::testing::CliRun;

using namespace zarn;
using namespace zarn::test;
using namespace Qt::StringLiterals;

namespace {

// A simple RFC 4180 reader for the checks: quoted fields, doubled quotes, CRLF records.
QList<QStringList> ParseCsv(const QString& text, QChar separator = u',') {
  QList<QStringList> rows;
  QStringList row;
  QString field;
  bool quoted = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (quoted) {
      if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
        field += u'"';
        ++i;
      } else if (c == u'"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == u'"') {
      quoted = true;
    } else if (c == separator) {
      row.append(field);
      field.clear();
    } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      row.append(field);
      field.clear();
      rows.append(row);
      row.clear();
      ++i;
    } else {
      field += c;
    }
  }
  return rows;
}

QList<QStringList> ParseTsv(const QString& text) {
  QList<QStringList> rows;
  QStringList lines = text.split(u"\r\n"_s);
  lines.removeLast();
  for (const QString& l : lines) rows.append(l.split(u'\t'));
  return rows;
}

TestProcess Sample(int i) {
  TestProcess t;
  t.number = 20013 + uint32_t(i);
  t.blowCount = uint16_t(3 + i);
  t.blowMask = 0x7FFD;  // blow 1 gray
  t.strength = 25.3f + float(i);
  t.material = i == 1 ? u"Раствор \"М1\", сух"_s : u"Бетон"_s;
  for (int b = 0; b < 15; ++b) {
    TestBlow& w = t.blows[size_t(b)];
    w.direction = int8_t(b % 3);
    w.firstSample = int8_t(5 + b);
    w.deltas[0] = 3;
    w.deltas[1] = -20;
    w.impactAmplitude = 1.5f + float(b);
  }
  return t;
}

class CliExport : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    images_ = std::make_unique<DeviceImages>();
    for (size_t i = 0; i < images_->MaterialsBlock.size(); ++i)
      images_->MaterialsBlock[i] = uint8_t(i % 7 == 0 ? 5 : 0x41 + i % 26);
    for (size_t i = 0; i < images_->ObjectsBlock.size(); ++i)
      images_->ObjectsBlock[i] = uint8_t(i % 20 == 0 ? 4 : 0xC0 + i % 32);
    std::vector<ProcessRecordBuffer> records;
    for (int i = 0; i < 3; ++i) records.push_back(Encode(Sample(i)));
    PlaceProcesses(*images_, records);
    file_ = dir_.filePath(u"120307.1405.zarn"_s);
    ASSERT_TRUE(WriteBytes(file_, DataFileBytes(*images_)));
    QDir(dir_.path()).mkpath(u"config/zarn26"_s);
  }

  void Settings(const QByteArray& ini) {
    ASSERT_TRUE(WriteBytes(dir_.filePath(u"config/zarn26/Zarn26.ini"_s), ini));
  }

  CliRun Export(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_CONFIG_HOME"_s, dir_.filePath(u"config"_s));
    env.insert(u"HOME"_s, dir_.path());
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZARN_CLI), QStringList{u"export"_s} + args);
    return zarn::testing::FinishCli(p, 30000);
  }

  ProcessView Process(uint32_t i) {
    CopyProcess(*images_, 3, i, record_.data());
    return ProcessView(record_.data());
  }

  QString SeriesText(int language, StrengthUnit unit) {
    QList<QStringList> rows;
    for (int h = 0; h < 2; ++h) {
      const SeriesRow r = SeriesTableHeading(h, language, unit);
      rows.append(QStringList(r.begin(), r.end()));
    }
    for (uint32_t i = 0; i < 3; ++i) {
      SeriesRow r;
      FillSeriesRow(Process(i), unit, r);
      rows.append(QStringList(r.begin(), r.end()));
    }
    return TableText(rows);
  }

  QString ChartText(uint32_t i, int a, int language, StrengthUnit unit) {
    const ProcessView p = Process(i);
    std::vector<std::vector<ChartPoint>> series;
    for (const BlowCurve& c : ChartCurves(p, a)) series.push_back(c.points);
    SeriesRow row;
    FillSeriesRow(p, unit, row);
    return ChartDataText(SeriesTableHeading(0, language, unit), row, CoefficientRow(p, language),
                         ChartTitle(a, language), series, language);
  }

  QTemporaryDir dir_;
  std::unique_ptr<DeviceImages> images_;
  ProcessRecordBuffer record_{};
  QString file_;
};

}  // namespace

TEST_F(CliExport, UsageErrorsExitTwoWithNothingOnStdout) {
  const QList<QStringList> bad = {
      {},
      {file_},
      {file_, u"bogus"_s},
      {file_, u"impacts"_s},
      {file_, u"impacts"_s, u"x"_s},
      {file_, u"impacts"_s, u"-1"_s},
      {file_, u"impacts"_s, u"1"_s, u"2"_s},
      {file_, u"--lang"_s, u"de"_s, u"series"_s},
      {file_, u"--unit"_s, u"psi"_s, u"series"_s},
      {file_, u"--format"_s, u"xml"_s, u"series"_s},
      {file_, u"--lang"_s},
      {file_, u"series"_s, u"--blow"_s, u"1"_s},
      {file_, u"chart"_s, u"0"_s, u"--blow"_s, u"x"_s},
      {file_, u"materials"_s, u"--format"_s, u"csv"_s},
      {file_, u"--frobnicate"_s, u"series"_s},
      {file_, u"--format"_s, u"csv"_s, u"--decimal"_s, u"dot"_s, u"series"_s},
      {file_, u"--decimal"_s, u"comma"_s, u"series"_s},  // tsv keeps the shown texts
  };
  for (const QStringList& args : bad) {
    const CliRun r = Export(args);
    EXPECT_EQ(r.code, 2) << args.join(u' ').toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << args.join(u' ').toStdString();
    EXPECT_TRUE(r.err.contains("usage:")) << args.join(u' ').toStdString();
  }
  const CliRun help = Export({u"--help"_s});
  EXPECT_EQ(help.code, 0);
  EXPECT_TRUE(help.out.contains("PROCESS:"));
}

TEST_F(CliExport, UnreadableOrDamagedFileExitsThreeWithTheProgramsMessage) {
  CliRun r = Export({dir_.filePath(u"missing.zarn"_s), u"series"_s});
  EXPECT_EQ(r.code, 3);
  EXPECT_TRUE(r.out.isEmpty());
  EXPECT_EQ(QString::fromUtf8(r.err), u"Файл не читается или испорчен: missing.zarn\n");

  r = Export({dir_.filePath(u"missing.zarn"_s), u"--lang"_s, u"en"_s, u"series"_s});
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.err, "File is not readable or damaged: missing.zarn\n");

  const QString damaged = dir_.filePath(u"damaged.zarn"_s);
  ASSERT_TRUE(WriteBytes(damaged, DataFileBytes(*images_) + 'x'));
  Settings("[Config]\r\nLangId=Eng\r\n");
  r = Export({damaged, u"impacts"_s, u"0"_s});
  EXPECT_EQ(r.code, 3);
  EXPECT_TRUE(r.out.isEmpty());
  EXPECT_EQ(r.err, "File is not readable or damaged: damaged.zarn\n");

  r = Export({dir_.path(), u"series"_s});  // a folder
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.err, "File is not readable or damaged: " + QDir(dir_.path()).dirName().toUtf8() + "\n");
}

TEST_F(CliExport, NoSuchProcessOrBlowExitsFour) {
  const QList<QStringList> missing = {
      {file_, u"impacts"_s, u"3"_s},
      {file_, u"coefficients"_s, u"4294967296"_s},
      {file_, u"chart"_s, u"99999999999999999999999"_s},
      {file_, u"chart"_s, u"0"_s, u"--blow"_s, u"4"_s},  // process 0 has 3 blows
      {file_, u"chart"_s, u"0"_s, u"--blow"_s, u"0"_s},
      {file_, u"--format"_s, u"json"_s, u"chart"_s, u"2"_s, u"--blow=16"_s},
  };
  for (const QStringList& args : missing) {
    const CliRun r = Export(args);
    EXPECT_EQ(r.code, 4) << args.join(u' ').toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << args.join(u' ').toStdString();
    EXPECT_FALSE(r.err.isEmpty());
  }
}

TEST_F(CliExport, TsvIsTheClipboardText) {
  CliRun r = Export({file_, u"series"_s});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.err.isEmpty());
  EXPECT_EQ(QString::fromUtf8(r.out), SeriesText(kRussian, StrengthUnit::MPa));
  EXPECT_TRUE(r.out.startsWith(
      u"№\tДата\tВремя\tПрочность\tМатериал\tОбъект\tК.вариации\tРазмах\tУдаров\r\n"
      "\tд.м.г\tч:м:с\tМПа\t\t\t%\t%\t\r\n"
      "13\t07.03.12\t14:05:09\t25,3\tБетон\tМост\t12,3\t12\t3\r\n"_s.toUtf8()));

  r = Export({file_, u"--lang=en"_s, u"--unit"_s, u"kgf"_s, u"series"_s});
  EXPECT_EQ(QString::fromUtf8(r.out), SeriesText(kEnglish, StrengthUnit::Kgf));

  r = Export({file_, u"impacts"_s, u"2"_s, u"--lang"_s, u"en"_s});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(QString::fromUtf8(r.out),
            TableText(ImpactsTable(Process(2), kEnglish, StrengthUnit::MPa)));
  EXPECT_EQ(ParseTsv(QString::fromUtf8(r.out)).size(), 9);
  EXPECT_EQ(ParseTsv(QString::fromUtf8(r.out))[0].size(), 6);

  r = Export({file_, u"coefficients"_s, u"1"_s});
  EXPECT_EQ(QString::fromUtf8(r.out),
            u"Коэффициенты материала\ta2=1,230E-03\ta1=1,090E+00\ta0=-8,100E-01\tKf=1,000E+00\r\n");

  r = Export({file_, u"chart"_s, u"1"_s});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(QString::fromUtf8(r.out), ChartText(1, 0, kRussian, StrengthUnit::MPa));
  const QStringList lines = QString::fromUtf8(r.out).split(u"\r\n"_s);
  ASSERT_EQ(lines.size(), 6 + 512 + 1);
  EXPECT_EQ(lines[1], u"14\t07.03.12\t14:05:09\t26,3\tРаствор \"М1\", сух\tМост");
  EXPECT_EQ(lines[4], u"1-й удар\t\t2-й удар\t\t3-й удар\t\t4-й удар");

  r = Export({file_, u"chart"_s, u"1"_s, u"--blow"_s, u"2"_s, u"--unit"_s, u"kgf"_s});
  EXPECT_EQ(QString::fromUtf8(r.out), ChartText(1, 2, kRussian, StrengthUnit::Kgf));
  EXPECT_TRUE(r.out.contains("\r\n2-й удар\r\n\r\nt1\tU1\r\n0,00\t0,00\r\n"));
}

TEST_F(CliExport, SettingsFileGivesTheDefaults) {
  Settings("[Config]\r\nLangId=Eng\r\nDimension=kg/sm2\r\n");
  EXPECT_EQ(QString::fromUtf8(Export({file_, u"series"_s}).out), SeriesText(kEnglish, StrengthUnit::Kgf));
  Settings("[config]\r\nlangid=rus\r\ndimension=mpa\r\n");  // only "Rus" and "MPa" exactly
  EXPECT_EQ(QString::fromUtf8(Export({file_, u"series"_s}).out), SeriesText(kEnglish, StrengthUnit::Kgf));
  Settings("[Config]\r\nLangId=Rus\r\nDimension=MPa\r\n");
  EXPECT_EQ(QString::fromUtf8(Export({file_, u"series"_s}).out), SeriesText(kRussian, StrengthUnit::MPa));
  // Options win over the settings.
  Settings("[Config]\r\nLangId=Eng\r\nDimension=kg/sm2\r\n");
  EXPECT_EQ(QString::fromUtf8(Export({file_, u"--lang"_s, u"ru"_s, u"--unit"_s, u"mpa"_s, u"series"_s}).out),
            SeriesText(kRussian, StrengthUnit::MPa));
}

// The cells of a shown table that CSV writes as numbers, by row and column.
using NumberCell = std::function<bool(qsizetype row, qsizetype column)>;
const NumberCell kSeriesNumbers = [](qsizetype r, qsizetype c) { return r >= 2 && kSeriesNumberColumns.Has(int(c)); };
const NumberCell kImpactsNumbers = [](qsizetype r, qsizetype c) { return r >= 2 && c >= 1; };
const NumberCell kChartNumbers = [](qsizetype r, qsizetype c) { return (r == 1 && (c == 0 || c == 3)) || r >= 6; };

// The shown table as CSV of `dialect` gives back: its number texts in that notation.
QList<QStringList> AsCsvShows(const QString& tsv, const NumberCell& number, QChar decimal) {
  QList<QStringList> rows = ParseTsv(tsv);
  for (qsizetype r = 0; r < rows.size(); ++r) {
    for (qsizetype c = 0; c < rows[r].size(); ++c) {
      if (number(r, c) && IsNumberText(rows[r][c])) rows[r][c].replace(u',', decimal);
    }
  }
  return rows;
}

TEST_F(CliExport, CsvFollowsTheLanguagesSpreadsheetNotation) {
  const QString ruLine = u"\r\n13;07.03.12;14:05:09;25,3;Бетон;Мост;12,3;12;3\r\n"_s;
  const QString enLine = u"\r\n13,07.03.12,14:05:09,25.3,Бетон,Мост,12.3,12,3\r\n"_s;
  const struct {
    const char16_t* lang;
    int language;
    QStringList decimal;  // --decimal, overriding the language's notation
    QChar separator;
    QChar decimalMark;
    QString line;
  } cases[] = {
      {u"ru", kRussian, {}, u';', u',', ruLine},
      {u"en", kEnglish, {}, u',', u'.', enLine},
      {u"ru", kRussian, {u"--decimal"_s, u"point"_s}, u',', u'.', enLine},
      {u"en", kEnglish, {u"--decimal"_s, u"comma"_s}, u';', u',', ruLine},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE((QString::fromUtf16(c.lang) + c.decimal.join(u' ')).toStdString());
    const QString lang = QString::fromUtf16(c.lang);
    auto Export = [&](const QStringList& args) { return this->Export(QStringList{u"--lang"_s, lang} + c.decimal + args); };
    CliRun r = Export({file_, u"--format"_s, u"csv"_s, u"series"_s});
    EXPECT_EQ(r.code, 0);
    ASSERT_TRUE(r.out.startsWith("\xEF\xBB\xBF"));
    const QString csv = QString::fromUtf8(r.out.mid(3));
    EXPECT_EQ(ParseCsv(csv, c.separator), AsCsvShows(SeriesText(c.language, StrengthUnit::MPa), kSeriesNumbers, c.decimalMark));
    EXPECT_TRUE(csv.contains(c.line)) << csv.toStdString();
    // A text with a quote and a comma is quoted, its quotes doubled; numbers never are.
    EXPECT_TRUE(csv.contains(c.separator + u"\"Раствор \"\"М1\"\", сух\""_s + c.separator));
    EXPECT_EQ(csv.count(u'\n'), csv.count(u"\r\n"_s));

    r = Export({file_, u"--format"_s, u"csv"_s, u"chart"_s, u"0"_s, u"--blow"_s, u"3"_s});
    EXPECT_EQ(ParseCsv(QString::fromUtf8(r.out.mid(3)), c.separator),
              AsCsvShows(ChartText(0, 3, c.language, StrengthUnit::MPa), kChartNumbers, c.decimalMark));
    r = Export({file_, u"--format"_s, u"csv"_s, u"impacts"_s, u"0"_s});
    EXPECT_EQ(ParseCsv(QString::fromUtf8(r.out.mid(3)), c.separator),
              AsCsvShows(TableText(ImpactsTable(Process(0), c.language, StrengthUnit::MPa)), kImpactsNumbers,
                         c.decimalMark));
  }
  // The clipboard's text is what the tables show, whatever the language.
  EXPECT_EQ(QString::fromUtf8(Export({file_, u"--lang"_s, u"en"_s, u"series"_s}).out),
            SeriesText(kEnglish, StrengthUnit::MPa));
}

// LibreOffice Calc, set to each language's locale, reads the CSV files of both
// languages: every number cell is the number shown, every other cell the text shown.
TEST_F(CliExport, LibreOfficeReadsEveryCsvNumberAsTheNumberShown) {
  if (!zarn::testing::LibreOffice::IsInstalled()) GTEST_SKIP() << "LibreOffice is not installed";
  zarn::testing::LibreOffice office;
  const struct {
    const char16_t* lang;
    int language;
    const char* filter;  // separator, quote, UTF-8, from line 1, default columns, locale
  } locales[] = {{u"en", kEnglish, "CSV:44,34,76,1,,1033"}, {u"ru", kRussian, "CSV:59,34,76,1,,1049"}};
  for (const auto& l : locales) {
    const QString lang = QString::fromUtf16(l.lang);
    SCOPED_TRACE(lang.toStdString());
    const struct {
      QString name;
      QStringList args;
      QString shown;
      NumberCell number;
    } tables[] = {
        {u"series"_s, {u"series"_s}, SeriesText(l.language, StrengthUnit::MPa), kSeriesNumbers},
        {u"impacts"_s, {u"impacts"_s, u"1"_s}, TableText(ImpactsTable(Process(1), l.language, StrengthUnit::MPa)),
         kImpactsNumbers},
        {u"chart"_s, {u"chart"_s, u"2"_s}, ChartText(2, 0, l.language, StrengthUnit::MPa), kChartNumbers},
    };
    const QString folder = dir_.filePath(lang);
    QDir(dir_.path()).mkpath(lang);
    QStringList files;
    for (const auto& t : tables) {
      const CliRun r = Export(QStringList{file_, u"--lang"_s, lang, u"--format"_s, u"csv"_s} + t.args);
      ASSERT_EQ(r.code, 0);
      files.append(folder + u'/' + t.name + u".csv"_s);
      ASSERT_TRUE(WriteBytes(files.back(), r.out));
    }
    ASSERT_TRUE(office.Convert(files, u"xlsx"_s, folder, QString::fromLatin1(l.filter)));
    for (const auto& t : tables) {
      SCOPED_TRACE(t.name.toStdString());
      const auto read = zarn::testing::PythonRead(u"openpyxl"_s, QString::fromLatin1(zarn::testing::kXlsxCellsScript),
                                                  {folder + u'/' + t.name + u".xlsx"_s});
      if (!read) GTEST_SKIP() << "python3-openpyxl is not installed";
      const QJsonArray got = read->toArray();
      const QList<QStringList> shown = ParseTsv(t.shown);
      ASSERT_EQ(got.size(), shown.size());
      int numbers = 0;
      for (qsizetype r = 0; r < shown.size(); ++r) {
        const QJsonArray cells = got[r].toArray();
        for (qsizetype c = 0; c < shown[r].size(); ++c) {
          const QString& text = shown[r][c];
          const QJsonValue value = cells[c];
          if (t.number(r, c) && IsNumberText(text)) {
            ASSERT_TRUE(value.isDouble()) << r << "," << c << " " << text.toStdString();
            EXPECT_DOUBLE_EQ(value.toDouble(), *ParseNumber(text)) << r << "," << c;
            ++numbers;
          } else if (text.isEmpty()) {
            EXPECT_TRUE(value.isNull()) << r << "," << c;
          } else if (QRegularExpression(u"^\\d\\d[.:]\\d\\d[.:]\\d\\d$"_s).match(text).hasMatch()) {
            // A date or a time: read as one where the locale knows the notation.
            EXPECT_TRUE(value.isString()) << r << "," << c;
          } else {
            EXPECT_EQ(value.toString(), text) << r << "," << c;
          }
        }
      }
      EXPECT_GT(numbers, 8);
    }
  }
}

TEST_F(CliExport, JsonHasTheRawValues) {
  CliRun r = Export({file_, u"--format"_s, u"json"_s, u"series"_s});
  EXPECT_EQ(r.code, 0);
  QJsonParseError error;
  QJsonDocument doc = QJsonDocument::fromJson(r.out, &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
  QJsonObject root = doc.object();
  EXPECT_EQ(root[u"file"].toString(), u"120307.1405.zarn");
  EXPECT_EQ(root[u"processCount"].toInt(), 3);
  const QJsonArray processes = root[u"processes"].toArray();
  ASSERT_EQ(processes.size(), 3);
  const QJsonObject p1 = processes[1].toObject();
  EXPECT_EQ(p1[u"index"].toInt(), 1);
  EXPECT_EQ(p1[u"number"].toInt(), 20014);
  EXPECT_EQ(p1[u"material"].toString(), u"Раствор \"М1\", сух");
  EXPECT_EQ(float(p1[u"strengthMPa"].toDouble()), 26.3f);
  EXPECT_TRUE(r.out.contains("\"strengthMPa\":26.3,"));  // shortest form of the float
  EXPECT_EQ(p1[u"variationTenths"].toInt(), 123);
  EXPECT_EQ(p1[u"blowCount"].toInt(), 4);
  EXPECT_EQ(p1[u"blowMask"].toInt(), 0x7FFD);
  EXPECT_EQ(p1[u"year"].toInt(), 12);
  EXPECT_EQ(float(p1[u"a2"].toDouble()), 0.00123f);

  r = Export({file_, u"--format=json"_s, u"impacts"_s, u"1"_s});
  doc = QJsonDocument::fromJson(r.out, &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError);
  const QJsonObject process = doc.object()[u"process"].toObject();
  EXPECT_EQ(process[u"index"].toInt(), 1);
  const QJsonArray blows = process[u"blows"].toArray();
  ASSERT_EQ(blows.size(), 4);
  const QJsonObject b2 = blows[2].toObject();
  EXPECT_EQ(b2[u"blow"].toInt(), 3);
  EXPECT_EQ(b2[u"direction"].toInt(), 2);
  EXPECT_EQ(b2[u"impactAmplitude"].toDouble(), 3.5);
  const QJsonArray samples = b2[u"samples"].toArray();
  ASSERT_EQ(samples.size(), 511);
  EXPECT_EQ(samples[0].toInt(), 7);
  EXPECT_EQ(samples[1].toInt(), 10);
  EXPECT_EQ(samples[2].toInt(), -10);
  EXPECT_EQ(samples[510].toInt(), -10);

  r = Export({file_, u"--format"_s, u"json"_s, u"coefficients"_s, u"0"_s});
  doc = QJsonDocument::fromJson(r.out, &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError);
  EXPECT_EQ(float(doc.object()[u"a1"].toDouble()), 1.09f);
  EXPECT_EQ(float(doc.object()[u"a0"].toDouble()), -0.81f);

  r = Export({file_, u"--format"_s, u"json"_s, u"chart"_s, u"0"_s});
  doc = QJsonDocument::fromJson(r.out, &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError);
  EXPECT_TRUE(doc.object()[u"blow"].isNull());
  const QJsonArray curves = doc.object()[u"curves"].toArray();
  ASSERT_EQ(curves.size(), 3);
  EXPECT_EQ(curves[0].toObject()[u"blow"].toInt(), 2);  // the gray blow first
  EXPECT_TRUE(curves[0].toObject()[u"gray"].toBool());
  EXPECT_EQ(curves[1].toObject()[u"series"].toInt(), 2);
  const QJsonArray points = curves[0].toObject()[u"points"].toArray();
  ASSERT_EQ(points.size(), 512);
  EXPECT_EQ(points[2].toArray()[1].toDouble(), 2.5);  // the peak equals the amplitude

  r = Export({file_, u"--format"_s, u"json"_s, u"chart"_s, u"0"_s, u"--blow"_s, u"3"_s});
  doc = QJsonDocument::fromJson(r.out, &error);
  EXPECT_EQ(doc.object()[u"blow"].toInt(), 3);
  EXPECT_EQ(doc.object()[u"curves"].toArray().size(), 1);
}

TEST_F(CliExport, MaterialsAndObjectsFileTexts) {
  CliRun r = Export({file_, u"materials"_s});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(QString::fromUtf8(r.out), MaterialsFileText(images_->MaterialsBlock.data()));
  EXPECT_TRUE(r.out.startsWith("[Mt000]\r\n"));
  r = Export({file_, u"objects"_s, u"--lang"_s, u"en"_s});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(QString::fromUtf8(r.out), ObjectsFileText(images_->ObjectsBlock.data()));
  EXPECT_TRUE(r.out.startsWith("[Names]\r\n"));
}

TEST_F(CliExport, FileWithoutProcesses) {
  auto empty = std::make_unique<DeviceImages>();
  const QString path = dir_.filePath(u"empty.zarn"_s);
  ASSERT_TRUE(WriteBytes(path, DataFileBytes(*empty)));
  CliRun r = Export({path, u"series"_s, u"--lang"_s, u"en"_s});
  EXPECT_EQ(r.code, 0);
  // Table 1 keeps one empty row below its headings.
  EXPECT_EQ(r.out,
            "№\tDate\tTime\tStrength\tMaterial\tObject\tVariation\tSving\tImpacts\r\n"
            "\td:m:y\th:m:s\tMPa\t\t\t%\t%\t\r\n"
            "\t\t\t\t\t\t\t\t\r\n");
  r = Export({path, u"impacts"_s, u"0"_s});
  EXPECT_EQ(r.code, 4);
  EXPECT_TRUE(r.out.isEmpty());
  r = Export({path, u"--format"_s, u"json"_s, u"series"_s});
  EXPECT_EQ(QJsonDocument::fromJson(r.out).object()[u"processes"].toArray().size(), 0);
}

TEST_F(CliExport, ProcessWithoutBlowsHasNoChartData) {
  TestProcess t;
  t.blowCount = 0;
  auto images = std::make_unique<DeviceImages>();
  PlaceProcesses(*images, {Encode(t)});
  const QString path = dir_.filePath(u"noblows.zarn"_s);
  ASSERT_TRUE(WriteBytes(path, DataFileBytes(*images)));
  CliRun r = Export({path, u"chart"_s, u"0"_s});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.out.isEmpty());
  EXPECT_FALSE(r.err.isEmpty());
  r = Export({path, u"chart"_s, u"0"_s, u"--blow"_s, u"1"_s});
  EXPECT_EQ(r.code, 4);
  r = Export({path, u"impacts"_s, u"0"_s});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(ParseTsv(QString::fromUtf8(r.out))[0].size(), 2);
}

TEST_F(CliExport, RealisticFullMemory) {
  // 2688 generated series: the whole table, the last process's chart and the JSON agree
  // with the texts computed here.
  auto images = std::make_unique<DeviceImages>();
  zarn::sim::GenerateSample(*images, 2688, 7);
  const QString path = dir_.filePath(u"full.zarn"_s);
  ASSERT_TRUE(WriteBytes(path, DataFileBytes(*images)));
  const uint32_t count = CountProcesses(images->ParamBlock.data());
  ASSERT_EQ(count, 2688u);

  QList<QStringList> rows;
  for (int h = 0; h < 2; ++h) {
    const SeriesRow r = SeriesTableHeading(h, kEnglish, StrengthUnit::Kgf);
    rows.append(QStringList(r.begin(), r.end()));
  }
  ProcessRecordBuffer record{};
  SeriesRow row;
  for (uint32_t i = 0; i < count; ++i) {
    CopyProcess(*images, count, i, record.data());
    FillSeriesRow(ProcessView(record.data()), StrengthUnit::Kgf, row);
    rows.append(QStringList(row.begin(), row.end()));
  }
  CliRun r = Export({path, u"--lang"_s, u"en"_s, u"--unit"_s, u"kgf"_s, u"series"_s});
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(QString::fromUtf8(r.out), TableText(rows));

  CopyProcess(*images, count, count - 1, record.data());
  const ProcessView last(record.data());
  ASSERT_GT(last.shownBlowCount(), 0);
  std::vector<std::vector<ChartPoint>> series;
  for (const BlowCurve& c : ChartCurves(last, 0)) series.push_back(c.points);
  FillSeriesRow(last, StrengthUnit::MPa, row);
  const QString chart =
      ChartDataText(SeriesTableHeading(0, kRussian, StrengthUnit::MPa), row,
                    CoefficientRow(last, kRussian), ChartTitle(0, kRussian), series, kRussian);
  r = Export({path, u"chart"_s, u"2687"_s});
  EXPECT_EQ(QString::fromUtf8(r.out), chart);

  r = Export({path, u"--format"_s, u"json"_s, u"series"_s});
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(r.out, &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError);
  EXPECT_EQ(doc.object()[u"processes"_s].toArray().size(), 2688);
}
