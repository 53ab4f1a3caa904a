// The curve chart, channel panel and cursor inside the real main form, on generated files.
#include <gtest/gtest.h>

#include <QColorDialog>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>

#include "data/lanchg.h"
#include "data/readdata.h"
#include "mainform_support.h"
#include "mainwindow/chartstate.h"
#include "platform/appdir.h"
#include "platform/chartwidget.h"
#include "platform/colors.h"
#include "support/tempdir.h"
#include "tools/datagen.h"
#include "ui_frmQuna.h"

namespace {

void SetChecked(QTreeWidgetItem* item, bool on) { item->setCheckState(0, on ? Qt::Checked : Qt::Unchecked); }

// The real form (no hooks replaced) with its settings file in a temporary folder.
class ChartForm : public TfrmQuna {
 public:
  std::uint32_t clock = 100000;
  explicit ChartForm(const TempDir& dir) {
    SetProgramDir(dir.path());
    GetLanchg()->SetLangFile("");
    TickSource = [this] { return clock; };
    resize(1280, 800);
    show();
  }
  ~ChartForm() override { SetProgramDir(""); }

  bool Load(const std::string& path) {
    clock += 5000;
    if (!OpenDataFile(path)) return false;
    QElapsedTimer t;
    t.start();
    while (IsBusy() || !Reader()->Idle()) {
      if (t.elapsed() > 20000) return false;
      QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    QApplication::processEvents();
    return true;
  }
  ChartWidget* chart() { return Form()->cht1; }
  QTreeWidget* legend() { return Form()->lstline; }
  QStringList LegendColumn(int column) {
    QStringList texts;
    for (int i = 0; i < legend()->topLevelItemCount(); ++i) texts << legend()->topLevelItem(i)->text(column);
    return texts;
  }
};

std::string Generate(const TempDir& dir, const char* name, const GenOptions& opt) {
  const std::string path = dir.file(name);
  EXPECT_TRUE(WriteDataFile(path, opt));
  return path;
}

void SendMouse(QWidget* w, QEvent::Type type, Qt::MouseButton button, QPoint at) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
  QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), type == QEvent::MouseMove ? Qt::NoButton : button,
                held, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}

void Click(QWidget* w, QPoint at) {
  SendMouse(w, QEvent::MouseButtonPress, Qt::LeftButton, at);
  SendMouse(w, QEvent::MouseButtonRelease, Qt::LeftButton, at);
}

// A left click on the chart at date-time x, halfway down the plot.
void ClickAtTime(ChartForm& f, double x) {
  const QRect plot = f.chart()->PlotRect();
  Click(f.chart(), QPoint(static_cast<int>(std::lround(f.chart()->XPixel(x))), plot.center().y()));
}

// Answers the rename and colour dialogs.
void AnswerDialogs(ModalWatcher& w, const QString& text, const QColor& colour) {
  w.handler = [text, colour](QWidget* m) {
    if (auto* input = qobject_cast<QInputDialog*>(m)) {
      input->setTextValue(text);
      input->accept();
      return true;
    }
    if (auto* dialog = qobject_cast<QColorDialog*>(m)) {
      dialog->setCurrentColor(colour);
      dialog->accept();
      return true;
    }
    return false;
  };
}


}  // namespace

