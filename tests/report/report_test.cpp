#include <gtest/gtest.h>
#include <zlib.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamWriter>

#include "common/texts.h"
#include "data/datafile.h"
#include "report/exportfile.h"
#include "report/exportformats.h"
#include "report/flowlayout.h"
#include "report/odf.h"
#include "report/preparedfile.h"
#include "report/reportexport.h"
#include "report/seriesreport.h"
#include "samplegen.h"
#include "testdata.h"
#include "testing/files.h"
#include "testing/reportapp.h"

using namespace zarn;
using namespace Qt::StringLiterals;
using zarn::testing::ReportApp;

namespace {

// Table 1 as the window fills it from `count` generated series.
std::unique_ptr<Table1Snapshot> Sample(int count, int language, StrengthUnit unit) {
  auto images = std::make_unique<DeviceImages>();
  sim::GenerateSample(*images, count, 11);
  return std::make_unique<Table1Snapshot>(images->ParamBlock.data(), images->DataImage.data(),
                                          uint32_t(count), language, unit);
}

std::vector<const PreparedBand*> Bands(const PreparedPage& page, BandKind kind) {
  std::vector<const PreparedBand*> out;
  for (const PreparedBand& b : page.bands) {
    if (b.kind == kind) out.push_back(&b);
  }
  return out;
}

QStringList Texts(const PreparedPage& page, const PreparedBand& band) {
  QStringList texts;
  for (int i = 0; i < band.count; ++i) texts.append(page.cells[size_t(band.first + i)].text);
  return texts;
}

}  // namespace

TEST(SeriesReportLayout, PagesBandsAndMillimetres) {
  ReportApp();
  // Page 1 holds 50 lines below the title and the headings; later pages 52 above the
  // footer.
  const struct {
    int series;
    std::vector<int> linesPerPage;
  } cases[] = {{1, {1}}, {3, {3}}, {50, {50}}, {51, {50, 1}}, {102, {50, 52}}, {103, {50, 52, 1}}};
  for (const auto& c : cases) {
    const auto table = Sample(c.series, kRussian, StrengthUnit::MPa);
    const PreparedReport r = SeriesReport(*table, kRussian, StrengthUnit::MPa).Prepare();
    ASSERT_EQ(r.pages.size(), c.linesPerPage.size()) << c.series;
    int n = 0;
    for (size_t p = 0; p < r.pages.size(); ++p) {
      const PreparedPage& page = r.pages[p];
      SCOPED_TRACE(::testing::Message() << c.series << " series, page " << p + 1);
      EXPECT_EQ(Bands(page, BandKind::Title).size(), p == 0 ? 1u : 0u);
      ASSERT_EQ(Bands(page, BandKind::PageHeader).size(), 1u);
      const auto lines = Bands(page, BandKind::MasterData);
      ASSERT_EQ(int(lines.size()), c.linesPerPage[p]);
      const auto footer = Bands(page, BandKind::PageFooter);
      ASSERT_EQ(footer.size(), p == 0 ? 0u : 1u);
      const PreparedCell& header = page.cells[size_t(Bands(page, BandKind::PageHeader)[0]->first)];
      EXPECT_DOUBLE_EQ(header.rect.top(), p == 0 ? 25 : 5);
      EXPECT_DOUBLE_EQ(header.rect.height(), 10);
      for (const PreparedBand* line : lines) {
        const PreparedCell& first = page.cells[size_t(line->first)];
        EXPECT_EQ(first.text, QString::number(++n));
        EXPECT_LE(first.rect.bottom(), p == 0 ? 287 : 278 + 1e-9);
      }
      if (!footer.empty()) {
        const PreparedCell& f = page.cells[size_t(footer[0]->first)];
        EXPECT_EQ(f.text, u"- %1 -"_s.arg(p + 1));
        EXPECT_EQ(f.rect, QRectF(20, 278, 185, 9));
        EXPECT_FALSE(f.frame);
      }
    }
  }
  // The columns: 11, 16, 14, 26, 36, 31, 23, 14 and 14 mm from the left margin, framed.
  const auto table = Sample(1, kRussian, StrengthUnit::MPa);
  const PreparedReport r = SeriesReport(*table, kRussian, StrengthUnit::MPa).Prepare();
  const PreparedPage& page = r.pages[0];
  const PreparedCell& title = page.cells[0];
  EXPECT_EQ(title.rect, QRectF(20, 5, 185, 20));
  EXPECT_EQ(title.fontPt, 14);
  double x = 20;
  const double widths[] = {11, 16, 14, 26, 36, 31, 23, 14, 14};
  const PreparedBand& line = *Bands(page, BandKind::MasterData)[0];
  for (int c = 0; c < 9; ++c) {
    const PreparedCell& cell = page.cells[size_t(line.first + c)];
    EXPECT_EQ(cell.rect, QRectF(x, 35, widths[c], 5)) << c;
    EXPECT_TRUE(cell.frame);
    x += widths[c];
  }
  EXPECT_DOUBLE_EQ(x, 205);
}

