#pragma once
// The printer wrapper: the one object through which both print previews draw a page,
// on the preview image or on paper. It holds the painter that is drawn on, the page
// size W x H and the two text metrics every page layout is expressed in: the line
// height LH (height of "中") and the character width CW (width of "国").
//
// Preview:  SetToPrinter(0), SetDC(painter on the image, scaled from the paper),
//           SetMetrics(PaperMetrics()), Run: the preview page is the paper page.
// Paper:    SetToPrinter(1), SetScaleTo600, Open, then if BeginDoc: BeginPage, Run,
//           EndPage (per page), and in every case EndDoc.
//
// Every printer failure (unknown name, a queue that does not take jobs or whose server
// does not answer, a document or a page that cannot start, a PDF or spool file that
// could not be written whole, a job the print system did not create) is reported once
// per job as WM_STATUSMSG code 12 to the notify window; the job is then dropped, nothing
// counts as printed, and EndDoc releases the printer.
//
// The pages are always written as PDF into a file of the wrapper's own: for a PDF file,
// a new file beside it that replaces it only when whole (an earlier file at the name
// stays otherwise); for a queue, a spool file that is sent to the print system as the
// job's document once whole. Every question to the print system is bounded in time.

#include <QColor>
#include <QFont>
#include <QPen>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/cupsqueue.h"
#include "platform/statusmsg.h"

class QObject;
class QPaintDevice;
class QPainter;
class QPageLayout;
class QPdfWriter;
class ReplacingDevice;

constexpr int kPrinterFailedCode = 12;

// Page size and text metrics in drawing units, and the factors that map one drawing
// unit onto device pixels (1 unless the axis is drawn in 600-dpi units).
struct PageMetrics {
  int width = 0;       // W
  int height = 0;      // H
  int lineHeight = 0;  // LH
  int charWidth = 0;   // CW
  double unitsPerInchX = 0.0;  // the resolution the units stand for
  double unitsPerInchY = 0.0;
  double deviceScaleX = 1.0;   // device pixels per drawing unit
  double deviceScaleY = 1.0;
};

// The metric rule of an opened printer: page extents horzRes x vertRes device pixels,
// text extents of "国" (width) and "中" (height) in device pixels. With scaleTo600 an
// axis whose resolution is not exactly 600 dpi is expressed in 600-dpi units (LH then
// gets 3 more units); the two axes are decided separately.
PageMetrics ComputePageMetrics(double dpiX, double dpiY, int horzRes, int vertRes,
                               int textWidth, int textHeight, bool scaleTo600);

// The font the printer's texts are measured in when no other is chosen.
QFont PrinterDefaultFont();
// The metric rule applied to a device: its page extents and the default font's "国"/"中".
PageMetrics MeasurePage(QPaintDevice& device, bool scaleTo600);

// A4 at 600 dpi with the default font: the paper when no printer can be asked.
PageMetrics DefaultPaperMetrics(bool scaleTo600);

// The size of a page's image at zoomPercent of its real size on a screen of the given
// resolution: the page keeps its proportions whatever the zoom.
QSize PreviewImageSize(const PageMetrics& paper, double screenDpiX, double screenDpiY, int zoomPercent);

class utPrinter {
 public:
  utPrinter();
  ~utPrinter();
  utPrinter(const utPrinter&) = delete;
  utPrinter& operator=(const utPrinter&) = delete;

  // Preview: draw with this painter (the caller's; never ended or deleted here). The
  // resolution is that of the painter's device. Drops a printer that Open made.
  void SetDC(QPainter* painter);
  // The painter to draw with: the preview's, or the printer's between BeginDoc and
  // EndDoc; null otherwise.
  QPainter* DC() const { return dc_; }

  void SetPageWidth(int width) { metrics_.width = width; }
  void SetPageHeight(int height) { metrics_.height = height; }
  void SetLineHeight(int lineHeight) { metrics_.lineHeight = lineHeight; }
  void SetCharWidth(int charWidth) { metrics_.charWidth = charWidth; }
  void SetMetrics(const PageMetrics& metrics) { metrics_ = metrics; }
  void SetToPrinter(int toPrinter) { toPrinter_ = toPrinter; }
  void SetPrinterName(std::string name) { printerName_ = std::move(name); }
  void SetNotifyWindow(StatusReceiver* receiver, QObject* context);
  void SetScaleTo600(bool scale) { scaleTo600_ = scale; }
  // Black-and-white: the printer prints in greys.
  void SetGrayScale(bool gray) { grayScale_ = gray; }
  // Instead of a named printer, Open writes a PDF file at this resolution (tests,
  // benchmarks). An empty path goes back to the named printer.
  void SetOutputFile(const QString& path, int dpi = 600);