TEST(MainChart, ModelSetupListsSwatchesAndCurves) {
  TempDir dir;
  GenOptions opt;
  opt.model = 3;
  opt.channels = 20;
  opt.records = 300;
  opt.id34 = 12;
  opt.id35 = 3;
  opt.deviceNo = 42;
  opt.powerFailures = 2;
  ChartForm f(dir);
  auto* ui = f.Form();
  ASSERT_TRUE(f.Load(Generate(dir, "m3.qmd", opt)));

  ASSERT_EQ(ui->lv8->topLevelItemCount(), 16);
  ASSERT_EQ(ui->lv2->topLevelItemCount(), 4);
  EXPECT_EQ(ui->lv8->topLevelItem(0)->text(0), "ch1");
  EXPECT_EQ(ui->lv2->topLevelItem(3)->text(0), "ch20");
  for (int k = 0; k < 16; ++k) EXPECT_EQ(ui->lv8->topLevelItem(k)->checkState(0), Qt::Checked);
  for (int c = 0; c < kMaxChannels; ++c) EXPECT_EQ(chartunit::Swatch(f, c)->isVisible(), c < 20) << c;
  EXPECT_EQ(ui->lbl8->text(), QString("通道数：20"));
  EXPECT_EQ(ui->lbl2->text(), QString("中型彩色记录仪"));
  EXPECT_EQ(ui->lbl3->text(), QString("12030042"));
  EXPECT_EQ(ui->edtdevice->text(), QString("中型彩色记录仪12030042"));
  EXPECT_EQ(f.legend()->topLevelItemCount(), 20);

  // One series per channel, each with a segment per power-failure run, in its colour.
  const utPubParam* p = GetPubParam();
  const auto& series = f.Chart().curveSeries;
  ASSERT_EQ(series.size(), 20u);
  int drawn = 0;
  for (int i = 0; i < p->RecordCount; ++i) drawn += p->Records[i].Marker == 0 && p->Records[i].Disorder == 0;
  for (int c = 0; c < 20; ++c) {
    EXPECT_EQ(series[c]->Count(), drawn);
    EXPECT_EQ(series[c]->SegmentCount(), 3);
    EXPECT_TRUE(series[c]->Active());
    EXPECT_EQ(series[c]->Color(), p->SysPar.ChannelColor[c]);
    EXPECT_NE(p->SysPar.ChannelColor[c], f.BkColor);
  }
  EXPECT_TRUE(ui->cht1->isVisible());
  EXPECT_EQ(ui->cht1->BottomAxis().Minimum(), p->Records[0].Time);

  // The power meter: language texts for every channel, and its own tab caption, which a
  // following model-0 file sets back.
  GenOptions meter;
  meter.model = 11;
  meter.channels = 2;
  meter.records = 50;
  ASSERT_TRUE(f.Load(Generate(dir, "m11.qmd", meter)));
  ASSERT_EQ(ui->lv8->topLevelItemCount(), 2);
  EXPECT_EQ(ui->lv8->topLevelItem(0)->text(0), QString("电量报表"));
  EXPECT_EQ(ui->lv8->topLevelItem(1)->text(0), QString("电量报表"));
  EXPECT_EQ(ui->lv2->topLevelItemCount(), 0);
  EXPECT_EQ(ui->pgc1->tabText(ui->pgc1->indexOf(ui->ts6)), QString("电量累计"));
  EXPECT_EQ(ui->lbl2->text(), QString("综合电力测量仪"));
  EXPECT_FALSE(chartunit::Swatch(f, 2)->isVisible());
  GenOptions plain;
  plain.records = 20;
  ASSERT_TRUE(f.Load(Generate(dir, "m0.qmd", plain)));
  EXPECT_EQ(ui->pgc1->tabText(ui->pgc1->indexOf(ui->ts6)), QString("峰值统计"));

  // Model 12 shows the channel names, and its check boxes act on their own channels.
  GenOptions regulator;
  regulator.model = 12;
  regulator.channels = 3;
  regulator.records = 20;
  ASSERT_TRUE(f.Load(Generate(dir, "m12.qmd", regulator)));
  EXPECT_EQ(ui->lbl2->text(), QString("温度调节记录仪"));
  EXPECT_EQ(ui->lv8->topLevelItem(2)->text(0), "ch3");
  EXPECT_EQ(f.LegendColumn(1), QStringList({"ch1", "ch2", "ch3"}));
  SetChecked(ui->lv8->topLevelItem(1), false);
  EXPECT_EQ(p->SysPar.ChannelShown[1], 0);
  EXPECT_EQ(p->SysPar.ChannelShown[0], 1);
  EXPECT_FALSE(f.Chart().curveSeries[1]->Active());
}

