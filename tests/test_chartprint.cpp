// The chart print: the turned picture, the page geometry, the preview form printing to
// PDF files and through the CUPS queue, and the main form's launch.
#include <gtest/gtest.h>

#include <QPainter>
#include <algorithm>
#include <system_error>
#include <QPrinterInfo>

#include "data/lanchg.h"
#include "data/syspar.h"
#include "mainform_support.h"
#include "mainwindow/chartstate.h"
#include "output/chartpage.h"
#include "output/utBitmap.h"
#include "output/utbmpPrint.h"
#include "platform/appdir.h"
#include "platform/chartwidget.h"
#include "platform/datetime.h"
#include "support/files.h"
#include "support/pdftools.h"
#include "ui_frmPrint.h"
#include "ui_frmQuna.h"

namespace {

// A 400 x 300 "chart": white with a red square near its top-left corner.
QImage MarkedChart() {
  QImage chart(400, 300, QImage::Format_RGB32);
  chart.fill(Qt::white);
  QPainter(&chart).fillRect(20, 20, 40, 40, Qt::red);
  return chart;
}

// The bounding box of the pixels where one colour channel (0 red, 1 green, 2 blue) stands
// out from the other two: a line scaled down into the preview blends with the white.
QRect AreaOf(const QImage& page, int channel = 0) {
  QRect box;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x) {
      const QColor c = page.pixelColor(x, y);
      const int v[3] = {c.red(), c.green(), c.blue()};
      if (v[channel] > 150 && v[channel] - std::max(v[(channel + 1) % 3], v[(channel + 2) % 3]) > 60)
        box |= QRect(x, y, 1, 1);
    }
  return box;
}

// The spooler's queue "PDF", which CI always has: its absence fails there.
bool HavePdfQueue() {
  if (QPrinterInfo::availablePrinterNames().contains("PDF")) return true;
  if (qgetenv("CI") == "true") ADD_FAILURE() << "no CUPS queue \"PDF\", which CI sets up";
  return false;
}

// A preview holding the turned marked chart, with the store's texts set.
struct Preview {
  ProgramFolder folder;
  utBitmap bitmap;
  TfrmPrint form;
  explicit Preview(const std::string& printer = {}) {
    GetLanchg()->SetLangFile("");
    tagSysPar& par = GetPubParam()->SysPar;
    par.DEVNAME = "QM700-测试";
    par.COPYNAME = "水厂一号";
    for (int i = 0; i < 3; ++i) par.DATAPOS[i] = 5;
    par.DATAPOS[3] = 65;
    bitmap.SetWidth(400);
    bitmap.SetHeight(300);
    bitmap.GetCanvas()->SetSource(MarkedChart());
    bitmap.GetCanvas()->Rotate270();
    form.SetBitmap(&bitmap);
    form.SetBitmapWidth(300);
    form.SetBitmapHeight(400);
    form.SetTimeRangeText("2012-09-10 08:00:00=>2012-09-11");
    form.SetSettingsSection("a.qmd");
    form.SetMainPrinterName(printer);
    form.show();
  }
};

}  // namespace

TEST(ChartPicture, QuarterTurnCounterclockwise) {
  QImage source(3, 2, QImage::Format_RGB32);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) source.setPixel(x, y, qRgb(x * 50, y * 50, 7));
  const QImage turned = RotateQuarterCounterclockwise(source);
  ASSERT_EQ(turned.size(), QSize(2, 3));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 2; ++x)
      EXPECT_EQ(turned.pixel(x, y), source.pixel(2 - y, x)) << x << "," << y;

  utBitmap bitmap;
  UCanvas* canvas = bitmap.GetCanvas();
  bitmap.SetWidth(640);
  bitmap.SetHeight(480);
  ASSERT_TRUE(canvas->SetSource(MarkedChart()));  // smaller than the canvas: padded white
  canvas->Rotate270();
  EXPECT_EQ(std::pair(canvas->Width(), canvas->Height()), std::pair(480, 640));
  EXPECT_EQ(canvas->Picture().pixelColor(30, 639 - 30), QColor(Qt::red));
  // A picture of a high-density screen is taken whole, at the chart's size.
  QImage dense(800, 600, QImage::Format_RGB32);
  dense.fill(Qt::white);
  QPainter(&dense).fillRect(760, 560, 40, 40, Qt::blue);
  dense.setDevicePixelRatio(2.0);
  bitmap.SetWidth(400);
  bitmap.SetHeight(300);
  ASSERT_TRUE(canvas->SetSource(dense));
  EXPECT_EQ(canvas->Picture().pixelColor(390, 290), QColor(Qt::blue));
  // A failed capture leaves no picture rather than a blank one.
  EXPECT_FALSE(canvas->SetSource(QImage()));
  EXPECT_FALSE(canvas->HasPicture());
}

