#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <time.h>

#include <cstring>
#include <functional>
#include <memory>
#include <tuple>

#include "data/recordparse.h"
#include "platform/largemem.h"
#include "platform/datetime.h"
#include "support/statuspump.h"
#include "tools/datagen.h"

namespace {

struct FakeSink : ParseSink {
  std::vector<StatusMsg> msgs;
  std::function<void(const StatusMsg&)> onMsg;
  int slow = 0;
  void Notify(const StatusMsg& msg) override {
    msgs.push_back(msg);
    if (onMsg) onMsg(msg);
  }
  void SlowStore() override { ++slow; }
  std::vector<int> codes() const { return CodesOf(msgs); }
};

// A parse into a store of its own: it is large, but only the pages a parse writes are committed.
struct Parsed {
  std::unique_ptr<utPubParam> store = std::make_unique<utPubParam>();
  FakeSink sink;
  std::atomic<int> policy{0};
  std::atomic<bool> stop{false};
  ParseOutcome Feed(const std::vector<std::uint8_t>& bytes, int threads = 0) {
    sink.msgs.clear();
    EXPECT_TRUE(IsValidDataFile(bytes.data(), static_cast<std::int64_t>(bytes.size())));
    ParseHeaderFields(bytes.data(), *store);
    return ParseRecords(bytes.data(), static_cast<std::int64_t>(bytes.size()), *store, sink, policy, stop, threads);
  }
};

class Parse : public ::testing::Test, protected Parsed {
 protected:
  const tagDataRecord& rec(int i) const { return store->Records[i]; }
  // The stored records' times, "M" after a marker, "*" after a record flagged out of order.
  std::string Stored() const {
    std::string out;
    for (int i = 0; i < store->RecordCount; ++i)
      out += std::string(rec(i).TimeText).substr(11, 5) + (rec(i).Marker ? "M" : "") + (rec(i).Disorder ? "* " : " ");
    return out;
  }
  void ExpectRange(double min, double max) const {
    EXPECT_DOUBLE_EQ(store->MinValue, min);
    EXPECT_DOUBLE_EQ(store->MaxValue, max);
  }
};

RecordTime At(int h, int mi, int s = 0) { return RecordTime::At(2023, 5, 6, h, mi, s); }

}  // namespace

TEST_F(Parse, TimeFieldsValuesAlarmsAndTheClosingEntryAfterAHalfRecord) {
  struct Time { RecordTime t; const char* text; };
  const Time times[] = {{{23, 13, 6, 24, 8, 9}, "2023-01-06 01:08:09"}, {{23, 2, 29, 0, 0, 0}, "2023-02-01 00:00:00"},
                        {{24, 2, 29, 0, 0, 0}, "2024-02-29 00:00:00"},  {{100, 5, 6, 7, 8, 9}, "2008-05-06 07:08:09"},
                        {{255, 0, 0, 60, 60, 60}, "2008-01-01 01:01:01"}};
  const std::vector<std::int32_t> raw = {-200, 1234, 1234, -32768, 32767};
  const std::vector<std::uint8_t> flags = {0x80, 0x40, 0xC0, 0x40, 0x3F};  // decimals in bits 6..7
  const double values[] = {-2.0, 123.4, 1.234, -3276.8, 32767};
  DataFileBuilder b;
  b.header(0, static_cast<int>(raw.size()));
  for (const Time& t : times) b.addRecord(t.t, raw, flags);
  b.addBytes(std::vector<std::uint8_t>(9, 0x11));  // half a record: not stored
  EXPECT_EQ(Feed(b.bytes()), ParseOutcome::Completed);
  EXPECT_EQ(sink.codes(), (std::vector<int>{7, 5, 1102, 6}));  // 2008 after 2024; all kept
  for (int i = 0; i < 5; ++i) EXPECT_STREQ(rec(i).TimeText, times[i].text);
  for (std::size_t i = 0; i < raw.size(); ++i) {
    EXPECT_DOUBLE_EQ(rec(0).Channel[i].Value, values[i]) << i;
    for (int j = 0; j < 6; ++j) EXPECT_EQ(rec(0).Channel[i].Alarm[j], (flags[i] >> j) & 1) << i << "/" << j;
  }
  ExpectRange(-3276.8, 32767);
  // The closing entry repeats the last record's time and values.
  ASSERT_EQ(store->RecordCount, 6);
  EXPECT_STREQ(rec(5).TimeText, rec(4).TimeText);
  EXPECT_DOUBLE_EQ(rec(5).Time, rec(4).Time);
  EXPECT_DOUBLE_EQ(rec(5).Channel[1].Value, rec(4).Channel[1].Value);
  EXPECT_EQ(store->DataHead.MarkerCount, 1);
}