TEST(MainChart, SameNamesStayApartInListsLegendAndCurves) {
  TempDir dir;
  GenOptions opt;
  opt.channels = 4;
  opt.records = 100;
  ChartForm f(dir);
  auto* ui = f.Form();
  const std::string path = Generate(dir, "dup.qmd", opt);
  ASSERT_TRUE(f.Load(path));
  utPubParam* p = GetPubParam();
  const auto& series = f.Chart().curveSeries;

  // Rename the third channel to the first one's name.
  ModalWatcher boxes;
  AnswerDialogs(boxes, "ch1", QColor(10, 200, 30));
  ui->lv8->setCurrentItem(ui->lv8->topLevelItem(2));
  emit ui->lv8->itemDoubleClicked(ui->lv8->topLevelItem(2), 0);
  EXPECT_EQ(p->SysPar.ChannelName[2], "ch1");
  EXPECT_EQ(p->SysPar.ChannelName[0], "ch1");
  EXPECT_EQ(ui->lv8->topLevelItem(2)->text(0), "ch1");
  EXPECT_EQ(f.LegendColumn(1), QStringList({"ch1", "ch2", "ch1", "ch4"}));
  // The names were saved to the file's section.
  p->ReadFilePar("dup.qmd");
  EXPECT_EQ(p->SysPar.ChannelName[2], "ch1");
  EXPECT_EQ(p->SysPar.ChannelName[3], "ch4");

  // Unchecking the second "ch1" hides channel 2, not channel 0.
  SetChecked(ui->lv8->topLevelItem(2), false);
  EXPECT_EQ(p->SysPar.ChannelShown[2], 0);
  EXPECT_EQ(p->SysPar.ChannelShown[0], 1);
  EXPECT_FALSE(series[2]->Active());
  EXPECT_TRUE(series[0]->Active());
  EXPECT_EQ(f.LegendColumn(1), QStringList({"ch1", "ch2", "ch4"}));
  SetChecked(ui->lv8->topLevelItem(2), true);
  EXPECT_TRUE(series[2]->Active());
  ASSERT_EQ(f.legend()->topLevelItemCount(), 4);

  // Recolour channel 2 by its swatch (a double click for swatches 1 to 5): its curve,
  // swatch and legend cell follow; channel 0 of the same name keeps its colour.
  const TColor before0 = p->SysPar.ChannelColor[0];
  QLabel* swatch = chartunit::Swatch(f, 2);
  SendMouse(swatch, QEvent::MouseButtonDblClick, Qt::LeftButton, QPoint(5, 5));
  const TColor chosen = FromQColor(QColor(10, 200, 30));
  EXPECT_EQ(p->SysPar.ChannelColor[2], chosen);
  EXPECT_EQ(series[2]->Color(), chosen);
  EXPECT_EQ(swatch->pixmap().toImage().pixelColor(10, 8), QColor(10, 200, 30));
  EXPECT_EQ(f.legend()->topLevelItem(2)->background(0).color(), QColor(10, 200, 30));
  EXPECT_EQ(f.legend()->topLevelItem(0)->background(0).color(), ToQColor(before0));
  EXPECT_EQ(series[0]->Color(), before0);

  // A single click on swatch 2 opens nothing; the legend row of channel 3 recolours it.
  AnswerDialogs(boxes, "", QColor(200, 0, 200));
  Click(chartunit::Swatch(f, 1), QPoint(5, 5));
  EXPECT_NE(p->SysPar.ChannelColor[1], FromQColor(QColor(200, 0, 200)));
  f.legend()->setCurrentItem(f.legend()->topLevelItem(3));
  emit f.legend()->itemDoubleClicked(f.legend()->topLevelItem(3), 1);
  EXPECT_EQ(series[3]->Color(), FromQColor(QColor(200, 0, 200)));

  // A long name is shown whole in the legend; an empty answer renames nothing.
  const QString longName = "a channel label well over thirty-one bytes long";
  AnswerDialogs(boxes, longName, Qt::red);
  ui->lv8->setCurrentItem(ui->lv8->topLevelItem(1));
  emit ui->lv8->itemDoubleClicked(ui->lv8->topLevelItem(1), 0);
  EXPECT_EQ(f.LegendColumn(1)[1], longName);
  AnswerDialogs(boxes, "", Qt::red);
  emit ui->lv8->itemDoubleClicked(ui->lv8->topLevelItem(1), 0);
  EXPECT_EQ(QString::fromStdString(p->SysPar.ChannelName[1]), longName);
}

