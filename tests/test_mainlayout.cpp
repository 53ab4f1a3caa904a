// The main window's layout on small and large screens, and the views that must follow
// the record window, the cursor and the loaded file.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOptionViewItem>
#include <QTreeWidget>

#include "data/lanchg.h"
#include "mainform_support.h"
#include "support/files.h"
#include "mainwindow/chartstate.h"
#include "mainwindow/layoutrules.h"
#include "mainwindow/reportmodel.h"
#include "mainwindow/utLogInfo.h"
#include "platform/appdir.h"
#include "platform/msgbox.h"
#include "platform/qttranslations.h"
#include "users/utLogin.h"
#include "platform/chartwidget.h"
#include "ui_frmQuna.h"

namespace {

// Drags the value panel by its title strip by (dx, dy).
void DragPanel(LiveForm& f, QPoint by) {
  QWidget* handle = f.Form()->Panel1;
  const QPoint at(5, 5);
  SendMouse(handle, QEvent::MouseButtonPress, Qt::LeftButton, at);
  SendMouse(handle, QEvent::MouseMove, Qt::LeftButton, at + by);
  SendMouse(handle, QEvent::MouseButtonRelease, Qt::LeftButton, at + by);
  LiveForm::Settle();
}

}  // namespace

// Where the panel goes as the window changes is seen on the real form below.
TEST(WindowRules, LeftColumnAndValuePanel) {
  // The column scrolls only where the room is lower than the column.
  EXPECT_EQ(LeftColumnWidth(270, 745, 745, 15), 270);
  EXPECT_EQ(LeftColumnWidth(270, 745, 670, 15), 285);
  // A window smaller than the panel: its top left corner stays inside.
  EXPECT_EQ(KeepPanelInside(QPoint(-50, 0), QSize(500, 500), {QSize(300, 300), 36}), QPoint(1, 37));
  // Values wider than the design widen the panel and keep its right margin.
  EXPECT_EQ(ValuePanelWidth(167, 125, 60, 8), 193);
}

// A maximised window on a 1366 x 768 screen under openbox without a panel has 749 rows:
// the whole left column shows there without scrolling, on every tab and in both
// languages, each control at least as large as its text needs. A lower window (a desk
// with a panel) scrolls the column, and a large screen keeps its design width.
TEST(MainLayout, LeftColumnShowsWholeOnA1366By768Screen) {
  TempDir dir;
  LiveForm f(dir, QSize(1366, 749));
  Ui::frmQuna* ui = f.Form();
  ASSERT_TRUE(f.Load(Generate(dir, "a.qmd", GenOptions{.channels = 32, .records = 300})));
  QScrollArea* area = ui->sclLeft;
  for (const std::string lang : {"", "lang/langeng.ini"}) {
    GetLanchg()->SetLangFile(lang.empty() ? "" : SourceFile(lang));
    TranslateForm("frmQuna", &f);
    for (int tab : {0, 1, 2, 3, 4, 5}) {
      ui->pgc1->setCurrentIndex(tab);
      LiveForm::Settle();
      const std::string where = "tab " + std::to_string(tab) + " " + lang;
      EXPECT_FALSE(area->verticalScrollBar()->isVisible()) << where;
      EXPECT_LE(ui->pnl9->minimumSizeHint().height(), area->viewport()->height()) << where;
      for (QWidget* w : ui->pnl9->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(ui->pnl9) || w->objectName().isEmpty()) continue;
        const QRect shown(w->mapTo(area->viewport(), QPoint(0, 0)), w->size());
        EXPECT_TRUE(area->viewport()->rect().contains(shown)) << where << " " << w->objectName().toStdString();
        const auto* label = qobject_cast<QLabel*>(w);
        if (qobject_cast<QAbstractButton*>(w) || (label && !label->text().isEmpty()))
          EXPECT_GE(w->width(), w->minimumSizeHint().width()) << where << " " << w->objectName().toStdString();
      }
    }
  }
  GetLanchg()->SetLangFile("");
  EXPECT_LE(ui->stat1->geometry().bottom(), 749);
  // The top bar's texts keep their room.
  ui->lbl9->setText("记录数：680000");
  LiveForm::Settle();
  EXPECT_GE(ui->lbl9->width(), ui->lbl9->sizeHint().width());

  f.Resize(QSize(1366, 600));
  EXPECT_TRUE(area->verticalScrollBar()->isVisible());
  area->ensureWidgetVisible(ui->btnprint);
  LiveForm::Settle();
  const QRect inViewport(ui->btnprint->mapTo(area->viewport(), QPoint(0, 0)), ui->btnprint->size());
  EXPECT_TRUE(area->viewport()->rect().contains(inViewport));

  f.Resize(QSize(1600, 960));
  EXPECT_EQ(ui->pnl9->width(), 270);
  EXPECT_EQ(area->width(), 270);
  EXPECT_FALSE(area->verticalScrollBar()->isVisible());
}

