// The reader thread on generated files, and on damaged ones: cut, with bytes changed and with
// every channel count and model code.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <tuple>

#include "data/pubparam.h"
#include "data/readdata.h"
#include "data/recordparse.h"
#include "platform/appcursor.h"
#include "platform/datetime.h"
#include "support/faultchild.h"
#include "support/fifoguard.h"
#include "support/files.h"
#include "support/mutation.h"
#include "support/statuspump.h"
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

using Bytes = std::vector<std::uint8_t>;

struct Mutant {
  std::string name;
  Bytes bytes;
};

// Small files of each record layout with markers, a record out of order, invalid time
// fields, alarms and trailing bytes.
std::vector<Mutant> Bases() {
  auto make = [](int model, int channels, int records, int markers, std::vector<std::int64_t> back,
                 bool invalidTimes, int trailing) {
    return GenerateDataFile({.model = model, .channels = channels, .records = records, .decimals = 2,
                             .alarms = true, .powerFailures = markers, .backwardsAt = std::move(back),
                             .invalidTimes = invalidTimes, .trailingBytes = trailing, .deviceNo = 65535});
  };
  return {{"model0/4ch", make(0, 4, 8, 1, {5}, false, 0)},
          {"model11/2ch", make(11, 2, 6, 1, {3}, false, 0)},
          {"model12/32ch", make(12, 32, 3, 0, {2}, false, 5)},
          {"model13/1ch", make(13, 1, 20, 2, {}, true, 3)}};
}

// The byte offsets of one kind of field in every whole record of a base file.
enum class Field { Header, Time, Flag, Last };

std::vector<std::size_t> Offsets(const Bytes& b, Field field) {
  const int model = b[33], channels = b[0];
  const std::size_t header = static_cast<std::size_t>(DataHeaderSize(model));
  const std::size_t record = static_cast<std::size_t>(DataRecordSize(model, channels));
  std::vector<std::size_t> out;
  for (std::size_t i = 0; field == Field::Header && i < header; ++i) out.push_back(i);
  for (std::size_t r = header; field != Field::Header && r + record <= b.size(); r += record) {
    if (field == Field::Time)
      for (std::size_t i = 0; i < 6; ++i) out.push_back(r + i);
    else if (field == Field::Last)
      out.push_back(r + record - 1);
    else if (model == 11)
      for (std::size_t i : {10, 13}) out.push_back(r + i);
    else
      for (int c = 0; c < channels; ++c) out.push_back(r + 8 + 3 * static_cast<std::size_t>(c));
  }
  return out;
}

// Cut at every length; bytes of header, time fields, flags and record ends set to edge or
// random values; the second record's time fields at their edges and month and leap-year
// ends; every channel count and model code, alone and together.
std::vector<Mutant> AllMutants(int changedPerBase) {
  const std::vector<std::uint8_t> byteEdges = {0,  1,  2,  12, 13, 23,  24,   28,   29,   30,   31,   32,
                                               33, 59, 60, 63, 64, 99, 100, 0x7F, 0x80, 0xC0, 0xFE, 0xFF};
  const int timeEdges[] = {0, 1, 2, 12, 13, 23, 24, 28, 29, 30, 31, 32, 59, 60, 61, 99, 100, 101, 127, 128, 255};
  const int dates[][3] = {{23, 2, 28}, {23, 2, 29}, {24, 2, 29}, {24, 2, 30}, {0, 2, 29}, {99, 12, 31},
                          {23, 4, 31}, {23, 4, 30}, {23, 0, 0}, {23, 13, 1}, {100, 2, 29}, {255, 255, 255}};
  Mutator m(20240611);
  std::vector<Mutant> out;
  for (const Mutant& base : Bases()) {
    const Bytes& b = base.bytes;
    auto set = [&](std::string what, std::vector<std::pair<std::size_t, int>> edits) {
      Mutant mu{base.name + what, b};
      for (auto [pos, v] : edits) {
        mu.bytes[pos] = static_cast<std::uint8_t>(v);
        mu.name += " [" + std::to_string(pos) + "]=" + std::to_string(v);
      }
      out.push_back(std::move(mu));
    };
    for (std::size_t n = 0; n < b.size(); ++n)
      out.push_back({base.name + " cut to " + std::to_string(n),
                     Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n))});

    std::vector<std::size_t> offsets[4];
    for (int f = 0; f < 4; ++f) offsets[f] = Offsets(b, static_cast<Field>(f));
    for (int i = 0; i < changedPerBase; ++i) {
      std::vector<std::pair<std::size_t, int>> edits(1 + m.Below(4));
      for (auto& [pos, v] : edits) {
        pos = m.Pick(offsets[m.Below(4)]);
        v = m.Below(2) ? m.Pick(byteEdges) : m.Byte();
      }
      set(" changed", edits);
    }

    const auto second = static_cast<std::size_t>(DataHeaderSize(b[33]) + DataRecordSize(b[33], b[0]));
    for (std::size_t field = 0; field < 6; ++field)
      for (int v : timeEdges) set(" time", {{second + field, v}});
    for (const auto& d : dates) set(" date", {{second, d[0]}, {second + 1, d[1]}, {second + 2, d[2]}});

    for (int v = 0; v < 256; ++v) set(" channels", {{0, v}}), set(" model", {{33, v}});
    // Both at once: a model-11 file with many channels, a 32-channel file read as model 11.
    for (int c : {0, 1, 2, 3, 5, 31, 32, 33, 255})
      for (int model : {0, 10, 11, 12, 13, 255}) set(" channels and model", {{0, c}, {33, model}});
  }
  return out;
}