TEST(MainChart, ClickPlacesCursorAndFillsValuePanel) {
  TempDir dir;
  GenOptions opt;
  opt.channels = 3;
  opt.records = 200;
  opt.intervalSeconds = 10;
  opt.powerFailures = 1;  // an hour without records after record 100
  ChartForm f(dir);
  auto* ui = f.Form();
  ASSERT_TRUE(f.Load(Generate(dir, "cur.qmd", opt)));
  const utPubParam* p = GetPubParam();
  int marker = -1;
  for (int i = 0; i < p->RecordCount - 1 && marker < 0; ++i)
    if (p->Records[i].Marker) marker = i;
  ASSERT_GT(marker, 10);

  // A click on a record: the line, the time text and the record's values.
  const int k = 37;
  ClickAtTime(f, p->Records[k].Time);
  const ChartState& st = f.Chart();
  ASSERT_NE(st.cursorLine, 0);
  EXPECT_TRUE(f.chart()->HasVLine(st.cursorLine));
  EXPECT_FALSE(ui->lbl21->text().isEmpty());
  EXPECT_EQ(ui->lbtime->text(), ui->lbl21->text());
  int found = -1;
  for (int i = k - 1; i <= k + 1; ++i)
    if (f.LegendColumn(2)[0] == QString::asprintf("%0.1f", p->Records[i].Channel[0].Value)) found = i;
  ASSERT_GE(found, 0);
  QStringList expected;
  for (int c = 0; c < 3; ++c) expected << QString::asprintf("%0.1f", p->Records[found].Channel[c].Value);
  EXPECT_EQ(f.LegendColumn(2), expected);

  // A click in the power-failure gap: "停电" in the cursor text and every value row.
  ClickAtTime(f, p->Records[marker].Time + 0.5 / 24.0);
  EXPECT_EQ(ui->lbl21->text(), QString("停电"));
  EXPECT_EQ(f.LegendColumn(2), QStringList({"停电", "停电", "停电"}));

  // A zoom and its undo take the cursor away.
  ClickAtTime(f, p->Records[k].Time);
  const QRect plot = f.chart()->PlotRect();
  f.chart()->ZoomToRect(QRect(plot.left() + 10, plot.top() + 10, plot.width() / 3, plot.height() / 2));
  EXPECT_TRUE(ui->lbl21->text().isEmpty());
  EXPECT_FALSE(f.chart()->HasVLine(st.cursorLine));
  f.chart()->UndoZoom();
  EXPECT_EQ(f.chart()->BottomAxis().Minimum(), p->Records[0].Time);

  // While a load runs, presses on the old curves are ignored.
  f.clock += 5000;
  ASSERT_TRUE(f.OpenDataFile(Generate(dir, "next.qmd", opt)));
  ASSERT_TRUE(f.IsBusy());
  ClickAtTime(f, p->Records[k].Time);
  EXPECT_TRUE(ui->lbl21->text().isEmpty());
  QElapsedTimer t;
  t.start();
  while ((f.IsBusy() || !f.Reader()->Idle()) && t.elapsed() < 20000) QApplication::processEvents();
}