TEST(SeriesReportFields, HeadingsInBothLanguagesAndUnitsAndRowsAsTable1) {
  ReportApp();
  const struct {
    int language;
    StrengthUnit unit;
    QStringList headings;
    QString title;
  } cases[] = {
      {kRussian, StrengthUnit::MPa,
       {u"№"_s, u"Дата"_s, u"Время"_s, u"Прочность, МПа"_s, u"Материал"_s, u"Объект"_s,
        u"K вариации, %"_s, u"Размах"_s, u"Ударов"_s},
       u"Измеренные значения прочности"_s},
      {kRussian, StrengthUnit::Kgf,
       {u"№"_s, u"Дата"_s, u"Время"_s, u"Прочность, кгс/см2"_s, u"Материал"_s, u"Объект"_s,
        u"K вариации, %"_s, u"Размах"_s, u"Ударов"_s},
       u"Измеренные значения прочности"_s},
      {kEnglish, StrengthUnit::Kgf,
       {u"№"_s, u"Date"_s, u"Time"_s, u"Strength, kgs/sm2"_s, u"Material"_s, u"Object"_s,
        u"Variation, %"_s, u"Sving"_s, u"Impacts"_s},
       u"Meassured strength values"_s},
  };
  for (const auto& c : cases) {
    const auto table = Sample(60, c.language, c.unit);
    const PreparedReport r = SeriesReport(*table, c.language, c.unit).Prepare();
    EXPECT_EQ(ReportTitle(r), c.title);
    for (const PreparedPage& page : r.pages)
      EXPECT_EQ(Texts(page, *Bands(page, BandKind::PageHeader)[0]), c.headings);
    // Line n holds 1 + n and the cells of table 1's row n + 2, columns 1 to 8.
    int n = 0;
    for (const PreparedPage& page : r.pages) {
      for (const PreparedBand* line : Bands(page, BandKind::MasterData)) {
        QStringList expected{QString::number(n + 1)};
        for (int col = 1; col < 9; ++col) expected.append(table->Cells(col, n + 2));
        EXPECT_EQ(Texts(page, *line), expected) << n;
        ++n;
      }
    }
    EXPECT_EQ(n, 60);
  }
  // The column 7 heading starts with a Latin K; table 1's own with a Cyrillic one.
  EXPECT_EQ(u"K вариации, %"_s.at(0).unicode(), u'K');
}

TEST(SeriesReportFields, CallbacksAsTheReportFacilityUsesThem) {
  const Table1Snapshot table(5, [](int col, int row) { return u"%1:%2"_s.arg(col).arg(row); });
  const SeriesReport report(table, kEnglish, StrengthUnit::MPa);
  ReportRowSource rows;
  report.frxUserDataSet1First(rows);
  EXPECT_EQ(rows.recordCount, 3);
  const struct {
    int recNo;
    bool eofIn;
    bool eofOut;
  } eof[] = {{0, false, false}, {2, false, false}, {3, false, true}, {7, false, true}, {1, true, true}};
  for (const auto& e : eof) {
    rows.RecNo = e.recNo;
    bool flag = e.eofIn;
    report.frxUserDataSet1CheckEOF(rows, flag);
    EXPECT_EQ(flag, e.eofOut) << e.recNo;
  }
  rows.RecNo = 1;
  const struct {
    QString name;
    QString value;
  } fields[] = {{u"№№"_s, u"2"_s},     {u"Дата"_s, u"1:3"_s},       {u"Ударов"_s, u"8:3"_s},
                {u"K вариации"_s, u"6:3"_s}, {u"К вариации"_s, {}},  // Cyrillic Ka: no such field
                {u"дата"_s, {}},       {u"Заголовок"_s, u"Meassured strength values"_s},
                {u"Unknown"_s, {}}};
  for (const auto& f : fields) {
    QString value;
    report.frxReport1GetValue(rows, f.name, value);
    EXPECT_EQ(value, f.value) << f.name.toStdString();
  }
  // Nothing to print when the first data row has no number.
  EXPECT_TRUE(report.HasSeries());
  EXPECT_FALSE(SeriesReport(Table1Snapshot(3, [](int, int) { return QString(); }), kRussian,
                            StrengthUnit::MPa)
                   .HasSeries());
}

