// The export thread writing real files, what stood at the name kept through every real
// failure, and the main form's export.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFileDialog>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "data/lanchg.h"
#include "mainform_support.h"
#include "output/utexeclthread.h"
#include "platform/appcursor.h"
#include "platform/gbk.h"
#include "support/faultchild.h"
#include "support/files.h"
#include "ui_frmQuna.h"

namespace fs = std::filesystem;

namespace {

// Records 10 s apart (FillStore), channel k of record i holding i / 4 - k, named ck.
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

// Holds every export at its first written piece until Open(); the gate is shared with the
// hook, as a stopped export may still be held when the test ends.
struct HeldExports {
  struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool reached = false, open = false;
  };
  std::shared_ptr<Gate> g = std::make_shared<Gate>();
  HeldExports() {
    SetExportPieceHook([g = g] {
      std::unique_lock lock(g->m);
      g->reached = true;
      g->cv.notify_all();
      g->cv.wait(lock, [&] { return g->open; });
    });
  }
  ~HeldExports() { Open(); SetExportPieceHook({}); }
  bool Reached() {
    std::unique_lock lock(g->m);
    return g->cv.wait_for(lock, std::chrono::seconds(20), [&] { return g->reached; });
  }
  void Open() {
    std::lock_guard lock(g->m);
    g->open = true;
    g->cv.notify_all();
  }
};

class ExportThread : public ::testing::Test {
 protected:
  void SetUp() override { GetLanchg()->SetLangFile(std::string()); }
  TempDir dir;
};

}  // namespace

