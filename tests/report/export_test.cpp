// The exports' documents as written, before any reader takes them: the ODF package,
// the spreadsheet's cells and the RTF's control words.

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <cmath>

#include <zip.h>

#include "common/texts.h"
#include "report/exportformats.h"
#include "report/fonts.h"
#include "report/reportexport.h"
#include "report/sheettable.h"
#include "testing/reportapp.h"

using namespace zarn;
using namespace Qt::StringLiterals;

namespace {

void App() { zarn::testing::ReportApp(); }

// The entries of a zip in their order, with their compression and contents.
struct Entry {
  QString name;
  bool stored;
  QByteArray bytes;
};
std::vector<Entry> Unzip(const QByteArray& archive) {
  std::vector<Entry> out;
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(archive.constData(), zip_uint64_t(archive.size()), 0, &error);
  zip_t* zip = zip_open_from_source(source, ZIP_RDONLY, &error);
  zip_error_fini(&error);
  if (!zip) return out;
  for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(zip, zip_uint64_t(i), 0, &st);
    QByteArray bytes(qsizetype(st.size), Qt::Uninitialized);
    zip_file_t* f = zip_fopen_index(zip, zip_uint64_t(i), 0);
    zip_fread(f, bytes.data(), st.size);
    zip_fclose(f);
    out.push_back({QString::fromUtf8(st.name), st.comp_method == ZIP_CM_STORE, bytes});
  }
  zip_close(zip);
  return out;
}

SheetTable Sheet() {
  SheetTable t;
  t.title = u"Meassured strength values"_s;
  t.widths = {11, 26, 36};
  t.headings = {u"№"_s, u"Strength, MPa"_s, u"Material"_s};
  t.rows = {{{u"1"_s, true}, {u"18,4"_s, true}, {u"Бетон  М200"_s, false}},
            {{u"2"_s, true}, {u"-1,230E-03"_s, true}, {u"12,5"_s, false}},
            {{u"3"_s, true}, {QString(), true}, {u"a<b>&\"c\""_s, false}}};
  t.rowHeights = {5, 5, 5};
  return t;
}

}  // namespace

TEST(OdsExport, APackageOfNumbersAsNumbersAndTextsAsTexts) {
  QString error;
  const QByteArray ods = SheetOds(Sheet(), QDateTime(QDate(2024, 5, 17), QTime(9, 30), Qt::UTC), error);
  ASSERT_FALSE(ods.isEmpty()) << error.toStdString();
  // The media type first, stored, where readers look for it.
  EXPECT_EQ(ods.mid(30, 8), "mimetype");
  const std::vector<Entry> entries = Unzip(ods);
  ASSERT_GE(entries.size(), 5u);
  EXPECT_EQ(entries[0].name, u"mimetype"_s);
  EXPECT_TRUE(entries[0].stored);
  EXPECT_EQ(entries[0].bytes, "application/vnd.oasis.opendocument.spreadsheet");
  EXPECT_EQ(entries.back().name, u"META-INF/manifest.xml"_s);
  const QString content = QString::fromUtf8(entries[1].bytes);
  const QString meta = QString::fromUtf8(entries[3].bytes);
  EXPECT_TRUE(meta.contains(u"<meta:creation-date>2024-05-17T09:30:00Z</meta:creation-date>"_s));
  const struct {
    QString fragment;
  } expected[] = {
      {uR"(table:number-columns-spanned="3"><text:p>Meassured strength values</text:p>)"_s},
      {u"<table:table-header-rows>"_s},
      {uR"(office:value-type="float" office:value="18.4"><text:p>18,4</text:p>)"_s},
      {uR"(office:value-type="float" office:value="-1.230E-03"><text:p>-1,230E-03</text:p>)"_s},
      // A name that looks like a number stays the text shown; blanks are kept.
      {uR"(office:value-type="string"><text:p>12,5</text:p>)"_s},
      {uR"(<text:p>Бетон <text:s/>М200</text:p>)"_s},
      {uR"(<text:p>a&lt;b&gt;&amp;&quot;c&quot;</text:p>)"_s},
      {uR"(style:column-width="36mm")"_s},
      {uR"(style:font-name="Times New Roman")"_s},
  };
  for (const auto& e : expected) EXPECT_TRUE(content.contains(e.fragment)) << e.fragment.toStdString();
  // The empty number cell has no value at all.
  EXPECT_EQ(content.count(u"office:value-type=\"float\""_s), 5);
}

