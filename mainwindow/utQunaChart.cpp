// Main form: the curve chart's hooks (axes, series, fill, colours) and the wiring of
// the chart, channel panel and value panel to their handlers.
#include <QColorDialog>
#include <QComboBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimeEdit>
#include <QHeaderView>
#include <QTreeWidget>

#include "data/lanchg.h"
#include "data/syspar.h"
#include "mainwindow/chartrules.h"
#include "mainwindow/chartstate.h"
#include "mainwindow/utQuna.h"
#include "platform/appcursor.h"
#include "platform/chartwidget.h"
#include "platform/colors.h"
#include "platform/typedkey.h"
#include "ui_frmQuna.h"

namespace {

// Swatch clicks, the Y-limit keys and the value panel's drag handles.
class ChartEvents : public QObject {
 public:
  explicit ChartEvents(TfrmQuna& form) : form_(form) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    Ui::frmQuna* ui = form_.Form();
    const QEvent::Type type = event->type();
    if (watched == ui->edY1 || watched == ui->edY2) {
      if (type == QEvent::KeyPress) {
        // Digits and backspace only: the sign comes from the box beside the edit.
        const int ch = TypedChar(*static_cast<QKeyEvent*>(event));
        const bool typed = ch >= 32 || ch == 8;
        if (typed && (ch > 127 || !YLimitKeyPasses(static_cast<char>(ch)))) return true;
      }
      return false;
    }
    if (watched == ui->Panel1 || watched == ui->lbl19 || watched == ui->lbtime) {
      if (type == QEvent::MouseButtonPress || type == QEvent::MouseMove ||
          type == QEvent::MouseButtonRelease) {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (type == QEvent::MouseButtonPress)
          chartunit::PanelMouseDown(form_, at.x(), at.y());
        else if (type == QEvent::MouseMove)
          chartunit::PanelMouseMove(form_, at.x(), at.y());
        else
          chartunit::PanelMouseUp(form_);
        return true;
      }
      return false;
    }
    const QVariant number = watched->property("swatchNumber");
    if (number.isValid()) {
      const int n = number.toInt();
      // Swatches 1 to 5 answer a double click, the others a single click.
      const bool wanted = n <= 5 ? type == QEvent::MouseButtonDblClick
                                 : type == QEvent::MouseButtonRelease &&
                                       static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
      if (wanted) {
        chartunit::SwatchClick(form_, n);
        return true;
      }
    }
    return false;
  }

 private:
  TfrmQuna& form_;
};

}  // namespace

ChartState& TfrmQuna::Chart() {
  if (!chart_) {
    chart_.reset(new ChartState);
    chartunit::Wire(*this, *chart_);
  }
  return *chart_;
}

void TfrmQuna::DeleteChart(ChartState* state) { delete state; }

void chartunit::Wire(TfrmQuna& f, ChartState& st) {
  Ui::frmQuna* ui = f.Form();
  ChartWidget* chart = ui->cht1;
  chart->SetPanelColor(13160660);
  chart->LeftAxis().AxisColor = 0xC0C0C0;  // the time axis keeps its grey line
  // The filter object is also the context of every connection below, so nothing
  // reaches the form once its chart state is gone.
  auto events = std::make_unique<ChartEvents>(f);
  QObject* filter = events.get();
  st.events = std::move(events);

  QObject::connect(chart, &ChartWidget::MouseDown, filter,
                   [&f](Qt::MouseButton b, Qt::KeyboardModifiers, int x, int y) {
                     ChartMouseDown(f, b, x, y);
                   });
  QObject::connect(chart, &ChartWidget::MouseMove, filter,
                   [&f](Qt::KeyboardModifiers, int, int) { ChartMouseMove(f); });
  QObject::connect(chart, &ChartWidget::MouseUp, filter,
                   [&f](Qt::MouseButton, Qt::KeyboardModifiers, int, int) { ChartMouseUp(f); });
  QObject::connect(chart, &ChartWidget::DoubleClicked, filter, [&f](int, int) { ChartDoubleClick(f); });
  QObject::connect(chart, &ChartWidget::ZoomedIn, filter, [&f] { ChartZoomed(f); });
  QObject::connect(chart, &ChartWidget::UndoZoomed, filter, [&f] { ChartUndoZoomed(f); });
  // The cursor text sits on the chart and must not take its clicks.
  ui->lbl21->setAttribute(Qt::WA_TransparentForMouseEvents);
  ui->lbl21->resize(260, ui->lbl21->height());

  QObject::connect(ui->btnAddFlag, &QPushButton::clicked, filter, [&f] { AddFlagClick(f); });
  QObject::connect(ui->btnClearFlag, &QPushButton::clicked, filter, [&f] { ClearFlagClick(f); });

  int which = 0;
  for (QTreeWidget* list : {ui->lv8, ui->lv2}) {
    QObject::connect(list, &QTreeWidget::itemChanged, filter, [&f, which](QTreeWidgetItem* item, int) {
      ApplyChannelSelection(f, which, item);
    });
    QObject::connect(list, &QTreeWidget::itemSelectionChanged, filter, [&f, list, which] {
      (which == 0 ? f.Chart().lv8Selected : f.Chart().lv2Selected) = !list->selectedItems().isEmpty();
    });
    QObject::connect(list, &QTreeWidget::itemDoubleClicked, filter,
                     [&f, which](QTreeWidgetItem*, int) { EditChannelLabel(f, which); });
    ++which;
  }
  QTreeWidget* legend = ui->lstline;
  legend->header()->setMinimumSectionSize(10);
  legend->header()->setStretchLastSection(true);
  legend->setColumnWidth(0, 25);
  legend->setColumnWidth(1, 88);
  // The value column takes what is left of the panel's width.
  for (QTreeWidget* list : {ui->lv8, ui->lv2, legend})
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Sixteen rows beside sixteen swatches without scrolling, and no taller: the room a
  // large screen leaves goes below the column, not into empty list space.
  for (QTreeWidget* list : {ui->lv8, ui->lv2})
    list->setFixedHeight(16 * kChannelRowHeight + 2 * list->frameWidth());
  legend->setSelectionMode(QAbstractItemView::SingleSelection);
  QObject::connect(legend, &QTreeWidget::itemSelectionChanged, filter, [&f, legend] {
    f.Chart().legendSelected = !legend->selectedItems().isEmpty();
  });
  QObject::connect(legend, &QTreeWidget::itemDoubleClicked, filter,
                   [&f](QTreeWidgetItem*, int) { LegendDoubleClick(f); });

  for (int c = 0; c < kMaxChannels; ++c) {
    QLabel* swatch = Swatch(f, c);
    swatch->setProperty("swatchNumber", c + 1);
    swatch->installEventFilter(filter);
  }
  for (QWidget* w : std::initializer_list<QWidget*>{ui->edY1, ui->edY2, ui->Panel1, ui->lbl19, ui->lbtime})
    w->installEventFilter(filter);
}

