#include "output/Utprinter.h"

#include <QDir>
#include <QFontMetrics>
#include <QBuffer>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <future>
#include <thread>
#include <system_error>

#include "data/lanchg.h"
#include "platform/safefile.h"

namespace {

constexpr double kUnitDpi = 600.0;
const char* const kDocName = "Printing";

// One axis of the metric rule: extent and text extent in device pixels, the text extent
// gaining `extra` units on the scaled path only.
struct Axis {
  int extent;
  int text;
  double unitsPerInch;
  double deviceScale;
};

Axis ScaleAxis(double dpi, int extent, int text, bool scaleTo600, float extra) {
  if (scaleTo600 && dpi != kUnitDpi && dpi > 0.0) {
    const float f = static_cast<float>(kUnitDpi / dpi);
    return {static_cast<int>(static_cast<float>(extent) * f),
            static_cast<int>(static_cast<float>(text) * f + extra), kUnitDpi, dpi / kUnitDpi};
  }
  return {extent, text, dpi, 1.0};
}

// What went wrong with the PDF or spool file, naming it.
QString FileFailure(const ReplacingFile& file, const QString& name) {
  const QString why = file.Refused() ? QStringLiteral("not a regular file")
                                     : QString::fromStdString(std::system_category().message(file.Error()));
  return name + QStringLiteral(": ") + why;
}

PrintFailure FileKind(const ReplacingFile& file) {
  return file.Refused() ? PrintFailure::FileNotWritten : FileFailureKind(file.Error());
}

// The job options the toolkit's own print engine would send for this printer, and the
// renderer that keeps texts as text on the spooler's way to PostScript (so a PDF printer
// writes pages whose texts can be searched and copied).
JobOptions OptionsFor(const QPrinter& printer) {
  JobOptions o;
  o.emplace_back("media", printer.pageLayout().pageSize().key().toStdString());
  if (printer.copyCount() > 1) o.emplace_back("copies", std::to_string(printer.copyCount()));
  const bool portrait = printer.pageLayout().orientation() == QPageLayout::Portrait;
  switch (printer.duplex()) {
    case QPrinter::DuplexNone: o.emplace_back("sides", "one-sided"); break;
    case QPrinter::DuplexAuto:
      o.emplace_back("sides", portrait ? "two-sided-long-edge" : "two-sided-short-edge");
      break;
    case QPrinter::DuplexLongSide: o.emplace_back("sides", "two-sided-long-edge"); break;
    case QPrinter::DuplexShortSide: o.emplace_back("sides", "two-sided-short-edge"); break;
  }
  o.emplace_back("pdftops-renderer", "pdftocairo");
  return o;
}

// The page of a PDF file: A4 with the margins a printer driver typically keeps.
QPageLayout FileLayout() {
  return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                     QPageLayout::Point);
}

// What a queue prints on: its page layout on A4, resolution and job options.
struct QueuePage {
  QPageLayout layout;
  int dpi = 0;
  JobOptions options;
};

// The toolkit's answer about a printer: whether it knows it, and its page when usable.
struct ToolkitAnswer {
  bool known = false;
  std::optional<QueuePage> page;
};
constexpr std::chrono::milliseconds kToolkitBudget(4000);

}  // namespace

PageMetrics ComputePageMetrics(double dpiX, double dpiY, int horzRes, int vertRes, int textWidth,
                               int textHeight, bool scaleTo600) {
  const Axis x = ScaleAxis(dpiX, horzRes, textWidth, scaleTo600, 0.0f);
  const Axis y = ScaleAxis(dpiY, vertRes, textHeight, scaleTo600, 3.0f);
  PageMetrics m;
  m.width = x.extent;
  m.charWidth = x.text;
  m.height = y.extent;
  m.lineHeight = y.text;
  m.unitsPerInchX = x.unitsPerInch;
  m.unitsPerInchY = y.unitsPerInch;
  m.deviceScaleX = x.deviceScale;
  m.deviceScaleY = y.deviceScale;
  return m;
}

QFont PrinterDefaultFont() { return QFont(QString::fromUtf8("宋体"), 8); }

PageMetrics MeasurePage(QPaintDevice& device, bool scaleTo600) {
  const QFontMetrics fm(PrinterDefaultFont(), &device);
  return ComputePageMetrics(device.logicalDpiX(), device.logicalDpiY(), device.width(), device.height(),
                            fm.horizontalAdvance(QString::fromUtf8("国")), fm.height(), scaleTo600);
}

