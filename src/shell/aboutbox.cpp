#include "aboutbox.h"

#include <QFrame>
#include <QMouseEvent>
#include <QPushButton>
#include <QStringList>

#include "common/texts.h"
#include "desktop.h"
#include "report/fonts.h"

// The build passes these for this file alone (so that a new build date recompiles only
// it): the project's version, the build date as "Mmm dd yyyy", the program file's name.
#ifndef ZARN_VERSION
#define ZARN_VERSION "0.0.0"
#endif
#ifndef ZARN_BUILD_DATE
#define ZARN_BUILD_DATE __DATE__
#endif
#ifndef ZARN_INTERNAL_NAME
#define ZARN_INTERNAL_NAME "zarn26"
#endif

namespace zarn {
namespace {

// The table the program's version information is kept under: Russian (0x0419) in code
// page 1251 (0x04E3), the table a Windows version resource of this program names.
constexpr uint16_t kVersionLanguage = 0x0419;
constexpr uint16_t kVersionCodePage = 0x04E3;

// Contact data. Placeholders at reserved example domains until the project has a
// site and mailboxes of its own.
constexpr QStringView kWebAddress = u"www.example.org";
constexpr QStringView kInfoMail = u"info@example.org";
constexpr QStringView kSupportMail = u"support@example.org";
constexpr QStringView kPhones = u"+7 000 000-00-00\n+7 000 000-00-01";

const TextPair txtAboutPhoneFax{u"тел./факс.:", u"Phone/Fax:"};
const TextPair txtAboutMultiLine{u"(многоканальный)", u"(multi-line)"};
const TextPair txtAboutSite{u"Сайт:", u"Site:"};
const TextPair txtAboutGeneral{u"Общие вопросы:", u"General questions:"};
const TextPair txtAboutSupport{u"Техподдержка:", u"Technical Support:"};
const TextPair txtAboutCaption{u"О программе ", u"About "};
const TextPair txtAboutVersion{u"Версия ", u"Version "};
const TextPair txtAboutWriteMail{u"Написать письмо", u"Write an e-mail"};

QString BuildYear() { return QStringLiteral(ZARN_BUILD_DATE).right(4); }

QString CopyrightRu() { return QStringLiteral("© %1 Разработчики Zarn-2.5/2.6").arg(BuildYear()); }
QString CopyrightEn() { return QStringLiteral("© %1 The Zarn-2.5/2.6 developers").arg(BuildYear()); }

QString StringTableKey(uint16_t language, uint16_t codePage) {
  return QStringLiteral("%1").arg((uint32_t(language) << 16) | codePage, 8, 16, QLatin1Char('0')).toUpper();
}

struct RussianMonth {
  QStringView english;
  QStringView russian;
};
constexpr RussianMonth kRussianMonths[] = {
    {u"Jan", u" января "}, {u"Feb", u" февраля "}, {u"Mar", u" марта "},     {u"Apr", u" апреля "},
    {u"May", u" мая "},    {u"Jun", u" июня "},    {u"Jul", u" июля "},      {u"Aug", u" августа "},
    {u"Sep", u" сентября "}, {u"Oct", u" октября "}, {u"Nov", u" ноября "}, {u"Dec", u" декабря "},
};

QLabel* MakeLabel(QWidget* parent, const char* name, int x, int y, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->move(x, y);
  label->adjustSize();
  return label;
}

// A blue, underlined address with a hand cursor.
TClickLabel* MakeLink(QWidget* parent, const char* name, int x, int y, QStringView text) {
  auto* label = new TClickLabel(text.toString(), parent);
  label->setObjectName(QString::fromLatin1(name));
  QFont font = label->font();
  font.setUnderline(true);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::blue);
  label->setPalette(palette);
  label->setCursor(Qt::PointingHandCursor);
  label->move(x, y);
  label->adjustSize();
  return label;
}

}  // namespace