TEST(SeriesReportFields, LongTextsShrinkInsideTheirCell) {
  ReportApp();
  // Column 5 (36 mm) and 6 (31 mm) with texts of the widest letters: a dozen shrink until
  // they fit; as many as a name holds stop at the smallest size (and are clipped when
  // painted).
  const QString shrinks = u"Ж"_s.repeated(12);
  const QString clipped = u"Ж"_s.repeated(19);
  const Table1Snapshot table(4, [&](int col, int row) {
    if (row < 2) return QString();
    if (col == 4 || col == 5) return row == 2 ? shrinks : clipped;
    return col == 0 ? u"1"_s : u"x"_s;
  });
  const PreparedReport r = SeriesReport(table, kRussian, StrengthUnit::MPa).Prepare();
  const TextWidthMm width = FontTextWidth(SeriesReport::FontFamily());
  int seen = 0;
  for (const PreparedCell& cell : r.pages[0].cells) {
    const double room = cell.rect.width() - 2 * kCellPaddingMm + 1e-9;
    if (cell.text == shrinks) {
      EXPECT_LT(cell.fontPt, 10);
      EXPECT_GT(cell.fontPt, kMinFontPt);
      EXPECT_LE(width(cell.text, cell.fontPt), room);
      EXPECT_GT(width(cell.text, cell.fontPt + 0.25), room);  // no smaller than needed
      ++seen;
    } else if (cell.text == clipped) {
      EXPECT_EQ(cell.fontPt, kMinFontPt);
      ++seen;
    } else if (cell.text == u"x"_s) {
      EXPECT_EQ(cell.fontPt, 10);
    }
  }
  EXPECT_EQ(seen, 4);
  EXPECT_EQ(FindInReport(r, u"жж"_s).size(), 4u);  // case ignored: all the long cells
  EXPECT_TRUE(FindInReport(r, {}).empty());
}

TEST(ExportFile, WritesWholeOrLeavesTheOldFile) {
  QTemporaryDir dir;
  const QString path = dir.filePath(u"report.csv"_s);
  ASSERT_TRUE(zarn::testing::WriteAll(path, "old"));
  EXPECT_TRUE(WriteExportFile(path, "new", kEnglish).ok);
  EXPECT_EQ(zarn::testing::ReadAll(path), "new");
  const struct {
    QString path;
    QString because;
  } failures[] = {
      {dir.filePath(u"missing/report.csv"_s), u"report.csv"_s},
      {path + u"/below-a-file.csv"_s, u"below-a-file.csv"_s},
  };
  for (const auto& f : failures) {
    const ExportWriteResult r = WriteExportFile(f.path, "x", kEnglish);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.startsWith(u"Could not write the file \""_s + f.because)) << r.error.toStdString();
  }
  // A document an office program holds open is not written under it.
  ASSERT_TRUE(zarn::testing::WriteAll(dir.filePath(u".~lock.report.csv#"_s), "lock"));
  const ExportWriteResult locked = WriteExportFile(path, "newer", kRussian);
  EXPECT_FALSE(locked.ok);
  EXPECT_TRUE(locked.error.contains(u"открыт в другой программе"_s));
  EXPECT_EQ(zarn::testing::ReadAll(path), "new");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);  // no leftovers
}

TEST(ReportExports, EveryFormatGivesTheSameBytesForTheSamePages) {
  ReportApp();
  const auto table = Sample(60, kRussian, StrengthUnit::MPa);
  const PreparedReport r = SeriesReport(*table, kRussian, StrengthUnit::MPa).Prepare();
  ReportExportOptions options;
  options.language = kRussian;
  options.created = QDateTime(QDate(2024, 5, 17), QTime(9, 30), Qt::UTC);
  // The PDF writer dates its document itself: that one line aside.
  auto withoutDate = [](QByteArray bytes) {
    const qsizetype at = bytes.indexOf("/CreationDate (D:");
    if (at >= 0) bytes.remove(at, bytes.indexOf(')', at) - at);
    return bytes;
  };
  for (const ReportExporter& e : ReportExporters()) {
    SCOPED_TRACE(e.name.toString().toStdString());
    QString error;
    const QByteArray first = ReportBytes(r, e.format, options, &error);
    ASSERT_FALSE(first.isEmpty()) << error.toStdString();
    EXPECT_EQ(withoutDate(ReportBytes(r, e.format, options)), withoutDate(first));
    EXPECT_EQ(ReportFormatFromName(e.name), e.format);
    EXPECT_EQ(FindReportExporter(e.name), &e);
  }
  EXPECT_EQ(FindReportExporter(u"xls"), nullptr);
}