PageMetrics DefaultPaperMetrics(bool scaleTo600) {
  // A4 at 600 dpi: 4960 x 7016 dots; the font measured at that resolution.
  QImage probe(1, 1, QImage::Format_RGB32);
  probe.setDotsPerMeterX(qRound(kUnitDpi / 0.0254));
  probe.setDotsPerMeterY(qRound(kUnitDpi / 0.0254));
  const QFontMetrics fm(PrinterDefaultFont(), &probe);
  return ComputePageMetrics(kUnitDpi, kUnitDpi, 4960, 7016, fm.horizontalAdvance(QString::fromUtf8("国")),
                            fm.height(), scaleTo600);
}

QSize PreviewImageSize(const PageMetrics& paper, double screenDpiX, double screenDpiY, int zoomPercent) {
  if (paper.unitsPerInchX <= 0 || paper.unitsPerInchY <= 0) return QSize(1, 1);
  const double zoom = zoomPercent * 0.01;
  return QSize(std::max(1, static_cast<int>(paper.width / paper.unitsPerInchX * screenDpiX * zoom)),
               std::max(1, static_cast<int>(paper.height / paper.unitsPerInchY * screenDpiY * zoom)));
}

utPrinter::utPrinter() = default;

utPrinter::~utPrinter() { ReleasePrinter(); }

void utPrinter::SetNotifyWindow(StatusReceiver* receiver, QObject* context) {
  notify_.SetReceiver(receiver, context);
}

void utPrinter::SetOutputFile(const QString& path, int dpi) {
  outputFile_ = path;
  outputDpi_ = dpi > 0 ? dpi : 600;
}

void utPrinter::SetDC(QPainter* painter) {
  ReleasePrinter();
  dc_ = painter;
  const QPaintDevice* device = painter ? painter->device() : nullptr;
  deviceDpiX_ = device ? device->logicalDpiX() : 0.0;
  deviceDpiY_ = device ? device->logicalDpiY() : 0.0;
  metrics_.unitsPerInchX = deviceDpiX_;
  metrics_.unitsPerInchY = deviceDpiY_;
  metrics_.deviceScaleX = metrics_.deviceScaleY = 1.0;
}

void utPrinter::Fail(PrintFailure kind, const QString& reason) {
  if (failed_) return;
  failed_ = true;
  failure_ = reason;
  failureKind_ = kind;
  StatusMsg msg;
  msg.code = kPrinterFailedCode;
  msg.value = 0;
  notify_.Send(msg);
}

void utPrinter::ReleasePrinter() {
  if (printerPainter_) {
    if (printerPainter_->isActive()) printerPainter_->end();
    if (dc_ == printerPainter_.get()) dc_ = nullptr;
    printerPainter_.reset();
  }
  writer_.reset();
  file_.reset();  // removes a file that was not finished, and the spool file
  queue_.clear();
  jobOptions_.clear();
}

// The queue must exist and take jobs before anything is drawn: asked of the print system
// itself (bounded), as the toolkit's printer information does not tell whether a queue
// rejects jobs and waits as long as the server lets it. The page layout and resolution
// are the toolkit's for that printer, so the page is laid out as its own engine would.
namespace {

std::optional<QueuePage> QueuePageOf(const std::string& name, PrintFailure& kind, QString& why) {
  kind = PrintFailure::NoPrinter;
  if (name.empty()) {
    why = QStringLiteral("no printer chosen");
    return std::nullopt;
  }
  const QueueState state = CheckQueue(name);
  if (const PrintFailure refused = QueueFailure(state); refused != PrintFailure::None) {
    kind = refused;
    why = state.reason;
    return std::nullopt;
  }
  // The toolkit asks the print system over its default connection, which waits a minute
  // and more for each answer: it asks on a thread of its own and is given up after a
  // few seconds (the thread ends whenever the server lets it).
  const QString qname = QString::fromStdString(name);
  std::packaged_task<ToolkitAnswer()> ask([qname] {
    ToolkitAnswer a;
    const QPrinterInfo info = QPrinterInfo::printerInfo(qname);
    if (info.isNull()) return a;
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));  // only the size is forced; margins stay the driver's
    a.known = true;
    if (printer.isValid()) a.page = QueuePage{printer.pageLayout(), printer.resolution(), OptionsFor(printer)};
    return a;
  });
  std::future<ToolkitAnswer> answer = ask.get_future();
  std::thread(std::move(ask)).detach();
  if (answer.wait_for(kToolkitBudget) != std::future_status::ready) {
    kind = PrintFailure::NoAnswer;
    why = qname + QStringLiteral(": no answer from the print server");
    return std::nullopt;
  }
  const ToolkitAnswer a = answer.get();
  if (!a.page) {
    why = qname + (a.known ? QStringLiteral(": printer not usable") : QStringLiteral(": unknown printer"));
    return std::nullopt;
  }
  kind = PrintFailure::None;
  return a.page;
}

}  // namespace