// Each colour swatch stands beside its channel's row: a user reads a channel's colour from
// it and clicks it to recolour that channel. Maximised windows of screens from 1366 x 768
// to 3840 x 2160, in both languages, with every row filled and with only two.
TEST(MainLayout, EverySwatchStandsBesideItsRow) {
  TempDir dir;
  LiveForm f(dir, QSize(1366, 749));
  Ui::frmQuna* ui = f.Form();
  for (const int channels : {32, 2}) {
    ASSERT_TRUE(f.Load(Generate(dir, channels == 32 ? "a.qmd" : "b.qmd", GenOptions{.channels = channels, .records = 300})));
    for (const QSize size : {QSize(1366, 749), QSize(1920, 1061), QSize(2560, 1421), QSize(3840, 2141)}) {
      f.Resize(size);
      for (const std::string lang : {"", "lang/langeng.ini"}) {
        GetLanchg()->SetLangFile(lang.empty() ? "" : SourceFile(lang));
        TranslateForm("frmQuna", &f);
        LiveForm::Settle();
        for (int c = 0; c < channels; ++c) {
          QTreeWidget* lv = c < 16 ? ui->lv8 : ui->lv2;
          const QRect row = lv->visualItemRect(lv->topLevelItem(c % 16));
          const int rowTop = lv->viewport()->mapTo(ui->grp7, row.topLeft()).y();
          QWidget* swatch = chartunit::Swatch(f, c);
          EXPECT_LE(std::abs(swatch->mapTo(ui->grp7, QPoint(0, 0)).y() - rowTop), 3)
              << size.width() << "x" << size.height() << " " << lang << " " << swatch->objectName().toStdString();
        }
      }
    }
  }
  GetLanchg()->SetLangFile("");
}

// The power meter's channel labels stand whole beside their check boxes on a 1366 x 768
// screen in both languages: a cut label hides which of the two channels a box is.
TEST(MainLayout, PowerMeterLabelsShowWholeInTheChannelList) {
  TempDir dir;
  LiveForm f(dir, QSize(1366, 749));
  QTreeWidget* lv = f.Form()->lv8;
  for (const char* lang : {"lang/langchs.ini", "lang/langeng.ini"}) {
    GetLanchg()->SetLangFile(SourceFile(lang));
    ASSERT_TRUE(f.Load(Generate(dir, (std::string(lang).substr(9, 3) + ".qmd").c_str(), GenOptions{.model = 11, .channels = 2, .records = 50})));
    ASSERT_EQ(lv->topLevelItemCount(), 2);
    for (int k = 0; k < 2; ++k) {
      QStyleOptionViewItem opt;
      opt.initFrom(lv->viewport());
      opt.rect = lv->visualItemRect(lv->topLevelItem(k));
      opt.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
      opt.text = lv->topLevelItem(k)->text(0);
      const QRect text = lv->style()->subElementRect(QStyle::SE_ItemViewItemText, &opt, lv);
      const int margin = lv->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, &opt, lv) + 1;
      EXPECT_LE(lv->fontMetrics().horizontalAdvance(opt.text), text.width() - 2 * margin) << lang << " " << opt.text.toStdString();
    }
  }
  GetLanchg()->SetLangFile("");
}

TEST(MainLayout, NeverGrowsByItselfOnATabSwitch) {
  TempDir dir;
  for (const QSize size : {QSize(1366, 700), QSize(1600, 960)}) {
    LiveForm f(dir, size);
    ASSERT_TRUE(f.Load(Generate(dir, "a.qmd", GenOptions{.channels = 32, .records = 300})));
    for (int tab : {5, 0, 1, 0, 2, 3, 4, 0}) {
      f.Form()->pgc1->setCurrentIndex(tab);
      LiveForm::Settle();
      EXPECT_EQ(f.size(), size) << "tab " << tab;
    }
  }
}