TEST(FlowLayout, BandsAsTablesThePageNumberAsTheFooter) {
  ReportApp();
  const struct {
    int series;
    std::vector<std::vector<int>> rowsPerTable;  // per page, the rows of each table
  } cases[] = {{3, {{1, 4}}}, {51, {{1, 51}, {2}}}, {103, {{1, 51}, {53}, {2}}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.series);
    const auto table = Sample(c.series, kEnglish, StrengthUnit::MPa);
    const PreparedReport r = SeriesReport(*table, kEnglish, StrengthUnit::MPa).Prepare();
    const FlowDocument flow = FlowOf(r);
    ASSERT_EQ(flow.pages.size(), c.rowsPerTable.size());
    for (size_t p = 0; p < flow.pages.size(); ++p) {
      const std::vector<FlowTable>& tables = flow.pages[p].tables;
      ASSERT_EQ(tables.size(), c.rowsPerTable[p].size());
      for (size_t t = 0; t < tables.size(); ++t) {
        EXPECT_EQ(int(tables[t].rows.size()), c.rowsPerTable[p][t]);
        EXPECT_EQ(tables[t].gapBefore, 0);  // the bands follow each other from the top margin
        EXPECT_EQ(tables[t].left, 20);
        // The column-heading band heads its table; the title is a table of its own.
        const bool list = tables[t].widths.size() == 9;
        EXPECT_EQ(tables[t].headerRows, list ? 1 : 0);
        EXPECT_EQ(tables[t].rows[0]->kind, list ? BandKind::PageHeader : BandKind::Title);
      }
    }
    // "- N -" from page 2: the document's footer, not a band of the pages.
    EXPECT_EQ(flow.pageNumberFooter, c.series > 50);
    if (flow.pageNumberFooter) {
      EXPECT_EQ(flow.footerBefore, u"- "_s);
      EXPECT_EQ(flow.footerAfter, u" -"_s);
      EXPECT_EQ(flow.footerHeight, 9);
      EXPECT_FALSE(flow.footerOnFirstPage);
    }
  }
  // A footer that is not the page number stays a band of its page, with the room
  // above it.
  PreparedReport r;
  r.pages.resize(2);
  for (size_t p = 0; p < 2; ++p) {
    r.pages[p].cells = {{QRectF(20, 5, 185, 10), u"a"_s}, {QRectF(20, 278, 185, 9), u"made today"_s}};
    r.pages[p].bands = {{BandKind::Body, 0, 1}, {BandKind::PageFooter, 1, 1}};
  }
  const FlowDocument flow = FlowOf(r);
  EXPECT_FALSE(flow.pageNumberFooter);
  ASSERT_EQ(flow.pages[1].tables.size(), 2u);
  EXPECT_DOUBLE_EQ(flow.pages[1].tables[1].gapBefore, 263);
}

TEST(OdfText, BlanksTabsAndLineBreaksKeepTheirElements) {
  const struct {
    QString text;
    QString xml;
  } cases[] = {
      {u"Бетон М200"_s, u"Бетон М200"_s},
      {u" a  b "_s, u"<text:s/>a <text:s/>b<text:s/>"_s},
      {u"a    b"_s, uR"(a <text:s text:c="3"/>b)"_s},
      {u"a\tb\r\nc\nd"_s, u"a<text:tab/>b<text:line-break/>c<text:line-break/>d"_s},
      {u"x<&>\u0001"_s, u"x&lt;&amp;&gt; "_s},
  };
  for (const auto& c : cases) {
    QByteArray out;
    QXmlStreamWriter xml(&out);
    WriteOdfText(xml, c.text);
    xml.writeEndDocument();
    if (out.endsWith('\n')) out.chop(1);
    EXPECT_EQ(QString::fromUtf8(out), c.xml) << c.text.toStdString();
  }
  EXPECT_EQ(odf::Mm(11), u"11mm"_s);
  EXPECT_EQ(odf::Mm(2.5469), u"2.547mm"_s);
  EXPECT_EQ(odf::Mm(-0.0001), u"0mm"_s);
}