// The whole records of a valid file, worked out here from the layout alone; 0 for an invalid one.
std::int64_t RecordsOf(const Bytes& b) {
  if (b.size() < 40 || b[0] < 1 || b[0] > kMaxChannels) return 0;
  const auto header = static_cast<std::int64_t>(DataHeaderSize(b[33]));
  const auto size = static_cast<std::int64_t>(b.size());
  return size <= header ? 0 : (size - header) / DataRecordSize(b[33], b[0]);
}

// "yyyy-MM-dd HH:mm:ss" of a real date in 2000..2099, and its date-time value.
bool ValidTimeText(const char* t, double& value) {
  const int year = std::atoi(t);
  return std::strlen(t) == 19 && t[4] == '-' && t[7] == '-' && t[10] == ' ' && t[13] == ':' && t[16] == ':' &&
         year >= 2000 && year <= 2099 && StrToDateTime(t, value);
}

// The rules every decoded store keeps, whatever the file held; empty when all hold.
std::string CheckStore(const utPubParam& s, const Bytes& b, std::int64_t records) {
  const tagDataHead& h = s.DataHead;
  if (h.ChannelCount != b[0] || h.ModelCode != b[33]) return "header block differs from the header";
  if (std::strlen(h.DeviceNo) < 4 || std::strlen(h.DeviceNo) > 5) return "device number text";
  if (s.RecordCount < 1 || s.RecordCount > records + 1) return "record count " + std::to_string(s.RecordCount);
  if (s.Records[s.RecordCount - 1].Marker != 1) return "no closing entry";
  if (h.MarkerCount < 1 || h.MarkerCount > s.RecordCount) return "marker count " + std::to_string(h.MarkerCount);
  for (std::int32_t index : {h.EarliestIndex, h.LatestIndex})
    if (index < -1 || index >= s.RecordCount) return "earliest/latest index " + std::to_string(index);
  const bool untouched = s.MinValue == 100000.0 && s.MaxValue == -100000.0;
  if (!untouched && !(s.MinValue <= s.MaxValue)) return "value range";
  const int channels = std::min<int>(h.ChannelCount, kMaxChannels);
  for (std::int32_t i = 0; i < s.RecordCount; ++i) {
    const tagDataRecord& r = s.Records[i];
    double t = 0;
    if (!ValidTimeText(r.TimeText, t)) return "time text of record " + std::to_string(i);
    if (r.Marker > 1 || r.Disorder > 1) return "flags of record " + std::to_string(i);
    if (!r.Marker && r.Time != t)
      return "time of record " + std::to_string(i) + " differs from its text";
    for (int c = 0; c < channels; ++c) {
      const tagChannelValue& v = r.Channel[c];
      if (!std::isfinite(v.Value) || std::fabs(v.Value) > 2147483648.0) return "value of record " + std::to_string(i);
      for (std::uint8_t a : v.Alarm)
        if (a > 1) return "alarm flag of record " + std::to_string(i);
      if (!r.Marker && !r.Disorder && !untouched && (v.Value < s.MinValue || v.Value > s.MaxValue))
        return "accepted value outside the range, record " + std::to_string(i);
    }
  }
  for (const pwrTime& p : h.PowerFailures)
    if (!std::isfinite(p.PowerOff) || !std::isfinite(p.PowerOn)) return "power-failure times";
  return {};
}

