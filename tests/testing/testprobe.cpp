#include "testprobe.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QPointer>
#include <QProgressBar>
#include <QSaveFile>
#include <QTimer>

#include "chart1.h"
#include "controls.h"
#include "formmain.h"
#include "materials/materialseditor.h"
#include "objects/objectseditor.h"
#include "stringgrid.h"

namespace zarn {
namespace {

class TestProbe : public QObject {
 public:
  TestProbe(TForm1& form, QString folder) : QObject(&form), form_(&form), folder_(std::move(folder)) {
    QDir().mkpath(folder_);
    timer_.setInterval(150);
    connect(&timer_, &QTimer::timeout, this, &TestProbe::Tick);
    timer_.start();
  }

 private:
  static void AppendGrid(QString& out, const char* name, const TStringGrid* grid) {
    out += QStringLiteral("%1.size=%2x%3\n").arg(QLatin1String(name)).arg(grid->ColCount()).arg(grid->RowCount());
    for (int r = 0; r < grid->RowCount(); ++r) {
      out += QStringLiteral("%1[%2]=").arg(QLatin1String(name)).arg(r);
      for (int c = 0; c < grid->ColCount(); ++c) {
        if (c) out += u'\t';
        out += grid->Cells(c, r);
      }
      out += u'\n';
    }
  }

  QString State() const {
    QString s;
    s += QStringLiteral("title=") + form_->windowTitle() + u'\n';
    for (int p = 0; p < 2; ++p) s += QStringLiteral("panel%1=%2\n").arg(p).arg(form_->StatusBar1->PanelText(p));
    s += QStringLiteral("lamp=%1\n").arg(uint32_t(form_->CurrentLamp()), 8, 16, QLatin1Char('0'));
    s += QStringLiteral("progress=%1\n").arg(form_->ProgressBar1->isVisible() ? 1 : 0);
    s += QStringLiteral("row1=%1\n").arg(form_->StringGrid1->Row());
    s += QStringLiteral("shown=%1\n").arg(form_->ShownProcessCount());
    s += QStringLiteral("chart.title=") + form_->Chart1->TitleLines().join(u'|') + u'\n';
    const auto series = form_->Chart1->SeriesPoints();
    int drawn = 0;
    for (const auto& points : series) drawn += points.empty() ? 0 : 1;
    s += QStringLiteral("chart.series=%1\n").arg(drawn);
    AppendGrid(s, "table1", form_->StringGrid1);
    AppendGrid(s, "table2", form_->StringGrid2);
    AppendGrid(s, "koef", form_->StringGridKoef);
    for (const char* kind : {"materials", "objects"}) {
      EditorWindow* editor = Editor(QString::fromLatin1(kind));
      s += QStringLiteral("%1.open=%2\n").arg(QLatin1String(kind)).arg(editor ? 1 : 0);
      if (!editor) continue;
      s += QStringLiteral("%1.busy=%2\n").arg(QLatin1String(kind)).arg(editor->Busy() ? 1 : 0);
      s += QStringLiteral("%1.outcome=%2\n").arg(QLatin1String(kind), editor->OutcomeLine->text());
      s += QStringLiteral("%1.size=%2x%3\n").arg(QLatin1String(kind)).arg(editor->width()).arg(editor->height());
      for (QLineEdit* edit : editor->findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly)) {
        const bool red = edit->palette().color(QPalette::Text) == QColor(255, 0, 0);
        s += QStringLiteral("%1.%2=%3%4\n")
                 .arg(QLatin1String(kind), edit->objectName(), edit->text(), red ? QStringLiteral(" [red]") : QString());
      }
    }
    if (QWidget* modal = QApplication::activeModalWidget()) {
      QString text = modal->windowTitle();
      if (auto* box = qobject_cast<QMessageBox*>(modal)) text += u'|' + box->text();
      s += QStringLiteral("modal=") + text.replace(u'\n', u' ') + u'\n';
    }
    s += QStringLiteral("modified=%1%2\n").arg(MaterialsModified ? 1 : 0).arg(ObjectsModified ? 1 : 0);
    return s;
  }

  static void Click(TStringGrid* grid, int col, int row) {
    if (row < 0 || row >= grid->RowCount() || col < 0 || col >= grid->ColCount()) return;
    const QModelIndex index = grid->model()->index(row, col);
    grid->scrollTo(index);
    // Whatever lies at the cell's centre (a fixed part lies over the cells) gets it.
    const QPoint inGrid = grid->viewport()->mapTo(grid, grid->visualRect(index).center());
    QWidget* target = grid->childAt(inGrid);
    if (!target) return;
    const QPoint at = target->mapFrom(grid, inGrid);
    QMouseEvent press(QEvent::MouseButtonPress, at, target->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, target->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &release);
  }

  EditorWindow* Editor(QStringView kind) const {
    return form_->findChild<EditorWindow*>(kind == u"objects" ? QStringLiteral("frmObjects")
                                                               : QStringLiteral("frmMaterials"));
  }

