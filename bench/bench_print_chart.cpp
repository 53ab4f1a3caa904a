// Times the chart print on the demo file (680,000 records of 32 channels) loaded as the
// main form loads it: the whole job from taking the chart's picture to the closed PDF
// file at 600 dpi, through the preview's print button, and the preview's redraw after a
// margin change. Optional: --out PATH keeps the PDF there; --printer NAME prints through
// that CUPS queue instead of a PDF file. A failed job ends the program with exit code 1
// and the error on its last line.
// Prints: chart_pdf_ms=T preview_ms=P pages=N (medians of 10)
#include <QApplication>
#include <QMessageBox>
#include <QScrollBar>
#include <QTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/benchutil.h"
#include "data/lanchg.h"
#include "data/readdata.h"
#include "mainwindow/paperchart.h"
#include "mainwindow/utQuna.h"
#include "output/utBitmap.h"
#include "output/utbmpPrint.h"
#include "platform/appdir.h"
#include "platform/chartwidget.h"
#include "ui_frmPrint.h"
#include "ui_frmQuna.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QString out, queue;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--out") == 0) out = QString::fromLocal8Bit(argv[i + 1]);
    if (std::strcmp(argv[i], "--printer") == 0) queue = QString::fromLocal8Bit(argv[i + 1]);
  }
  QTemporaryDir folder;
  if (!folder.isValid()) return 1;
  if (out.isEmpty()) out = folder.filePath("chart.pdf");
  SetProgramDir(folder.path().toStdString());
  GetLanchg()->SetLangFile("");

  const std::string demo = folder.filePath("demo.qmd").toStdString();
  if (!WriteDemoFile(demo, 3)) {
    std::fprintf(stderr, "could not write the demo file\n");
    return 1;
  }

  TfrmQuna form;
  form.showNormal();
  form.resize(1600, 1000);
  QCoreApplication::processEvents();
  if (!form.OpenDataFile(demo) ||
      !PumpUntil([&] { return !form.IsBusy() && form.Reader()->Idle(); }, 120000)) {
    std::fprintf(stderr, "could not load the demo file\n");
    return 1;
  }
  QCoreApplication::processEvents();
  ChartWidget* chart = form.Form()->cht1;
  const QString range = ChartRangeText(chart->BottomAxis().Minimum(), chart->BottomAxis().Maximum());

  TfrmPrint* preview = CreatePrintPreview(&form);
  // A box would wait for a user who is not there: its text is kept and it is closed.
  QString failure;
  QTimer boxes;
  QObject::connect(&boxes, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      failure = box->text();
      box->close();
    }
  });
  boxes.start(10);
  if (queue.isEmpty()) {
    preview->SetOutputFile(out, 600);
  } else {
    preview->Form()->cmbprint->addItem(queue);
    preview->Form()->cmbprint->setCurrentIndex(0);
  }
  form.Form()->rbColor->setChecked(true);
  form.Form()->rbBlack->setChecked(false);
  int pages = 0;
  bool ok = true;
  constexpr int kRuns = 10;
  const double job = Median(kRuns, [&](int) {
    utBitmap bitmap;
    bitmap.SetWidth(chart->width());
    bitmap.SetHeight(chart->height());
    const PaperChart paper(form);
    ok = form.PrepareChartPreview(*preview, range, &bitmap) && ok;
    if (!ok) return;  // one failed job tells enough
    preview->btn6Click();
    ok = preview->Printer().Printed() && ok;
    if (!ok) failure += QStringLiteral(" ") + preview->Printer().FailureReason();
    pages = preview->Printer().PagesStarted();
    preview->SetBitmap(nullptr);
  });

  // The preview as the user sees it, with a picture, redrawn after each margin change.
  utBitmap bitmap;
  bitmap.SetWidth(chart->width());
  bitmap.SetHeight(chart->height());
  form.PrepareChartPreview(*preview, range, &bitmap);
  preview->show();
  QCoreApplication::processEvents();
  QScrollBar* top = preview->Form()->scrlbr1;
  const double redraw = Median(kRuns, [&](int i) { top->setValue(i % 2 ? 5 : 6); });
  preview->hide();
  preview->SetBitmap(nullptr);

  if (!ok) {
    std::fprintf(stderr, "a print failed\n");
    std::fflush(stderr);
    std::printf("%s\n", failure.replace('\n', ' ').toLocal8Bit().constData());
    return 1;
  }
  std::fprintf(stderr, "chart %d x %d pixels, preview image %d x %d\n", chart->width(),
               chart->height(), preview->PreviewImage().width(), preview->PreviewImage().height());
  std::printf("chart_pdf_ms=%.1f preview_ms=%.2f pages=%d\n", job, redraw, pages);
  return ok ? 0 : 1;
}