// The parse alone, with no reader around it.
ParseOutcome ParseAlone(const Bytes& b, utPubParam& store, int threads = 0) {
  struct : ParseSink {
    void Notify(const StatusMsg&) override {}
  } sink;
  std::atomic<int> policy{kKeepFlagged};
  std::atomic<bool> stop{false};
  ParseHeaderFields(b.data(), store);
  return ParseRecords(b.data(), static_cast<std::int64_t>(b.size()), store, sink, policy, stop, threads);
}
// One file through the reader as the main form drives it, then through the parse alone.
std::string LoadMutant(utReadData& reader, StatusRecorder& form, const std::string& path, const Bytes& b) {
  WriteBytes(path, std::string(b.begin(), b.end()));
  form.msgs.clear();
  const utPubParam& s = *GetPubParam();
  const auto before = std::tuple(s.RecordCount, s.DataHead.ChannelCount, s.MinValue, s.MaxValue);
  const std::int64_t records = RecordsOf(b);
  const bool ok = reader.LoadFile(path);
  if (!ok && CurrentAppCursor() != AppCursor::Default) return "cursor left after a refused file";
  reader.Resume();  // after a refused open too, as the form does: nothing is parsed then
  if (!PumpUntil([&] { return reader.Idle(); }, static_cast<int>(kDecideWithinMs))) return "reader never finished";
  QCoreApplication::processEvents();
  const std::vector<int> codes = form.codes();
  std::string codesText = "codes";
  for (int c : codes) codesText += " " + std::to_string(c);
  if (ok != (records > 0)) return std::string("LoadFile said ") + (ok ? "valid" : "invalid");
  if (!ok) {
    if (codes != std::vector<int>{kStatusInvalidFile}) return codesText;
    if (std::tuple(s.RecordCount, s.DataHead.ChannelCount, s.MinValue, s.MaxValue) != before)
      return "a refused file changed the store";
  } else {
    std::vector<int> want = {kStatusHeaderRead, kStatusRecordCount, kStatusFirstRecord, kStatusParseDone};
    if (codes.size() == 5) want.insert(want.begin() + 3, kStatusDisorder);  // asked about the time order once
    if (codes != want) return codesText;
    if (form.msgs[1].value != records) return "code 7 counts " + std::to_string(form.msgs[1].value);
    if (std::string broken = CheckStore(*GetPubParam(), b, records); !broken.empty()) return broken;
  }
  // Then over a fresh buffer of exactly the file's size: the reader's spare byte would hide a
  // read just past the end.
  const Bytes exact(b);
  if (IsValidDataFile(exact.data(), static_cast<std::int64_t>(b.size())) != ok) return "validity differs";
  return !ok || ParseAlone(exact, *GetPubParam()) == ParseOutcome::Completed ? "" : "parse did not complete";
}

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
  // No regular file (a FIFO would hold the window in open() for ever).
  const std::string fifo = dir.file("fifo.qmd");
  ASSERT_TRUE(MakeFifo(fifo));
  std::filesystem::create_directory(dir.file("folder.qmd"));
  // Invalid layouts: see the mutants below.
  const struct { std::string path; int code; } cases[] = {
      {longPath, kStatusOpenFailed},  // missing, and its path longer than any fixed buffer
      {fifo, kStatusOpenFailed},
      {dir.file("folder.qmd"), kStatusOpenFailed},
      {"/dev/zero", kStatusOpenFailed},  // a device that never ends
      {Write("b5.qmd", GenerateDataFile(Small(9))), kStatusOutOfMemory}};  // a good file, no memory
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    form.msgs.clear();
    if (c.code == kStatusOutOfMemory) SetLoadHooks([](std::size_t) -> std::uint8_t* { return nullptr; }, nullptr);
    EXPECT_TRUE(DoesNotWaitOn(fifo, [&] { EXPECT_FALSE(reader->LoadFile(c.path)); }));
    SetLoadHooks(nullptr, nullptr);
    ASSERT_EQ(form.codes(), (std::vector<int>{c.code}));
    EXPECT_EQ(form.msgs[0].text.toStdString(), c.path) << "the path is never cut";
    EXPECT_EQ(CurrentAppCursor(), AppCursor::Default);
    EXPECT_TRUE(reader->Idle());
    ResumeUntilIdle();  // the form resumes after a failed open too: nothing is parsed again
    EXPECT_EQ(form.codes(), (std::vector<int>{c.code}));
    EXPECT_EQ(Snapshot(), loaded);
    EXPECT_EQ(store->DataHead.ChannelCount, 4);
  }

  form.msgs.clear();
  std::filesystem::create_symlink(Write("other.qmd", GenerateDataFile(Small(9))), dir.file("link.qmd"));
  ASSERT_TRUE(Load(dir.file("link.qmd")));  // a link to a regular file is one
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
  ParseAlone(bytes, direct, 1);
  ASSERT_EQ(store->RecordCount, direct.RecordCount);
  for (int i = 0; i < direct.RecordCount; i += (i + 997 < direct.RecordCount ? 997 : 1))
    ASSERT_EQ(std::memcmp(&store->Records[i], &direct.Records[i], sizeof(tagDataRecord)), 0) << i;
}

