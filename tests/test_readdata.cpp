#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QObject>
#include <QThread>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "data/pubparam.h"
#include "data/readdata.h"
#include "data/recordparse.h"
#include "platform/appcursor.h"
#include "support/tempdir.h"
#include "tools/datagen.h"

using namespace std::chrono_literals;

namespace {

bool PumpUntil(const std::function<bool()>& done, int ms = 20000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// Stands in for the main form: a receiver living on the test's (user-interface) thread.
struct Form : QObject, StatusReceiver {
  std::vector<StatusMsg> msgs;
  std::vector<bool> onUiThread;
  std::function<void(const StatusMsg&)> onMsg;
  void OnStatusMsg(const StatusMsg& msg) override {
    msgs.push_back(msg);
    onUiThread.push_back(QThread::currentThread() == thread());
    if (onMsg) onMsg(msg);
  }
  std::vector<int> codes() const {
    std::vector<int> c;
    for (const StatusMsg& m : msgs) c.push_back(m.code);
    return c;
  }
};

struct Snapshot {
  int count;
  double min, max;
  std::string firstText, lastText;
  explicit Snapshot(const utPubParam* s)
      : count(s->RecordCount),
        min(s->MinValue),
        max(s->MaxValue),
        firstText(count > 0 ? s->Records[0].TimeText : ""),
        lastText(count > 0 ? s->Records[count - 1].TimeText : "") {}
  bool operator==(const Snapshot&) const = default;
};

class Reader : public ::testing::Test {
 protected:
  TempDir dir;
  Form form;
  std::unique_ptr<utReadData> reader = std::make_unique<utReadData>();
  utPubParam* store = GetPubParam();

  void SetUp() override { reader->SetNotifyWindow(&form, &form); }

  std::string Write(const std::string& name, const GenOptions& o) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(WriteDataFile(path, o));
    return path;
  }
  std::string Write(const std::string& name, const DataFileBuilder& b) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(b.write(path));
    return path;
  }
  // Opens the way the main form does, then lets the reader run until it parks.
  bool Load(const std::string& path) {
    const bool ok = reader->LoadFile(path);
    reader->Resume();
    EXPECT_TRUE(PumpUntil([&] { return reader->Idle(); }));
    QCoreApplication::processEvents();
    return ok;
  }
};

GenOptions Small(std::int64_t records = 50) {
  GenOptions o;
  o.records = records;
  o.powerFailures = 1;
  o.deviceNo = 42;
  return o;
}

}  // namespace

TEST_F(Reader, NotificationOrderStoreContentAndCursor) {
  EXPECT_TRUE(reader->Idle()) << "created suspended counts as idle";
  const std::string path = Write("a.qmd", Small());
  ASSERT_TRUE(reader->LoadFile(path));
  EXPECT_EQ(form.codes(), (std::vector<int>{4})) << "code 4 arrives inside LoadFile";
  EXPECT_EQ(CurrentAppCursor(), AppCursor::HourGlass);
  EXPECT_STREQ(store->DataHead.DeviceNo, "0042");
  EXPECT_EQ(store->RecordCount, 0);
  reader->Resume();
  ASSERT_TRUE(PumpUntil([&] { return reader->Idle(); }));
  ASSERT_TRUE(PumpUntil([] { return QGuiApplication::overrideCursor() == nullptr; }));
  EXPECT_EQ(CurrentAppCursor(), AppCursor::Default);
  EXPECT_EQ(form.codes(), (std::vector<int>{4, 7, 5, 6}));
  EXPECT_EQ(form.msgs[1].value, 50);
  for (bool ui : form.onUiThread) EXPECT_TRUE(ui);
  ASSERT_EQ(store->RecordCount, 51);
  EXPECT_EQ(store->DataHead.MarkerCount, 2);

  // The same file again: same notifications, same store.
  std::vector<tagDataRecord> before(store->Records, store->Records + store->RecordCount);
  form.msgs.clear();
  ASSERT_TRUE(Load(path));
  EXPECT_EQ(form.codes(), (std::vector<int>{4, 7, 5, 6}));
  ASSERT_EQ(store->RecordCount, 51);
  EXPECT_EQ(std::memcmp(before.data(), store->Records, before.size() * sizeof(tagDataRecord)), 0);
}

TEST_F(Reader, DisorderAnswerAppliesToTheRestAndIsKeptForTheNextLoad) {
  GenOptions o = Small(40);
  o.powerFailures = 0;
  o.backwardsAt = {10, 20, 30};
  bool idleInHandler = true, loadRefused = false;
  form.onMsg = [&](const StatusMsg& m) {
    if (m.code != kStatusDisorder) return;
    idleInHandler = reader->Idle();
    loadRefused = !reader->LoadFile("/nonexistent");  // a busy reader refuses silently
    reader->DisorderPolicy = kDiscard;
  };
  ASSERT_TRUE(Load(Write("a.qmd", o)));
  EXPECT_EQ(form.codes(), (std::vector<int>{4, 7, 5, 1102, 6}));
  EXPECT_FALSE(idleInHandler) << "waiting in a notification is not idle";
  EXPECT_TRUE(loadRefused);
  const StatusMsg& d = form.msgs[3];
  EXPECT_EQ(d.text, d.first + "~~" + d.second);
  EXPECT_LT(d.second, d.first);
  EXPECT_EQ(store->RecordCount, 40 - 3 + 1);

  // Next file: the dialog is left without an answer; the policy stays "discard".
  form.msgs.clear();
  form.onMsg = nullptr;
  o.backwardsAt = {5};
  ASSERT_TRUE(Load(Write("b.qmd", o)));
  EXPECT_EQ(form.codes(), (std::vector<int>{4, 7, 5, 1102, 6}));
  EXPECT_EQ(store->RecordCount, 40 - 1 + 1);
  EXPECT_EQ(reader->DisorderPolicy, kDiscard);
}