TEST(MainLayout, ValuePanelKeepsItsDraggedPlaceWhole) {
  TempDir dir;
  GetPubParam()->DataHead.ChannelCount = 0;  // the design height, whatever ran before
  LiveForm f(dir);
  Ui::frmQuna* ui = f.Form();
  QWidget* panel = ui->pnlMove;
  const QPoint design = panel->pos();
  EXPECT_EQ(design, QPoint(ui->pnLine->width() + ui->pnl9->width() - panel->width() - 5, ui->pnl3->height() + 35));

  DragPanel(f, QPoint(-500, 200));
  const QPoint dragged = panel->pos();
  EXPECT_EQ(dragged, design + QPoint(-500, 200));
  f.Resize(QSize(1400, 900));
  EXPECT_EQ(panel->pos(), dragged);
  // Too low a window moves it up only as far as needed to show it whole above the
  // status bar; grown again, it is back at the user's place.
  f.Resize(QSize(1200, 500));
  EXPECT_LE(panel->geometry().bottom(), panel->parentWidget()->height() - 1);
  EXPECT_EQ(panel->x(), dragged.x());
  f.Resize(QSize(1400, 900));
  EXPECT_EQ(panel->pos(), dragged);

  // Dragged against the right edge, the panel keeps its right border inside the form.
  DragPanel(f, QPoint(1000, 0));
  EXPECT_LE(panel->geometry().right(), f.width() - 2);
  EXPECT_GE(panel->x(), 1);
}

TEST(MainLayout, ValuePanelHoldsItsWidestTextInEnglish) {
  TempDir dir;
  LiveForm f(dir);
  GetLanchg()->SetLangFile(SourceFile("lang/langeng.ini"));
  ASSERT_TRUE(f.Load(Generate(dir, "a.qmd", GenOptions{.channels = 3, .records = 200})));
  QTreeWidget* legend = f.Form()->lstline;
  const int valueColumn = legend->viewport()->width() - legend->columnWidth(0) - legend->columnWidth(1);
  EXPECT_GE(valueColumn, QFontMetrics(legend->font()).horizontalAdvance("Power off") + 8);
  GetLanchg()->SetLangFile("");
}

TEST(StaleViews, FileBoxNamesTheLoadedFileAfterAFailedOrRefusedOpen) {
  TempDir dir;
  LiveForm f(dir);
  ModalWatcher boxes;
  const std::string a = Generate(dir, "a.qmd", GenOptions{.records = 50});
  const std::string b = Generate(dir, "b.qmd", GenOptions{.records = 50});
  QComboBox* box = f.Form()->cbb3;
  QLabel* status = f.findChild<QLabel*>("stat1Panel2");
  // A file that cannot be opened: the message, and no 3 s wait before the next open.
  EXPECT_FALSE(f.OpenDataFile(dir.file("missing.qmd")));
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_TRUE(boxes.texts[0].startsWith(QString("档案不支持格式-")));
  EXPECT_FALSE(f.IsBusy());
  ASSERT_TRUE(f.OpenDataFile(a));
  EXPECT_FALSE(f.OpenDataFile(b));  // refused while the load runs
  ASSERT_TRUE(WaitLoaded(f));
  EXPECT_EQ(box->currentText(), QString("a.qmd"));

  // Missing or not a data file: the loaded file and its name stay.
  WriteBytes(dir.file("junk.qmd"), "x");
  for (const std::string& failing : {dir.file("missing.qmd"), dir.file("junk.qmd")}) {
    f.clock += 5000;
    EXPECT_FALSE(f.OpenDataFile(failing));
    EXPECT_EQ(box->currentText(), QString("a.qmd"));
    EXPECT_EQ(box->count(), 1);
    EXPECT_EQ(f.DataFileName, a);
    EXPECT_EQ(f.WindowEnd, 50);
  }

  // Refused: the same file again, then another one too soon; the status bar says why.
  EXPECT_FALSE(f.OpenDataFile(a));
  EXPECT_EQ(box->currentText(), QString("a.qmd"));
  EXPECT_EQ(status->text(), QString("该文件已经打开."));
  ASSERT_TRUE(f.OpenDataFile(b));
  ASSERT_TRUE(WaitLoaded(f));
  EXPECT_FALSE(f.OpenDataFile(a));
  EXPECT_EQ(box->currentText(), QString("b.qmd"));
  EXPECT_EQ(status->text(), QString("打开文件过于频繁,请三秒后再打开."));
  f.clock += 3000;  // three seconds are enough
  EXPECT_TRUE(f.OpenDataFile(a));
  ASSERT_TRUE(WaitLoaded(f));
}