bool utPrinter::OpenQueue(QPageLayout& layout, int& dpi) {
  QString why;
  PrintFailure kind;
  const std::optional<QueuePage> page = QueuePageOf(printerName_, kind, why);
  if (!page) {
    // No printer chosen may mean the list to choose from never came: a server that does
    // not answer is told as such, not as a printer that does not exist.
    if (printerName_.empty() && !ListPrinters().answered) {
      kind = PrintFailure::NoAnswer;
      why += QStringLiteral(": no answer from the print server");
    }
    Fail(kind, why);
    return false;
  }
  layout = page->layout;
  dpi = page->dpi;
  jobOptions_ = page->options;
  if (!file_->File().BeginSpool(QDir::tempPath().toStdString())) {
    Fail(FileKind(file_->File()), FileFailure(file_->File(), QDir::tempPath()));
    return false;
  }
  queue_ = printerName_;
  return true;
}

PageMetrics utPrinter::PaperMetrics() {
  if (paper_ && paper_->name == printerName_ && paper_->file == outputFile_ &&
      paper_->dpi == outputDpi_ && paper_->scale == scaleTo600_)
    return paper_->metrics;
  QPageLayout layout = FileLayout();
  int dpi = outputDpi_;
  bool known = !outputFile_.isEmpty();
  if (!known) {
    QString why;
    PrintFailure kind;
    if (const std::optional<QueuePage> page = QueuePageOf(printerName_, kind, why)) {
      layout = page->layout;
      dpi = page->dpi;
      known = true;
    }
  }
  PageMetrics m = DefaultPaperMetrics(scaleTo600_);
  if (known) {
    // Measured on the same kind of device Open draws on, so the preview's page is the paper's.
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    QPdfWriter writer(&sink);
    writer.setResolution(dpi);
    writer.setPageLayout(layout);
    m = MeasurePage(writer, scaleTo600_);
  }
  paper_ = Paper{printerName_, outputFile_, outputDpi_, scaleTo600_, m};
  return m;
}

PageMetrics utPrinter::PaperFor(std::string name, bool blackWhite) {
  printerName_ = std::move(name);
  scaleTo600_ = blackWhite;
  grayScale_ = blackWhite;
  return PaperMetrics();
}

bool utPrinter::Open() {
  failed_ = false;
  printed_ = false;
  pages_ = 0;
  failure_.clear();
  failureKind_ = PrintFailure::None;
  leftJob_ = 0;
  ReleasePrinter();
  file_ = std::make_unique<ReplacingDevice>();
  QPageLayout layout = FileLayout();
  int dpi = outputDpi_;
  if (outputFile_.isEmpty()) {
    if (!OpenQueue(layout, dpi)) {
      ReleasePrinter();
      return false;
    }
  } else if (!file_->File().Begin(outputFile_.toStdString(), Keep::ReadOnly)) {
    Fail(FileKind(file_->File()), FileFailure(file_->File(), outputFile_));
    ReleasePrinter();
    return false;
  }
  file_->open(QIODevice::WriteOnly);
  writer_ = std::make_unique<QPdfWriter>(file_.get());
  writer_->setResolution(dpi);
  writer_->setPageLayout(layout);
  writer_->setTitle(QString::fromLatin1(kDocName));
  deviceDpiX_ = writer_->logicalDpiX();
  deviceDpiY_ = writer_->logicalDpiY();
  metrics_ = MeasurePage(*writer_, scaleTo600_);
  paper_ = Paper{printerName_, outputFile_, outputDpi_, scaleTo600_, metrics_};
  return true;
}

bool utPrinter::BeginDoc() {
  if (!writer_) {
    Fail(PrintFailure::DocumentFailed, QStringLiteral("no printer open"));
    return false;
  }
  printerPainter_ = std::make_unique<QPainter>();
  if (!printerPainter_->begin(writer_.get())) {
    printerPainter_.reset();
    Fail(PrintFailure::DocumentFailed, QStringLiteral("the document could not start"));
    return false;
  }
  dc_ = printerPainter_.get();
  pages_ = 0;
  return true;
}