TEST_F(Parse, TimeOrderPolicies) {
  // The two records out of order hold values outside the others' range.
  DataFileBuilder b;
  b.header(0, 1);
  const int minutes[] = {0, 5, 3, 4, 6};
  const int values[] = {1, 2, -50, 90, 5};
  for (int i = 0; i < 5; ++i) b.addRecord(At(10, minutes[i]), {values[i]});
  struct Case { int answer; const char* stored; double min, max; };
  const Case cases[] = {{0, "10:00 10:05 10:03 10:04 10:06 10:06M ", -50, 90},
                        {1, "10:00 10:05 10:06 10:06M ", 1, 5},
                        {2, "10:00 10:05 10:03* 10:04* 10:06 10:06M ", 1, 5},
                        {3, "10:00 10:05 10:03* 10:04* 10:06 10:06M ", 1, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    policy = 0;
    sink.onMsg = [&](const StatusMsg& m) {
      if (m.code == kStatusDisorder) policy = c.answer;  // answered by the user
    };
    Feed(b.bytes());
    EXPECT_EQ(sink.codes(), (std::vector<int>{7, 5, 1102, 6}));
    const StatusMsg& d = sink.msgs[2];
    EXPECT_EQ(d.text, "2023-05-06 10:05:00~~2023-05-06 10:03:00");
    EXPECT_EQ(d.first, "2023-05-06 10:05:00");
    EXPECT_EQ(d.second, "2023-05-06 10:03:00");
    EXPECT_EQ(Stored(), c.stored);
    ExpectRange(c.min, c.max);
    EXPECT_EQ(store->DataHead.LatestIndex, store->RecordCount - 2);
  }
}

TEST_F(Parse, MarkersFirstMiddleAndLast) {
  // A previous parse leaves values in the store: a leading marker must not show them.
  DataFileBuilder old;
  old.header(0, 2).addRecord(At(1, 0), {111, 222}, {0x01, 0x02});
  Feed(old.bytes());

  DataFileBuilder b;
  b.header(0, 2)
      .addMarker(At(9, 0), {77, 88}, {0x3F, 0x3F})
      .addRecord(At(10, 0), {1, 2}, {0x01, 0})
      .addMarker(At(10, 1), {5, 6})
      .addRecord(At(11, 0), {3, 4})
      .addMarker(At(11, 5));
  Feed(b.bytes());
  EXPECT_EQ(sink.codes(), (std::vector<int>{7, 5, 6}));
  // A leading marker has its own time when nothing is stored yet; no closing entry after a final marker.
  EXPECT_EQ(Stored(), "09:00M 10:00 10:00M 11:00 11:00M ");
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(rec(0).Channel[i].Value, 0.0);
    for (int j = 0; j < 6; ++j) EXPECT_EQ(rec(0).Channel[i].Alarm[j], 0);
  }
  EXPECT_DOUBLE_EQ(rec(2).Time, EncodeDateTime(2023, 5, 6, 10, 1, 0));
  EXPECT_EQ(rec(2).Channel[0].Value, 1) << "a marker carries the values decoded before it";
  EXPECT_EQ(rec(2).Channel[0].Alarm[0], 1);
  EXPECT_EQ(store->DataHead.MarkerCount, 3);
  ExpectRange(1, 4);

  const auto& pf = store->DataHead.PowerFailures;
  ASSERT_EQ(pf.size(), 4u);  // three markers and the closing entry's index
  EXPECT_DOUBLE_EQ(pf[1].PowerOff, rec(2).Time);
  EXPECT_DOUBLE_EQ(pf[1].PowerOn, rec(3).Time);
  EXPECT_DOUBLE_EQ(pf[3].PowerOff, rec(4).Time) << "no entry past the stored ones is read";

  // Only markers: no value accepted, the start range stays.
  DataFileBuilder markers;
  markers.header(0, 1).addMarker(At(1, 0), {5}).addMarker(At(2, 0), {6});
  Feed(markers.bytes());
  ExpectRange(100000.0, -100000.0);
}

