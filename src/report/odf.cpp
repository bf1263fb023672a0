#include "odf.h"

#include <QXmlStreamWriter>
#include <ctime>

#include <zip.h>

namespace zarn::odf {
namespace {

// Zip dates start in 1980 and are local times; the first day of 1980 keeps the bytes
// the same from run to run.
time_t EntryTime() {
  std::tm t{};
  t.tm_year = 80;
  t.tm_mday = 1;
  t.tm_hour = 12;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

QString ZipError(zip_t* zip, const QString& what) {
  return QStringLiteral("zip: %1: %2").arg(what, QString::fromLocal8Bit(zip_strerror(zip)));
}

QByteArray Manifest(const QString& mediaType, const std::vector<std::pair<QString, QByteArray>>& parts) {
  QByteArray out;
  QXmlStreamWriter xml(&out);
  xml.writeStartDocument();
  xml.writeStartElement(QStringLiteral("manifest:manifest"));
  xml.writeAttribute(QStringLiteral("xmlns:manifest"),
                     QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"));
  xml.writeAttribute(QStringLiteral("manifest:version"), QStringLiteral("1.3"));
  auto entry = [&](const QString& path, const QString& type) {
    xml.writeEmptyElement(QStringLiteral("manifest:file-entry"));
    xml.writeAttribute(QStringLiteral("manifest:full-path"), path);
    if (path == u"/") xml.writeAttribute(QStringLiteral("manifest:version"), QStringLiteral("1.3"));
    xml.writeAttribute(QStringLiteral("manifest:media-type"), type);
  };
  entry(QStringLiteral("/"), mediaType);
  for (const auto& part : parts) {
    const bool xmlPart = part.first.endsWith(u".xml");
    entry(part.first, xmlPart ? QStringLiteral("text/xml") : QStringLiteral("image/png"));
  }
  xml.writeEndElement();
  xml.writeEndDocument();
  return out;
}

}  // namespace

QByteArray Package(const QString& mediaType, const std::vector<std::pair<QString, QByteArray>>& parts,
                   QString& error) {
  // The archive is made in memory: a buffer source that libzip fills on closing.
  zip_error_t zipError;
  zip_error_init(&zipError);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &zipError);
  zip_t* zip = buffer ? zip_open_from_source(buffer, ZIP_TRUNCATE, &zipError) : nullptr;
  if (!zip) {
    error = QStringLiteral("zip: %1").arg(QString::fromLocal8Bit(zip_error_strerror(&zipError)));
    zip_error_fini(&zipError);
    if (buffer) zip_source_free(buffer);
    return {};
  }
  zip_error_fini(&zipError);
  zip_source_keep(buffer);  // read back after zip_close
  const QByteArray type = mediaType.toLatin1();
  const QByteArray manifest = Manifest(mediaType, parts);
  std::vector<std::pair<QByteArray, const QByteArray*>> entries{{"mimetype", &type}};
  for (const auto& part : parts) entries.emplace_back(part.first.toUtf8(), &part.second);
  entries.emplace_back("META-INF/manifest.xml", &manifest);
  const time_t when = EntryTime();
  bool ok = true;
  for (const auto& [name, bytes] : entries) {
    // libzip reads the bytes when it writes the archive, from the caller's buffers.
    zip_source_t* source = zip_source_buffer(zip, bytes->constData(), zip_uint64_t(bytes->size()), 0);
    const zip_int64_t index = source ? zip_file_add(zip, name.constData(), source, ZIP_FL_ENC_UTF_8) : -1;
    if (index < 0) {
      if (source) zip_source_free(source);
      error = ZipError(zip, QString::fromUtf8(name));
      ok = false;
      break;
    }
    // "mimetype" first and stored, so that a reader finds the type at a fixed place.
    const bool stored = index == 0;
    ok = zip_set_file_compression(zip, zip_uint64_t(index), stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0) == 0 &&
         zip_file_set_mtime(zip, zip_uint64_t(index), when, 0) == 0 &&
         zip_file_set_external_attributes(zip, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX, 0100644u << 16) == 0;
    if (!ok) {
      error = ZipError(zip, QString::fromUtf8(name));
      break;
    }
  }
  if (!ok) {
    zip_discard(zip);
    zip_source_free(buffer);
    return {};
  }
  if (zip_close(zip) != 0) {
    error = ZipError(zip, QStringLiteral("close"));
    zip_discard(zip);
    zip_source_free(buffer);
    return {};
  }
  QByteArray out;
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_source_stat(buffer, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE) && zip_source_open(buffer) == 0) {
    out.resize(qsizetype(stat.size));
    if (zip_source_read(buffer, out.data(), stat.size) != zip_int64_t(stat.size)) out.clear();
    zip_source_close(buffer);
  }
  zip_source_free(buffer);
  if (out.isEmpty()) error = QStringLiteral("zip");
  return out;
}

void StartPart(QXmlStreamWriter& xml, const QString& root) {
  xml.writeStartDocument();
  xml.writeStartElement(root);
  const struct {
    const char* prefix;
    const char* uri;
  } spaces[] = {
      {"office", "urn:oasis:names:tc:opendocument:xmlns:office:1.0"},
      {"style", "urn:oasis:names:tc:opendocument:xmlns:style:1.0"},
      {"text", "urn:oasis:names:tc:opendocument:xmlns:text:1.0"},
      {"table", "urn:oasis:names:tc:opendocument:xmlns:table:1.0"},
      {"draw", "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"},
      {"fo", "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"},
      {"svg", "urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"},
      {"xlink", "http://www.w3.org/1999/xlink"},
      {"dc", "http://purl.org/dc/elements/1.1/"},
      {"meta", "urn:oasis:names:tc:opendocument:xmlns:meta:1.0"},
      {"number", "urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"},
      {"config", "urn:oasis:names:tc:opendocument:xmlns:config:1.0"},
  };
  for (const auto& s : spaces)
    xml.writeAttribute(QStringLiteral("xmlns:") + QLatin1StringView(s.prefix), QLatin1StringView(s.uri));
  xml.writeAttribute(QStringLiteral("office:version"), QStringLiteral("1.3"));
}

QByteArray Meta(const QString& title, const QDateTime& created) {
  QByteArray out;
  QXmlStreamWriter xml(&out);
  StartPart(xml, QStringLiteral("office:document-meta"));
  xml.writeStartElement(QStringLiteral("office:meta"));
  xml.writeTextElement(QStringLiteral("meta:generator"), QStringLiteral("Zarn-2.5/2.6"));
  if (!title.isEmpty()) xml.writeTextElement(QStringLiteral("dc:title"), title);
  if (created.isValid()) {
    xml.writeTextElement(QStringLiteral("meta:creation-date"),
                         created.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")));
  }
  xml.writeEndElement();
  xml.writeEndElement();
  xml.writeEndDocument();
  return out;
}

void FontFaces(QXmlStreamWriter& xml, const QString& family) {
  xml.writeStartElement(QStringLiteral("office:font-face-decls"));
  xml.writeEmptyElement(QStringLiteral("style:font-face"));
  xml.writeAttribute(QStringLiteral("style:name"), family);
  xml.writeAttribute(QStringLiteral("svg:font-family"), u'\'' + family + u'\'');
  xml.writeAttribute(QStringLiteral("style:font-family-generic"), QStringLiteral("roman"));
  xml.writeAttribute(QStringLiteral("style:font-pitch"), QStringLiteral("variable"));
  xml.writeEndElement();
}

QString Mm(double mm) {
  QString s = QString::number(mm, 'f', 3);
  while (s.endsWith(u'0')) s.chop(1);
  if (s.endsWith(u'.')) s.chop(1);
  if (s == u"-0") s = QStringLiteral("0");
  return s + QStringLiteral("mm");
}

QString Colour(unsigned rgb) {
  return QStringLiteral("#%1").arg(rgb & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}

}  // namespace zarn::odf