TEST(ChartPageGeometry, MarginsPictureRectanglesAndRangeText) {
  const PageMargins m = ComputeMargins(800, 1000, 5, 5, 5);  // T = B = 50, L = 40, body 900
  const PictureRects r = ChartPictureRects(800, m, 12, QSize(300, 400));
  EXPECT_EQ(r.dest, QRect(41, 50 + 72 + 1, 800 - 80 - 1, 900 - 72 - 1));
  EXPECT_EQ(r.source, QRect(10, 10, 290, 390));  // inside the picture
  EXPECT_TRUE(r.Drawn());

  // Margins that leave no room draw no picture (never a mirrored one).
  EXPECT_FALSE(ChartPictureRects(800, ComputeMargins(800, 1000, 60, 50, 5), 12, QSize(300, 400)).Drawn());
  EXPECT_FALSE(ChartPictureRects(800, ComputeMargins(800, 1000, 5, 5, 50), 12, QSize(300, 400)).Drawn());
  EXPECT_FALSE(ChartPictureRects(800, m, 12, QSize(5, 400)).Drawn());

  EXPECT_EQ(PreviewImageSize({4960, 7016, 80, 66, 600, 600}, 96, 96, 63), QSize(499, 707));
  // The range text drops the time at midnight.
  EXPECT_EQ(ChartRangeText(EncodeDateTime(2012, 9, 10, 8, 0, 0), EncodeDateTime(2012, 9, 11, 0, 0, 0)),
            "2012-09-10 08:00:00=>2012-09-11");
  EXPECT_EQ(DateTimeToStr(EncodeDateTime(2012, 9, 11, 0, 0, 0, 500)), "2012-09-11 00:00:00");
}

