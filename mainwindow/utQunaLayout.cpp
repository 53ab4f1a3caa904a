// Main form: the layout that adapts to the screen. The left column scrolls where the
// screen is too low for it, the window starts maximised and never grows by itself, and
// the value panel keeps the place the user dragged it to.
#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <functional>

#include "data/lanchg.h"
#include "mainwindow/chartstate.h"
#include "mainwindow/cursorrules.h"
#include "mainwindow/layoutrules.h"
#include "mainwindow/utQuna.h"
#include "ui_frmQuna.h"

namespace {

constexpr int kDesignPanelWidth = 167;
constexpr int kValueRightMargin = 8;

// Refits the layout when the left column asks for another height (a tab switch shows
// the Y-limit or the interval panel) or its scroll area changes size.
class LayoutWatcher : public QObject {
 public:
  LayoutWatcher(QObject* form, std::function<void()> fit) : QObject(form), fit_(std::move(fit)) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if ((event->type() == QEvent::LayoutRequest || event->type() == QEvent::Resize) && !queued_) {
      queued_ = true;
      QTimer::singleShot(0, this, [this] {
        queued_ = false;
        fit_();
      });
    }
    return false;
  }

 private:
  std::function<void()> fit_;
  bool queued_ = false;
};

}  // namespace

void TfrmQuna::SetUpLayout() {
  // The column's height stays inside its scroll area, so neither its design height nor
  // a panel shown by a tab switch can make the window taller than the screen.
  ui->sclLeft->setWidgetResizable(true);
  ui->sclLeft->viewport()->setAutoFillBackground(false);
  ui->pnl9->setAutoFillBackground(false);
  auto* watcher = new LayoutWatcher(this, [this] { FitLayout(); });
  ui->pnl9->installEventFilter(watcher);
  ui->sclLeft->installEventFilter(watcher);
  // In the print group the edits take the width the colour boxes leave, so the labels'
  // column stays as narrow as its labels.
  ui->layout9->setColumnStretch(1, 1);
  FitLeftColumn();
  setWindowState(windowState() | Qt::WindowMaximized);
}

void TfrmQuna::FitLayout() {
  FitLeftColumn();
  PlaceValuePanel();
}

void TfrmQuna::FitLeftColumn() {
  QScrollArea* area = ui->sclLeft;
  const int column = ui->pnl9->minimumWidth();
  const int needed = ui->pnl9->minimumSizeHint().height();
  const int width = LeftColumnWidth(column, needed, area->height(), area->verticalScrollBar()->sizeHint().width());
  if (area->width() != width || area->minimumWidth() != width) area->setFixedWidth(width);
}

void TfrmQuna::PlaceValuePanel() {
  QWidget* panel = ui->pnlMove;
  const ChartState& st = Chart();
  PanelPlacement p;
  const QWidget* parent = panel->parentWidget();  // the central widget, above the status bar
  p.bounds = {parent ? parent->size() : size(), ui->pnl3->height()};
  p.panel = panel->size();
  p.leftColumnWidth = ui->sclLeft->width();
  p.chartWidth = ui->pnLine->width();
  p.userPlaced = st.panelUserPlaced;
  p.userPos = st.panelUserPos;
  const QPoint at = ::PlaceValuePanel(p);
  if (panel->pos() != at) panel->move(at);
}

void TfrmQuna::ResizeValuePanel() {
  QTreeWidget* legend = ui->lstline;
  const QFontMetrics fm(legend->font());
  // The widest text the value column shows: the range's bounds and the two messages.
  int widest = 0;
  for (const QString& text :
       {QString::asprintf("%0.1f", PubParam->MinValue), QString::asprintf("%0.1f", PubParam->MaxValue),
        GetLangString("frmQuna", "Error31", QString::fromUtf8("停电")),
        GetLangString("frmQuna", "Error32", QString::fromUtf8("无数据"))})
    widest = std::max(widest, fm.horizontalAdvance(text));
  // A cell pads its text on both sides.
  widest += 2 * (legend->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, legend) + 1);
  const QMargins m = ui->pnlMove->contentsMargins() + ui->pnlMove->layout()->contentsMargins();
  const int beside = m.left() + m.right() + 2 * legend->frameWidth() + legend->columnWidth(0) +
                     legend->columnWidth(1);
  const int width = ValuePanelWidth(kDesignPanelWidth, beside, widest, kValueRightMargin);
  ui->pnlMove->resize(width, ValuePanelHeight(PubParam->DataHead.ChannelCount));
  PlaceValuePanel();
}