TEST(RtfExport, TheReportsPagesAsTablesOfExactHeight) {
  App();
  PreparedReport r;
  r.fontFamily = u"Times New Roman"_s;
  r.pages.resize(2);
  for (size_t p = 0; p < 2; ++p) {
    PreparedPage& page = r.pages[p];
    if (p == 0) {
      page.cells.push_back({QRectF(20, 5, 185, 20), u"Title {1}"_s, 14});
      page.bands.push_back({BandKind::Title, 0, 1});
    }
    const double top = p == 0 ? 25 : 5;
    const int first = int(page.cells.size());
    page.cells.push_back({QRectF(20, top, 11, 10), u"№"_s, 10, true});
    page.cells.push_back({QRectF(31, top, 16, 10), u"Дата\\"_s, 10, true});
    page.cells.push_back({QRectF(20, top + 10, 11, 5), QString::number(p + 1), 8.5f, true, true});
    page.cells.push_back({QRectF(31, top + 10, 16, 5), u"x"_s, 10, true});
    page.bands.push_back({BandKind::PageHeader, first, 2});
    page.bands.push_back({BandKind::MasterData, first + 2, 2});
    if (p == 1) {
      page.cells.push_back({QRectF(20, 278, 185, 9), u"- 2 -"_s, 10});
      page.bands.push_back({BandKind::PageFooter, int(page.cells.size()) - 1, 1});
    }
  }
  ReportExportOptions options;
  options.created = QDateTime(QDate(2024, 5, 17), QTime(9, 30));
  const QString rtf = QString::fromLatin1(ReportBytes(r, ReportFormat::Rtf, options));
  auto count = [&](const QString& pattern) { return rtf.count(QRegularExpression(pattern)); };
  const struct {
    QString pattern;
    int times;
  } expected[] = {
      {uR"(\\paperw11906\\paperh16838\\margl1134\\margr283\\margt283\\margb567)"_s, 1},
      {uR"(\\f0\\froman\\fcharset204\\fprq2 Times New Roman;)"_s, 1},
      {uR"(\\creatim\\yr2024\\mo5\\dy17\\hr9\\min30)"_s, 1},
      // No footer on page 1, the page number on the others.
      {uR"(\\titlepg)"_s, 1},
      {uR"(\{\\footer\\pard\\plain\\qc\\sb144\\sa144\\f0\\fs20 - \{\\field\{\\\*\\fldinst PAGE\})"_s, 1},
      // Rows of exact height: the title's 20 mm, a heading row per page, a line each.
      {uR"(\\trrh-1134\\trkeep)"_s, 1},
      {uR"(\\trrh-567\\trhdr\\trkeep)"_s, 2},
      {uR"(\\trrh-283\\trkeep)"_s, 2},
      {uR"(\\cellx624\\clvertalc)"_s, 4},
      // A page break before page 2 only.
      {uR"(\\pagebb)"_s, 1},
      // Texts escaped; Cyrillic as Unicode; sizes in half points, rounded down.
      {uR"( Title \\\{1\\\}\\cell)"_s, 1},
      {uR"( \\u1044\?\\u1072\?\\u1090\?\\u1072\?\\\\\\cell)"_s, 2},
      {uR"(\\fs17 1\\cell)"_s, 1},
  };
  for (const auto& e : expected) EXPECT_EQ(count(e.pattern), e.times) << e.pattern.toStdString();
  EXPECT_TRUE(rtf.startsWith(u"{\\rtf1\\ansi\\ansicpg1251"_s));
  EXPECT_TRUE(rtf.endsWith(u"\\par\n}\n"_s));
  // Nothing but 7-bit characters, whatever the texts.
  for (QChar c : rtf) ASSERT_LT(c.unicode(), 0x80);
}

// Pages from a prepared file can be anything the reader accepts: rows of Body bands
// longer than any heading (a series sheet's), lines and free cells far off the paper.
// The text export sizes every row's columns; the RTF picture keeps to the paper.
TEST(ReportUntrustedPages, TextColumnsFitEveryRowAndRtfPicturesKeepToThePaper) {
  App();
  PreparedReport r;
  r.fontFamily = u"Times New Roman"_s;
  PreparedPage& page = r.pages.emplace_back();
  const QStringList rows[] = {{u"a"_s, u"bbbb"_s, u"c"_s}, {u"dddddd"_s, u"e"_s, u"ffffffffff"_s}};
  for (int row = 0; row < 2; ++row) {
    page.bands.push_back({BandKind::Body, int(page.cells.size()), 3});
    for (int c = 0; c < 3; ++c) page.cells.push_back({QRectF(20 + 30 * c, 20 + 6 * row, 30, 6), rows[row][c], 10, true});
  }
  page.cells.push_back({QRectF(5e6, 5e6, 20, 5), u"far"_s, 7});
  page.bands.push_back({BandKind::Free, int(page.cells.size()) - 1, 1});
  page.lines.push_back({{{30, 100}, {9e6f, 9e6f}, {std::nanf(""), 4}}, 0xFFFF0000, 0.25f});

  const QStringList text = QString::fromUtf8(TextBytes(r)).split(u'\n');
  ASSERT_GE(text.size(), 2);
  EXPECT_EQ(text[0].indexOf(u'|'), text[1].indexOf(u'|')) << text.join(u'\n').toStdString();
  EXPECT_EQ(text[0].lastIndexOf(u'|'), text[1].lastIndexOf(u'|'));
  EXPECT_TRUE(text[1].contains(u"ffffffffff"_s));

  // At most the A4 page at 300 dpi (2480 x 3508 pixels).
  const QRegularExpressionMatch m = QRegularExpression(uR"(\\picw(\d+)\\pich(\d+))"_s).match(QString::fromLatin1(RtfBytes(r, {})));
  ASSERT_TRUE(m.hasMatch());
  EXPECT_LE(m.captured(1).toInt(), 2481);
  EXPECT_LE(m.captured(2).toInt(), 3509);
}