TEST(ChartPreview, UnknownPrinterPdfPageAndSettings) {
  Preview p("no such printer");
  Ui::frmPrint* ui = p.form.Form();
  EXPECT_EQ(ui->lbl4->text(), QString::fromUtf8("缩小到:63%"));  // the zoom bar ends at 63
  EXPECT_EQ(GetPubParam()->SysPar.DATAPOS[3], 63);
  EXPECT_TRUE(ui->rbBlack->isChecked());
  // A main-form printer that is not installed selects none of those that are.
  if (HavePdfQueue()) EXPECT_EQ(ui->cmbprint->currentIndex(), -1);
  ModalWatcher boxes;
  p.form.btn6Click();  // told once; the preview stays
  // The box's line, then why: with no print server, that it does not answer.
  const QString why = QString::fromUtf8(HavePdfQueue() ? "打印机不存在" : "打印服务器没有应答");
  EXPECT_EQ(boxes.texts, std::vector<QString>{QString::fromUtf8("打印机加载失败!请重新加载.\n") + why});
  EXPECT_FALSE(p.form.Printer().Printed());
  EXPECT_FALSE(p.form.PreviewImage().isNull());

  TempDir dir;
  const QString path = QString::fromStdString(dir.file("chart.pdf"));
  p.form.SetOutputFile(path, 300);
  ui->rbBlack->click();  // colour: the printer's own resolution
  EXPECT_TRUE(ui->rbColor->isChecked());
  p.form.btn6Click();
  EXPECT_EQ(boxes.texts.size(), 1u);
  EXPECT_TRUE(p.form.Printer().Printed());
  const PdfInfo info = ReadPdfInfo(path);
  EXPECT_EQ(info.pages, 1);
  EXPECT_TRUE(info.a4);
  const QString text = PdfText(path);
  for (const char* s : {"设备名称：QM700-测试", "单位名称：水厂一号", "时间范围：2012-09-10", "打印时间："})
    EXPECT_TRUE(text.contains(QString::fromUtf8(s))) << s << " in " << text.toStdString();
  // The chart's top-left corner lands at the picture's bottom-left on the page.
  const QImage page = PdfPage(path, 50);
  const QRect red = AreaOf(page);
  ASSERT_FALSE(red.isEmpty());
  EXPECT_LT(red.center().x(), page.width() / 4);
  EXPECT_GT(red.center().y(), page.height() * 3 / 4);
  // 黑白 prints the same page in greys.
  ui->rbColor->click();
  p.form.btn6Click();
  EXPECT_TRUE(AreaOf(PdfPage(path, 50)).isEmpty());
  EXPECT_TRUE(PdfText(path).contains(QString::fromUtf8("设备名称：QM700-测试")));

  const QImage before = p.form.PreviewImage();
  ui->scrlbr1->setValue(20);
  EXPECT_EQ(ui->lbl1->text(), QString::fromUtf8("上:20%"));
  // Opposite margins stop where they leave a fifth of the page.
  ui->scrlbr2->setValue(90);
  ui->scrlbr3->setValue(90);
  int* pos = GetPubParam()->SysPar.DATAPOS;
  EXPECT_EQ(std::vector<int>(pos, pos + 3), (std::vector<int>{20, 60, 40}));
  // Shown again for margins stored meanwhile, the bars take them whatever they stood at.
  p.form.hide();
  pos[0] = 50;
  pos[1] = 10;
  p.form.show();
  EXPECT_EQ(std::vector<int>({ui->scrlbr1->value(), ui->scrlbr2->value(), pos[0], pos[1]}),
            (std::vector<int>{50, 10, 50, 10}));
  ui->scrlbr1->setValue(20);
  ui->scrlbr2->setValue(5);
  EXPECT_NE(p.form.PreviewImage(), before);
  ui->scrlbr4->setValue(30);
  EXPECT_EQ(p.form.PreviewImage().size(), QSize(229, 328));  // 30 % of A4's printable area at 96 dpi
  boxes.texts.clear();
  p.form.btn3Click();
  EXPECT_NE(ReadBytes(SystemParPath()).find("DATAPOS0=20"), std::string::npos);
  // A settings file that cannot be written is told, not reported as saved.
  QFile::remove(QString::fromStdString(SystemParPath()));
  QDir().mkpath(QString::fromStdString(SystemParPath()));
  p.form.btn3Click();
  const QString reason = QString::fromStdString(std::system_category().message(EISDIR));
  EXPECT_EQ(boxes.texts, (std::vector<QString>{QString::fromUtf8("设置成功"), QString::fromUtf8("设置保存失败!\n") + reason}));
}

// The start-up (settings, printer list, colour mode) runs once per opening: restoring the
// minimised preview keeps what the user chose there; the next opening starts afresh.
TEST(ChartPreview, StartUpRunsOncePerOpening) {
  Preview p("no such printer");
  Ui::frmPrint* ui = p.form.Form();
  ASSERT_GT(ui->cmbprint->count(), 0) << "no printer installed";
  ASSERT_EQ(ui->cmbprint->currentIndex(), -1);
  ui->cmbprint->setCurrentIndex(0);
  ui->rbBlack->click();
  ASSERT_TRUE(ui->rbColor->isChecked());
  p.form.setWindowState(Qt::WindowMinimized);
  QCoreApplication::processEvents();
  p.form.setWindowState(Qt::WindowNoState);
  QCoreApplication::processEvents();
  EXPECT_EQ(ui->cmbprint->currentIndex(), 0);
  EXPECT_TRUE(ui->rbColor->isChecked());
  p.form.close();
  p.form.show();
  EXPECT_EQ(ui->cmbprint->currentIndex(), -1);
  EXPECT_TRUE(ui->rbBlack->isChecked());
}