// A file replaced (not appended to); a symlink's file replaced with the link kept; a link
// to nothing yet creating the file where it leads.
TEST_F(ExportThread, WritesTheWholeFileBeforeCode9) {
  FillValues(8, 2);
  const std::string path = dir.file("out.xls");
  WriteBytes(path, std::string(100000, 'z'));
  fs::create_directory(dir.file("real"));
  WriteBytes(dir.file("real/data.xls"), "old");
  fs::create_symlink("real/data.xls", dir.file("link.xls"));
  fs::create_symlink("real/new.xls", dir.file("dangling.xls"));
  for (const char* name : {"out.xls", "link.xls", "dangling.xls"}) {
    Export e(dir.file(name), 1, 1, 7, 2);
    ASSERT_TRUE(e.Finish());
    EXPECT_EQ(e.to.codes(), std::vector<int>{kStatusExportDone}) << name;
    EXPECT_TRUE(e.to.onOwnThread[0]);
    EXPECT_EQ(ReadBytes(dir.file(name)), Head(2) + "2012-09-10 08:00:10\t0.25\t-0.75\t\r\n"
                                                   "2012-09-10 08:00:30\t0.75\t-0.25\t\r\n"
                                                   "2012-09-10 08:00:50\t1.25\t0.25\t\r\n") << name;
  }
  EXPECT_TRUE(fs::is_symlink(dir.file("link.xls")) && fs::is_symlink(dir.file("dangling.xls")));
  EXPECT_EQ(fs::read_symlink(dir.file("link.xls")), "real/data.xls");
  EXPECT_EQ(FolderNames(dir.path()), (std::set<std::string>{"out.xls", "link.xls", "dangling.xls", "real"}));
  EXPECT_EQ(FolderNames(dir.file("real")), (std::set<std::string>{"data.xls", "new.xls"}));

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

// Every failure in a child (a file-size limit must not touch the test process). Targets that
// are no regular file are refused before anything is opened (a FIFO would block the open for
// ever); a folder that is a file, a size limit (told like a full disk, no death by SIGXFSZ)
// and a folder without the right to write fail. What stood at the name keeps its kind and
// every byte, and nothing else is left in the folder.
TEST_F(ExportThread, FailedExportsKeepWhatStoodAtTheName) {
  const std::string earlier(30000, 'e');
  fs::create_directory(dir.file("ro"));
  WriteBytes(dir.file("plain"), "x");
  ASSERT_EQ(::mkfifo(dir.file("fifo.xls").c_str(), 0600), 0);
  ASSERT_TRUE(fs::create_directory(dir.file("folder.xls")));
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", dir.file("sock.xls").c_str());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  const char* const refused = "导出目标不是普通文件(文件夹、管道、设备或套接字),没有写入-";
  const char* const full = "导出文件写入失败,未写完的文件已删除-";
  const char* const uncreated = "导出文件无法创建-";
  using T = fs::file_type;
  const struct { const char *name, *fsize; bool readOnly, hadFile; T kind; const char *text, *reason; } cases[] = {
      {"fifo.xls", nullptr, false, false, T::fifo, refused, nullptr},
      {"folder.xls", nullptr, false, false, T::directory, refused, nullptr},
      {"sock.xls", nullptr, false, false, T::socket, refused, nullptr},
      {"plain/out.xls", nullptr, false, false, T::not_found, uncreated, "Not a directory"},
      {"full.xls", "16384", false, true, T::regular, full, "File too large"},
      {"none.xls", "16384", false, false, T::not_found, full, "File too large"},
      {"link.xls", "16384", false, true, T::symlink, full, "File too large"},
      {"ro/kept.xls", nullptr, true, true, T::regular, uncreated, "Permission denied"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.file(c.name);
    std::string file = path;
    if (c.kind == T::symlink) {
      file = dir.file("pointed.xls");
      fs::create_symlink("pointed.xls", path);
    }
    if (c.hadFile) WriteBytes(file, earlier);
    std::string folder = fs::path(path).parent_path().string();
    if (!fs::is_directory(folder)) folder = dir.path();
    const auto before = FolderNames(folder);
    if (c.readOnly) fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    QStringList args;
    if (c.fsize) args << "--fsize" << c.fsize;
    args << "export" << QString::fromStdString(path) << "20000";
    const ChildRun run = RunFaultChild(args, {}, c.readOnly);
    fs::permissions(folder, fs::perms::owner_all);
    ASSERT_TRUE(run.finished && !run.crashed && run.exitCode == 0) << c.name << " crashed or hung";
    ASSERT_EQ(run.get("code"), QString::number(kStatusExportFailed)) << c.name << ": the fault was not made";
    const QString text = run.get("text"), told = QString::fromUtf8(c.text) + QString::fromStdString(path);
    if (c.reason) EXPECT_TRUE(text.startsWith(told + " | " + c.reason)) << text.toStdString();
    else EXPECT_EQ(text, told);
    EXPECT_EQ(text.endsWith(QString::fromUtf8(" | 原有文件未改变")), c.hadFile) << text.toStdString();
    EXPECT_EQ(fs::symlink_status(path).type(), c.kind) << c.name;
    EXPECT_TRUE(!c.hadFile || ReadBytes(file) == earlier) << c.name;
    EXPECT_EQ(FolderNames(folder), before) << c.name;
  }
  ::close(sock);
}
// A shared folder (sticky, anyone may write) whose earlier file belongs to another user:
// the new file is written whole, but the system refuses its rename over that file. The
// export and the PDF are failures, the earlier file stays, and no new file is left.
TEST_F(ExportThread, ARefusedRenameIsAFailureAndLeavesNothing) {
  if (::geteuid() != 0) FAULT_UNAVAILABLE("a file of another user needs the superuser to be made");
  const std::string folder = dir.file("shared");
  ASSERT_TRUE(fs::create_directory(folder));
  ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 01777), 0);
  const std::string earlier(30000, 'e');
  for (const char* name : {"r.xls", "c.pdf"}) {
    const std::string path = folder + "/" + name;
    const QString q = QString::fromStdString(path);
    WriteBytes(path, earlier);
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);  // anyone may write it, only its owner replace it
    const bool pdf = QString(name).endsWith(".pdf");
    const ChildRun run = RunFaultChild(pdf ? QStringList{"pdf", q} : QStringList{"export", q, "2000"}, {}, true);
    ASSERT_TRUE(run.finished && !run.crashed && run.exitCode == 0) << name;
    EXPECT_EQ(pdf ? run.get("printed") + run.get("codes") : run.get("code") + " " + run.get("text"),
              pdf ? "012"
                  : QString::number(kStatusExportFailed) + " 导出文件写入失败,未写完的文件已删除-" + q +
                        " | Operation not permitted | 原有文件未改变");
    EXPECT_EQ(ReadBytes(path), earlier) << name;
    EXPECT_EQ(FolderNames(folder), std::set<std::string>{name}) << name;
    fs::remove(path);
  }
}

