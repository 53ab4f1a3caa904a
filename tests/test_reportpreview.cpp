#include <gtest/gtest.h>

#include <QKeyEvent>
#include <system_error>

#include "data/syspar.h"
#include "mainform_support.h"
#include "output/utbmpPrint.h"
#include "output/utfaterPint.h"
#include "output/utjumppage.h"
#include "platform/appcursor.h"
#include "platform/gbk.h"
#include "support/files.h"
#include "support/fulldisk.h"
#include "support/pdftools.h"
#include "ui_frmPrint.h"
#include "support/tempdir.h"
#include "ui_frmQuna.h"
#include "ui_frmfaterPrit.h"
#include "ui_frmjumppage.h"

namespace {

using Span = std::pair<std::int64_t, std::int64_t>;

struct Messages {
  std::vector<QString> texts;
  std::vector<AppCursor> cursors;  // the cursor while each was told
  Messages() {
    SetPreviewMessageHandler([this](PreviewMsg, const QString& t) {
      texts.push_back(t);
      cursors.push_back(CurrentAppCursor());
    });
  }
  ~Messages() { SetPreviewMessageHandler({}); }
  QString last() const { return texts.empty() ? QString() : texts.back(); }
};

// A preview of the data report of 3000 records, shown.
QPointer<TfrmfaterPrit> ShowPreview() {
  FillStore(3000, 5, 3);
  int* pos = GetPubParam()->SysPar.DATAPOS;
  pos[0] = pos[1] = pos[2] = 5;
  pos[3] = 65;
  auto* f = new TfrmfaterPrit();
  f->SetStartIndex(0);
  f->SetEndIndex(3000);
  f->SetReportType(kReportData);
  f->SetInterval(1);
  f->SetRangeText("2012-09-10 08:00:00=>2012-09-10 12:09:55");
  f->resize(1400, 1000);
  f->show();
  return f;
}

void Key(QWidget* w, int key, const QString& text = QString(), Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, mods, text);
  QCoreApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, mods, text);
  QCoreApplication::sendEvent(w, &release);
}

void Type(QWidget* w, const QString& text) {
  for (QChar c : text) Key(w, c.isDigit() ? Qt::Key_0 + c.digitValue() : Qt::Key_A, QString(c));
}

}  // namespace

TEST(JumpPage, OnlyOkHandsBackTheTypedPage) {
  int handed = -1;
  {
    Tfrmjumppage d(nullptr, [&](int p) { handed = p; });
    d.Prepare(3, "总计12页");
    d.Form()->edt1->clear();
    Type(d.Form()->edt1, "1a-7.");
    EXPECT_EQ(d.Form()->edt1->text(), "17");
    Key(d.Form()->edt1, Qt::Key_Backspace);
    Key(d.Form()->edt1, Qt::Key_Return, "\r");  // Enter is OK
    EXPECT_EQ(handed, 1);
  }
  // Cancel and the window's close hand back 0.
  for (int way = 0; way < 2; ++way) {
    handed = -1;
    auto* d = new Tfrmjumppage(nullptr, [&](int p) { handed = p; });
    d->Prepare(5, "");
    d->show();
    if (way == 0) d->btn2Click();
    else d->close();
    EXPECT_EQ(handed, 0) << way;
  }
  EXPECT_EQ(TypedPage(""), 0);
  EXPECT_EQ(TypedPage("99999999999999"), INT32_MAX);
}

