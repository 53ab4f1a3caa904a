#pragma once
// Helpers for the main-form widget tests: a form whose hooks record their calls, the real
// form, a store filled with records, a watcher that answers the modal boxes, generated
// files, waiting for a load and mouse events.

#include <gtest/gtest.h>

#include <QApplication>
#include <QColorDialog>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QMouseEvent>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "data/lanchg.h"
#include "data/readdata.h"
#include "mainwindow/utQuna.h"
#include "platform/appdir.h"
#include "platform/chartwidget.h"
#include "support/statuspump.h"
#include "support/tempdir.h"
#include "tools/datagen.h"

class SpyForm : public TfrmQuna {
 public:
  std::vector<std::string> calls;
  int alarmCount = 0;
  void Log(const char* fmt, int a = 0, int b = 0, int c = 0, int d = 0) {
    char buf[96];
    std::snprintf(buf, sizeof buf, fmt, a, b, c, d);
    calls.emplace_back(buf);
  }
  int Count(const std::string& prefix) const {
    int n = 0;
    for (const auto& c : calls) n += c.rfind(prefix, 0) == 0;
    return n;
  }
  void BuildDataView(int p, int f, int s, int e) override { Log("data %d %d %d %d", p, f, s, e); }
  int BuildAlarmIndexFor(int f, int e) override {
    Log("alarmindex %d %d", f, e);
    return alarmCount;
  }
  void BuildAlarmView(int p, int f, int s, int e) override { Log("alarm %d %d %d %d", p, f, s, e); }
  void BuildPowerFailView(int f, int e) override { Log("power %d %d", f, e); }
  void BuildAverageView(int f, int e) override { Log("average %d %d", f, e); }
  void BuildEnergyView(int f, int e) override { Log("energy %d %d", f, e); }
  void BuildPeakView(int f, int e) override { Log("peak %d %d", f, e); }
  void FillSeries() override { Log("fill %d %d", WindowFirst, WindowEnd); }
  void SetupAxes() override { Log("axes"); }
  void CreateSeries() override { Log("series"); }
  void ClearFlags() override { Log("clearflags"); }
  void SetupMainFormForModel() override { Log("setup %d", Loading ? 1 : 0); }
  void RefreshChannelList(int c, bool shown) override { Log("channel %d %d", c, shown ? 1 : 0); }
  void ShowLogWindow() override { Log("log"); }
};

// Answers every modal box that opens while it lives: records its text and closes it
// (or clicks the named button of a dialog).
class ModalWatcher {
 public:
  std::vector<QString> texts;
  std::vector<QMessageBox::Icon> icons;  // the kind of each box, in step with texts
  std::function<bool(QWidget*)> handler;  // true when it dealt with the widget itself
  ModalWatcher() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* m = QApplication::activeModalWidget();
      if (!m) return;
      if (auto* box = qobject_cast<QMessageBox*>(m)) {
        texts.push_back(box->text());
        icons.push_back(box->icon());
        box->close();
        return;
      }
      if (handler && handler(m)) return;
      m->close();
    });
    timer_.start();
  }

 private:
  QTimer timer_;
};

// Answers the rename and colour dialogs.
inline void AnswerDialogs(ModalWatcher& w, const QString& text, const QColor& colour) {
  w.handler = [text, colour](QWidget* m) {
    if (auto* input = qobject_cast<QInputDialog*>(m)) input->setTextValue(text), input->accept();
    else if (auto* dialog = qobject_cast<QColorDialog*>(m)) dialog->setCurrentColor(colour), dialog->accept();
    else return false;
    return true;
  };
}

// Fills the store with count records one gap apart from 2012-09-10 08:00:00, the
// last one a marker (the closing entry) with the time of the one before.
inline void FillStore(int count, int gap, int channels) {
  utPubParam* p = GetPubParam();
  const QDateTime base(QDate(2012, 9, 10), QTime(8, 0, 0));
  for (int i = 0; i < count; ++i) {
    tagDataRecord& r = p->Records[i];
    std::memset(&r, 0, sizeof r);
    const QDateTime t = base.addSecs(static_cast<qint64>(i < count - 1 ? i : i - 1) * gap);
    std::snprintf(r.TimeText, sizeof r.TimeText, "%s", t.toString("yyyy-MM-dd HH:mm:ss").toLatin1().constData());
  }
  p->Records[count - 1].Marker = 1;
  p->RecordCount = count;
  p->DataHead.ChannelCount = static_cast<std::uint8_t>(channels);
  p->DataHead.EarliestIndex = -1;
  p->DataHead.LatestIndex = -1;
  for (int c = 0; c < kMaxChannels; ++c) p->SysPar.ChannelShown[c] = 1;
}

inline std::string Generate(const TempDir& dir, const char* name, const GenOptions& opt) {
  const std::string path = dir.file(name);
  EXPECT_TRUE(WriteDataFile(path, opt));
  return path;
}

// The parse has ended and the reader has parked again (it parks just after its last
// notification has been handled).
inline bool WaitLoaded(TfrmQuna& f) { return PumpUntil([&] { return !f.IsBusy() && f.Reader()->Idle(); }); }

inline void SendMouse(QWidget* w, QEvent::Type type, Qt::MouseButton button, QPoint at) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
  QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), type == QEvent::MouseMove ? Qt::NoButton : button,
                held, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}

// The real form (no hook replaced) with its settings in a temporary folder and a clock of its own.
class LiveForm : public TfrmQuna {
 public:
  std::uint32_t clock = 100000;
  explicit LiveForm(const TempDir& dir, QSize size = QSize(1600, 960)) {
    SetProgramDir(dir.path());
    GetLanchg()->SetLangFile("");
    TickSource = [this] { return clock; };
    show();
    Resize(size);
  }
  ~LiveForm() override { SetProgramDir(""); }
  void Resize(QSize size) {
    setWindowState(Qt::WindowNoState);
    resize(size);
    Settle();
  }
  static void Settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
  }
  bool Load(const std::string& path) {
    clock += 5000;
    if (!OpenDataFile(path) || !WaitLoaded(*this)) return false;
    Settle();
    return true;
  }
  QTreeWidget* Legend() { return findChild<QTreeWidget*>("lstline"); }
  QStringList LegendColumn(int column) {  // 1: the names, 2: the values at the cursor
    QStringList texts;
    for (int i = 0; i < Legend()->topLevelItemCount(); ++i) texts << Legend()->topLevelItem(i)->text(column);
    return texts;
  }
  // A left click on the chart at date-time x, halfway down the plot.
  void ClickAtTime(double x) {
    auto* chart = findChild<ChartWidget*>("cht1");
    const QPoint at(static_cast<int>(std::lround(chart->XPixel(x))), chart->PlotRect().center().y());
    SendMouse(chart, QEvent::MouseButtonPress, Qt::LeftButton, at);
    SendMouse(chart, QEvent::MouseButtonRelease, Qt::LeftButton, at);
  }
};
