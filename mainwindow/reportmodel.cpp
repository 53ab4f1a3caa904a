#include "mainwindow/reportmodel.h"

#include <QBrush>
#include <QHeaderView>
#include <QTableView>
#include <algorithm>
#include <cstring>

#include "reports/numformat.h"
#include "reports/reportlists.h"
#include "reports/statistics.h"

namespace {
// Every model alive, all of them on the user-interface thread.
std::vector<ReportModel*>& LiveModels() {
  static std::vector<ReportModel*> models;
  return models;
}
}  // namespace

ReportModel::ReportModel(QObject* parent) : QAbstractTableModel(parent) {
  LiveModels().push_back(this);
}

ReportModel::~ReportModel() { std::erase(LiveModels(), this); }

void ForgetRecordRows() {
  for (ReportModel* m : LiveModels())
    if (m->kind() != ReportModel::RowKind::Text) m->clearRows();
}

void ReportModel::setColumns(std::vector<ColumnSpec> columns) {
  beginResetModel();
  columns_ = std::move(columns);
  kind_ = RowKind::Text;
  indices_.clear();
  textRows_.clear();
  endResetModel();
  emit columnWidthsChanged();
}

void ReportModel::updateColumns(const std::vector<ColumnSpec>& columns) {
  const std::size_t n = std::min(columns.size(), columns_.size());
  for (std::size_t i = 0; i < n; ++i) columns_[i] = columns[i];
  if (n > 0) emit headerDataChanged(Qt::Horizontal, 0, static_cast<int>(n) - 1);
  emit columnWidthsChanged();
}

void ReportModel::setRecordRows(RowKind kind, const ReportSource& src,
                                std::vector<std::int32_t> indices) {
  beginResetModel();
  kind_ = kind;
  records_ = src.records;
  recordCount_ = src.count;
  channelCount_ = std::clamp(src.channelCount, 0, kMaxChannels);
  textRows_.clear();
  indices_ = std::move(indices);
  // Texts are looked up once per build, not per cell.
  if (kind == RowKind::Data) powerFail_ = PowerFailText();
  if (kind == RowKind::Alarm) alarmTexts_ = LoadAlarmTexts();
  endResetModel();
}

void ReportModel::setTextRows(std::vector<QStringList> rows) {
  beginResetModel();
  kind_ = RowKind::Text;
  indices_.clear();
  textRows_ = std::move(rows);
  endResetModel();
}

void ReportModel::clearRows() {
  beginResetModel();
  indices_.clear();
  textRows_.clear();
  endResetModel();
}

std::int32_t ReportModel::recordAt(int row) const {
  if (kind_ == RowKind::Text || row < 0 || row >= static_cast<int>(indices_.size())) return -1;
  return indices_[static_cast<std::size_t>(row)];
}

const tagDataRecord* ReportModel::recordOf(int row) const {
  const std::int32_t r = recordAt(row);
  if (!records_ || r < 0 || r >= recordCount_) return nullptr;
  return &records_[r];
}

bool ReportModel::isMarkerRow(int row) const {
  const tagDataRecord* rec = recordOf(row);
  return kind_ == RowKind::Data && rec && rec->Marker != 0;
}

QString ReportModel::cellText(int row, int column) const {
  if (row < 0 || column < 0) return QString();
  if (kind_ == RowKind::Text) {
    if (row >= static_cast<int>(textRows_.size())) return QString();
    const QStringList& r = textRows_[static_cast<std::size_t>(row)];
    return column < r.size() ? r[column] : QString();
  }
  const tagDataRecord* rec = recordOf(row);
  if (!rec) return QString();
  if (column == 0) {
    if (kind_ == RowKind::Data && rec->Marker != 0) return powerFail_;
    return QString::fromLatin1(rec->TimeText, static_cast<int>(strnlen(rec->TimeText, sizeof rec->TimeText)));
  }
  const int ch = column - 1;
  if (ch >= channelCount_) return QString();
  switch (kind_) {
    case RowKind::Data:
      return rec->Marker != 0 ? QString() : FormatFixed2(rec->Channel[ch].Value);
    case RowKind::Log:
      return FormatFixed2(rec->Channel[ch].Value);
    case RowKind::Alarm:
      return AlarmCellText(rec->Channel[ch], alarmTexts_);
    case RowKind::Text:
      break;
  }
  return QString();
}

int ReportModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return static_cast<int>(kind_ == RowKind::Text ? textRows_.size() : indices_.size());
}

int ReportModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant ReportModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole) return cellText(index.row(), index.column());
  if (role == Qt::ForegroundRole)
    return QBrush(isMarkerRow(index.row()) ? Qt::red : Qt::black);
  return {};
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(columns_.size()))
    return QAbstractTableModel::headerData(section, orientation, role);
  if (role == Qt::DisplayRole) return columns_[static_cast<std::size_t>(section)].caption;
  return {};
}

bool ReportModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                                int role) {
  if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(columns_.size()) ||
      (role != Qt::EditRole && role != Qt::DisplayRole))
    return false;
  columns_[static_cast<std::size_t>(section)].caption = value.toString();
  emit headerDataChanged(orientation, section, section);
  return true;
}

Qt::ItemFlags ReportModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void ApplyColumnWidths(QTableView* view, const ReportModel& model) {
  // The widths are laid out for a font in which a record time and the cell margins
  // just fill 120 pixels; a wider font widens every column alike so that no time
  // text is cut.
  const int timeWidth = view->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00"));
  const double scale = std::max(1.0, (timeWidth + 14) / 120.0);
  const auto& cols = model.columns();
  for (int k = 0; k < static_cast<int>(cols.size()); ++k) {
    const int w = cols[static_cast<std::size_t>(k)].width;
    view->setColumnHidden(k, w <= 0);
    if (w > 0) view->setColumnWidth(k, static_cast<int>(w * scale + 0.5));
  }
}

void BindReportView(QTableView* view, ReportModel* model) {
  view->setModel(model);
  view->setShowGrid(true);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setWordWrap(false);
  view->verticalHeader()->hide();
  // A fixed row height keeps a list of hundreds of thousands of rows cheap to lay out.
  view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
  view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  view->horizontalHeader()->setHighlightSections(false);
  QObject::connect(model, &ReportModel::columnWidthsChanged, view,
                   [view, model] { ApplyColumnWidths(view, *model); });
  // A rebuilt list starts at its first row, not where the previous page was scrolled to.
  QObject::connect(model, &QAbstractItemModel::modelReset, view, [view, model] {
    ApplyColumnWidths(view, *model);
    view->scrollToTop();
  });
  ApplyColumnWidths(view, *model);
}

void ShowStatTable(ReportModel& model, const StatTable& table) {
  model.setColumns(table.columns);
  model.setTextRows(table.rows);
}

bool ApplyColumnLayout(ReportModel& model, const ReportSource& src, int pageMode, int channel,
                       int operation, const QString& newName) {
  std::vector<ColumnSpec> cols = model.columns();
  if (!SetColumnLayout(cols, src, pageMode, channel, operation, newName)) return false;
  model.updateColumns(cols);
  return true;
}