// ---- Prepared reports on disk

namespace {

// The payload's CRC-32 set again after a test has changed the payload.
QByteArray WithCrc(QByteArray bytes) {
  const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(bytes.constData() + 20), uInt(bytes.size() - 20)));
  for (int i = 0; i < 4; ++i) bytes[16 + i] = char(crc >> (8 * i));
  return bytes;
}

}  // namespace

TEST(PreparedReportFile, GivesBackThePagesAsTheyWere) {
  ReportApp();
  const auto table = Sample(130, kEnglish, StrengthUnit::Kgf);
  PreparedReport r = SeriesReport(*table, kEnglish, StrengthUnit::Kgf).Prepare();
  // A line and a left-aligned cell, as a series sheet has them.
  r.pages[1].lines.push_back({{{20, 30}, {40.5f, 60.25f}}, 0xFF808080, 0.35f});
  r.pages[1].cells[3].align = CellAlign::Left;
  ASSERT_GE(r.pages.size(), 3u);
  const QByteArray bytes = PreparedReportBytes(r, kEnglish);
  const std::optional<PreparedFile> back = ParsePreparedReport(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->language, kEnglish);
  EXPECT_EQ(back->report.page, r.page);
  EXPECT_EQ(back->report.fontFamily, r.fontFamily);
  ASSERT_EQ(back->report.pages.size(), r.pages.size());
  EXPECT_EQ(back->report.pages[1].cells[3].align, CellAlign::Left);
  EXPECT_EQ(back->report.pages[1].lines.back().points[1].y, 60.25f);
  EXPECT_EQ(back->report.pages[2].cells[12].text, r.pages[2].cells[12].text);
  // Nothing lost or changed: written again it is the same file, and it prints the same.
  EXPECT_EQ(PreparedReportBytes(back->report, back->language), bytes);
  const QDateTime when(QDate(2024, 5, 17), QTime(9, 30), Qt::UTC);
  ReportExportOptions o{kEnglish, {}, when};
  EXPECT_EQ(ReportBytes(back->report, ReportFormat::Odt, o), ReportBytes(r, ReportFormat::Odt, o));
}

TEST(PreparedReportFile, RefusesWhatIsNotWholeAndSound) {
  ReportApp();
  const auto table = Sample(3, kRussian, StrengthUnit::MPa);
  const QByteArray good = PreparedReportBytes(SeriesReport(*table, kRussian, StrengthUnit::MPa).Prepare(), kRussian);
  ASSERT_TRUE(ParsePreparedReport(good));
  auto patched = [&](qsizetype at, QByteArray with, bool crc = true) {
    QByteArray b = good;
    b.replace(at, with.size(), with);
    return crc ? WithCrc(b) : b;
  };
  const QByteArray nan("\x00\x00\x00\x00\x00\x00\xF8\x7F", 8);
  const struct {
    const char* what;
    QByteArray bytes;
  } bad[] = {
      {"empty", {}},
      {"header only", good.left(20)},
      {"cut short", good.left(good.size() - 1)},
      {"a byte more", good + "x"},
      {"a text byte changed", patched(good.size() - 3, "#", false)},
      {"a newer version", patched(8, QByteArray("\x02\x00\x00\x00", 4), false)},
      {"a foreign file", QByteArray("PK\x03\x04") + good.mid(4)},
      {"a data file", QByteArray(kDataFileSignature, 8) + good.mid(8)},
      {"no such language", patched(20, "\x07")},
      {"a page width that is no number", patched(21, nan)},
      {"a page count beyond the file", patched(good.indexOf("Times New Roman") + 15, QByteArray("\xFF\xFF\xFF\x0F", 4))},
      // 1e300 mm: the painter's whole pixels could not hold it.
      {"a cell far off any sheet", patched(good.indexOf("Times New Roman") + 23, QByteArray("\x00\x00\x00\x00\x00\x00\x40\x7E", 8))},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(b.what);
    EXPECT_FALSE(ParsePreparedReport(b.bytes));
  }
  EXPECT_FALSE(ReadPreparedReport(u"/nonexistent/report.repzarn"_s));
}
