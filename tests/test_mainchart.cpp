// The curve chart, channel panel and cursor inside the real main form, on generated files.
#include <gtest/gtest.h>

#include <QColorDialog>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "data/lanchg.h"
#include "mainform_support.h"
#include "mainwindow/chartstate.h"
#include "platform/appdir.h"
#include "platform/chartwidget.h"
#include "platform/colors.h"
#include "ui_frmQuna.h"

namespace {

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
    if (!OpenDataFile(path) || !WaitLoaded(*this)) return false;
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

// A left click on the chart at date-time x, halfway down the plot.
void ClickAtTime(ChartForm& f, double x) {
  const QPoint at(static_cast<int>(std::lround(f.chart()->XPixel(x))), f.chart()->PlotRect().center().y());
  SendMouse(f.chart(), QEvent::MouseButtonPress, Qt::LeftButton, at);
  SendMouse(f.chart(), QEvent::MouseButtonRelease, Qt::LeftButton, at);
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

TEST(MainChart, SameNamesStayApartInListsLegendAndCurves) {
  TempDir dir;
  const GenOptions opt{.channels = 4, .records = 100};
  ChartForm f(dir);
  auto* ui = f.Form();
  ASSERT_TRUE(f.Load(Generate(dir, "dup.qmd", opt)));
  utPubParam* p = GetPubParam();
  const auto& series = f.Chart().curveSeries;

  // Rename the third channel to the first one's name.
  ModalWatcher boxes;
  AnswerDialogs(boxes, "ch1", QColor(10, 200, 30));
  ui->lv8->setCurrentItem(ui->lv8->topLevelItem(2));
  emit ui->lv8->itemDoubleClicked(ui->lv8->topLevelItem(2), 0);
  EXPECT_EQ(f.LegendColumn(1), QStringList({"ch1", "ch2", "ch1", "ch4"}));

  // Unchecking the second "ch1" hides channel 2, not channel 0.
  ui->lv8->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
  EXPECT_EQ(p->SysPar.ChannelShown[2], 0);
  EXPECT_EQ(p->SysPar.ChannelShown[0], 1);
  EXPECT_FALSE(series[2]->Active());
  EXPECT_TRUE(series[0]->Active());
  EXPECT_EQ(f.LegendColumn(1), QStringList({"ch1", "ch2", "ch4"}));
  ui->lv8->topLevelItem(2)->setCheckState(0, Qt::Checked);

  // Recolour channel 2 by a double click on its swatch: curve, swatch and legend cell
  // follow; channel 0 of the same name keeps its colour.
  const TColor before0 = p->SysPar.ChannelColor[0];
  QLabel* swatch = chartunit::Swatch(f, 2);
  SendMouse(swatch, QEvent::MouseButtonDblClick, Qt::LeftButton, QPoint(5, 5));
  const TColor chosen = FromQColor(QColor(10, 200, 30));
  EXPECT_EQ(series[2]->Color(), chosen);
  EXPECT_EQ(swatch->pixmap().toImage().pixelColor(10, 8), QColor(10, 200, 30));
  EXPECT_EQ(f.legend()->topLevelItem(2)->background(0).color(), QColor(10, 200, 30));
  EXPECT_EQ(series[0]->Color(), before0);
}

TEST(MainChart, ClickPlacesCursorAndFillsValuePanel) {
  TempDir dir;
  // One power failure: an hour without records after record 100.
  const GenOptions opt{.channels = 3, .records = 200, .intervalSeconds = 10, .powerFailures = 1};
  ChartForm f(dir);
  auto* ui = f.Form();
  ASSERT_TRUE(f.Load(Generate(dir, "cur.qmd", opt)));
  const utPubParam* p = GetPubParam();
  int marker = -1;
  for (int i = 0; i < p->RecordCount - 1 && marker < 0; ++i)
    if (p->Records[i].Marker) marker = i;
  ASSERT_GT(marker, 10);

  // A click on a record: the line and the record's values.
  const int k = 37;
  ClickAtTime(f, p->Records[k].Time);
  const ChartState& st = f.Chart();
  EXPECT_TRUE(f.chart()->HasVLine(st.cursorLine));
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

  // While a load runs, presses on the old curves are ignored.
  f.clock += 5000;
  ASSERT_TRUE(f.OpenDataFile(Generate(dir, "next.qmd", opt)));
  ASSERT_TRUE(f.IsBusy());
  const QString shown = ui->lbl21->text();
  ClickAtTime(f, p->Records[k].Time);
  EXPECT_EQ(ui->lbl21->text(), shown);
  // The curves read the records being rewritten: their picture is held meanwhile.
  EXPECT_TRUE(f.chart()->PictureHeld());
  EXPECT_TRUE(WaitLoaded(f));
  EXPECT_FALSE(f.chart()->PictureHeld());
}