// Refresh, restore, zoom and a new file clear the cursor with its time and values; a
// window chosen or restored on a report page is the window the curves show.
TEST(StaleViews, CursorAndCurvesFollowTheRecordWindow) {
  TempDir dir;
  LiveForm f(dir);
  Ui::frmQuna* ui = f.Form();
  // Records every 5 s from 2023-01-01 00:00:00.
  ASSERT_TRUE(f.Load(Generate(dir, "a.qmd", GenOptions{.channels = 3, .records = 1000})));
  const utPubParam* p = GetPubParam();
  auto click = [&] {
    f.ClickAtTime(p->Records[150].Time);
    ASSERT_FALSE(ui->lbtime->text().isEmpty());
    ASSERT_FALSE(f.LegendColumn(2).join("").isEmpty());
  };
  auto cleared = [&](const char* after) {
    EXPECT_EQ(ui->lbtime->text(), QString()) << after;
    EXPECT_EQ(f.LegendColumn(2).join(""), QString()) << after;
    EXPECT_EQ(ui->lbl21->text(), QString()) << after;
  };
  click();
  // A tab switch rebuilds the legend: the cursor and its values stay.
  const QStringList values = f.LegendColumn(2);
  ui->pgc1->setCurrentIndex(5);
  ui->pgc1->setCurrentIndex(0);
  EXPECT_EQ(f.LegendColumn(2), values);
  EXPECT_FALSE(ui->lbtime->text().isEmpty());
  f.btnRefreshClick();
  cleared("refresh");

  click();
  ui->pgc1->setCurrentIndex(1);
  ui->dtp2->setTime(QTime(0, 10, 0));
  ui->dtp4->setTime(QTime(0, 20, 0));
  f.btnRefreshClick();
  EXPECT_EQ(f.WindowFirst, 120);
  ui->pgc1->setCurrentIndex(0);
  LiveForm::Settle();
  EXPECT_NEAR(ui->cht1->BottomAxis().Minimum(), p->Records[120].Time, 1e-6);
  EXPECT_NEAR(ui->cht1->BottomAxis().Maximum(), p->Records[240].Time, 1e-6);
  cleared("refresh on a report page");

  click();
  ui->pgc1->setCurrentIndex(4);
  f.btnRestoreClick();
  ui->pgc1->setCurrentIndex(0);
  EXPECT_NEAR(ui->cht1->BottomAxis().Minimum(), p->Records[0].Time, 1e-6);
  cleared("restore");
  click();
  emit ui->cht1->ZoomedIn();
  cleared("zoom");
  click();
  ASSERT_TRUE(f.Load(Generate(dir, "b.qmd", GenOptions{.channels = 3, .records = 300})));
  cleared("new file");
}

// Markers are drawn blue and only the cursor red; a file dialog that is cancelled opens
// nothing: the curves, their markers and the cursor stay after a report page.
TEST(StaleViews, MarkerAndCursorLinesKeptOverACancelledOpen) {
  TempDir dir;
  LiveForm f(dir);
  Ui::frmQuna* ui = f.Form();
  // One channel: markers are kept only while a single curve is shown.
  ASSERT_TRUE(f.Load(Generate(dir, "a.qmd", GenOptions{.channels = 1, .records = 300})));
  const utPubParam* p = GetPubParam();
  ChartWidget* chart = ui->cht1;
  auto countColumn = [&](double x, QColor colour) {
    const QImage image = chart->ToImage();
    const int px = static_cast<int>(std::lround(chart->XPixel(x)));
    int n = 0;
    for (int y = chart->PlotRect().top(); y <= chart->PlotRect().bottom(); ++y)
      for (int dx = -1; dx <= 1; ++dx) n += image.pixelColor(px + dx, y) == colour;
    return n;
  };
  chartunit::AddFlagClick(f);
  f.ClickAtTime(p->Records[60].Time);
  f.ClickAtTime(p->Records[200].Time);
  ASSERT_EQ(f.Chart().flagLines.size(), 1u);
  EXPECT_GT(countColumn(p->Records[60].Time, QColor(0, 0, 255)), 50);
  EXPECT_EQ(countColumn(p->Records[60].Time, QColor(255, 0, 0)), 0);
  EXPECT_GT(countColumn(p->Records[200].Time, QColor(255, 0, 0)), 50);
  const QString cursorTime = ui->lbtime->text();
  ASSERT_FALSE(cursorTime.isEmpty());
  {
    ModalWatcher cancel;  // closes the file dialog
    f.cbb3DropDown();
  }
  ui->pgc1->setCurrentIndex(1);
  ui->pgc1->setCurrentIndex(0);
  LiveForm::Settle();
  EXPECT_EQ(f.Chart().flagLines.size(), 1u);
  EXPECT_TRUE(ui->cht1->HasVLine(f.Chart().cursorLine));
  EXPECT_EQ(ui->lbtime->text(), cursorTime);
  EXPECT_EQ(ui->cbb3->currentText(), QString("a.qmd"));
}