// Damaged files: each ends in 1101 or 4, 7, 5, [1102,] 6 with a store of decodable values,
// and nothing is read outside the file's bytes.
TEST_F(Reader, EveryMutantEndsInADefinedOutcome) {
  int answered = 0;  // each time-order question gets the next of the four answers
  form.onMsg = [&](const StatusMsg& m) {
    if (m.code == kStatusDisorder) reader->DisorderPolicy = answered++ % 4;
  };
  const std::vector<Mutant> mutants = AllMutants(200);
  ASSERT_GT(mutants.size(), 4000u);
  MutantRun run;
  for (const Mutant& mu : mutants)
    run.Check(mu.name, [&] { return LoadMutant(*reader, form, dir.file("m.qmd"), mu.bytes); });
  run.ExpectAllHeld();
}

// The main form opening a file with little address space to spare (in the fault child): no
// memory for the file's bytes, its parse or its curves is told with the file's name, and
// the load and the process end. Only the build without the sanitizer's allocator, which
// needs more room, goes beyond the file's bytes.
TEST(ReaderOutOfMemory, TheOpenTellsItAndTheProgramGoesOn) {
  TempDir dir;
  const std::string file = dir.file("big.qmd");
  ASSERT_TRUE(WriteDataFile(file, {.channels = 32, .records = 680000}));  // 66 MB
  const QString asan = qEnvironmentVariable("ASAN_OPTIONS"), told = "内存分配失败-" + QString::fromStdString(file);
#ifdef __SANITIZE_ADDRESS__
  for (int mb : {40}) {
#else
  for (int mb : {40, 70, 80, 100}) {
#endif
    const ChildRun run = RunFaultChild(
        {"oom-open", QString::fromStdString(dir.path()), QString::fromStdString(file), QString::number(mb)},
        {{"ASAN_OPTIONS", (asan.isEmpty() ? "" : asan + ":") + "allocator_may_return_null=1"}});
    ASSERT_TRUE(run.finished && !run.crashed && run.exitCode == 0) << mb << " crashed or hung";
    EXPECT_EQ(run.get("error") + run.get("ended") + run.get("busy"), "10") << mb << ": the load ended, and the program";
    // The file's bytes alone do not fit in 40 MB. With more room, the memory may run out
    // later, while the loaded file is drawn: the box then names the window.
    const QString box = run.get("box");
    EXPECT_TRUE(box == told || (mb > 40 && (box.isEmpty() || box.startsWith("内存分配失败-"))))
        << mb << box.toStdString();
  }
}