TEST_F(Parse, PowerTotalsModel) {
  DataFileBuilder b;
  b.header(11, 4)
      .addRecord(At(1, 0), {250000}, {0x41, 0x80})
      .addRecord(At(1, 5), {-7}, {0x00, 0x00})
      .addMarker(At(1, 6), {1});
  Feed(b.bytes());
  ASSERT_EQ(store->RecordCount, 3);
  EXPECT_DOUBLE_EQ(rec(0).Channel[0].Value, 25000.0);
  EXPECT_EQ(rec(0).Channel[0].Alarm[0], 1);
  EXPECT_DOUBLE_EQ(rec(0).Channel[1].Value, 2500.0);
  // Channels 2 and 3 have no flag byte in a 16-byte record: unscaled, no alarms.
  EXPECT_DOUBLE_EQ(rec(0).Channel[3].Value, 250000.0);
  for (int j = 0; j < 6; ++j) EXPECT_EQ(rec(0).Channel[3].Alarm[j], 0);
  EXPECT_EQ(rec(2).Marker, 1);
  ExpectRange(-7, 250000.0);

  DataFileBuilder big;  // every value above the start minimum
  big.header(11, 1).addRecord(At(1, 0), {300000}).addRecord(At(1, 1), {400000});
  Feed(big.bytes());
  ExpectRange(300000.0, 400000.0);
}

TEST_F(Parse, FullStoreKeepsTheFirstRecordsAndTheClosingEntry) {
  for (std::int64_t records : {std::int64_t{kMaxRecords}, std::int64_t{kMaxRecords} + 3}) {
    SCOPED_TRACE(records);
    const bool full = records > kMaxRecords;
    // Out of order beyond the limit: never reported.
    const GenOptions o{.channels = 1, .records = records, .intervalSeconds = 1, .backwardsAt = {kMaxRecords + 1}};
    Feed(GenerateDataFile(o));
    EXPECT_EQ(sink.codes(), full ? std::vector<int>({7, 5, 3, 6}) : std::vector<int>({7, 5, 6}));
    ASSERT_EQ(store->RecordCount, kMaxRecords + 1);
    const tagDataRecord& lastFile = rec(kMaxRecords - 1);
    EXPECT_DOUBLE_EQ(lastFile.Time, o.start + (kMaxRecords - 1) / 86400.0);
    EXPECT_EQ(rec(kMaxRecords).Marker, 1);
    EXPECT_STREQ(rec(kMaxRecords).TimeText, lastFile.TimeText);
    EXPECT_EQ(store->DataHead.LatestIndex, kMaxRecords - 1);
  }
}

namespace {
std::unique_ptr<Parsed> ParseWith(const std::vector<std::uint8_t>& bytes, int threads) {
  auto r = std::make_unique<Parsed>();
  r->Feed(bytes, threads);
  return r;
}

// Codes, counts, range, indices and power failures: all a parse leaves besides the entries.
auto Summary(const Parsed& r) {
  const tagDataHead& h = r.store->DataHead;
  std::vector<std::pair<double, double>> failures;
  for (const pwrTime& p : h.PowerFailures) failures.emplace_back(p.PowerOff, p.PowerOn);
  return std::tuple(r.sink.codes(), r.store->RecordCount, r.store->MinValue, r.store->MaxValue, h.EarliestIndex,
                    h.LatestIndex, h.MarkerCount, failures);
}

void ExpectSameParse(const std::unique_ptr<Parsed>& a, const std::unique_ptr<Parsed>& b) {
  ASSERT_EQ(Summary(*a), Summary(*b));
  for (int i = 0; i < a->store->RecordCount; ++i)
    ASSERT_EQ(std::memcmp(&a->store->Records[i], &b->store->Records[i], sizeof(tagDataRecord)), 0) << "entry " << i;
}

RecordTime Second(double day, std::int64_t s) { return RecordTime::FromDateTime(day + static_cast<double>(s) / 86400.0); }

}  // namespace

