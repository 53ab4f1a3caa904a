#pragma once
// A table model for the report lists: it holds the columns and, for record lists,
// only the record indices of its rows; cell texts are formatted when a row is drawn,
// so a list of 680,000 rows costs one index per row.

#include <QAbstractTableModel>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "reports/Utpage.h"
#include "reports/reportsource.h"

class QTableView;

class ReportModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum class RowKind {
    Text,   // rows given as texts (summaries, power failures)
    Data,   // data list: time and values; markers as power-failure rows, drawn red
    Alarm,  // alarm list: time and alarm texts
    Log,    // log window: time and values of every record, markers included
  };

  explicit ReportModel(QObject* parent = nullptr);
  ~ReportModel() override;

  // Replaces the columns and removes every row.
  void setColumns(std::vector<ColumnSpec> columns);
  const std::vector<ColumnSpec>& columns() const { return columns_; }
  // Updates captions and widths without touching the rows (channel selection,
  // renaming). The column count stays.
  void updateColumns(const std::vector<ColumnSpec>& columns);

  // Rows standing for records, formatted from src.records when drawn.
  void setRecordRows(RowKind kind, const ReportSource& src, std::vector<std::int32_t> indices);
  void setTextRows(std::vector<QStringList> rows);
  void clearRows();

  RowKind kind() const { return kind_; }
  std::int32_t recordAt(int row) const;  // -1 for text rows
  QString cellText(int row, int column) const;
  bool isMarkerRow(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                     int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  void columnWidthsChanged();

 private:
  const tagDataRecord* recordOf(int row) const;

  std::vector<ColumnSpec> columns_;
  RowKind kind_ = RowKind::Text;
  const tagDataRecord* records_ = nullptr;
  std::int32_t recordCount_ = 0;
  int channelCount_ = 0;
  std::vector<std::int32_t> indices_;
  std::vector<QStringList> textRows_;
  QString powerFail_;
  AlarmTexts alarmTexts_;
};

// A new file is about to be read into the store: every list whose rows stand for
// stored records (data, alarm and log lists) drops them, so that none shows the new
// file's records, or half-written ones, under the old file's page or query. Lists of
// texts (power failures, statistics) keep theirs until they are rebuilt.
void ForgetRecordRows();

// A summary (statistics) shown whole: its columns and its text rows.
struct StatTable;
void ShowStatTable(ReportModel& model, const StatTable& table);

// SetColumnLayout on the model's columns; the rows stay. Returns whether a column
// changed.
bool ApplyColumnLayout(ReportModel& model, const ReportSource& src, int pageMode, int channel,
                       int operation, const QString& newName = QString());

// Sets a view up as a report-style list (grid, whole-row selection, read-only, no
// row header, fixed row height) showing the model, and keeps its column widths in
// step with the model's (width 0 hides the column).
void BindReportView(QTableView* view, ReportModel* model);
void ApplyColumnWidths(QTableView* view, const ReportModel& model);