void TfrmQuna::AdjustYRange() { ::AdjustYRange(*PubParam); }

void TfrmQuna::SetupAxes() {
  Chart();
  const double start = ToDateTimeValue(ui->dtp1->date(), ui->dtp2->time());
  const double end = ToDateTimeValue(ui->dtp3->date(), ui->dtp4->time());
  ::SetupAxes(*ui->cht1, PubParam->SysPar.UP, PubParam->SysPar.DOWN, start, end);
}

void TfrmQuna::CreateSeries() {
  ChartState& st = Chart();
  chartunit::RemoveCursor(*this);  // a new build (refresh, restore, new file) has no cursor
  ::CreateSeries(*ui->cht1, st.curveSeries, *PubParam, BkColor);
  st.cursorLine = 0;  // the old lines went with the old series
}

void TfrmQuna::FillSeries() {
  ChartState& st = Chart();
  SetAppCursor(AppCursor::HourGlass);
  SetStatusPanel(2, GetLangString("frmQuna", "Error27", QString::fromUtf8("正在刷新数据.请稍等...")));
  ::FillSeries(*ui->cht1, st.curveSeries, *PubParam, WindowFirst, WindowEnd);
  SetAppCursor(AppCursor::Default);
  SetStatusPanel(2, GetLangString("frmQuna", "Error28", QString::fromUtf8("刷新成功.")));
}

void TfrmQuna::ClearSeries() {
  // Also called when the form closes, possibly before anything was drawn.
  if (!chart_) return;
  ::ClearSeries(*ui->cht1, chart_->curveSeries);
  chart_->cursorLine = 0;
}

bool TfrmQuna::ApplyColor(int kind, int channel, TColor colour, int* error) {
  Chart();
  if (error) *error = 0;
  if (kind == 0) {
    ApplyColorToStore(*PubParam, 0, channel, colour);
    ChartWidget* chart = ui->cht1;
    chart->SetBackColor(colour);
    chart->BottomAxis().LabelColor = InvertColorRGB(clBtnFace);
    chart->LeftAxis().LabelColor = InvertColorRGB(clBtnFace);
    chart->Refresh();
    return WriteBkColor(error);
  }
  if (kind == 1 && channel >= 0 && channel < kMaxChannels) {
    ApplyColorToStore(*PubParam, 1, channel, colour);
    chartunit::PaintSwatch(chartunit::Swatch(*this, channel), colour);
    return PubParam->WriteFilePar(SettingsSection(DataFileName), channel + 1, error);
  }
  return true;
}

void TfrmQuna::ChooseColor(int kind, int channel) {
  Chart();
  // The dialog opens with the colour last chosen in it.
  static QColor last = Qt::white;
  QColorDialog dialog(last, this);
  dialog.setObjectName("dlgColor1");
  if (dialog.exec() != QDialog::Accepted || !dialog.selectedColor().isValid()) return;
  last = dialog.selectedColor();
  const TColor colour = FromQColor(last);
  int error = 0;
  const bool saved = ApplyColor(kind, channel, colour, &error);
  if (kind == 0) BkColor = colour;
  if (!saved) SettingsNotSaved(error);
}

void chartunit::ChartDoubleClick(TfrmQuna& f) {
  const ChartState& st = f.Chart();
  const ChartWidget* chart = f.Form()->cht1;
  if (f.IsBusy()) return;
  if (ChartDoubleClickOpensColour(st.lastMouseX, st.lastMouseY, chart->width(), chart->height(),
                                  !f.DataFileName.empty()))
    f.ChooseColor(0, 0);
}

void chartunit::ChartZoomed(TfrmQuna& f) {
  if (f.Form()->btnClearFlag->isEnabled()) ClearFlagClick(f);
  RemoveCursor(f);
}

void chartunit::ChartUndoZoomed(TfrmQuna& f) { RemoveCursor(f); }
