// Runs one export or print in a process of its own, for the tests whose fault must not
// touch the test process: a file-size limit, a print server that never answers (set
// through the environment), a folder the process may not write to. Prints what
// happened as key=value lines; line breaks inside a text become " | ".
//   quno_fault_child [--fsize BYTES] export PATH ROWS
//   quno_fault_child [--fsize BYTES] pdf PATH
//   quno_fault_child [--fsize BYTES] queue NAME
//   quno_fault_child previews PDF QUEUE
// --fsize sets RLIMIT_FSIZE just before the export or print (after start-up).
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>

#include "data/lanchg.h"
#include "data/pubparam.h"
#include "output/Utprinter.h"
#include "output/utbmpPrint.h"
#include "output/utexeclthread.h"
#include "output/utfaterPint.h"

namespace {

long long fsize = -1;

void Say(const char* key, const QString& value) {
  std::printf("%s=%s\n", key, QString(value).replace('\n', " | ").toUtf8().constData());
  std::fflush(stdout);
}

void Limit() {
  if (fsize < 0) return;
  const rlimit r{static_cast<rlim_t>(fsize), static_cast<rlim_t>(fsize)};
  if (setrlimit(RLIMIT_FSIZE, &r) != 0) Say("error", "setrlimit failed");
}

struct Receiver : QObject, StatusReceiver {
  std::vector<StatusMsg> msgs;
  QEventLoop* loop = nullptr;
  void OnStatusMsg(const StatusMsg& msg) override {
    msgs.push_back(msg);
    if (loop) loop->quit();
  }
  QString Codes() const {
    QStringList codes;
    for (const StatusMsg& m : msgs) codes << QString::number(m.code);
    return codes.join(',');
  }
};

int Export(const std::string& path, int rows) {
  utPubParam* p = GetPubParam();
  p->RecordCount = rows;
  p->DataHead.ChannelCount = 2;
  for (int i = 0; i < rows; ++i) {
    std::snprintf(p->Records[i].TimeText, sizeof p->Records[i].TimeText, "2012-09-10 %02d:%02d:%02d",
                  i / 3600 % 24, i / 60 % 60, i % 60);
    p->Records[i].Channel[0].Value = i;
    p->Records[i].Channel[1].Value = -i;
  }
  for (int k = 0; k < 2; ++k) {
    p->SysPar.ChannelName[k] = std::string(1, static_cast<char>('A' + k));
    p->SysPar.ChannelShown[k] = 1;
  }
  Receiver r;
  QEventLoop loop;
  r.loop = &loop;
  utExeclthread thread(true);
  thread.SetFileName(path);
  thread.SetReportType(1);
  thread.SetStartIndex(0);
  thread.SetEndIndex(rows);
  thread.SetInterval(1);
  thread.SetNotifyWindow(&r, &r);
  Limit();
  thread.Resume();
  loop.exec();
  Say("code", r.Codes());
  Say("text", r.msgs.empty() ? QString() : r.msgs[0].text);
  return 0;
}

// One page with text (fonts make the file a few dozen kilobytes), to a file or a queue.
void PrintPage(utPrinter& printer, Receiver& r, const char* prefix) {
  QElapsedTimer t;
  t.start();
  printer.SetNotifyWindow(&r, &r);
  printer.SetToPrinter(1);
  if (printer.Open() && printer.BeginDoc() && printer.BeginPage()) {
    printer.Run([&] {
      QPainter* dc = printer.DC();
      dc->setFont(CreateFontFromTFont(QFont(QString::fromUtf8("宋体"), 12), 0, printer.DpiY()));
      for (int i = 0; i < 40; ++i) dc->drawText(100, 200 + i * 150, QString::fromUtf8("打印测试 Printing %1").arg(i));
    });
    printer.EndPage();
  }
  printer.EndDoc();
  const std::string p(prefix);
  Say((p + "printed").c_str(), QString::number(printer.Printed()));
  Say((p + "codes").c_str(), r.Codes());
  Say((p + "reason").c_str(), printer.FailureReason());
  Say((p + "ms").c_str(), QString::number(t.elapsed()));
}

int Print(const QString& target, bool toFile) {
  utPrinter printer;
  Receiver r;
  if (toFile) printer.SetOutputFile(target, 600);
  else printer.SetPrinterName(target.toStdString());
  Limit();
  PrintPage(printer, r, "");
  return 0;
}

// Both previews opened as the main form opens them, a chart page printed to a PDF file
// through the chart preview, and one page sent to a queue.
int Previews(const QString& pdf, const QString& queue) {
  QTimer boxes;  // a message box would wait for a user: it is told and closed
  QObject::connect(&boxes, &QTimer::timeout, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      Say("box", box->text());
      box->close();
    }
  });
  boxes.start(10);
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
  Receiver r;
  PrintPage(printer, r, "queue_");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  GetLanchg()->SetLangFile(std::string());
  int a = 1;
  if (a + 1 < argc && std::strcmp(argv[a], "--fsize") == 0) {
    fsize = std::atoll(argv[a + 1]);
    a += 2;
  }
  const std::string cmd = a < argc ? argv[a] : "";
  if (cmd == "export" && a + 2 < argc) return Export(argv[a + 1], std::atoi(argv[a + 2]));
  if ((cmd == "pdf" || cmd == "queue") && a + 1 < argc) return Print(QString::fromLocal8Bit(argv[a + 1]), cmd == "pdf");
  if (cmd == "previews" && a + 2 < argc) return Previews(QString::fromLocal8Bit(argv[a + 1]), QString::fromLocal8Bit(argv[a + 2]));
  std::fprintf(stderr, "usage: see tests/helpers/fault_child.cpp\n");
  return 2;
}
