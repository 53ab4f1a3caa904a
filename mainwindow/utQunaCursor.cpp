// Main form: the chart's mouse handlers, the cursor line and value panel, marker lines
// and their labels, and the dragging of the value panel.
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "data/lanchg.h"
#include "mainwindow/chartrules.h"
#include "mainwindow/chartstate.h"
#include "mainwindow/cursorrules.h"
#include "mainwindow/utQuna.h"
#include "platform/appcursor.h"
#include "platform/chartseries.h"
#include "platform/chartwidget.h"
#include "platform/colors.h"
#include "ui_frmQuna.h"

namespace {

const LangLookup kLang = &GetLangString;
// The cursor series colours each of its points red; a marker line is drawn in its own
// series colour, blue.
constexpr TColor kCursorColour = 0x0000FF;  // clRed
constexpr TColor kMarkerColour = 0xFF0000;  // clBlue

void SetLabelColour(QLabel* label, TColor colour) {
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, ToQColor(colour));
  label->setPalette(pal);
}

// The cursor at time x, or with a marker pending a new marker line and its time label.
// X is the pressed pixel column. Nothing when x lies outside the time axis.
void CreateFlagLabel(TfrmQuna& f, double x, int X, TColor textColour) {
  ChartState& st = f.Chart();
  Ui::frmQuna* ui = f.Form();
  ChartWidget* chart = ui->cht1;
  if (f.Loading || st.curveSeries.empty()) return;
  if (!CursorTimeShown(x, chart->BottomAxis().Minimum(), chart->BottomAxis().Maximum())) return;
  const QString text = FormatChartDateTime(x);
  if (text.isEmpty()) return;
  ui->lbtime->setText(text);
  if (st.flagPending) {
    st.flagLines.push_back(chart->AddVLine(x, kMarkerColour));
    st.flagTimeLabels.push_back(chart->AddTextLabel(QPoint(X, f.PlotTop() + 20), text, textColour, 10));
    return;
  }
  if (st.cursorLine != 0 && chart->HasVLine(st.cursorLine))
    chart->MoveVLine(st.cursorLine, x);
  else
    st.cursorLine = chart->AddVLine(x, kCursorColour);
  ui->lbl21->move(X, ui->lbl21->y());
  SetLabelColour(ui->lbl21, textColour);
  ui->lbl21->setText(text);
}

}  // namespace

void chartunit::ChartMouseDown(TfrmQuna& f, Qt::MouseButton button, int X, int Y) {
  ChartState& st = f.Chart();
  // While a load runs the reader rewrites the store the search would read.
  if (!ChartPressAccepted(!st.curveSeries.empty(), f.IsBusy())) return;
  st.cursorDragging = false;
  st.rightPressed = false;
  if (button == Qt::RightButton) {
    st.rightPressed = true;
    return;
  }
  if (button != Qt::LeftButton) return;
  st.cursorDragging = true;
  st.lastMouseX = X;
  st.lastMouseY = Y;

  Ui::frmQuna* ui = f.Form();
  const double x = ui->cht1->XValueAt(X);
  const TColor textColour = InvertColorRGB(f.BkColor);
  const bool inSegment = CursorInSegment(st.curveSeries, x);
  CreateFlagLabel(f, x, X, textColour);
  const CursorHit hit = FindCursorRecord(*f.PubParam, inSegment, x, f.AvgInterval, kLang);
  if (!hit.message.isEmpty()) ui->lbl21->setText(hit.message);

  const auto texts = ValuePanelTexts(*f.PubParam, st.legendRows, hit);
  QTreeWidget* legend = ui->lstline;
  for (int i = 0; i < legend->topLevelItemCount() && i < static_cast<int>(texts.size()); ++i)
    if (texts[static_cast<std::size_t>(i)]) legend->topLevelItem(i)->setText(2, *texts[static_cast<std::size_t>(i)]);

  if (st.flagPending) {
    st.flagValueLabels.push_back(ui->cht1->AddTextLabel(QPoint(X, f.PlotTop() + 6),
                                                        MarkerValueText(texts, hit), textColour, 10));
    st.flagPending = false;
    SetAppCursor(AppCursor::Default);
  }
}

void chartunit::ChartMouseMove(TfrmQuna& f) {
  ChartState& st = f.Chart();
  if (st.curveSeries.empty()) return;
  // A left drag is confined to the plot by the chart itself.
  if (st.cursorDragging || !st.rightPressed) return;
  // Moving with the right button held takes every line away.
  f.ClearFlags();
  st.flagPending = false;
  SetAppCursor(AppCursor::Default);
  RemoveCursor(f);
}

void chartunit::ChartMouseUp(TfrmQuna& f) {
  ChartState& st = f.Chart();
  st.cursorDragging = false;
  st.rightPressed = false;
}

// The cursor's time and values go with its line, so the value panel never shows a
// time that no line marks.
void chartunit::RemoveCursor(TfrmQuna& f) {
  ChartState& st = f.Chart();
  Ui::frmQuna* ui = f.Form();
  ui->cht1->RemoveVLine(st.cursorLine);
  st.cursorLine = 0;
  ui->lbl21->setText(QString());
  ui->lbtime->setText(QString());
  QTreeWidget* legend = ui->lstline;
  for (int i = 0; i < legend->topLevelItemCount(); ++i) legend->topLevelItem(i)->setText(2, QString());
}

void TfrmQuna::ClearFlags() {
  ChartState& st = Chart();
  ChartWidget* chart = ui->cht1;
  for (int id : st.flagLines) chart->RemoveVLine(id);
  for (int id : st.flagTimeLabels) chart->RemoveTextLabel(id);
  for (int id : st.flagValueLabels) chart->RemoveTextLabel(id);
  st.flagLines.clear();
  st.flagTimeLabels.clear();
  st.flagValueLabels.clear();
}

void chartunit::AddFlagClick(TfrmQuna& f) {
  SetAppCursor(AppCursor::Cross);
  f.Chart().flagPending = true;
}

void chartunit::ClearFlagClick(TfrmQuna& f) {
  f.ClearFlags();
  f.Chart().flagPending = false;
  SetAppCursor(AppCursor::Default);
}

void chartunit::PanelMouseDown(TfrmQuna& f, int x, int y) {
  ChartState& st = f.Chart();
  st.panelDragX = x;
  st.panelDragY = y;
  st.panelDragging = true;
}

void chartunit::PanelMouseMove(TfrmQuna& f, int x, int y) {
  ChartState& st = f.Chart();
  if (!st.panelDragging) return;
  Ui::frmQuna* ui = f.Form();
  QWidget* panel = ui->pnlMove;
  const QWidget* parent = panel->parentWidget();
  PanelDrag d;
  d.panelPos = panel->pos();
  d.panelSize = panel->size();
  d.parentSize = parent ? parent->size() : f.size();
  d.pressAt = QPoint(st.panelDragX, st.panelDragY);
  d.mouseAt = QPoint(x, y);
  d.pnl3Height = ui->pnl3->height();
  d.pnLineWidth = ui->pnLine->width();
  // The left column as shown: its scroll area (the column itself may be taller).
  d.pnl9Width = ui->sclLeft->width();
  d.pnl9Height = ui->sclLeft->height();
  const QPoint at = DragValuePanel(d);
  panel->move(at);
  st.panelUserPlaced = true;
  st.panelUserPos = at;
}

void chartunit::PanelMouseUp(TfrmQuna& f) { f.Chart().panelDragging = false; }