TEST(MainChart, MarkerLinesFollowTheOneChannelRule) {
  TempDir dir;
  GenOptions opt;
  opt.channels = 3;
  opt.records = 200;
  ChartForm f(dir);
  auto* ui = f.Form();
  ASSERT_TRUE(f.Load(Generate(dir, "flag.qmd", opt)));
  const utPubParam* p = GetPubParam();
  const ChartState& st = f.Chart();
  EXPECT_FALSE(ui->btnAddFlag->isEnabled());

  SetChecked(ui->lv8->topLevelItem(1), false);
  EXPECT_FALSE(ui->btnAddFlag->isEnabled());
  SetChecked(ui->lv8->topLevelItem(2), false);
  EXPECT_TRUE(ui->btnAddFlag->isEnabled());
  EXPECT_TRUE(ui->btnClearFlag->isEnabled());

  // Two markers, each a line with a time and a value label; the value is channel 0's.
  for (int k : {50, 120}) {
    ui->btnAddFlag->click();
    ClickAtTime(f, p->Records[k].Time);
  }
  ASSERT_EQ(st.flagLines.size(), 2u);
  EXPECT_EQ(st.flagTimeLabels.size(), 2u);
  ASSERT_EQ(st.flagValueLabels.size(), 2u);
  EXPECT_FALSE(st.flagPending);
  EXPECT_EQ(f.LegendColumn(2).size(), 1);
  for (int id : st.flagLines) EXPECT_TRUE(f.chart()->HasVLine(id));
  // The line is drawn in the picture of the chart.
  const QImage image = f.chart()->ToImage();
  const int px = static_cast<int>(std::lround(f.chart()->XPixel(p->Records[50].Time)));
  int red = 0;
  for (int dx = -1; dx <= 1; ++dx)
    red += image.pixelColor(px + dx, f.chart()->PlotRect().center().y()) == QColor(255, 0, 0);
  EXPECT_GE(red, 1);
  // Without the button pressed first a click only moves the cursor.
  ClickAtTime(f, p->Records[80].Time);
  EXPECT_EQ(st.flagLines.size(), 2u);

  const std::vector<int> lines = st.flagLines;
  ui->btnClearFlag->click();
  EXPECT_TRUE(st.flagLines.empty());
  EXPECT_TRUE(st.flagValueLabels.empty());
  for (int id : lines) EXPECT_FALSE(f.chart()->HasVLine(id));

  // A second shown channel disables the buttons and removes the lines.
  ui->btnAddFlag->click();
  ClickAtTime(f, p->Records[60].Time);
  ASSERT_EQ(st.flagLines.size(), 1u);
  SetChecked(ui->lv8->topLevelItem(2), true);
  EXPECT_FALSE(ui->btnAddFlag->isEnabled());
  EXPECT_TRUE(st.flagLines.empty());
}

TEST(MainChart, LimitEditsAndValuePanelDrag) {
  TempDir dir;
  ChartForm f(dir);
  auto* ui = f.Form();
  ui->edY1->setText("12");
  for (const char* key : {"-", ".", "a", "7"}) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromLatin1(key));
    QCoreApplication::sendEvent(ui->edY1, &press);
  }
  EXPECT_EQ(ui->edY1->text(), "127");

  // Dragging the title strip far to the left stops at the form's edge.
  const QPoint start = ui->pnlMove->pos();
  SendMouse(ui->Panel1, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(5, 5));
  SendMouse(ui->Panel1, QEvent::MouseMove, Qt::LeftButton, QPoint(5 - 3000, 5));
  SendMouse(ui->Panel1, QEvent::MouseButtonRelease, Qt::LeftButton, QPoint(5 - 3000, 5));
  EXPECT_EQ(ui->pnlMove->x(), 1);
  EXPECT_EQ(ui->pnlMove->y(), start.y());
}

