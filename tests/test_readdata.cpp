#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "data/pubparam.h"
#include "data/readdata.h"
#include "data/recordparse.h"
#include "platform/appcursor.h"
#include "support/statuspump.h"
#include "support/files.h"
#include "tools/datagen.h"

namespace {

class Reader : public ::testing::Test {
 protected:
  TempDir dir;
  StatusRecorder form;  // stands in for the main form
  std::unique_ptr<utReadData> reader = std::make_unique<utReadData>();
  utPubParam* store = GetPubParam();

  // What a refused open must leave as it was.
  auto Snapshot() const {
    return std::tuple(store->RecordCount, store->MinValue, store->MaxValue, std::string(store->Records[0].TimeText),
                      std::string(store->Records[store->RecordCount - 1].TimeText));
  }

  void SetUp() override { reader->SetNotifyWindow(&form, &form); }

  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    WriteBytes(dir.file(name), std::string(bytes.begin(), bytes.end()));
    return dir.file(name);
  }
  // Resumes the way the main form does, then lets the reader run until it parks.
  void ResumeUntilIdle() {
    reader->Resume();
    EXPECT_TRUE(PumpUntil([&] { return reader->Idle(); }));
    QCoreApplication::processEvents();
  }
  bool Load(const std::string& path) {
    const bool ok = reader->LoadFile(path);
    ResumeUntilIdle();
    return ok;
  }
};

GenOptions Small(std::int64_t records = 50) { return {.records = records, .powerFailures = 1, .deviceNo = 42}; }

}  // namespace

TEST_F(Reader, NotificationOrderStoreContentAndCursor) {
  EXPECT_TRUE(reader->Idle()) << "created suspended counts as idle";
  ASSERT_TRUE(reader->LoadFile(Write("a.qmd", GenerateDataFile(Small()))));
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
  for (bool ui : form.onOwnThread) EXPECT_TRUE(ui);
  ASSERT_EQ(store->RecordCount, 51);
  EXPECT_EQ(store->DataHead.MarkerCount, 2);
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
  ASSERT_TRUE(Load(Write("a.qmd", GenerateDataFile(o))));
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
  ASSERT_TRUE(Load(Write("b.qmd", GenerateDataFile(o))));
  EXPECT_EQ(form.codes(), (std::vector<int>{4, 7, 5, 1102, 6}));
  EXPECT_EQ(store->RecordCount, 40 - 1 + 1);
  EXPECT_EQ(reader->DisorderPolicy, kDiscard);
}

TEST_F(Reader, FailedOrInvalidOpenLeavesEverythingAndTheNextOpenWorks) {
  ASSERT_TRUE(Load(Write("good.qmd", GenerateDataFile(Small()))));
  const auto loaded = Snapshot();

  std::string longPath = dir.path();
  for (int i = 0; i < 30; ++i) longPath += "a_rather_long_folder_name/";
  longPath += "missing.qmd";
  // Invalid layouts of every kind are the mutation tests' work; one stands for them here.
  DataFileBuilder tooMany;
  tooMany.header(0, 33).addRecord({});
  const struct { std::string path; int code; } cases[] = {
      {longPath, kStatusOpenFailed},  // missing, and its path longer than any fixed buffer
      {Write("b1.qmd", tooMany.bytes()), 1101},
      {Write("b5.qmd", GenerateDataFile(Small(9))), kStatusOutOfMemory}};  // a good file, no memory
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    form.msgs.clear();
    if (c.code == kStatusOutOfMemory) SetLoadHooks([](std::size_t) -> std::uint8_t* { return nullptr; }, nullptr);
    EXPECT_FALSE(reader->LoadFile(c.path));
    SetLoadHooks(nullptr, nullptr);
    ASSERT_EQ(form.codes(), (std::vector<int>{c.code}));
    if (c.code != kStatusInvalidFile) {
      EXPECT_EQ(form.msgs[0].text.toStdString(), c.path) << "the path is never cut";
    }
    EXPECT_EQ(CurrentAppCursor(), AppCursor::Default);
    EXPECT_TRUE(reader->Idle());
    ResumeUntilIdle();  // the form resumes after a failed open too: nothing is parsed again
    EXPECT_EQ(form.codes(), (std::vector<int>{c.code}));
    EXPECT_EQ(Snapshot(), loaded);
    EXPECT_EQ(store->DataHead.ChannelCount, 4);
  }

  form.msgs.clear();
  ASSERT_TRUE(Load(Write("other.qmd", GenerateDataFile(Small(9)))));
  EXPECT_EQ(form.codes(), (std::vector<int>{4, 7, 5, 6}));
  EXPECT_EQ(store->RecordCount, 10);
}

TEST_F(Reader, AShortReadDecodesTheBytesActuallyRead) {
  GenOptions o = Small(9);
  o.powerFailures = 0;
  // The file shrinks under the reader: only the header and two and a half records arrive.
  SetLoadHooks(nullptr, [](std::uint8_t* to, std::size_t bytes, std::FILE* from) {
    static std::size_t left = 40 + 18 * 2 + 9;
    const std::size_t n = std::fread(to, 1, std::min(bytes, left), from);
    left -= n;
    return n;
  });
  const bool ok = Load(Write("short.qmd", GenerateDataFile(o)));
  SetLoadHooks(nullptr, nullptr);
  ASSERT_TRUE(ok);
  EXPECT_EQ(form.codes(), (std::vector<int>{4, 7, 5, 6}));
  EXPECT_EQ(form.msgs[1].value, 2) << "no record is made of the bytes that never arrived";
  EXPECT_EQ(store->RecordCount, 2 + 1);
}

TEST_F(Reader, DestroyedMidParse) {
  const GenOptions o{.channels = 32, .records = 300000};
  bool first = false;
  form.onMsg = [&](const StatusMsg& m) { first = first || m.code == kStatusFirstRecord; };
  ASSERT_TRUE(reader->LoadFile(Write("big.qmd", GenerateDataFile(o))));
  reader->Resume();
  ASSERT_TRUE(PumpUntil([&] { return first; }));
  reader.reset();  // stop, cancel, join, free
  EXPECT_LT(store->RecordCount, 300000) << "the parse stopped early";
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(form.codes().back(), kStatusFirstRecord) << "nothing arrives after the reader is gone";
  EXPECT_EQ(CurrentAppCursor(), AppCursor::Default);
}

TEST_F(Reader, ALongFileReadInPartsGivesTheParseOfItsBytes) {
  // 25 MB: read in parts.
  const std::vector<std::uint8_t> bytes = GenerateDataFile({.channels = 32, .records = 250000, .powerFailures = 2});
  ASSERT_TRUE(Load(Write("long.qmd", bytes)));
  utPubParam direct;
  ParseHeaderFields(bytes.data(), direct);
  struct Sink : ParseSink {
    void Notify(const StatusMsg&) override {}
  } quiet;
  std::atomic<int> policy{0};
  std::atomic<bool> stop{false};
  ParseRecords(bytes.data(), static_cast<std::int64_t>(bytes.size()), direct, quiet, policy, stop, 1);
  ASSERT_EQ(store->RecordCount, direct.RecordCount);
  for (int i = 0; i < direct.RecordCount; i += (i + 997 < direct.RecordCount ? 997 : 1))
    ASSERT_EQ(std::memcmp(&store->Records[i], &direct.Records[i], sizeof(tagDataRecord)), 0) << i;
}