namespace {

constexpr uid_t kUser = 65534;

// A folder of the ordinary user kUser, earlier files of it there, and a copy of the fault
// child that this user can run. Runs as root only.
struct UserFiles {
  std::string folder;
  QString child;
  const std::string earlier = std::string(30000, 'e');
  explicit UserFiles(const TempDir& dir)
      : folder(dir.file("files")), child(QString::fromStdString(dir.file("bin/child"))) {
    fs::create_directory(dir.file("bin"));
    fs::create_directory(folder);
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    fs::copy_file(QUNO_FAULT_CHILD, child.toStdString());
    EXPECT_TRUE(::chown(dir.file("bin").c_str(), kUser, kUser) == 0 && ::chown(folder.c_str(), kUser, kUser) == 0);
  }
  std::string Earlier(const char* name, mode_t mode) const {
    const std::string path = folder + "/" + name;
    WriteBytes(path, earlier);
    EXPECT_TRUE(::chown(path.c_str(), kUser, kUser) == 0 && ::chmod(path.c_str(), mode) == 0);
    return path;
  }
  // The export or the PDF to path in the fault child, as writer (root or kUser).
  ChildRun Write(const std::string& path, uid_t writer, const std::function<void()>& midway = {}) const {
    const QString q = QString::fromStdString(path);
    const QStringList args = q.endsWith(".pdf") ? QStringList{"pdf", q} : QStringList{"export", q, "2000"};
    return RunFaultChild(args, {}, false, writer, writer == 0 ? QStringLiteral(QUNO_FAULT_CHILD) : child, midway);
  }
};

// The child's export or PDF replaced path, or failed with "Permission denied" leaving the
// earlier file as it was; told, for an export, with failed as the text's start.
void ExpectKeptOrReplaced(const UserFiles& files, const std::string& path, const ChildRun& run, bool kept,
                          const char* failed) {
  const QString q = QString::fromStdString(path);
  ASSERT_TRUE(run.finished && !run.crashed && run.exitCode == 0);
  if (q.endsWith(".pdf")) {
    EXPECT_EQ((run.get("printed") + run.get("codes")).toStdString(), kept ? "012" : "1");
    EXPECT_EQ(run.get("reason").endsWith("Permission denied"), kept) << run.get("reason").toStdString();
  } else {
    EXPECT_EQ(run.get("code").toInt(), kept ? kStatusExportFailed : kStatusExportDone);
    EXPECT_EQ(run.get("text").toStdString(),
              kept ? (failed + q + " | Permission denied | 原有文件未改变").toStdString() : std::string());
  }
  const std::string now = ReadBytes(path);
  EXPECT_EQ(now == files.earlier, kept);
  const std::string start = q.endsWith(".pdf") ? "%PDF" : gbk::FromUtf8("记录时间");
  EXPECT_TRUE(kept || now.starts_with(start)) << "a whole new file";
  EXPECT_EQ(FolderNames(files.folder), std::set<std::string>{fs::path(path).filename().string()});
}

}  // namespace

// An earlier export or PDF that its owner, an ordinary user, made read-only to keep it:
// the next one to that name fails with the system's reason and leaves it as it was, for
// the superuser (who may write any file) as for its owner. With a write bit the system
// judges: the superuser replaces it, while its owner may not where only its group may
// write. A replaced file keeps its mode.
TEST_F(ExportThread, AReadOnlyEarlierFileStaysUntilItsOwnerMayWriteIt) {
  if (::geteuid() != 0) FAULT_UNAVAILABLE("a process of an ordinary user needs the superuser to be started");
  const UserFiles files(dir);
  for (const char* name : {"r.xls", "c.pdf"}) {
    for (const uid_t writer : {kUser, uid_t{0}}) {
      for (const mode_t mode : {0444, 0464, 0644}) {
        SCOPED_TRACE(QStringLiteral("%1 by %2, mode %3").arg(name).arg(writer).arg(mode, 0, 8).toStdString());
        const std::string path = files.Earlier(name, mode);
        const bool kept = (mode & 0222) == 0 || (writer == kUser && (mode & S_IWUSR) == 0);
        ExpectKeptOrReplaced(files, path, files.Write(path, writer), kept, "导出文件无法创建-");
        struct stat st {};
        EXPECT_TRUE(::stat(path.c_str(), &st) == 0 && (st.st_mode & 07777) == mode &&
                    st.st_uid == (kept ? kUser : writer));
      }
    }
    fs::remove(files.folder + "/" + name);
  }
}

