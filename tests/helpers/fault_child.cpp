// Runs one export or print in a process of its own, for the tests whose fault must not
// touch the test process: a file-size limit, a print server that never answers (set
// through the environment), a folder the process may not write to. Prints what
// happened as key=value lines; line breaks inside a text become " | ".
//   quno_fault_child [--fsize BYTES] [--pause] export PATH ROWS | pdf PATH | queue NAME
//   quno_fault_child previews PDF QUEUE
//   quno_fault_child hold-export PATH        (the export stops at its first piece, says
//                                             held=1 and waits to be killed)
//   quno_fault_child oom-start DIR MB        (start-up in program folder DIR with MB of
//   quno_fault_child oom-open DIR FILE MB     address space to spare; the main form opening FILE)
//   quno_fault_child chartqueue QUEUE   (a chart of noise through the chart preview)
// --fsize sets RLIMIT_FSIZE just before the export or print (after start-up). --pause
// holds the export at its first piece and the print before its end, its new file begun:
// says paused=1 and goes on once a line comes on stdin.
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QEventLoop>
#include <QMessageBox>
#include <QPainter>
#include <QRandomGenerator>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/startup.h"
#include "data/lanchg.h"
#include "data/pubparam.h"
#include "mainwindow/utQuna.h"
#include "output/Utprinter.h"
#include "output/utbmpPrint.h"
#include "output/utexeclthread.h"
#include "output/utBitmap.h"
#include "output/utfaterPint.h"
#include "platform/appdir.h"
#include "platform/application.h"
#include "users/utLogin.h"

namespace {

long long fsize = -1;
bool pauseMidway = false;

void Say(const std::string& key, const QString& value) {
  std::printf("%s=%s\n", key.c_str(), QString(value).replace('\n', " | ").toUtf8().constData());
  std::fflush(stdout);
}

void Limit() {
  const rlimit r{static_cast<rlim_t>(fsize), static_cast<rlim_t>(fsize)};
  if (fsize >= 0 && setrlimit(RLIMIT_FSIZE, &r) != 0) Say("error", "setrlimit failed");
}

void PauseMidway() {
  if (!pauseMidway) return;
  Say("paused", "1");
  char line[8];
  if (std::fgets(line, sizeof line, stdin) == nullptr) Say("error", "no line to go on");
}

struct Receiver : QObject, StatusReceiver {
  std::vector<StatusMsg> msgs;
  QEventLoop loop;
  void OnStatusMsg(const StatusMsg& msg) override {
    msgs.push_back(msg);
    loop.quit();
  }
  QString Codes() const {
    QStringList codes;
    for (const StatusMsg& m : msgs) codes << QString::number(m.code);
    return codes.join(',');
  }
};

// The data report of rows records of two shown channels.
int Export(const std::string& path, int rows) {
  utPubParam* p = GetPubParam();
  p->RecordCount = rows;
  p->DataHead.ChannelCount = 2;
  p->SysPar.ChannelShown[0] = p->SysPar.ChannelShown[1] = 1;
  for (int i = 0; i < rows; ++i) {
    std::snprintf(p->Records[i].TimeText, sizeof p->Records[i].TimeText, "2012-09-10 %02d:%02d:%02d",
                  i / 3600 % 24, i / 60 % 60, i % 60);
    p->Records[i].Channel[0].Value = i;
    p->Records[i].Channel[1].Value = -i;
  }
  Receiver r;
  utExeclthread thread(true);
  thread.SetFileName(path);
  thread.SetEndIndex(rows);
  thread.SetNotifyWindow(&r, &r);
  if (pauseMidway) SetExportPieceHook(&PauseMidway);
  Limit();
  thread.Resume();
  r.loop.exec();
  Say("code", r.Codes());
  Say("text", r.msgs.empty() ? QString() : r.msgs[0].text);
  return 0;
}

// One page with text (fonts make the file a few dozen kilobytes), to a file or a queue.
int PrintPage(utPrinter& printer, const std::string& prefix = "") {
  QElapsedTimer t;
  t.start();
  Receiver r;
  printer.SetNotifyWindow(&r, &r);
  printer.SetToPrinter(1);
  if (printer.Open() && printer.BeginDoc() && printer.BeginPage()) {
    printer.Run([&] {
      QPainter* dc = printer.DC();
      dc->setFont(CreateFontFromTFont(QFont(QString::fromUtf8("宋体"), 12), 0, printer.DpiY()));
      for (int i = 0; i < 40; ++i) dc->drawText(100, 200 + i * 150, QString::fromUtf8("打印测试 Printing %1").arg(i));
    });
    printer.EndPage();
    PauseMidway();
  }
  printer.EndDoc();
  Say(prefix + "printed", QString::number(printer.Printed()));
  Say(prefix + "codes", r.Codes());
  Say(prefix + "reason", printer.FailureReason());
  Say(prefix + "kind", QString::number(static_cast<int>(printer.FailureKind())));
  Say(prefix + "why", PrintFailureText(printer.FailureKind(), printer.LeftJobId()));
  Say(prefix + "ms", QString::number(t.elapsed()));
  return 0;
}

// Message boxes are told (box=text) and closed, dialogs (the login) told and refused, as a
// user would: either would wait for one.
struct BoxCloser : QTimer {
  int boxes = 0;
  BoxCloser() {
    connect(this, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        ++boxes;
        Say("box", box->text());
        box->close();
      } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        Say("dialog", dialog->windowTitle());
        dialog->reject();
      }
    });
    start(10);
  }
};