bool utPrinter::BeginPage() {
  if (!printerPainter_ || dc_ != printerPainter_.get()) return true;  // the preview
  if (pages_ > 0 && !writer_->newPage()) {
    Fail(PrintFailure::DocumentFailed, QStringLiteral("the page could not start"));
    return false;
  }
  ++pages_;
  // The page is drawn in the units of the metrics, whatever the device's resolution.
  dc_->resetTransform();
  dc_->scale(metrics_.deviceScaleX, metrics_.deviceScaleY);
  return true;
}

bool utPrinter::EndPage() { return dc_ != nullptr; }

// The finished PDF: the new file takes the target's place, or the spool file becomes
// the document of a job. The job counts only when the print system created it and
// answered the end of its document with success.
bool utPrinter::Deliver() {
  ReplacingFile& file = file_->File();
  if (!file.Finish()) {
    Fail(FileKind(file), FileFailure(file, queue_.empty() ? outputFile_ : QDir::tempPath()));
    return false;
  }
  if (queue_.empty()) return true;
  const JobResult job = SubmitPdfJob(queue_, file.TempPath(), kDocName, jobOptions_);
  if (!job.printed || job.jobId <= 0) {
    if (job.failure == PrintFailure::LeftOnServer) leftJob_ = job.jobId;
    Fail(job.failure == PrintFailure::None ? PrintFailure::ServerRefused : job.failure,
         QString::fromStdString(queue_) + QStringLiteral(": ") + job.reason);
    return false;
  }
  return true;
}

void utPrinter::EndDoc() {
  if (printerPainter_ && printerPainter_->isActive()) {
    // Nothing of a failed job may come out: its file is dropped with the wrapper's.
    const bool drop = failed_ || pages_ == 0;
    printerPainter_->end();
    if (!drop) printed_ = Deliver();
  }
  ReleasePrinter();
  dc_ = nullptr;
  failed_ = false;
}

void utPrinter::Run(const std::function<void()>& draw) {
  if (toPrinter_ == 0) {
    if (draw) draw();
    return;
  }
  if (!dc_ || dc_ != printerPainter_.get()) {
    Fail(PrintFailure::DocumentFailed, QStringLiteral("no document open"));
    return;
  }
  if (draw) draw();
}

PrintFailure FileFailureKind(int error) {
  return error == ENOSPC || error == EDQUOT || error == EFBIG ? PrintFailure::NoSpace : PrintFailure::FileNotWritten;
}

QString PrintFailureText(PrintFailure kind, int jobId) {
  struct Text {
    PrintFailure kind;
    const char* key;
    const char* text;
  };
  static const Text kTexts[] = {
      {PrintFailure::NoPrinter, "Reason1", "打印机不存在"},
      {PrintFailure::QueueRejects, "Reason2", "打印队列不接受作业"},
      {PrintFailure::NoAnswer, "Reason3", "打印服务器没有应答"},
      {PrintFailure::ServerRefused, "Reason4", "打印服务器没有接受作业"},
      {PrintFailure::NoSpace, "Reason5", "设备上没有剩余空间"},
      {PrintFailure::FileNotWritten, "Reason6", "打印文件无法写入"},
      {PrintFailure::DocumentFailed, "Reason7", "打印文档无法生成"},
      {PrintFailure::LeftOnServer, "Reason8", "打印服务器没有应答，作业 %1 仍留在服务器上，可能还会打印出来，请先查看再重新打印"},
  };
  for (const Text& t : kTexts) {
    if (t.kind != kind) continue;
    const QString text = GetLangString("utPrinter", t.key, QString::fromUtf8(t.text));
    return kind == PrintFailure::LeftOnServer ? text.arg(jobId) : text;
  }
  return QString();
}

QString PrintFailureMessage(const QString& firstLine, PrintFailure kind, int jobId) {
  const QString reason = PrintFailureText(kind, jobId);
  return reason.isEmpty() ? firstLine : firstLine + QLatin1Char('\n') + reason;
}

QPen CreatePenFromTPen(const QPen& pen) {
  QPen p(QBrush(pen.color(), Qt::SolidPattern), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setCosmetic(false);
  return p;
}

QFont CreateFontFromTFont(const QFont& font, int bold, double dpiY) {
  QFont f(font.family());
  const double points = font.pointSizeF() > 0 ? font.pointSizeF() : 8.0;
  f.setPixelSize(std::max(1, static_cast<int>(std::lround(points * dpiY / 72.0))));
  f.setWeight(bold == 1 ? QFont::Bold : QFont::Normal);
  f.setItalic(font.italic());
  f.setUnderline(font.underline());
  f.setStrikeOut(font.strikeOut());
  return f;
}
