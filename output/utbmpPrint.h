#pragma once
// The chart print preview: one A4 page with a frame, a three-row header (device name,
// print time, time range, unit name) and the turned chart picture between the margins.
// The user sets the margins and the zoom with four scroll bars, saves them for the data
// file, chooses printer and colour mode and prints. Made once at start-up and reused:
// closing only hides it.

#include <QDialog>
#include <QImage>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "data/pubparam.h"
#include "output/Utprinter.h"
#include "platform/statusmsg.h"

namespace Ui {
class frmPrint;
}
class utBitmap;

class TfrmPrint : public QDialog, public StatusReceiver {
  Q_OBJECT
 public:
  explicit TfrmPrint(QWidget* owner = nullptr);
  ~TfrmPrint() override;

  Ui::frmPrint* Form() const { return ui.get(); }

  // Set by the main form before each showing.
  void SetSettingsSection(const QString& section) { section_ = section; }
  void SetTimeRangeText(const std::string& text) { timeRange_ = text; }
  void SetBitmapWidth(int width) { bmpWidth_ = width; }
  void SetBitmapHeight(int height) { bmpHeight_ = height; }
  void SetBitmap(utBitmap* bitmap) { bitmap_ = bitmap; }  // not owned
  void SetMainPrinterName(const std::string& name) { printerName_ = name; }
  // Receives the index chosen in this form's printer list (the main form's list follows).
  std::function<void(int)> PrinterChosen;
  bool blackWhite = true;

  // WM_STATUSMSG from the printer wrapper: code 12 shows the printer failure.
  void OnStatusMsg(const StatusMsg& msg) override;

  // Handlers.
  void btn6Click();  // print
  void btn2Click();  // close
  void btn3Click();  // save margins and zoom
  void cmbprintSelect();
  void rbColorClick();
  void rbBlackClick();
  void scrlbrChange(int index);  // 0..3: scrlbr1..scrlbr4

  // The preview: laid out for the zoom and drawn at the image's size.
  void RenderPreview();
  const QImage& PreviewImage() const { return preview_; }
  utPrinter& Printer() { return *printer_; }
  // Tests and benchmarks: print to this PDF file instead of the chosen printer.
  void SetOutputFile(const QString& path, int dpi) { printer_->SetOutputFile(path, dpi); }

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void FormShow();
  // The metrics of the chosen printer in the chosen colour mode: the preview's page.
  PageMetrics Paper();
  void LayoutPreview();
  void PrintToPrinter();
  void DrawPage();
  void UpdateMarginSetting(int index, int value, const QString& label);
  QString LabelText(int index) const;

  std::unique_ptr<Ui::frmPrint> ui;
  utPubParam* pubParam_ = nullptr;
  std::unique_ptr<utPrinter> printer_;
  QString section_;
  std::string timeRange_;
  std::string printerName_;
  int bmpWidth_ = 0;
  int bmpHeight_ = 0;
  utBitmap* bitmap_ = nullptr;
  QImage preview_;
  bool showing_ = false;  // FormShow runs: the bars' handlers render once it is done
};

// The one chart print preview (null before start-up makes it).
extern QPointer<TfrmPrint> frmPrint;

// For start-up: the chart print preview, made after the main form.
TfrmPrint* CreatePrintPreview(QWidget* owner);
