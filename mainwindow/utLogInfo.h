#pragma once
// The log-information window: a small stay-on-top window listing every loaded record
// between two typed date-times with the values of all channels, unpaged. It reads the
// record store and changes nothing. Its texts are those of its layout.

#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <cstdint>
#include <memory>
#include <vector>

#include "reports/reportsource.h"

namespace Ui {
class frmLogInfo;
}
class ReportModel;

// The records whose time text lies in [start, end], both bounds included, compared
// as texts (text order is time order), in store order. Every record counts, markers
// and records out of time order included.
std::vector<std::int32_t> LogQuery(const ReportSource& src, const QString& start,
                                   const QString& end);

// The log window's columns: "记录时间" 130, then one per channel (60, 0 when hidden).
std::vector<ColumnSpec> LogColumns(const ReportSource& src);

class TfrmLogInfo : public QWidget {
  Q_OBJECT

 public:
  explicit TfrmLogInfo(QWidget* owner = nullptr);
  ~TfrmLogInfo() override;

  // The query bounds typed in the pickers, as "yyyy-MM-dd HH:mm:ss".
  QString StartText() const;
  QString EndText() const;
  ReportModel* Model() const { return model_; }
  // Whether a load is writing the record store; a query asked for meanwhile is
  // deferred to its end. The main form's busy state unless a test replaces it.
  std::function<bool()> StoreBusy;
  bool QueryDeferred() const { return deferred_.isActive(); }
  Ui::frmLogInfo* UiForm() const { return ui_.get(); }

 public slots:
  void FormShow();
  void btn1Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::unique_ptr<Ui::frmLogInfo> ui_;
  ReportModel* model_;
  QTimer deferred_;
};

// NULL until the first Alt+L.
extern TfrmLogInfo* frmLogInfo;

// Alt+L: creates the window on first use and shows it (not modal); later calls show
// the same window again. Returns it.
TfrmLogInfo* ShowLogInfo();
