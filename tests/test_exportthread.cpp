// The export thread writing real files: the bytes of a finished file, what stood at the
// name kept through every failure (a FIFO, a folder, a socket, a symlink, a file-size
// limit, a folder without the right to write), and the main form's export: its save
// dialog, its arguments, the open it refuses while an export runs and the close that
// stops one.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QRadioButton>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "data/lanchg.h"
#include "mainform_support.h"
#include "output/exportfile.h"
#include "output/utexeclthread.h"
#include "platform/appcursor.h"
#include "platform/gbk.h"
#include "support/faultchild.h"
#include "support/files.h"
#include "ui_frmQuna.h"

namespace fs = std::filesystem;

namespace {

bool Exists(const std::string& path) { return fs::exists(fs::symlink_status(path)); }

// The names in a folder: what an export leaves behind.
std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

// Records 10 s apart from 2012-09-10 08:00:00 (the last one the closing entry, with the
// time before it), channel k of record i holding i / 4 - k, channels named c0, c1, ...
void FillValues(int count, int channels) {
  FillStore(count, 10, channels);
  utPubParam* p = GetPubParam();
  for (int k = 0; k < channels; ++k) p->SysPar.ChannelName[k] = QString("c%1").arg(k).toStdString();
  for (int i = 0; i < count; ++i)
    for (int k = 0; k < channels; ++k) p->Records[i].Channel[k].Value = i * 0.25 - k;
}

std::string Head(int channels) {
  QByteArray h = QByteArray::fromStdString(gbk::FromUtf8("记录时间")) + '\t';
  for (int k = 0; k < channels; ++k) h += QString("c%1\t").arg(k).toLatin1();
  return (h + "\r\n").toStdString();
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

// Holds every export at its first written piece until Open (tests/.. SetExportPieceHook).
// Shared with the hook, as a stopped export may still be held when the test ends.
class HeldExports {
 public:
  HeldExports() {
    SetExportPieceHook([g = gate_] {
      std::unique_lock lock(g->mutex);
      g->reached = true;
      g->changed.notify_all();
      g->changed.wait(lock, [&] { return g->open; });
    });
  }
  ~HeldExports() {
    Open();
    SetExportPieceHook({});
  }
  bool Reached() {
    std::unique_lock lock(gate_->mutex);
    return gate_->changed.wait_for(lock, std::chrono::seconds(20), [&] { return gate_->reached; });
  }
  void Open() {
    std::lock_guard lock(gate_->mutex);
    gate_->open = true;
    gate_->changed.notify_all();
  }

 private:
  struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool reached = false;
    bool open = false;
  };
  std::shared_ptr<Gate> gate_ = std::make_shared<Gate>();
};

class ExportThread : public ::testing::Test {
 protected:
  void SetUp() override { GetLanchg()->SetLangFile(std::string()); }
  TempDir dir;
};

}  // namespace

TEST_F(ExportThread, WritesTheWholeFileBeforeCode9) {
  FillValues(8, 2);
  const std::string path = dir.file("out.xls");
  WriteBytes(path, std::string(100000, 'z'));  // replaced, not appended to
  Export e(path, 1, 1, 7, 2);
  ASSERT_TRUE(e.Finish());
  EXPECT_EQ(e.to.codes(), std::vector<int>{kStatusExportDone});
  EXPECT_TRUE(e.to.onOwnThread[0]);
  EXPECT_EQ(ReadBytes(path), Head(2) + "2012-09-10 08:00:10\t0.25\t-0.75\t\r\n"
                                       "2012-09-10 08:00:30\t0.75\t-0.25\t\r\n"
                                       "2012-09-10 08:00:50\t1.25\t0.25\t\r\n");
  EXPECT_EQ(Names(dir.path()), std::set<std::string>{"out.xls"});

  // The alarm rows come from the list handed over, else from the store's list.
  GetPubParam()->Records[4].Channel[1].Alarm[0] = 1;
  GetPubParam()->AlarmIndex = {4, 5};
  Export alarms(path, 3, 0, 0);
  alarms.thread->SetAlarmIndex({6});
  ASSERT_TRUE(alarms.Finish());
  EXPECT_EQ(ReadBytes(path), Head(2) + "2012-09-10 08:01:00\t\t\t\r\n");
  Export store(path, 3, 0, 0);
  ASSERT_TRUE(store.Finish());
  EXPECT_EQ(ReadBytes(path), Head(2) + "2012-09-10 08:00:40\t\t" + gbk::FromUtf8("上限报警,") +
                                 "\t\r\n2012-09-10 08:00:50\t\t\t\r\n");
}