TEST_F(Reader, FailedOpenLeavesEverythingAndTheNextOpenWorks) {
  ASSERT_TRUE(Load(Write("good.qmd", Small())));
  const Snapshot loaded(store);
  form.msgs.clear();

  std::string longPath = dir.path();
  for (int i = 0; i < 30; ++i) longPath += "a_rather_long_folder_name/";
  longPath += "missing.qmd";
  ASSERT_GT(longPath.size(), 600u);
  for (const std::string& path : {longPath, dir.path()}) {  // missing file, a folder
    form.msgs.clear();
    EXPECT_FALSE(reader->LoadFile(path));
    ASSERT_EQ(form.codes(), (std::vector<int>{1}));
    EXPECT_EQ(form.msgs[0].text.toStdString(), path) << "the path is never cut";
    EXPECT_EQ(CurrentAppCursor(), AppCursor::Default);
    EXPECT_TRUE(reader->Idle());
    // The form resumes the reader after a failed open too: nothing is parsed again.
    reader->Resume();
    ASSERT_TRUE(PumpUntil([&] { return reader->Idle(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(form.codes(), (std::vector<int>{1}));
    EXPECT_TRUE(Snapshot(store) == loaded);
  }

  form.msgs.clear();
  GenOptions other = Small(9);
  ASSERT_TRUE(Load(Write("other.qmd", other)));
  EXPECT_EQ(form.codes(), (std::vector<int>{4, 7, 5, 6}));
  EXPECT_EQ(store->RecordCount, 10);
}

TEST_F(Reader, InvalidFilesAreRefusedWithoutTouchingTheStore) {
  ASSERT_TRUE(Load(Write("good.qmd", Small())));
  const Snapshot loaded(store);
  DataFileBuilder noChannels, tooMany, shortFile, empty, headerOnly;
  noChannels.header(0, 0).addRecord({}).addRecord({});
  tooMany.header(0, 33).addRecord({});
  shortFile.header(0, 4).addBytes(std::vector<std::uint8_t>(17, 1));
  headerOnly.header(11, 2).addBytes(std::vector<std::uint8_t>(15, 1));
  int i = 0;
  for (const DataFileBuilder* b : {&noChannels, &tooMany, &shortFile, &empty, &headerOnly}) {
    SCOPED_TRACE(i);
    form.msgs.clear();
    EXPECT_FALSE(reader->LoadFile(Write("bad" + std::to_string(i++) + ".qmd", *b)));
    EXPECT_EQ(form.codes(), (std::vector<int>{1101}));
    EXPECT_EQ(CurrentAppCursor(), AppCursor::Default);
    reader->Resume();
    ASSERT_TRUE(PumpUntil([&] { return reader->Idle(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(form.codes(), (std::vector<int>{1101}));
    EXPECT_TRUE(Snapshot(store) == loaded);
    EXPECT_EQ(store->DataHead.ChannelCount, 4);
  }
}

TEST_F(Reader, CreatedRunningItParksAtOnce) {
  reader = std::make_unique<utReadData>(false);
  reader->SetNotifyWindow(&form, &form);
  ASSERT_TRUE(PumpUntil([&] { return reader->Idle(); }));
  EXPECT_TRUE(form.msgs.empty());
  ASSERT_TRUE(Load(Write("a.qmd", Small(3))));
  EXPECT_EQ(form.codes(), (std::vector<int>{4, 7, 5, 6}));
}

TEST_F(Reader, DestroyedMidParse) {
  GenOptions o;
  o.channels = 32;
  o.records = 300000;
  const std::string path = Write("big.qmd", o);
  bool first = false;
  form.onMsg = [&](const StatusMsg& m) { first = first || m.code == kStatusFirstRecord; };
  ASSERT_TRUE(reader->LoadFile(path));
  reader->Resume();
  ASSERT_TRUE(PumpUntil([&] { return first; }));
  reader.reset();  // stop, cancel, join, free
  EXPECT_LT(store->RecordCount, 300000) << "the parse stopped early";
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(form.codes().back(), kStatusFirstRecord) << "nothing arrives after the reader is gone";
  EXPECT_EQ(CurrentAppCursor(), AppCursor::Default);
}

TEST_F(Reader, DestroyedWhileWaitingInANotification) {
  // The form closes inside the time-order dialog: the handler destroys the reader.
  GenOptions o = Small(1000);
  o.backwardsAt = {100};
  form.onMsg = [&](const StatusMsg& m) {
    if (m.code == kStatusDisorder) reader.reset();
  };
  ASSERT_TRUE(reader->LoadFile(Write("a.qmd", o)));
  reader->Resume();
  ASSERT_TRUE(PumpUntil([&] { return reader == nullptr; }));
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(form.codes(), (std::vector<int>{4, 7, 5, 1102}));
}

TEST_F(Reader, DestroyedWhileBlockedInASendThatWasNeverDelivered) {
  ASSERT_TRUE(reader->LoadFile(Write("a.qmd", Small())));
  reader->Resume();
  std::this_thread::sleep_for(50ms);  // the reader waits in its code-7 send; no events pumped
  QElapsedTimer t;
  t.start();
  reader.reset();
  EXPECT_LT(t.elapsed(), 2000);
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(form.codes(), (std::vector<int>{4})) << "the late call is dropped";
}
