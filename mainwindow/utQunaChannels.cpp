// Main form: the channel panel (check-box lists, swatches, model texts), the legend of
// the value panel, renames, channel colours and the marker-button rule. Every list
// item, legend row and swatch stands for its channel by position, never by name.
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <map>

#include "data/lanchg.h"
#include "mainwindow/channelrules.h"
#include "mainwindow/chartrules.h"
#include "mainwindow/chartstate.h"
#include "mainwindow/utQuna.h"
#include "platform/colors.h"
#include "ui_frmQuna.h"

namespace {

const LangLookup kLang = &GetLangString;
constexpr int kChannelRole = Qt::UserRole + 1;
// Value cells of the legend (clCream).
constexpr TColor kLegendCream = 0xF0FBFF;

QTreeWidget* ListOf(Ui::frmQuna* ui, int which) { return which == 0 ? ui->lv8 : ui->lv2; }

}  // namespace

QLabel* chartunit::Swatch(TfrmQuna& f, int channel) {
  const QString name = channel < 16 ? QString("img%1").arg(101 + channel)
                                    : QString("img%1").arg(201 + channel - 16);
  return f.findChild<QLabel*>(name);
}

void chartunit::PaintSwatch(QLabel* swatch, TColor colour) {
  if (!swatch) return;
  // One rectangle over the whole image, outlined with the default (black) pen.
  QPixmap image(swatch->size().isEmpty() ? QSize(24, 16) : swatch->size());
  image.fill(ToQColor(colour));
  QPainter painter(&image);
  painter.setPen(Qt::black);
  painter.drawRect(0, 0, image.width() - 1, image.height() - 1);
  painter.end();
  swatch->setPixmap(image);
}

void TfrmQuna::SetupMainFormForModel() {
  Chart();
  const ModelSetup setup = BuildModelSetup(*PubParam, kLang);
  ApplyModelSetup(*PubParam, setup, BkColor);

  // Setting the check marks must not act as a user's choice.
  const QSignalBlocker block8(ui->lv8), block2(ui->lv2);
  ui->lv8->clear();
  ui->lv2->clear();
  for (int c = 0; c < kMaxChannels; ++c) {
    QLabel* swatch = chartunit::Swatch(*this, c);
    chartunit::PaintSwatch(swatch, 0xFFFFFF);
    swatch->setVisible(setup.swatchVisible[static_cast<std::size_t>(c)]);
  }
  for (int c = 0; c < setup.channelCount; ++c) {
    auto* item = new QTreeWidgetItem(c < 16 ? ui->lv8 : ui->lv2);
    item->setText(0, setup.labels[static_cast<std::size_t>(c)]);
    item->setData(0, kChannelRole, c);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Checked);
    item->setSizeHint(0, QSize(0, kChannelRowHeight));
    chartunit::PaintSwatch(chartunit::Swatch(*this, c), PubParam->SysPar.ChannelColor[c]);
  }
  ui->lbl2->setText(setup.modelText);
  ui->lbl3->setText(setup.idText);
  ui->lbl8->setText(setup.countText);
  ui->edtdevice->setText(setup.deviceText);
  ui->edtdevice->setCursorPosition(0);  // the model first, where the field is too narrow
  const int ts6 = ui->pgc1->indexOf(ui->ts6);
  if (ts6 >= 0) ui->pgc1->setTabText(ts6, setup.ts6Caption);
  Chart().lv8Selected = Chart().lv2Selected = false;
}

void TfrmQuna::ShowChannelSummary() { chartunit::RebuildLegend(*this, false); }

void chartunit::RebuildLegend(TfrmQuna& f, bool keepValues) {
  ChartState& st = f.Chart();
  QTreeWidget* legend = f.Form()->lstline;
  // The cursor's values stay with their channels while the cursor stays (a tab switch
  // or a check mark rebuilds the rows); a new file's rows start empty.
  std::map<int, QString> values;
  for (int i = 0; keepValues && i < legend->topLevelItemCount(); ++i)
    values[legend->topLevelItem(i)->data(0, kChannelRole).toInt()] = legend->topLevelItem(i)->text(2);
  st.legendRows = BuildChannelSummary(*f.PubParam);
  legend->clear();
  st.legendSelected = false;
  for (const LegendRow& row : st.legendRows) {
    auto* item = new QTreeWidgetItem(legend);
    item->setText(1, row.label);  // whole, however long
    if (auto it = values.find(row.channel); it != values.end()) item->setText(2, it->second);
    item->setData(0, kChannelRole, row.channel);
    for (int column = 0; column < 3; ++column) item->setSizeHint(column, QSize(0, kLegendRowHeight));
  }
  PaintLegend(f);
}