TEST(ParseInParts, SameStoreAsOneByOne) {
  // 4 parts of 17,500: leading markers, a run of markers across a part's start and one just
  // ahead of another, times set back (earliest) and forward (latest), every decimal setting.
  const double day = EncodeDateTime(2023, 5, 6, 8, 0, 0);
  DataFileBuilder b;
  b.header(0, 5).addMarker(Second(day, 0), {9, 9}).addMarker(Second(day, 1));
  double base = day;
  for (std::int64_t k = 2; k < 70000; ++k) {
    if (k == 25000) base = day - 1.0;
    if (k == 45000) base = day + 2.0;
    const std::uint8_t flag = static_cast<std::uint8_t>(k % 63 | (k / 7 % 4) << 6);
    const auto raw = static_cast<std::int32_t>(k * 37 % 4001 - 2000);
    if ((k >= 17498 && k <= 17501) || k == 34999 || k == 25000 || k == 45000 || k % 6007 == 0)
      b.addMarker(Second(base, k), {raw});
    else
      b.addRecord(Second(base, k), {raw, -raw, raw / 3, 7, raw}, {flag, 0x40, 0x80, 0xC0, flag});
  }
  const auto one = ParseWith(b.bytes(), 1);
  EXPECT_EQ(one->sink.codes(), (std::vector<int>{7, 5, 6}));
  EXPECT_EQ(one->store->RecordCount, 70001);
  EXPECT_EQ(one->store->DataHead.EarliestIndex, 25001);
  EXPECT_GT(one->store->DataHead.LatestIndex, 45000);
  ExpectSameParse(one, ParseWith(b.bytes(), 4));

  // A power-meter file that ends with a marker (no closing entry).
  DataFileBuilder p;
  p.header(11, 3);
  for (std::int64_t k = 0; k < 40000; ++k) {
    if (k % 9001 == 0 || k == 39999)
      p.addMarker(Second(day, k));
    else
      p.addRecord(Second(day, k), {static_cast<std::int32_t>(k * 1001)}, {static_cast<std::uint8_t>(k % 64), 0x41});
  }
  ExpectSameParse(ParseWith(p.bytes(), 1), ParseWith(p.bytes(), 3));
}

namespace {
// A store whose fresh 2 MB pages are slow to come by, as under memory compaction: the first
// touch of each inaccessible 2 MB waits, then opens it.
struct SlowPages {
  static inline std::uintptr_t from = 0, to = 0;
  static void OnFault(int, siginfo_t* info, void*) {
    const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
    if (at < from || at >= to) {  // not ours: fault again without this handler
      signal(SIGSEGV, SIG_DFL);
      return;
    }
    const timespec wait{0, 5'000'000};
    nanosleep(&wait, nullptr);
    mprotect(reinterpret_cast<void*>(at & ~(std::uintptr_t{kLargePage} - 1)), kLargePage, PROT_READ | PROT_WRITE);
  }
  struct sigaction saved {};
  explicit SlowPages(tagDataRecord* records) {
    from = reinterpret_cast<std::uintptr_t>(records);
    to = from + (std::size_t{64} << 20);
    struct sigaction sa {};
    sa.sa_sigaction = &OnFault;
    sa.sa_flags = SA_SIGINFO;
    sigaction(SIGSEGV, &sa, &saved);
    mprotect(records, to - from, PROT_NONE);
  }
  ~SlowPages() {
    mprotect(reinterpret_cast<void*>(from), to - from, PROT_READ | PROT_WRITE);
    sigaction(SIGSEGV, &saved, nullptr);
  }
};

}  // namespace

TEST(ParseInParts, SlowFreshPagesAreReportedOnceAndAFileOutOfOrderIsParsedOneByOne) {
  // About 21 MB of the store, in parts and one by one; each the same store as a plain one-by-one parse.
  const std::vector<std::uint8_t> inOrder = GenerateDataFile({.records = 40000});
  const std::vector<std::uint8_t> outOfOrder =
      GenerateDataFile({.records = 40000, .powerFailures = 3, .backwardsAt = {25000}});
  for (const auto& [bytes, threads] : {std::pair{&inOrder, 4}, std::pair{&inOrder, 1}, std::pair{&outOfOrder, 4}}) {
    SCOPED_TRACE(threads);
    auto p = std::make_unique<Parsed>();
    {
      SlowPages slowPages(p->store->Records);
      p->Feed(*bytes, threads);
    }
    EXPECT_EQ(p->sink.slow, 1);
    ExpectSameParse(ParseWith(*bytes, 1), p);
  }
}