TEST(ReportPreview, NavigationGoToAndClampingAfterZoom) {
  Messages msgs;
  QPointer<TfrmfaterPrit> f = ShowPreview();
  Ui::frmfaterPrit* ui = f->Form();
  EXPECT_EQ(ui->lbl4->text(), "缩小到:65%");
  EXPECT_EQ(ui->scrlbr4->value(), 63);  // the bar tops out; the stored zoom stands
  // No printer chosen: A4 at 600 dpi, shown at 65 % on a 96-dpi screen.
  EXPECT_EQ(ui->img1->size(), QSize(515, 729));
  const std::int64_t pages = f->PageCount();
  ASSERT_GT(pages, 10);

  f->btn11Click();
  f->btn8Click();
  EXPECT_EQ(msgs.texts, (std::vector<QString>{"到达第一页", "到达第一页"}));
  f->btn1Click();
  EXPECT_EQ(f->CurrentPage(), pages);
  f->btn10Click();
  EXPECT_EQ(msgs.last(), "到达最后一页");

  f->GoToPage(0);
  EXPECT_EQ(f->CurrentPage(), pages);
  f->GoToPage(static_cast<int>(pages) + 1);
  EXPECT_EQ(msgs.last(), "超出页的范围.");
  EXPECT_EQ(f->CurrentPage(), pages);
  f->GoToPage(4);
  EXPECT_EQ(f->CurrentPage(), 4);

  // The zoom only scales the page: the pages stay.
  f->btn1Click();
  ui->scrlbr4->setValue(30);
  EXPECT_EQ(f->PageCount(), pages);
  EXPECT_EQ(ui->img1->width(), 238);
  // Narrower margins hold more lines a page: the last page stays a real page.
  ui->scrlbr1->setValue(0);
  ui->scrlbr2->setValue(0);
  EXPECT_GT(f->PageCount(), 1);
  EXPECT_LT(f->PageCount(), pages);
  EXPECT_EQ(f->CurrentPage(), f->PageCount());
  const auto shown = f->CurrentPage();
  // Opposite margins stop where they leave a fifth of the page; wider ones hold fewer
  // lines a page, and the shown page stays.
  ui->scrlbr2->setValue(60);
  ui->scrlbr1->setValue(45);
  ui->scrlbr3->setValue(60);
  const int* pos = GetPubParam()->SysPar.DATAPOS;
  EXPECT_EQ(std::vector<int>(pos, pos + 3), (std::vector<int>{20, 60, 40}));
  EXPECT_EQ(ui->lbl1->text(), "上:20%");
  EXPECT_GT(f->PageCount(), shown);
  EXPECT_EQ(f->CurrentPage(), shown);
  f->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(f.isNull());  // frees itself on close
}

// At the default zoom both previews show the whole page where the room allows; where it
// does not (maximised on a 1366 x 768 screen) the page scrolls to every part of it, its
// page count at the bottom included, and never lies under the tool bar or the status bar.
TEST(PreviewPage, WholeWhereItFitsElseScrollable) {
  QPointer<TfrmfaterPrit> report = ShowPreview();
  TfrmPrint chart;
  chart.show();
  struct View {
    QDialog* form;
    QScrollArea* area;
    QLabel* page;
    QWidget *toolBar, *statusBar;
  };
  const View views[] = {
      {report, report->Form()->sclPage, report->Form()->img1, report->Form()->tlb1, report->Form()->stat1},
      {&chart, chart.Form()->sclPage, chart.Form()->img1, chart.Form()->tlb1, chart.Form()->stat1}};
  for (const View& v : views) {
    for (const auto& [size, fits] : {std::pair{QSize(1400, 1000), true}, std::pair{QSize(1366, 749), false}}) {
      v.form->resize(size);
      QCoreApplication::processEvents();
      const std::string where = v.form->objectName().toStdString() + (fits ? " large" : " small");
      EXPECT_GE(v.area->geometry().top(), v.toolBar->geometry().bottom() + 1) << where;
      EXPECT_LE(v.area->geometry().bottom(), v.statusBar->geometry().top() - 1) << where;
      const QRect shown(v.page->mapTo(v.area->viewport(), QPoint(0, 0)), v.page->size());
      EXPECT_EQ(v.area->viewport()->rect().contains(shown), fits) << where;
      QScrollBar* bar = v.area->verticalScrollBar();
      EXPECT_EQ(bar->isVisible(), !fits) << where;
      if (!fits) EXPECT_GE(bar->maximum() + v.area->viewport()->height(), v.page->height()) << where;
    }
  }
  report->close();
}

// An unknown printer is told once, with the arrow cursor; page 5 shown is page 5 printed
// first (that the paper's pages are the preview's is ReportPdf's).
TEST(ReportPreview, PrintsFromTheShownPage) {
  Messages msgs;
  QPointer<TfrmfaterPrit> f = ShowPreview();
  f->Form()->cmbprint->setCurrentIndex(-1);
  f->btn6Click();
  EXPECT_EQ(msgs.texts, std::vector<QString>{"打印机加载失败!请重新加载.\n打印机不存在"});
  EXPECT_EQ(msgs.cursors, std::vector<AppCursor>{AppCursor::Default});
  EXPECT_EQ(CurrentAppCursor(), AppCursor::Default);

  TempDir dir;
  const QString from5 = QString::fromStdString(dir.file("from5.pdf"));
  f->GoToPage(5);
  f->Printer().SetOutputFile(from5, 600);
  f->btn6Click();
  EXPECT_EQ(msgs.texts.size(), 1u) << msgs.last().toStdString();
  EXPECT_EQ(f->CurrentPage(), 5);
  EXPECT_EQ(ReadPdfInfo(from5).pages, f->PageCount() - 4);
  EXPECT_TRUE(PdfText(from5, 1).contains(QString("第5页/共%1页").arg(f->PageCount())));
  EXPECT_FALSE(PdfText(from5).contains("设备名称"));  // printing started after page 1
  f->close();
}

