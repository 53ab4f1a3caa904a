// Times the curve chart on a loaded demo file of 680,000 records of 32 channels, at
// 1600 x 900 pixels. Optional arguments: PNG files for the full and the zoomed picture.
// Prints: fill_ms=.. full_repaint_ms=.. zoomed_repaint_ms=.. overlay_ms=.. curve_bytes=..
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/benchutil.h"
#include "data/readdata.h"
#include "mainwindow/chartrules.h"
#include "platform/chartwidget.h"

namespace {

// Receives the reader's notifications on this thread, as the main form does.
struct Receiver : QObject, StatusReceiver {
  int lastCode = 0;
  void OnStatusMsg(const StatusMsg& msg) override { lastCode = msg.code; }
};

// Generates the demo recording and loads it through the reader into the store.
bool LoadDemo(const QString& folder) {
  const std::string path = (folder + QStringLiteral("/demo.qmd")).toStdString();
  if (!WriteDemoFile(path, 3)) return false;
  Receiver form;
  utReadData reader;
  reader.SetNotifyWindow(&form, &form);
  if (!reader.LoadFile(path)) return false;
  reader.Resume();
  PumpUntil([&] { return reader.Idle(); }, 120000);
  QCoreApplication::processEvents();
  return reader.Idle() && GetPubParam()->RecordCount > 0;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QTemporaryDir folder;
  if (!folder.isValid() || !LoadDemo(folder.path())) {
    std::fprintf(stderr, "could not generate and load the demo file\n");
    return 1;
  }
  utPubParam& store = *GetPubParam();

  ChartWidget chart;
  chart.resize(1600, 900);
  AdjustYRange(store);
  // The window of a load: every record but the closing entry.
  const double first = store.Records[0].Time, last = store.Records[store.RecordCount - 2].Time;
  SetupAxes(chart, store.SysPar.UP, store.SysPar.DOWN, first, last);
  std::vector<ChartSeries*> curves;
  int windowEnd = store.RecordCount - 1;

  // In the program the login dialog and the main window have drawn text before any file
  // is opened: the font engine's own start-up is not part of seeing the curves.
  {
    QImage warm(200, 50, QImage::Format_RGB32);
    QPainter p(&warm);
    p.setFont(chart.font());
    p.drawText(10, 20, QStringLiteral("2023-1-4 0:0:0 -2,400"));
  }
  const auto t0 = std::chrono::steady_clock::now();
  CreateSeries(chart, curves, store, 0x000000);
  FillSeries(chart, curves, store, 0, windowEnd);
  QImage image;
  chart.Render(image);  // the first picture belongs to "see the curves"
  const double fillMs = Ms(std::chrono::steady_clock::now() - t0);

  constexpr int kRuns = 25;
  const double full = Median(kRuns, [&](int) {
    chart.Refresh();
    chart.Render(image);
  });
  if (argc > 1) image.save(QString::fromLocal8Bit(argv[1]));
  const double span = last - first;
  chart.BottomAxis().SetMinMax(first + span * 0.45, first + span * 0.55);
  const double zoomed = Median(kRuns, [&](int) {
    chart.Refresh();
    chart.Render(image);
  });
  const int cursor = chart.AddVLine(first + span * 0.5, 0x0000FF);
  const double overlay = Median(kRuns, [&](int i) {
    chart.MoveVLine(cursor, first + span * (0.46 + i * 0.003));
    chart.Render(image);
  });
  if (argc > 2) image.save(QString::fromLocal8Bit(argv[2]));
  std::printf("fill_ms=%.1f full_repaint_ms=%.2f zoomed_repaint_ms=%.2f overlay_ms=%.2f curve_bytes=%zu\n",
              fillMs, full, zoomed, overlay, chart.CurveBytes());
  return 0;
}