TEST(ChartPreview, PrintsThroughTheCupsQueue) {
  if (!HavePdfQueue()) GTEST_SKIP() << "no CUPS queue \"PDF\"";
  Preview p("PDF");
  const QString marker = QString("Q%1").arg(QDateTime::currentMSecsSinceEpoch() % 100000000);
  GetPubParam()->SysPar.DEVNAME = marker.toStdString();
  ASSERT_EQ(p.form.Form()->cmbprint->currentText(), "PDF");
  const QDateTime start = QDateTime::currentDateTime();
  ModalWatcher boxes;
  p.form.btn6Click();  // black and white: 600-dpi units
  EXPECT_TRUE(boxes.texts.empty());
  ASSERT_TRUE(p.form.Printer().Printed());
  const QString pdf = WaitForPdf(QDir::homePath() + "/PDF", start, marker, 60000);
  ASSERT_FALSE(pdf.isEmpty()) << "no PDF with " << marker.toStdString() << " in ~/PDF";
  const PdfInfo info = ReadPdfInfo(pdf);
  EXPECT_EQ(info.pages, 1);
  EXPECT_TRUE(info.a4);
  const QString text = PdfText(pdf);
  // Runs of CJK and Latin text may come out of the spooler in separate pieces.
  for (const char* s : {"设备名称：", "打印时间：", "时间范围：", "2012-09-10", "08:00:00=>2012-09-11", "单位名称：水厂一号"})
    EXPECT_TRUE(text.contains(QString::fromUtf8(s))) << s << " in " << text.toStdString();
  QFile::remove(pdf);
}

// The real main form: the colour boxes, and the chart shown white while the preview is
// open, every colour back after it closes by the window's close box.
TEST(MainPrint, ChartPrintShowsTheTurnedChartAndRestoresTheChart) {
  TempDir dir;
  LiveForm f(dir);
  Ui::frmQuna* ui = f.Form();
  EXPECT_TRUE(ui->rbColor->isChecked() != ui->rbBlack->isChecked());
  for (QCheckBox* box : {ui->rbColor, ui->rbBlack, ui->rbBlack, ui->rbColor, ui->rbColor, ui->rbBlack}) {
    box->click();
    EXPECT_TRUE(ui->rbColor->isChecked() != ui->rbBlack->isChecked());
  }
  ASSERT_TRUE(ui->rbColor->isChecked());  // the curves are looked for in their colours

  CreatePrintPreview(&f);
  ASSERT_TRUE(f.Load(Generate(dir, "print.qmd", GenOptions{.channels = 2, .records = 300})));
  ChartWidget* chart = ui->cht1;
  ui->edtdevice->setText("DEV-7");
  ui->lbl21->setText("2012-09-10 08:01:00");
  QPalette pal = ui->lbl21->palette();
  pal.setColor(QPalette::WindowText, Qt::yellow);
  ui->lbl21->setPalette(pal);
  const int label = chart->AddTextLabel(QPoint(50, 40), "mark", 0x00FFFF);
  f.Chart().flagValueLabels.push_back(label);
  f.Chart().curveSeries[0]->SetColor(0x0000FF);  // red
  f.Chart().curveSeries[1]->SetColor(0xFF0000);  // blue
  const TColor back = chart->BackColor();
  const auto labelColour = [&] {
    QPoint at;
    QString text;
    TColor colour = 1;
    EXPECT_TRUE(chart->TextLabelOf(label, at, text, colour));
    EXPECT_EQ(text, "mark");
    return colour;
  };
  const auto cursorColour = [&] { return ui->lbl21->palette().color(QPalette::WindowText); };

  bool shown = false;
  ModalWatcher boxes;
  boxes.handler = [&](QWidget* m) {
    auto* preview = qobject_cast<TfrmPrint*>(m);
    if (!preview) return false;
    shown = true;
    EXPECT_EQ(chart->BackColor(), 0xFFFFFF);
    EXPECT_EQ(labelColour(), 0);
    EXPECT_EQ(cursorColour(), QColor(Qt::black));
    // The curves reach the preview, time running down the page.
    const QImage page = preview->PreviewImage();
    EXPECT_GT(AreaOf(page, 0).height(), page.height() / 2);
    EXPECT_GT(AreaOf(page, 2).height(), page.height() / 2);
    preview->close();  // the window's close box
    return true;
  };
  f.btnprintClick();
  ASSERT_TRUE(shown);
  EXPECT_EQ(chart->BackColor(), back);
  EXPECT_EQ(labelColour(), 0x00FFFF);
  EXPECT_EQ(cursorColour(), QColor(Qt::yellow));
  EXPECT_EQ(ui->lbl21->text(), "2012-09-10 08:01:00");
  EXPECT_NE(ReadBytes(SystemParPath()).find("DEVNAME=DEV-7"), std::string::npos);
}
