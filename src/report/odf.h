#pragma once
// OpenDocument files (ODF 1.3) as the ODT and ODS exports write them: the package (a
// zip written with libzip: "mimetype" first and stored, as readers expect, every entry
// dated 1980-01-01 so that the same document always gives the same bytes, and the
// manifest), its meta.xml, and the parts every content and styles part shares.
//
// (libzip rather than QuaZip: QuaZip exports minizip's function names, which then stand
// in for those of the minizip that libxlsxwriter calls, and the XLSX export crashes in
// the same program.)

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <utility>
#include <vector>

QT_BEGIN_NAMESPACE
class QXmlStreamWriter;
QT_END_NAMESPACE

namespace zarn::odf {

// The package of `mediaType` ("application/vnd.oasis.opendocument.text") with the given
// parts ("content.xml", ...) besides the mimetype and the manifest. Empty with `error`
// set when the zip could not be written.
QByteArray Package(const QString& mediaType, const std::vector<std::pair<QString, QByteArray>>& parts,
                   QString& error);

// meta.xml: the generator, the title and the creation time.
QByteArray Meta(const QString& title, const QDateTime& created);

// Starts an XML part: the declaration and the root element `root` ("office:document-
// content") with every namespace the exports use and the ODF version.
void StartPart(QXmlStreamWriter& xml, const QString& root);
// <office:font-face-decls> naming `family` (a serif face, as the report's is).
void FontFaces(QXmlStreamWriter& xml, const QString& family);
// A length in millimetres as ODF writes it: "12.5mm" (at most three decimals).
QString Mm(double mm);
// A colour "#rrggbb".
QString Colour(unsigned rgb);

}  // namespace zarn::odf