  // Types `text` into `edit` key by key, as the keyboard does.
  static void Type(QLineEdit* edit, const QString& text) {
    for (QChar ch : text) {
      const int key = ch.isDigit() ? Qt::Key_0 + ch.digitValue() : ch.toUpper().unicode();
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(ch));
      QCoreApplication::sendEvent(edit, &press);
      QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(ch));
      QCoreApplication::sendEvent(edit, &release);
    }
  }

  // The editor commands: "KIND open|grab FILE|close|click BUTTON|tab N|type FIELD TEXT".
  void RunEditor(const QString& argument) {
    const QString kind = argument.section(u' ', 0, 0);
    const QString verb = argument.section(u' ', 1, 1);
    const QString rest = argument.section(u' ', 2);
    if (verb == u"open") {
      if (kind == u"objects")
        form_->AObjectEditExecute();
      else
        form_->AMaterialEditExecute();
      return;
    }
    EditorWindow* editor = Editor(kind);
    if (!editor) return;
    if (verb == u"grab") {
      editor->grab().save(rest);
    } else if (verb == u"close") {
      QTimer::singleShot(0, editor, [editor] { editor->close(); });
    } else if (verb == u"click") {
      // From the event loop: a transfer wait must not hold up the probe.
      if (auto* button = editor->findChild<QPushButton*>(rest))
        QTimer::singleShot(0, button, [button] { button->click(); });
    } else if (verb == u"tab") {
      if (auto* tabs = editor->findChild<QTabBar*>(QStringLiteral("TabControl1")))
        tabs->setCurrentIndex(rest.toInt());
    } else if (verb == u"type") {
      if (auto* edit = editor->findChild<QLineEdit*>(rest.section(u' ', 0, 0))) {
        edit->clear();
        Type(edit, rest.section(u' ', 1));
      }
    }
  }

  // Answers the modal dialog on top: "yes", "no", "cancel", "ok" for a message box, a
  // file name for a file dialog, "-" to cancel a file dialog.
  static void Answer(const QString& answer) {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      const QMessageBox::StandardButton which =
          answer == u"yes" ? QMessageBox::Yes
          : answer == u"no" ? QMessageBox::No
          : answer == u"cancel" ? QMessageBox::Cancel
                                : QMessageBox::Ok;
      if (QAbstractButton* button = box->button(which)) button->click();
    } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      if (answer == u"-") {
        dialog->reject();
      } else {
        dialog->selectFile(answer);
        QMetaObject::invokeMethod(dialog, "accept");
      }
    }
  }

  void Run(const QString& line) {
    const QString command = line.section(u' ', 0, 0);
    const QString argument = line.section(u' ', 1);
    if (command == u"click1") {
      Click(form_->StringGrid1, 0, argument.toInt());
    } else if (command == u"click2") {
      Click(form_->StringGrid2, argument.toInt(), 1);
    } else if (command == u"grab") {
      form_->grab().save(argument);
    } else if (command == u"close") {
      // From the event loop: a question the close asks must not hold up the probe.
      QTimer::singleShot(0, form_, [form = form_] { form->close(); });
    } else if (command == u"read") {
      form_->AGaugeReadExecute();
    } else if (command == u"unit") {
      if (argument == u"kgf")
        form_->AkgmExecute();
      else
        form_->AMPaExecute();
    } else if (command == u"copy1") {
      form_->ACopyTable1Execute();
    } else if (command == u"copy2") {
      form_->ACopyTable2Execute();
    } else if (command == u"copydata") {
      form_->ACopyGraphDataExecute();
    } else if (command == u"open") {
      form_->OpenCommandLine({argument});
    } else if (command == u"editor") {
      RunEditor(argument);
    } else if (command == u"action") {
      // From the event loop: a command that opens a modal dialog must not hold up the probe.
      if (auto* action = form_->findChild<QAction*>(argument))
        QTimer::singleShot(0, action, [action] { action->trigger(); });
    } else if (command == u"answer") {
      Answer(argument);
    }
  }

  void Tick() {
    if (!form_) return;
    QFile command(folder_ + QStringLiteral("/command"));
    if (command.exists() && command.open(QIODevice::ReadOnly)) {
      const QStringList lines = QString::fromUtf8(command.readAll()).split(u'\n', Qt::SkipEmptyParts);
      command.close();
      command.remove();
      for (const QString& line : lines) Run(line.trimmed());
      if (!form_) return;
    }
    const QString state = State();
    if (state == last_) return;
    last_ = state;
    QSaveFile out(folder_ + QStringLiteral("/state.txt"));
    if (!out.open(QIODevice::WriteOnly)) return;
    out.write(state.toUtf8());
    out.commit();
  }

  QPointer<TForm1> form_;
  QString folder_;
  QTimer timer_;
  QString last_;
};

// Writes its file at the first paint of the watched widget, then goes.
class PaintMarker : public QObject {
 public:
  PaintMarker(QWidget* watched, QString file) : QObject(watched), file_(std::move(file)) {
    watched->installEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      QFile(file_).open(QIODevice::WriteOnly);
      watched->removeEventFilter(this);
      deleteLater();
    }
    return false;
  }

 private:
  QString file_;
};

}  // namespace

void InstallTestProbe(TForm1& form) {
  const QString painted = qEnvironmentVariable("ZARN26_TEST_PAINTED");
  if (!painted.isEmpty()) new PaintMarker(form.StringGrid1->viewport(), painted);
  const QString folder = qEnvironmentVariable("ZARN26_TEST_PROBE");
  if (folder.isEmpty()) return;
  new TestProbe(form, folder);
}

}  // namespace zarn