TEST(ReportRange, DataReportStartsAtTheListsPageOthersCoverTheWindow) {
  // Window 100..5000 at step 5: list page 3 shows 1600 first. A window beyond the stored
  // records is cut to them; a list page beyond them is empty.
  for (auto [type, page, stored, want] : {std::tuple(kReportData, 3, 680000, Span(1600, 5000)),
                                          std::tuple(kReportPeak, 3, 680000, Span(100, 5000)),
                                          std::tuple(kReportData, 2, 1000, Span(850, 1000)),
                                          std::tuple(kReportData, 9, 1000, Span(1000, 1000))}) {
    const IndexRange r = ReportRangeFor(type, 100, 5000, page, 5, stored);
    EXPECT_EQ(std::pair(r.first, r.end), want) << type << " " << page;
  }

  // The print button's launch hands the preview that range, and the alarm report keeps
  // its own alarm list: the alarm tab's stays as it was.
  FillStore(3000, 5, 3);
  GetPubParam()->Records[40].Channel[0].Alarm[0] = 1;
  GetPubParam()->Records[2500].Channel[1].Alarm[2] = 1;
  GetPubParam()->AlarmIndex = {7, 8, 9};
  SpyForm form;
  form.Form()->rb1->setChecked(true);
  form.Form()->edlinespace->setText("5");
  form.WindowFirst = 100;
  form.WindowEnd = 2900;
  form.DataPage = 2;
  using Seen = std::tuple<std::int64_t, std::int64_t, std::vector<std::int32_t>>;
  for (auto [type, want] : {std::pair(kReportData, Seen{850, 2900, {}}), std::pair(kReportAlarm, Seen{100, 2900, {2500}})}) {
    form.ReportType = type;
    Seen seen;
    ModalWatcher watcher;
    watcher.handler = [&](QWidget* w) {
      auto* preview = qobject_cast<TfrmfaterPrit*>(w);
      if (!preview) return false;
      seen = {preview->Content().first, preview->Content().end, preview->Content().alarmIndex};
      preview->close();
      return true;
    };
    form.PrintReport("A=>B");
    EXPECT_EQ(seen, want) << type;
    EXPECT_EQ(GetPubParam()->AlarmIndex, (std::vector<std::int32_t>{7, 8, 9}));
  }
}

namespace {

// Sets margins 12/7/9 and zoom 40 in one of the previews (0 report, 1 chart) of the file
// a.qmd and presses its save button: what the preview said, and whether as a warning.
std::pair<QString, bool> SaveMarginsAndZoom(int preview) {
  int* pos = GetPubParam()->SysPar.DATAPOS;
  pos[0] = pos[1] = pos[2] = 5;
  pos[3] = 65;
  const auto setAndSave = [](auto* ui) {
    for (auto [bar, value] : {std::pair(ui->scrlbr1, 12), {ui->scrlbr2, 7}, {ui->scrlbr3, 9}, {ui->scrlbr4, 40}})
      bar->setValue(value);
    ui->btn3->click();
  };
  ModalWatcher boxes;
  if (preview == 0) {
    QPointer<TfrmfaterPrit> f = ShowPreview();
    f->SetSettingsSection("a.qmd");
    setAndSave(f->Form());
    f->close();
  } else {
    TfrmPrint f;
    f.SetSettingsSection("a.qmd");
    f.show();
    setAndSave(f.Form());
  }
  if (boxes.texts.empty()) return {};
  return {boxes.texts.back(), boxes.icons.back() == QMessageBox::Warning};
}

}  // namespace

// The margins and the zoom go into the data file's section; the unit and device names
// in [par] stay as they are in the file, whatever the store holds. On a full disk the
// save warns with the reason, says nothing of success, and the file stays as it was.
TEST(PreviewSave, MarginsAndZoomGoToTheFilesSectionOnlyAndAFullDiskIsTold) {
  const std::string names = "[par]\r\nCOPYNAME=\xBC\xD7\r\nDEVNAME=\xD2\xD2\r\n";  // 甲, 乙 in GBK
  utPubParam* p = GetPubParam();
  for (int preview : {0, 1}) {
    ProgramFolder folder;
    WriteBytes(SystemParPath(), names);
    p->SysPar.COPYNAME = p->SysPar.DEVNAME = "typed";
    EXPECT_EQ(SaveMarginsAndZoom(preview).first, "设置成功") << preview;
    p->ReadFilePar("a.qmd");
    EXPECT_EQ((std::vector<int>(p->SysPar.DATAPOS, p->SysPar.DATAPOS + 4)), (std::vector<int>{12, 7, 9, 40})) << preview;
    ReadGlobalPar();
    EXPECT_EQ(std::pair(p->SysPar.COPYNAME, p->SysPar.DEVNAME), std::pair(std::string("甲"), std::string("乙"))) << preview;
  }

  FullDisk disk;
  FULL_DISK_OR_UNAVAILABLE(disk);
  WriteBytes(disk.file("system.par"), names);
  const QString reason = QString::fromStdString(std::system_category().message(ENOSPC));
  SetProgramDir(disk.path());
  EXPECT_EQ(SaveMarginsAndZoom(0), std::pair("设置保存失败.\n" + reason, true));
  EXPECT_EQ(SaveMarginsAndZoom(1), std::pair("设置保存失败!\n" + reason, true));
  SetProgramDir("");
  EXPECT_EQ(ReadBytes(disk.file("system.par")), names);
}

