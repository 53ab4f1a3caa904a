#include "output/Utprinter.h"

#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPrintEngine>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kUnitDpi = 600.0;

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

// The print system's job options (its own engine key). The spooler turns the page into
// PostScript on its way to most queues; this renderer keeps texts as text there, so a
// PDF printer writes pages whose texts can be searched and copied.
void KeepTextAsText(QPrinter& printer) {
  const auto kJobOptions = static_cast<QPrintEngine::PrintEnginePropertyKey>(0xfe00);
  QPrintEngine* engine = printer.printEngine();
  if (!engine) return;
  QStringList options = engine->property(kJobOptions).toStringList();
  options << QStringLiteral("pdftops-renderer") << QStringLiteral("pdftocairo");
  engine->setProperty(kJobOptions, options);
}

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

void utPrinter::Fail() {
  if (failed_) return;
  failed_ = true;
  StatusMsg msg;
  msg.code = kPrinterFailedCode;
  msg.value = 0;
  notify_.Send(msg);
}

void utPrinter::ReleasePrinter() {
  if (printerPainter_) {
    if (printerPainter_->isActive()) {
      printer_->abort();
      printerPainter_->end();
    }
    if (dc_ == printerPainter_.get()) dc_ = nullptr;
    printerPainter_.reset();
  }
  printer_.reset();
}

std::unique_ptr<QPrinter> utPrinter::MakePrinter() const {
  std::unique_ptr<QPrinter> printer;
  if (outputFile_.isEmpty()) {
    const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(printerName_));
    if (printerName_.empty() || info.isNull()) return nullptr;
    printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    KeepTextAsText(*printer);
  } else {
    printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(outputFile_);
    printer->setResolution(outputDpi_);
  }
  // A4 whatever the printer's paper: only the size is forced, the margins stay the driver's.
  printer->setPageSize(QPageSize(QPageSize::A4));
  printer->setDocName(QStringLiteral("Printing"));
  printer->setColorMode(grayScale_ ? QPrinter::GrayScale : QPrinter::Color);
  if (!printer->isValid()) return nullptr;
  return printer;
}

PageMetrics utPrinter::MetricsOf(QPrinter& printer) const {
  const QFontMetrics fm(PrinterDefaultFont(), &printer);
  return ComputePageMetrics(printer.logicalDpiX(), printer.logicalDpiY(), printer.width(),
                            printer.height(), fm.horizontalAdvance(QString::fromUtf8("国")),
                            fm.height(), scaleTo600_);
}

PageMetrics utPrinter::PaperMetrics() {
  if (paper_ && paper_->name == printerName_ && paper_->file == outputFile_ &&
      paper_->dpi == outputDpi_ && paper_->scale == scaleTo600_)
    return paper_->metrics;
  const std::unique_ptr<QPrinter> printer = MakePrinter();
  paper_ = Paper{printerName_, outputFile_, outputDpi_, scaleTo600_,
                 printer ? MetricsOf(*printer) : DefaultPaperMetrics(scaleTo600_)};
  return paper_->metrics;
}

bool utPrinter::Open() {
  failed_ = false;
  printed_ = false;
  pages_ = 0;
  ReleasePrinter();
  printer_ = MakePrinter();
  if (!printer_) {
    Fail();
    return false;
  }
  deviceDpiX_ = printer_->logicalDpiX();
  deviceDpiY_ = printer_->logicalDpiY();
  metrics_ = MetricsOf(*printer_);
  paper_ = Paper{printerName_, outputFile_, outputDpi_, scaleTo600_, metrics_};
  return true;
}

bool utPrinter::BeginDoc() {
  if (!printer_) {
    Fail();
    return false;
  }
  printerPainter_ = std::make_unique<QPainter>();
  if (!printerPainter_->begin(printer_.get())) {
    printerPainter_.reset();
    Fail();
    return false;
  }
  dc_ = printerPainter_.get();
  pages_ = 0;
  return true;
}

bool utPrinter::BeginPage() {
  if (!printerPainter_ || dc_ != printerPainter_.get()) return true;  // the preview
  if (pages_ > 0 && !printer_->newPage()) {
    Fail();
    return false;
  }
  ++pages_;
  // The page is drawn in the units of the metrics, whatever the device's resolution.
  dc_->resetTransform();
  dc_->scale(metrics_.deviceScaleX, metrics_.deviceScaleY);
  return true;
}

bool utPrinter::EndPage() { return dc_ != nullptr; }

void utPrinter::EndDoc() {
  if (printerPainter_ && printerPainter_->isActive()) {
    if (failed_ || pages_ == 0) {
      // Nothing of a failed job may come out: drop it, and the file a PDF job began.
      printer_->abort();
      printerPainter_->end();
      if (!outputFile_.isEmpty()) QFile::remove(outputFile_);
    } else {
      printed_ = printerPainter_->end();
    }
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
    Fail();
    return;
  }
  if (draw) draw();
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