const VersionResource& ProgramVersionResource() {
  static const VersionResource resource = [] {
    VersionResource r;
    r.present = true;
    const char translation[4] = {char(kVersionLanguage & 0xFF), char(kVersionLanguage >> 8),
                                 char(kVersionCodePage & 0xFF), char(kVersionCodePage >> 8)};
    r.translation = QByteArray(translation, 4);
    const QString table = QStringLiteral("\\StringFileInfo\\") + StringTableKey(kVersionLanguage, kVersionCodePage);
    r.strings.insert(table + QStringLiteral("\\InternalName"), QStringLiteral(ZARN_INTERNAL_NAME));
    r.strings.insert(table + QStringLiteral("\\FileVersion"), QStringLiteral(ZARN_VERSION));
    r.strings.insert(table + QStringLiteral("\\LegalCopyright"), CopyrightRu());
    r.buildDate = QStringLiteral(ZARN_BUILD_DATE);
    return r;
  }();
  return resource;
}

QString ProgramVersion() { return QStringLiteral(ZARN_VERSION); }
QString ProgramBuildDate() { return QStringLiteral(ZARN_BUILD_DATE); }

std::optional<QString> QueryVersionValue(const VersionResource& resource, const QString& path) {
  const auto it = resource.strings.constFind(path);
  if (it == resource.strings.constEnd()) return std::nullopt;
  return *it;
}

std::optional<QString> BuildDateText(QStringView buildDate, int language) {
  // Month (at most 3 characters), day (at most 2, padded with a blank) and year (at
  // most 4), separated by blanks.
  const QList<QStringView> words = buildDate.split(u' ', Qt::SkipEmptyParts);
  if (words.size() != 3) return std::nullopt;
  const QString month = words[0].left(3).toString();
  const QString day = words[1].left(2).toString();
  const QString year = words[2].left(4).toString();
  if (language == kEnglish) return QStringLiteral(", ") + day + u' ' + month + u' ' + year;
  QStringView russian = kRussianMonths[0].russian;  // an unknown abbreviation reads as January
  for (const RussianMonth& m : kRussianMonths) {
    if (m.english == month) russian = m.russian;
  }
  return QStringLiteral(" от ") + day + russian.toString() + year + QStringLiteral(" г.");
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit Clicked();
  QLabel::mouseReleaseEvent(event);
}

TAboutBox::TAboutBox(QWidget* parent, const VersionResource& resource, std::function<bool(const QUrl&)> openUrl)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), openUrl_(std::move(openUrl)) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("About"));
  setFixedSize(kClientWidth, kClientHeight);
  InstallFontSubstitutes();
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(11);
  setFont(font);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setGeometry(8, 8, 297, 201);

  ProgramIcon = new TClickLabel(Panel1);
  ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
  ProgramIcon->setGeometry(8, 16, 74, 45);
  ProgramIcon->setPixmap(zarn::ProgramIcon().pixmap(QSize(128, 128)));
  ProgramIcon->setScaledContents(true);  // stretched
  ProgramIcon->setCursor(Qt::PointingHandCursor);

  // The layout's texts: what the box shows when the version information lacks a value.
  ProductName = MakeLabel(Panel1, "ProductName", 96, 16, QStringLiteral("Product Name"));
  Version = MakeLabel(Panel1, "Version", 96, 40, QStringLiteral("Version"));
  txtCopyright = MakeLabel(Panel1, "txtCopyright", 8, 64, QStringLiteral("Copyright"));
  LabelFax = MakeLabel(Panel1, "LabelFax", 8, 88, txtAboutPhoneFax.Str(kRussian));
  Comments = MakeLabel(Panel1, "Comments", 72, 88, kPhones.toString());
  Comments->setWordWrap(true);
  Comments->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Comments->setGeometry(72, 88, 96, 39);
  LabelMulti = MakeLabel(Panel1, "LabelMulti", 168, 88, txtAboutMultiLine.Str(kRussian));
  LabelSite = MakeLabel(Panel1, "LabelSite", 56, 144, txtAboutSite.Str(kRussian));
  LabelWWW = MakeLink(Panel1, "LabelWWW", 152, 144, kWebAddress);
  LabelInfo = MakeLabel(Panel1, "LabelInfo", 56, 160, txtAboutGeneral.Str(kRussian));
  LabelEMail = MakeLink(Panel1, "LabelEMail", 152, 160, kInfoMail);
  LabelTech = MakeLabel(Panel1, "LabelTech", 56, 176, txtAboutSupport.Str(kRussian));
  Label1 = MakeLink(Panel1, "Label1", 152, 176, kSupportMail);
  LabelEMail->setToolTip(txtAboutWriteMail.Str(kRussian));
  Label1->setToolTip(txtAboutWriteMail.Str(kRussian));

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setGeometry(124, 228, 75, 25);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  connect(ProgramIcon, &TClickLabel::Clicked, this, &TAboutBox::LabelWWWClick);
  connect(LabelWWW, &TClickLabel::Clicked, this, &TAboutBox::LabelWWWClick);
  connect(LabelEMail, &TClickLabel::Clicked, this, [this] { LabelEMailClick(LabelEMail); });
  connect(Label1, &TClickLabel::Clicked, this, [this] { LabelEMailClick(Label1); });

  FormCreate(resource);
}

