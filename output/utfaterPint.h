#pragma once
// The report print preview: one page of the report at a time, with first/previous/
// next/last and go-to-page, the margin and zoom bars (saved per data file), the printer
// choice and colour option, and printing from the shown page to the last. The page
// geometry and contents live in reportgeometry/reportpages; this form shows them.

#include <QDialog>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "output/Utprinter.h"
#include "output/reportpages.h"
#include "output/reportprint.h"
#include "platform/statusmsg.h"

namespace Ui {
class frmfaterPrit;
}
class QScrollBar;
class QLabel;

enum class PreviewMsg { Information, Warning, Error };
// Tests replace the message boxes of the preview with a recorder; empty restores them.
using PreviewMessageHandler = std::function<void(PreviewMsg, const QString&)>;
void SetPreviewMessageHandler(PreviewMessageHandler handler);

class TfrmfaterPrit : public QDialog, public StatusReceiver {
  Q_OBJECT
 public:
  explicit TfrmfaterPrit(QWidget* owner = nullptr);
  ~TfrmfaterPrit() override;

  Ui::frmfaterPrit* Form() const { return ui.get(); }

  // Hand-over from the main form before the preview is shown.
  void SetSettingsSection(const std::string& section) { section_ = section; }
  void SetStartIndex(int index) { startIndex = index; }
  void SetEndIndex(int index) { endIndex = index; }
  void SetReportType(int type) { reportTypeCode = type; }
  void SetInterval(int step) { interval = step; }
  void SetMainPrinterName(const std::string& name) { printerName = name; }
  void SetRangeText(const QString& text);
  // The main form's printer list follows this one's choice.
  void SetPrinterSelectedHandler(std::function<void(int)> handler) { onPrinterSelected_ = std::move(handler); }
  void SetJumpPage(int page) { jumpPage = page; }
  bool blackWhite = true;

  // The page shown and the page count of the preview's pagination.
  std::int64_t CurrentPage() const { return currentPage; }
  std::int64_t PageCount() const { return pageCount; }
  const ReportContent& Content() const { return content_; }
  utPrinter& Printer() { return *printer; }

  void btn11Click();  // first page
  void btn8Click();   // previous page
  void btn10Click();  // next page
  void btn1Click();   // last page
  void btn9Click();   // go to page
  void btn6Click();   // print
  void btn3Click();   // save margins and zoom
  void scrlbr4Scroll();
  void GoToPage(int page);  // what the go-to dialog's answer does

  void OnStatusMsg(const StatusMsg& msg) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormShow();
  void BuildContent();
  void UpdateMarginSetting(int index, int value, const QString& label);
  void LimitMarginBars();
  void RenderPreview();
  // The metrics of the chosen printer in the chosen colour mode: the preview's page.
  PageMetrics Paper();
  void LayoutPreview();
  void MoveTo(std::int64_t page);
  void Message(PreviewMsg kind, const QString& text);
  QString MarginCaption(int index) const;
  MarginPercents Margins() const;

  std::unique_ptr<Ui::frmfaterPrit> ui;
  utPubParam* pubParam = nullptr;
  std::int64_t currentPage = 1;
  std::int64_t pageCount = 1;
  int startIndex = 0, endIndex = 0;
  int jumpPage = 1;
  int reportTypeCode = kReportData;
  int interval = 1;
  std::unique_ptr<utPrinter> printer;
  std::string section_;
  std::string printerName;
  ReportContent content_;
  ReportLayout previewLayout_;
  QSize imageSize_;
  bool settingZoom_ = false;
  std::function<void(int)> onPrinterSelected_;
};

// The one report preview: made at start-up and whenever it is missing, owned by the main
// form; it frees itself when it closes.
extern QPointer<TfrmfaterPrit> frmfaterPrit;
TfrmfaterPrit* CreateReportPreview(QWidget* owner);
