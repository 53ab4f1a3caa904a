// The export thread writing real files (a finished file, an unwritable target, a full
// disk), and the main form's export: its save dialog, its arguments, the open
// it refuses while an export runs and the close that stops one.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QRadioButton>
#include <csignal>
#include <filesystem>

#include "data/lanchg.h"
#include "mainform_support.h"
#include "reports/Utpage.h"
#include "output/exportfile.h"
#include "output/utexeclthread.h"
#include "platform/appcursor.h"
#include "support/exportbytes.h"
#include "support/files.h"
#include "ui_frmQuna.h"

namespace {

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// Records one gap apart with values on every channel (the last one the closing entry).
void FillValues(int count, int channels) {
  FillStore(count, 10, channels);
  utPubParam* p = GetPubParam();
  for (int i = 0; i < count; ++i)
    for (int k = 0; k < channels; ++k) p->Records[i].Channel[k].Value = i * 0.25 - k;
}

// The bytes the store gives for a range, as the thread must write them.
std::string Expected(int kind, std::int64_t first, std::int64_t end, std::int64_t step,
                     std::vector<std::int32_t> alarms = {}) {
  return ExportBytesOf(StoreSource(), kind, first, end, step, std::move(alarms));
}

struct Export {
  StatusRecorder to;
  std::unique_ptr<utExeclthread> thread = std::make_unique<utExeclthread>(true);
  Export(const std::string& path, int kind, std::int64_t first, std::int64_t end, std::int64_t step = 1) {
    thread->SetFileName(path);
    thread->SetReportType(kind);
    thread->SetStartIndex(first);
    thread->SetEndIndex(end);
    thread->SetInterval(step);
    thread->SetNotifyWindow(&to, &to);
  }
  bool Finish() {
    thread->Resume();
    return PumpUntil([&] { return !to.msgs.empty(); }) && thread->WaitEnded(std::chrono::seconds(20));
  }
};

class ExportThread : public ::testing::Test {
 protected:
  void SetUp() override { GetLanchg()->SetLangFile(std::string()); }
  TempDir dir;
};

}  // namespace

TEST_F(ExportThread, WritesTheWholeFileBeforeCode9) {
  FillValues(400, 3);
  const std::string path = dir.file("out.xls");
  WriteBytes(path, std::string(100000, 'z'));  // replaced, not appended to
  Export e(path, 1, 10, 399, 2);
  ASSERT_TRUE(e.Finish());
  EXPECT_EQ(e.to.codes(), std::vector<int>{kStatusExportDone});
  EXPECT_TRUE(e.to.onOwnThread[0]);
  EXPECT_EQ(ReadBytes(path), Expected(1, 10, 399, 2));

  // The alarm rows come from the list handed over, else from the store's list.
  GetPubParam()->AlarmIndex = {4, 5};
  Export alarms(path, 3, 0, 0);
  alarms.thread->SetAlarmIndex({7});
  ASSERT_TRUE(alarms.Finish());
  EXPECT_EQ(ReadBytes(path), Expected(3, 0, 0, 1, {7}));
  Export store(path, 3, 0, 0);
  ASSERT_TRUE(store.Finish());
  EXPECT_EQ(ReadBytes(path), Expected(3, 0, 0, 1, {4, 5}));
}

// A folder that is a file, and a full disk (a file-size limit stands in for it: writes
// past it fail with EFBIG): told with the name and the reason, no partial file left.
TEST_F(ExportThread, FailedWritesAreReportedWithNameAndReason) {
  FillValues(2000, 4);
  WriteBytes(dir.file("plain"), "x");
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  for (const bool full : {false, true}) {
    const std::string path = dir.file(full ? "full.xls" : "plain/out.xls");
    rlimit limit = saved;
    if (full) limit.rlim_cur = 8192;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    Export e(path, 1, 0, 1999);
    const bool finished = e.Finish();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(finished);
    ASSERT_EQ(e.to.codes(), std::vector<int>{kStatusExportFailed});
    const QString text = e.to.msgs[0].text;
    EXPECT_TRUE(text.contains(QString::fromStdString(path)));
    EXPECT_TRUE(text.contains(full ? "File too large" : "Not a directory")) << text.toStdString();
    EXPECT_FALSE(Exists(path));
  }
}