  int PageWidth() const { return metrics_.width; }
  int PageHeight() const { return metrics_.height; }
  int LineHeight() const { return metrics_.lineHeight; }
  int CharWidth() const { return metrics_.charWidth; }
  int ToPrinter() const { return toPrinter_; }
  bool ScaleTo600() const { return scaleTo600_; }
  bool GrayScale() const { return grayScale_; }
  const std::string& PrinterName() const { return printerName_; }
  // Resolution of the device drawn on (the preview image's or the printer's).
  double DeviceDpiX() const { return deviceDpiX_; }
  double DeviceDpiY() const { return deviceDpiY_; }
  // Resolution of the drawing units: the device's, or 600 on an axis drawn in 600-dpi
  // units. Fonts for the page are sized for DpiY().
  double DpiX() const { return metrics_.unitsPerInchX; }
  double DpiY() const { return metrics_.unitsPerInchY; }
  const PageMetrics& Metrics() const { return metrics_; }

  // Opens the printer (or the output file) on A4 and computes the metrics. False, with
  // code 12 sent, when the printer is unknown or unusable.
  bool Open();
  // The metrics Open would give for the printer (or output file) and 600-dpi choice as
  // they are set now, without opening a document; the default paper when there is no
  // such printer. Kept until the printer or the choice changes.
  PageMetrics PaperMetrics();
  // The paper of a preview: the printer chosen and the colour mode (黑白: greys in
  // 600-dpi units) set, then its PaperMetrics.
  PageMetrics PaperFor(std::string name, bool blackWhite);
  // Starts the document "Printing" (and its first page). False on failure (code 12
  // once per job).
  bool BeginDoc();
  // Starts the next page (the first one comes with BeginDoc). False, with code 12 once
  // per job, when the page cannot start.
  bool BeginPage();
  // False when no painter is held.
  bool EndPage();
  // Ends the document and releases the printer. After a failure the job is dropped
  // instead of printed.
  void EndDoc();
  // Draws the page with draw(): always on the preview; on paper only while a document
  // is open (else code 12).
  void Run(const std::function<void()>& draw);

  // True once the last EndDoc finished a job without any failure.
  bool Printed() const { return printed_; }
  // Why the last job failed (the print system's or the file system's words); empty
  // when it did not.
  const QString& FailureReason() const { return failure_; }
  // The kind of that failure; None when there was none.
  PrintFailure FailureKind() const { return failureKind_; }
  // The job that failure left on the print server (PrintFailure::LeftOnServer); else 0.
  int LeftJobId() const { return leftJob_; }
  // Pages started in the current or last job.
  int PagesStarted() const { return pages_; }

 private:
  void Fail(PrintFailure kind, const QString& reason);
  bool OpenQueue(QPageLayout& layout, int& dpi);
  bool Deliver();
  void ReleasePrinter();

  QPainter* dc_ = nullptr;  // the preview's painter, or printerPainter_
  std::unique_ptr<ReplacingDevice> file_;  // the PDF's bytes: the new file or the spool file
  std::unique_ptr<QPdfWriter> writer_;
  std::unique_ptr<QPainter> printerPainter_;
  std::string queue_;  // the queue the spool file goes to; empty for a PDF file
  JobOptions jobOptions_;
  QString failure_;
  PrintFailure failureKind_ = PrintFailure::None;
  int leftJob_ = 0;
  PageMetrics metrics_;
  double deviceDpiX_ = 0.0;
  double deviceDpiY_ = 0.0;
  int toPrinter_ = 1;
  std::string printerName_;
  bool scaleTo600_ = true;
  bool grayScale_ = false;
  QString outputFile_;
  int outputDpi_ = 600;
  StatusChannel notify_;
  bool failed_ = false;   // this job failed (reported)
  bool printed_ = false;
  int pages_ = 0;
  // PaperMetrics of the last printer asked: its name, file, resolution and 600-dpi choice.
  struct Paper {
    std::string name;
    QString file;
    int dpi = 0;
    bool scale = false;
    PageMetrics metrics;
  };
  std::optional<Paper> paper_;
};

// The kind of a failure to write the PDF or spool file, from its errno: a full disk or
// a size limit is NoSpace.
PrintFailure FileFailureKind(int error);
// The reason's line of the failure box, in the interface's language; a job left on the
// server is named by jobId.
QString PrintFailureText(PrintFailure kind, int jobId = 0);
// The failure box's text: the box's own first line, then the reason on a line of its
// own (none for PrintFailure::None).
QString PrintFailureMessage(const QString& firstLine, PrintFailure kind, int jobId = 0);

// A pen for the page: solid, one drawing unit wide, round caps and joins, in the pen's
// colour.
QPen CreatePenFromTPen(const QPen& pen);
// A font of the given font's family, italic, underline and strike-out, sized from its
// point size for dpiY (the wrapper's DpiY()), weight bold when bold is 1.
QFont CreateFontFromTFont(const QFont& font, int bold, double dpiY);