void chartunit::PaintLegend(TfrmQuna& f) {
  QTreeWidget* legend = f.Form()->lstline;
  const utPubParam& store = *f.PubParam;
  for (int i = 0; i < legend->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = legend->topLevelItem(i);
    const int c = item->data(0, kChannelRole).toInt();
    if (c >= 0 && c < ChannelCountOf(store)) item->setBackground(0, ToQColor(store.SysPar.ChannelColor[c]));
    item->setBackground(1, ToQColor(kLegendCream));
    item->setBackground(2, ToQColor(kLegendCream));
  }
  legend->viewport()->update();
}

void TfrmQuna::RefreshChannelList(int channel, bool shown) {
  ChartState& st = Chart();
  SetChannelShown(*PubParam, channel, shown);
  chartunit::RebuildLegend(*this);
  SetChannelCurveActive(st.curveSeries, channel, shown);
}

void chartunit::ApplyChannelSelection(TfrmQuna& f, int which, QTreeWidgetItem* item) {
  if (f.Loading || !item) return;
  QTreeWidget* list = ListOf(f.Form(), which);
  const int index = list->indexOfTopLevelItem(item);
  if (index < 0) return;
  const int channel = ChannelOfListItem(*f.PubParam, which, index);
  if (channel < 0) return;
  const bool shown = item->checkState(0) == Qt::Checked;
  // A change of caption or colour also arrives here; only a new check mark counts.
  if ((f.PubParam->SysPar.ChannelShown[channel] != 0) == shown) return;
  SetChannelShown(*f.PubParam, channel, shown);
  if (f.ReportType == 2)
    f.RefreshChannelList(channel, shown);
  else
    f.ApplyColumnLayout(f.ReportType);
  f.UpdateFlagButtons();
}

void TfrmQuna::UpdateFlagButtons() {
  switch (DecideFlagButtons(*PubParam, ReportType)) {
    case FlagButtonsAction::DisableAndClear:
      ui->btnAddFlag->setEnabled(false);
      ui->btnClearFlag->setEnabled(false);
      ClearFlags();
      break;
    case FlagButtonsAction::Enable:
      ui->btnAddFlag->setEnabled(true);
      ui->btnClearFlag->setEnabled(true);
      break;
    case FlagButtonsAction::Keep:
      break;
  }
}

void chartunit::EditChannelLabel(TfrmQuna& f, int which) {
  ChartState& st = f.Chart();
  if (!(which == 0 ? st.lv8Selected : st.lv2Selected)) return;
  QTreeWidget* list = ListOf(f.Form(), which);
  QTreeWidgetItem* item = list->currentItem();
  if (!item || !item->isSelected()) return;
  const int channel = ChannelOfListItem(*f.PubParam, which, list->indexOfTopLevelItem(item));
  if (channel < 0) return;
  const QString old = item->text(0);
  QInputDialog dialog(&f);
  dialog.setObjectName("InputBox");
  dialog.setWindowTitle(QString::fromStdString(SettingsSection(f.DataFileName)));
  dialog.setLabelText(GetLangString("frmQuna", "Error33", QString::fromUtf8("新通道标签      ")));
  dialog.setTextValue(old);
  if (dialog.exec() != QDialog::Accepted) return;
  const QString text = dialog.textValue();
  if (text.isEmpty() || !RenameChannel(*f.PubParam, channel, text)) return;
  {
    const QSignalBlocker block(list);
    item->setText(0, text);
  }
  int error = 0;
  const bool saved = f.PubParam->WriteFilePar(SettingsSection(f.DataFileName), -1, &error);
  f.ApplyColumnLayout(f.ReportType);
  RebuildLegend(f);
  if (!saved) f.SettingsNotSaved(error);
}

void chartunit::SwatchClick(TfrmQuna& f, int number) {
  Ui::frmQuna* ui = f.Form();
  const int channel = SwatchChannel(number, ui->lv8->topLevelItemCount(), ui->lv2->topLevelItemCount());
  if (channel < 0 || f.IsBusy()) return;
  // Colours change on the curve page only.
  if (f.ReportType != 2) return;
  f.ChooseColor(1, channel);
  SetChannelCurveColour(f.Chart().curveSeries, channel, f.PubParam->SysPar.ChannelColor[channel]);
  PaintLegend(f);
}

void chartunit::LegendDoubleClick(TfrmQuna& f) {
  ChartState& st = f.Chart();
  QTreeWidget* legend = f.Form()->lstline;
  QTreeWidgetItem* item = legend->currentItem();
  if (!st.legendSelected || !item || !item->isSelected() || f.IsBusy()) return;
  const int channel = item->data(0, kChannelRole).toInt();
  if (channel < 0 || channel >= ChannelCountOf(*f.PubParam)) return;
  f.ChooseColor(1, channel);
  SetChannelCurveColour(st.curveSeries, channel, f.PubParam->SysPar.ChannelColor[channel]);
  PaintLegend(f);
}