// Of the typed characters only digits, Backspace and Enter act in the entry; keys that
// type none edit it (Delete with the text X11 gives it), and Escape, in the entry or on a
// button, leaves the dialog open.
TEST(JumpPage, EntryDropsEveryOtherTypedCharacter) {
  int handed = -1;
  QPointer<Tfrmjumppage> d = new Tfrmjumppage(nullptr, [&](int p) { handed = p; });
  d->Prepare(5, "");
  d->show();
  QLineEdit* entry = d->Form()->edt1;
  entry->clear();
  Type(entry, "12");
  Key(entry, Qt::Key_Left);
  Type(entry, "3a-");
  Key(entry, Qt::Key_V, QString(QChar(22)), Qt::ControlModifier);  // no paste either
  EXPECT_EQ(entry->text(), "132");
  Key(entry, Qt::Key_Home);
  Key(entry, Qt::Key_Delete, QString(QChar(127)));
  EXPECT_EQ(entry->text(), "32");
  Key(entry, Qt::Key_End, QString(), Qt::ShiftModifier);
  Type(entry, "4");
  EXPECT_EQ(entry->text(), "4");
  for (QWidget* w : {static_cast<QWidget*>(entry), static_cast<QWidget*>(d->Form()->btn1)})
    Key(w, Qt::Key_Escape, QString(QChar(27)));
  QCoreApplication::processEvents();
  ASSERT_TRUE(d && d->isVisible());
  Type(entry, "05");
  Key(entry, Qt::Key_Backspace, QString(QChar(8)));
  Key(entry, Qt::Key_Enter, "\r");
  EXPECT_EQ(handed, 40);
}

namespace {

// Presses the main form's print button: the time range the report's header states.
std::string PrintedRange(LiveForm& form) {
  QString range = "(no report)";
  ModalWatcher watcher;
  watcher.handler = [&](QWidget* w) {
    auto* preview = qobject_cast<TfrmfaterPrit*>(w);
    if (preview) range = preview->Content().rangeText, preview->close();
    return preview != nullptr;
  };
  form.Form()->btnprint->click();
  return range.toStdString();
}

}  // namespace

TEST(ReportHeader, StatesTheFirstAndLastRecordOfTheWindowItPrints) {
  TempDir dir;
  LiveForm form(dir);
  // 1000 records 5 s apart from 2023-01-01 00:00:00: the last at 01:23:15.
  ASSERT_TRUE(form.Load(Generate(dir, "r.qmd", {.channels = 4, .records = 1000, .alarms = true})));
  Ui::frmQuna* ui = form.Form();
  ui->pgc1->setCurrentIndex(1);
  ui->dtp4->setTime(QTime(0, 3, 0));
  ui->btnRefresh->click();
  EXPECT_EQ(PrintedRange(form), "2023-01-01=>2023-01-01 00:03:00");
  ui->btnRestore->click();
  EXPECT_EQ(PrintedRange(form), "2023-01-01=>2023-01-01 01:23:15");
  // The data report printed from the list's second page lists from its first record.
  ui->btnNext->click();
  EXPECT_EQ(PrintedRange(form), "2023-01-01 00:12:30=>2023-01-01 01:23:15");
  // Every other report covers the window.
  ui->dtp2->setTime(QTime(0, 10, 0));
  ui->btnRefresh->click();
  ui->pgc1->setCurrentIndex(2);
  EXPECT_EQ(PrintedRange(form), "2023-01-01 00:10:00=>2023-01-01 01:23:15");

  // No record in the range: nothing is stated.
  EXPECT_EQ(ReportRangeText(StoreSource(), {500, 500}).toStdString(), "");
  EXPECT_EQ(ReportRangeText(StoreSource(), {999, 5000}).toStdString(), "2023-01-01 01:23:15=>2023-01-01 01:23:15");
}