namespace {

// A main form whose save dialog answers with a set name.
class ExportForm : public SpyForm {
 public:
  QString answer;
  int asked = 0;
  QString AskExportFileName() override {
    ++asked;
    return answer;
  }
};

struct LoadedForm {
  ExportForm f;
  Ui::frmQuna* ui = f.Form();
  ModalWatcher boxes;
  LoadedForm(int count, int channels) {
    GetLanchg()->SetLangFile(std::string());
    FillValues(count, channels);
    f.DataFileName = "/tmp/a.qmd";
    StatusMsg msg;  // the loader's record count, then its end
    msg.code = 7;
    msg.value = count;
    f.OnStatusMsg(msg);
    msg.code = 6;
    f.OnStatusMsg(msg);
    ui->pgc1->setCurrentIndex(1);  // the data report
  }
  bool Done() {
    return PumpUntil([&] { return !f.ExportRunning() && CurrentAppCursor() == AppCursor::Default; });
  }
};

}  // namespace

TEST_F(ExportThread, MainFormExportsFromTheDataListsPage) {
  LoadedForm l(1001, 4);
  ASSERT_EQ(l.f.ReportType, 1);
  l.ui->rb1->setChecked(true);
  l.ui->edlinespace->setText("2");
  l.f.DataPage = 2;
  l.f.answer = QString::fromStdString(dir.file("page.xls"));
  l.f.btnExeclClick();
  EXPECT_EQ(CurrentAppCursor(), AppCursor::HourGlass);
  ASSERT_TRUE(l.Done());
  // Page 2 at step 2 starts 300 records into the window [0, 1000).
  EXPECT_EQ(ReadBytes(dir.file("page.xls")), Expected(1, 300, 1000, 2));
  EXPECT_TRUE(l.boxes.texts.empty());

  // The dialog cancelled: nothing is written and the cursor stays.
  l.f.answer.clear();
  l.f.ExportCurrentPage();
  EXPECT_EQ(CurrentAppCursor(), AppCursor::Default);
  EXPECT_FALSE(l.f.ExportRunning());

  // A failed export is shown with the file's name.
  WriteBytes(dir.file("plain"), "x");
  l.f.answer = QString::fromStdString(dir.file("plain") + "/x.xls");
  l.f.ExportCurrentPage();
  ASSERT_TRUE(l.Done());
  ASSERT_TRUE(PumpUntil([&] { return !l.boxes.texts.empty(); }));
  EXPECT_TRUE(l.boxes.texts[0].startsWith("导出文件无法创建-" + l.f.answer)) << l.boxes.texts[0].toStdString();
}

TEST_F(ExportThread, MainFormRefusesAnOpenWhileAnExportRuns) {
  LoadedForm l(3001, 8);
  l.f.answer = QString::fromStdString(dir.file("a.xls"));
  l.f.ExportCurrentPage();
  ASSERT_TRUE(l.f.ExportRunning());  // it ends only once its notification is handled
  EXPECT_FALSE(l.f.OpenDataFile(dir.file("other.qmd")));
  EXPECT_EQ(l.f.DataFileName, "/tmp/a.qmd");
  ASSERT_EQ(l.boxes.texts.size(), 1u);
  EXPECT_EQ(l.boxes.texts[0], "正在导出数据,请等导出结束后再打开数据文件.");
  // A second export waits for the first one.
  l.f.ExportCurrentPage();
  EXPECT_EQ(l.f.asked, 1);
  ASSERT_TRUE(l.Done());
  EXPECT_EQ(ReadBytes(dir.file("a.xls")), Expected(1, 0, 3000, 1));
}

TEST_F(ExportThread, ClosingTheMainFormStopsARunningExport) {
  LoadedForm l(150000, 32);
  l.f.answer = QString::fromStdString(dir.file("big.xls"));
  l.f.show();
  l.f.ExportCurrentPage();
  ASSERT_TRUE(l.f.ExportRunning());
  l.f.close();
  EXPECT_FALSE(l.f.ExportRunning());
  EXPECT_EQ(CurrentAppCursor(), AppCursor::Default);
  EXPECT_FALSE(Exists(dir.file("big.xls")));
}

TEST_F(ExportThread, SaveDialogAsksAboutTheNameWritten) {
  TfrmQuna form;
  ModalWatcher boxes;
  QString chosen;
  boxes.handler = [&](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    if (!dialog) return false;
    dialog->selectFile(chosen);
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog's own accept, by the public slot
    return true;
  };
  chosen = QString::fromStdString(dir.file("new"));
  EXPECT_EQ(form.AskExportFileName(), chosen + ".xls");
  EXPECT_TRUE(boxes.texts.empty());

  // "report" would be written as the existing report.xls: the question names that file,
  // and closing it keeps the file.
  WriteBytes(dir.file("report.xls"), "old");
  chosen = QString::fromStdString(dir.file("report"));
  EXPECT_EQ(form.AskExportFileName(), QString());
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_TRUE(boxes.texts[0].startsWith("report.xls ")) << boxes.texts[0].toStdString();
}