void TAboutBox::FormCreate(const VersionResource& resource) {
  const int language = LanguageIndex.load();
  // 1. No version information: every label keeps its layout text.
  if (!resource.present) return;
  // 2.-3.
  ProductName->setText(txtAppTitle());
  ProductName->adjustSize();
  const std::pair<QLabel*, const TextPair*> captions[] = {{LabelFax, &txtAboutPhoneFax},
                                                          {LabelMulti, &txtAboutMultiLine},
                                                          {LabelSite, &txtAboutSite},
                                                          {LabelInfo, &txtAboutGeneral},
                                                          {LabelTech, &txtAboutSupport}};
  for (const auto& [label, text] : captions) {
    label->setText(text->Str(language));
    label->adjustSize();
  }
  const QString hint = txtAboutWriteMail.Str(language);
  LabelEMail->setToolTip(hint);
  Label1->setToolTip(hint);
  // 4.-5.
  const std::optional<QString> dateText = BuildDateText(resource.buildDate, language);
  if (!dateText) return;
  // 6.-7. The string table the first translation entry names.
  if (resource.translation.size() < 4) return;
  const auto word = [&](int at) {
    return uint16_t(uint8_t(resource.translation[at]) | uint8_t(resource.translation[at + 1]) << 8);
  };
  const QString table = QStringLiteral("\\StringFileInfo\\") + StringTableKey(word(0), word(2)) + u'\\';
  // 8.-10.
  if (const auto name = QueryVersionValue(resource, table + QStringLiteral("InternalName")))
    setWindowTitle(txtAboutCaption.Str(language) + *name);
  if (const auto version = QueryVersionValue(resource, table + QStringLiteral("FileVersion"))) {
    Version->setText(txtAboutVersion.Str(language) + *version + *dateText);
    Version->adjustSize();
  }
  if (const auto copyright = QueryVersionValue(resource, table + QStringLiteral("LegalCopyright"))) {
    txtCopyright->setText(language == kEnglish ? CopyrightEn() : *copyright);
    txtCopyright->adjustSize();
  }
}

void TAboutBox::LabelEMailClick(const QLabel* sender) {
  const QUrl url(QStringLiteral("mailto:") + sender->text() + QStringLiteral("?Subject=") + txtAppTitle());
  // No mail program: nothing is reported.
  if (openUrl_)
    openUrl_(url);
  else
    OpenWithDesktop(url);
}

void TAboutBox::LabelWWWClick() {
  QString address = LabelWWW->text();
  if (!address.contains(QStringLiteral("://"))) address.prepend(QStringLiteral("https://"));
  const QUrl url(address);
  if (openUrl_)
    openUrl_(url);
  else
    OpenWithDesktop(url);
}

}  // namespace zarn
