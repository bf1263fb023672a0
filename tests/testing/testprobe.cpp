#include "testprobe.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QSaveFile>
#include <QTimer>

#include "chart1.h"
#include "controls.h"
#include "formmain.h"
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
      form_->close();
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