// The earlier file changed after the export or PDF began, between the check before its
// first byte and its rename: made read-only, it stays and the write fails, for the
// superuser as for its owner; removed, the new file takes the name.
TEST_F(ExportThread, AnEarlierFileChangedWhileTheNewOneIsWrittenIsJudgedAgainBeforeTheRename) {
  if (::geteuid() != 0) FAULT_UNAVAILABLE("a process of an ordinary user needs the superuser to be started");
  const UserFiles files(dir);
  for (const char* name : {"r.xls", "c.pdf"}) {
    for (const uid_t writer : {kUser, uid_t{0}}) {
      for (const bool removed : {false, true}) {
        SCOPED_TRACE(QStringLiteral("%1 by %2, %3").arg(name).arg(writer).arg(removed ? "removed" : "read-only")
                         .toStdString());
        const std::string path = files.Earlier(name, 0644);
        const ChildRun run = files.Write(path, writer, [&] {
          if (removed) fs::remove(path);
          else ::chmod(path.c_str(), 0444);
        });
        EXPECT_EQ(run.get("paused").toStdString(), "1") << "the writer was not held after its start";
        ExpectKeptOrReplaced(files, path, run, !removed, "导出文件写入失败,未写完的文件已删除-");
      }
    }
    fs::remove(files.folder + "/" + name);
  }
}

namespace {

// A main form whose save dialog answers with a set name.
struct ExportForm : SpyForm {
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
    FillValues(count, channels);
    f.DataFileName = "/tmp/a.qmd";
    StatusMsg msg;
    msg.value = count;
    for (int code : {7, 6}) msg.code = code, f.OnStatusMsg(msg);  // the loader's count, then its end
    ui->pgc1->setCurrentIndex(1);  // the data report
  }
  bool Done() {
    return PumpUntil([&] { return !f.ExportRunning() && CurrentAppCursor() == AppCursor::Default; });
  }
  // Starts an export to path and holds it at its first piece: it runs for certain.
  bool StartHeld(HeldExports& held, const std::string& path) {
    f.answer = QString::fromStdString(path);
    f.ExportCurrentPage();
    return held.Reached() && f.ExportRunning();
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

TEST_F(ExportThread, MainFormRefusesAnOpenWhileAnExportRuns) {
  LoadedForm l(4, 2);
  HeldExports held;
  ASSERT_TRUE(l.StartHeld(held, dir.file("a.xls")));
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

// Held in its write (as a system call that does not return would hold it): the close still
// ends at once, and the thread removes its unfinished file once it returns.
TEST_F(ExportThread, ClosingTheMainFormStopsARunningExport) {
  LoadedForm l(4, 2);
  WriteBytes(dir.file("big.xls"), "earlier");
  l.f.show();
  HeldExports held;
  ASSERT_TRUE(l.StartHeld(held, dir.file("big.xls")));
  EXPECT_EQ(FolderNames(dir.path()).size(), 2u);  // the earlier file and the unfinished one
  QElapsedTimer closing;
  closing.start();
  l.f.close();
  EXPECT_LT(closing.elapsed(), 5000);
  EXPECT_FALSE(l.f.ExportRunning());
  EXPECT_EQ(CurrentAppCursor(), AppCursor::Default);
  held.Open();
  EXPECT_TRUE(PumpUntil([&] { return FolderNames(dir.path()).size() == 1; }));
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

  // "report" names the existing report.xls: the question names that file; closing it keeps it.
  WriteBytes(dir.file("report.xls"), "old");
  chosen = QString::fromStdString(dir.file("report"));
  EXPECT_EQ(form.AskExportFileName(), QString());
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_TRUE(boxes.texts[0].startsWith("report.xls ")) << boxes.texts[0].toStdString();
}