TEST(StaleViews, LogQueryWaitsForTheLoadToEnd) {
  TempDir dir;
  LiveForm f(dir);
  const std::string path = Generate(dir, "big.qmd", GenOptions{.channels = 32, .records = 150000});
  TfrmLogInfo* log = ShowLogInfo();
  log->findChild<QDateEdit*>("dtp1")->setDate(QDate(2000, 1, 1));
  log->findChild<QDateEdit*>("dtp4")->setDate(QDate(2100, 1, 1));
  f.clock += 5000;
  ASSERT_TRUE(f.OpenDataFile(path));
  ASSERT_TRUE(f.IsBusy());
  log->btn1Click();
  EXPECT_EQ(log->Model()->rowCount(), 0);  // nothing read from records being written
  ASSERT_TRUE(WaitLoaded(f));
  // Every stored record (the closing entry included) once the load has ended.
  EXPECT_TRUE(PumpUntil([&] { return log->Model()->rowCount() == GetPubParam()->RecordCount; }, 10000));
  log->close();
}

TEST(StaleViews, RenamedPowerMeterChannelRenamesItsDataColumn) {
  TempDir dir;
  for (int model : {10, 11}) {
    LiveForm f(dir);
    Ui::frmQuna* ui = f.Form();
    ASSERT_TRUE(f.Load(Generate(dir, model == 10 ? "m10.qmd" : "m11.qmd",
                                GenOptions{.model = model, .channels = 4, .records = 200})));
    ModalWatcher boxes;
    AnswerDialogs(boxes, "Feeder A", QColor());
    ui->lv8->setCurrentItem(ui->lv8->topLevelItem(1));
    emit ui->lv8->itemDoubleClicked(ui->lv8->topLevelItem(1), 0);
    for (int tab : {1, 2, 0, 1}) {
      ui->pgc1->setCurrentIndex(tab);
      LiveForm::Settle();
    }
    EXPECT_EQ(ui->lv1->model()->headerData(2, Qt::Horizontal).toString(), QString("Feeder A")) << model;
    f.btnRefreshClick();  // rebuilds the list: the new name stays
    EXPECT_EQ(ui->lv1->model()->headerData(2, Qt::Horizontal).toString(), QString("Feeder A")) << model;
  }
}

TEST(LanguageTexts, QtDialogsSpeakTheInterfaceLanguage) {
  TempDir dir;
  SetProgramDir(dir.path());
  for (const auto& [select, cancel] : {std::pair{"0", "取消"}, std::pair{"1", "Cancel"}, std::pair{"7", "取消"}}) {
    WriteBytes(dir.file("system.par"), std::string("[par]\r\nLANGESELECT=") + select + "\r\n");
    ChooseLanguageFile();
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString::fromUtf8(cancel)) << select;
  }
  // Back to Qt's own English for the other tests.
  InstallQtTranslations(1);
  GetLanchg()->SetLangFile("");
  SetProgramDir("");
}

TEST(LanguageTexts, MessageBoxTitleShowsWhole) {
  LiveForm::Settle();
  int width = 0;
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      width = box->width();
      box->close();
    }
  });
  const QString title = "Quno-V6.0";
  ShowMessageBox(nullptr, QMessageBox::Critical, title, "Page out of range.");
  QFont bold = QApplication::font();
  bold.setBold(true);
  EXPECT_GE(width, MessageBoxWidthForTitle(QFontMetrics(bold).horizontalAdvance(title)));
}