// Targets that are no regular file are refused before anything is opened (a FIFO would
// block the open for ever) and stay what they were; a folder that is a file is told.
TEST_F(ExportThread, TargetsThatAreNoRegularFileAreRefusedAndKept) {
  FillValues(50, 2);
  WriteBytes(dir.file("plain"), "x");
  ASSERT_EQ(::mkfifo(dir.file("fifo.xls").c_str(), 0600), 0);
  ASSERT_TRUE(fs::create_directory(dir.file("folder.xls")));
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", dir.file("sock.xls").c_str());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  const auto before = Names(dir.path());
  const char* const refused = "导出目标不是普通文件(文件夹、管道、设备或套接字),没有写入-";
  const struct {
    const char* name;
    fs::file_type kind;
    const char* text;
    const char* reason;
  } cases[] = {
      {"fifo.xls", fs::file_type::fifo, refused, ""},
      {"folder.xls", fs::file_type::directory, refused, ""},
      {"sock.xls", fs::file_type::socket, refused, ""},
      {"plain/out.xls", fs::file_type::not_found, "导出文件无法创建-", "\nNot a directory"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.file(c.name);
    Export e(path, 1, 0, 49);
    ASSERT_TRUE(e.Finish()) << c.name;
    ASSERT_EQ(e.to.codes(), std::vector<int>{kStatusExportFailed}) << c.name;
    const QString text = e.to.msgs[0].text;
    EXPECT_EQ(text, QString::fromUtf8(c.text) + QString::fromStdString(path) + c.reason);
    EXPECT_EQ(fs::symlink_status(path).type(), c.kind) << c.name;
    EXPECT_EQ(Names(dir.path()), before) << c.name;
  }
  ::close(sock);
}

// A symlink target: the file it leads to is replaced, the link stays; a link to nothing
// yet creates the file where it leads.
TEST_F(ExportThread, SymlinkTargetReplacesTheFileItLeadsTo) {
  FillValues(3, 1);
  const std::string bytes = Head(1) + "2012-09-10 08:00:00\t0.00\t\r\n2012-09-10 08:00:10\t0.25\t\r\n";
  fs::create_directory(dir.file("real"));
  WriteBytes(dir.file("real/data.xls"), "old");
  fs::create_symlink("real/data.xls", dir.file("link.xls"));
  fs::create_symlink("real/new.xls", dir.file("dangling.xls"));
  for (const char* link : {"link.xls", "dangling.xls"}) {
    Export e(dir.file(link), 1, 0, 2);
    ASSERT_TRUE(e.Finish());
    EXPECT_EQ(e.to.codes(), std::vector<int>{kStatusExportDone}) << link;
    EXPECT_TRUE(fs::is_symlink(dir.file(link))) << link;
    EXPECT_EQ(ReadBytes(dir.file(link)), bytes) << link;
  }
  EXPECT_EQ(fs::read_symlink(dir.file("link.xls")), "real/data.xls");
  EXPECT_EQ(Names(dir.file("real")), (std::set<std::string>{"data.xls", "new.xls"}));
}

// Failures in a process of its own: a file-size limit (the program must report it like a
// full disk, not die of SIGXFSZ) and a folder without the right to write. What stood at
// the name keeps every byte, and nothing else is left in the folder.
TEST_F(ExportThread, FailedExportsKeepTheEarlierFile) {
  const std::string earlier(30000, 'e');
  fs::create_directory(dir.file("ro"));
  struct Case {
    const char* name;     // target in the folder
    const char* fsize;    // the size limit, or null
    bool readOnly;        // the folder without the right to write
    bool hadFile;
    const char* text;     // how the message starts
    const char* reason;
  } cases[] = {
      {"full.xls", "16384", false, true, "导出文件写入失败,未写完的文件已删除-", "File too large"},
      {"none.xls", "16384", false, false, "导出文件写入失败,未写完的文件已删除-", "File too large"},
      {"link.xls", "16384", false, true, "导出文件写入失败,未写完的文件已删除-", "File too large"},
      {"ro/kept.xls", nullptr, true, true, "导出文件无法创建-", "Permission denied"},
  };
  for (const Case& c : cases) {
    const std::string path = dir.file(c.name);
    std::string file = path;
    if (std::string(c.name) == "link.xls") {
      file = dir.file("pointed.xls");
      fs::create_symlink("pointed.xls", path);
    }
    if (c.hadFile) WriteBytes(file, earlier);
    const std::string folder = fs::path(path).parent_path().string();
    const auto before = Names(folder);
    if (c.readOnly) fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    QStringList args;
    if (c.fsize) args << "--fsize" << c.fsize;
    args << "export" << QString::fromStdString(path) << "20000";
    const ChildRun run = RunFaultChild(args, {}, c.readOnly);
    fs::permissions(folder, fs::perms::owner_all);
    ASSERT_TRUE(run.finished && !run.crashed && run.exitCode == 0) << c.name << " crashed or hung";
    ASSERT_EQ(run.get("code"), QString::number(kStatusExportFailed)) << c.name << ": the fault was not made";
    const QString text = run.get("text");
    EXPECT_TRUE(text.startsWith(QString::fromUtf8(c.text) + QString::fromStdString(path) + " | " + c.reason))
        << text.toStdString();
    EXPECT_EQ(text.endsWith(QString::fromUtf8(" | 原有文件未改变")), c.hadFile) << text.toStdString();
    EXPECT_EQ(Exists(file), c.hadFile) << c.name;
    EXPECT_TRUE(!c.hadFile || ReadBytes(file) == earlier) << c.name;
    EXPECT_EQ(Names(folder), before) << c.name;
  }
  EXPECT_TRUE(fs::is_symlink(dir.file("link.xls")));
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
  LoadedForm l(303, 4);
  ASSERT_EQ(l.f.ReportType, 1);
  l.ui->rb1->setChecked(true);
  l.ui->edlinespace->setText("2");
  l.f.DataPage = 2;
  l.f.answer = QString::fromStdString(dir.file("page.xls"));
  l.f.btnExeclClick();
  EXPECT_EQ(CurrentAppCursor(), AppCursor::HourGlass);
  ASSERT_TRUE(l.Done());
  // Page 2 at step 2 starts 300 records into the window [0, 302).
  EXPECT_EQ(ReadBytes(dir.file("page.xls")), Head(4) + "2012-09-10 08:50:00\t75.00\t74.00\t73.00\t72.00\t\r\n");
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

// The export is held at its first piece, so it runs for certain while the open and the
// second export are tried.
TEST_F(ExportThread, MainFormRefusesAnOpenWhileAnExportRuns) {
  LoadedForm l(4, 2);
  l.f.answer = QString::fromStdString(dir.file("a.xls"));
  HeldExports held;
  l.f.ExportCurrentPage();
  ASSERT_TRUE(held.Reached());
  ASSERT_TRUE(l.f.ExportRunning());
  EXPECT_FALSE(l.f.OpenDataFile(dir.file("other.qmd")));
  EXPECT_EQ(l.f.DataFileName, "/tmp/a.qmd");
  ASSERT_EQ(l.boxes.texts.size(), 1u);
  EXPECT_EQ(l.boxes.texts[0], "正在导出数据,请等导出结束后再打开数据文件.");
  // A second export is not started (nor asked for) while the first one runs.
  l.f.ExportCurrentPage();
  EXPECT_EQ(l.f.asked, 1);
  held.Open();
  ASSERT_TRUE(l.Done());
  EXPECT_EQ(ReadBytes(dir.file("a.xls")), Head(2) + "2012-09-10 08:00:00\t0.00\t-1.00\t\r\n"
                                                   "2012-09-10 08:00:10\t0.25\t-0.75\t\r\n"
                                                   "2012-09-10 08:00:20\t0.50\t-0.50\t\r\n");
}

// The export is held in its write (as a system call that does not return would hold it):
// closing the window still ends at once, the earlier file stays, and the held thread
// removes its unfinished file once it returns.
TEST_F(ExportThread, ClosingTheMainFormStopsARunningExport) {
  LoadedForm l(4, 2);
  l.f.answer = QString::fromStdString(dir.file("big.xls"));
  WriteBytes(dir.file("big.xls"), "earlier");
  l.f.show();
  HeldExports held;
  l.f.ExportCurrentPage();
  ASSERT_TRUE(held.Reached());
  ASSERT_TRUE(l.f.ExportRunning());
  EXPECT_EQ(Names(dir.path()).size(), 2u);  // the earlier file and the unfinished one
  QElapsedTimer closing;
  closing.start();
  l.f.close();
  EXPECT_LT(closing.elapsed(), 5000);
  EXPECT_FALSE(l.f.ExportRunning());
  EXPECT_EQ(CurrentAppCursor(), AppCursor::Default);
  held.Open();
  EXPECT_TRUE(PumpUntil([&] { return Names(dir.path()).size() == 1; }));
  EXPECT_EQ(ReadBytes(dir.file("big.xls")), "earlier");
  EXPECT_TRUE(l.boxes.texts.empty());
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