// Both previews opened as the main form opens them, a chart page printed to a PDF file
// through the chart preview, and one page sent to a queue.
int Previews(const QString& pdf, const QString& queue) {
  BoxCloser boxes;
  QElapsedTimer t;
  t.start();
  TfrmPrint chart;
  chart.SetMainPrinterName(queue.toStdString());
  chart.show();
  QCoreApplication::processEvents();
  Say("chart_preview_ms", QString::number(t.restart()));
  auto* report = new TfrmfaterPrit();
  report->show();
  QCoreApplication::processEvents();
  Say("report_preview_ms", QString::number(t.restart()));
  report->close();
  chart.SetOutputFile(pdf, 600);
  chart.btn6Click();
  Say("pdf_printed", QString::number(chart.Printer().Printed()));
  Say("pdf_ms", QString::number(t.restart()));
  utPrinter printer;
  printer.SetPrinterName(queue.toStdString());
  return PrintPage(printer, "queue_");
}

// An export held at its first piece, its new file written in part and locked, as a
// writer is when it is killed.
int HoldExport(const std::string& path) {
  SetExportPieceHook([] {
    Say("held", "1");
    for (;;) ::pause();
  });
  return Export(path, 20000);
}

// Limits the address space to what is mapped already and mb more (relative, so that it
// holds where a sanitizer reserves terabytes up front), or for mb < 0 lifts that limit.
// The hard limit stays, so the exit (and a leak check there) has room again.
bool LimitAddressSpace(long mb) {
  QFile statm("/proc/self/statm");
  const long pages = statm.open(QIODevice::ReadOnly) ? statm.readLine().split(' ').value(0).toLong() : 0;
  rlimit r{};
  getrlimit(RLIMIT_AS, &r);
  r.rlim_cur = mb < 0 ? r.rlim_max : static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + (static_cast<rlim_t>(mb) << 20);
  return (mb < 0 || pages > 0) && setrlimit(RLIMIT_AS, &r) == 0;
}

// The program's own application object, so that an exception in an event handler is
// reported as the program reports it.
int OutOfMemory(int argc, char** argv) {
  Application app(argc, argv);
  const std::string cmd = argv[1];
  SetProgramDir(argv[2]);
  PrepareProgramFiles();
  GetLanchg()->SetLangFile(std::string());
  BoxCloser boxes;
  if (cmd == "oom-start" && argc > 3) {
    if (!LimitAddressSpace(std::atol(argv[3]))) return Say("error", "no limit"), 3;
    Say("code", QString::number(RunSessionGuarded(&ShowLoginDialog, [] { return new QWidget; })));
  } else if (cmd == "oom-open" && argc > 4) {
    TfrmQuna form;
    form.show();
    QCoreApplication::processEvents();
    if (!LimitAddressSpace(std::atol(argv[4]))) return Say("error", "no limit"), 3;
    form.OpenDataFile(argv[3]);
    for (QDeadlineTimer end(30000); (form.IsBusy() || QApplication::activeModalWidget()) && !end.hasExpired();)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    Say("busy", QString::number(form.IsBusy()));
  } else return 2;
  LimitAddressSpace(-1);
  Say("ended", "1");
  return 0;
}

// A chart picture of noise, which no compression makes small: the document runs to
// several hundred kilobytes, printed through the chart preview's print button.
int ChartToQueue(const QString& queue) {
  BoxCloser closer;
  QImage noise(800, 600, QImage::Format_RGB32);
  QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(noise.bits()), noise.sizeInBytes() / 4);
  utBitmap bitmap;
  bitmap.SetWidth(noise.width());
  bitmap.SetHeight(noise.height());
  bitmap.GetCanvas()->SetSource(noise);
  TfrmPrint chart;
  chart.SetBitmap(&bitmap);
  chart.SetBitmapWidth(noise.width());
  chart.SetBitmapHeight(noise.height());
  chart.SetMainPrinterName(queue.toStdString());
  QElapsedTimer t;
  t.start();
  chart.show();
  QCoreApplication::processEvents();
  chart.rbColorClick();
  Say("show_ms", QString::number(t.restart()));
  chart.btn6Click();
  Say("ms", QString::number(t.elapsed()));
  Say("printed", QString::number(chart.Printer().Printed()));
  Say("boxes", QString::number(closer.boxes));
  Say("reason", chart.Printer().FailureReason());
  chart.SetBitmap(nullptr);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::strncmp(argv[1], "oom-", 4) == 0) return OutOfMemory(argc, argv);
  QApplication app(argc, argv);
  GetLanchg()->SetLangFile(std::string());
  int a = 1;
  for (;;) {
    if (a + 1 < argc && std::strcmp(argv[a], "--fsize") == 0) fsize = std::atoll(argv[a + 1]), a += 2;
    else if (a < argc && std::strcmp(argv[a], "--pause") == 0) pauseMidway = true, ++a;
    else break;
  }
  const std::string cmd = a < argc ? argv[a] : "";
  const QString arg1 = a + 1 < argc ? QString::fromLocal8Bit(argv[a + 1]) : QString();
  if (cmd == "export" && a + 2 < argc) return Export(argv[a + 1], std::atoi(argv[a + 2]));
  if (cmd == "hold-export" && a + 1 < argc) return HoldExport(argv[a + 1]);
  if ((cmd == "pdf" || cmd == "queue") && a + 1 < argc) {
    utPrinter printer;
    if (cmd == "pdf") printer.SetOutputFile(arg1, 600);
    else printer.SetPrinterName(arg1.toStdString());
    Limit();
    return PrintPage(printer);
  }
  if (cmd == "chartqueue" && a + 1 < argc) return ChartToQueue(arg1);
  if (cmd == "previews" && a + 2 < argc) return Previews(arg1, QString::fromLocal8Bit(argv[a + 2]));
  std::fprintf(stderr, "usage: see tests/helpers/fault_child.cpp\n");
  return 2;
}