// A user's session for a look by eye: only when QUNO_SCREENSHOT_DIR names a folder (run
// under a display, e.g. xvfb-run with QT_QPA_PLATFORM=xcb).
TEST(MainChartWalk, OpenZoomClickMarkHideRenameRecolour) {
  const char* out = std::getenv("QUNO_SCREENSHOT_DIR");
  if (!out) GTEST_SKIP() << "QUNO_SCREENSHOT_DIR is not set";
  const int records = std::getenv("QUNO_WALK_RECORDS") ? std::atoi(std::getenv("QUNO_WALK_RECORDS")) : 20000;
  TempDir dir;
  GenOptions opt;
  opt.channels = 32;
  opt.records = records;
  opt.powerFailures = 2;
  opt.alarms = true;
  const std::string path = Generate(dir, "demo32.qmd", opt);
  ChartForm f(dir);
  f.showMaximized();
  auto* ui = f.Form();
  const auto settle = [] {
    for (int i = 0; i < 10; ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
  };
  const auto shot = [&](const char* name) {
    settle();
    EXPECT_TRUE(f.grab().save(QString("%1/%2.png").arg(out, name)));
  };
  settle();
  QElapsedTimer timer;
  timer.start();
  ASSERT_TRUE(f.Load(path));
  std::printf("walk: %d records, 32 channels, open to curves shown %lld ms\n", records,
              static_cast<long long>(timer.elapsed()));
  shot("walk1_open");

  ChartWidget* chart = f.chart();
  const QRect plot = chart->PlotRect();
  const QPoint a(plot.left() + plot.width() / 4, plot.top() + plot.height() / 5);
  const QPoint b(plot.left() + plot.width() / 2, plot.top() + plot.height() * 4 / 5);
  SendMouse(chart, QEvent::MouseButtonPress, Qt::LeftButton, a);
  SendMouse(chart, QEvent::MouseMove, Qt::LeftButton, (a + b) / 2);
  SendMouse(chart, QEvent::MouseMove, Qt::LeftButton, b);
  SendMouse(chart, QEvent::MouseButtonRelease, Qt::LeftButton, b);
  EXPECT_TRUE(chart->Zoomed());
  shot("walk2_zoomed");
  SendMouse(chart, QEvent::MouseButtonPress, Qt::LeftButton, b);
  SendMouse(chart, QEvent::MouseMove, Qt::LeftButton, a);
  SendMouse(chart, QEvent::MouseButtonRelease, Qt::LeftButton, a);
  EXPECT_FALSE(chart->Zoomed());
  // Pan with the right button, then undo it.
  SendMouse(chart, QEvent::MouseButtonPress, Qt::RightButton, plot.center());
  SendMouse(chart, QEvent::MouseMove, Qt::RightButton, plot.center() + QPoint(120, 0));
  SendMouse(chart, QEvent::MouseButtonRelease, Qt::RightButton, plot.center() + QPoint(120, 0));
  shot("walk3_panned");
  chart->UndoZoom();

  Click(chart, QPoint(plot.left() + plot.width() / 3, plot.center().y()));
  shot("walk4_cursor");

  // Hide all channels but two, then one: the marker buttons come on.
  for (int c = 2; c < 32; ++c) SetChecked(c < 16 ? ui->lv8->topLevelItem(c) : ui->lv2->topLevelItem(c - 16), false);
  SetChecked(ui->lv8->topLevelItem(1), false);
  EXPECT_TRUE(ui->btnAddFlag->isEnabled());
  for (int i : {2, 3}) {
    ui->btnAddFlag->click();
    Click(chart, QPoint(plot.left() + plot.width() * i / 5, plot.center().y()));
  }
  shot("walk5_markers");
  ui->btnClearFlag->click();
  SetChecked(ui->lv8->topLevelItem(1), true);
  SetChecked(ui->lv8->topLevelItem(2), true);

  ModalWatcher boxes;
  AnswerDialogs(boxes, QString::fromUtf8("炉温"), QColor(255, 128, 0));
  ui->lv8->setCurrentItem(ui->lv8->topLevelItem(1));
  emit ui->lv8->itemDoubleClicked(ui->lv8->topLevelItem(1), 0);
  Click(chartunit::Swatch(f, 2), QPoint(5, 5));  // swatch 3 wants a double click: nothing
  SendMouse(chartunit::Swatch(f, 2), QEvent::MouseButtonDblClick, Qt::LeftButton, QPoint(5, 5));
  Click(chart, QPoint(plot.left() + plot.width() / 2, plot.center().y()));
  shot("walk6_renamed_recoloured");
}
