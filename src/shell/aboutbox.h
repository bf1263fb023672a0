#pragma once
// TAboutBox: the program's name, version line with build date, legal notice and the
// makers' contact data. The web address and the two e-mail addresses (and the icon)
// open the desktop's browser or a new mail message.
//
// The version information is compiled into the program from the build (the project's
// version, the build date, the program file's name) and laid out as a version resource
// of a Windows program file is: a translation entry naming a string table,
// and the values in that table. The box queries it step by step, so that a missing
// value leaves that label's layout text.

#include <QByteArray>
#include <QDialog>
#include <QLabel>
#include <QMap>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

QT_BEGIN_NAMESPACE
class QFrame;
class QPushButton;
QT_END_NAMESPACE

namespace zarn {

struct VersionResource {
  // False: the program carries no version information at all.
  bool present = false;
  // "\VarFileInfo\Translation": pairs of a 16-bit language id and a 16-bit code page,
  // little-endian.
  QByteArray translation;
  // Values by their full path, e.g. "\StringFileInfo\041904E3\FileVersion".
  QMap<QString, QString> strings;
  // The build date as "Mmm dd yyyy" (the day padded with a blank).
  QString buildDate;
};

// The program's own version information, compiled in from the build.
const VersionResource& ProgramVersionResource();
// The program's version, e.g. "1.5.3", and its build date ("Nov  6 2013").
QString ProgramVersion();
QString ProgramBuildDate();

// A value of `resource` by its full path; empty when absent.
std::optional<QString> QueryVersionValue(const VersionResource& resource, const QString& path);

// The build date as the version line shows it: ", 6 Nov 2013" (English) or
// " от 6 ноября 2013 г." (Russian). Empty when `buildDate` is not three words.
std::optional<QString> BuildDateText(QStringView buildDate, int language);

// A label that reports a left click.
class TClickLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

 signals:
  void Clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 314;
  static constexpr int kClientHeight = 265;

  // `openUrl` opens a web address or a mail message; empty: the desktop's handlers.
  explicit TAboutBox(QWidget* parent, const VersionResource& resource = ProgramVersionResource(),
                     std::function<bool(const QUrl&)> openUrl = {});

  QFrame* Panel1 = nullptr;
  TClickLabel* ProgramIcon = nullptr;
  QLabel* ProductName = nullptr;
  QLabel* Version = nullptr;
  QLabel* txtCopyright = nullptr;
  QLabel* LabelFax = nullptr;
  QLabel* Comments = nullptr;
  QLabel* LabelMulti = nullptr;
  QLabel* LabelSite = nullptr;
  TClickLabel* LabelWWW = nullptr;
  QLabel* LabelInfo = nullptr;
  TClickLabel* LabelEMail = nullptr;
  QLabel* LabelTech = nullptr;
  TClickLabel* Label1 = nullptr;
  QPushButton* OKButton = nullptr;

  void FormCreate(const VersionResource& resource);
  // For LabelEMail and Label1: a new message to the clicked label's address.
  void LabelEMailClick(const QLabel* sender);
  // For LabelWWW and ProgramIcon: the web address.
  void LabelWWWClick();

 private:
  std::function<bool(const QUrl&)> openUrl_;
};

}  // namespace zarn
