#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/recordparse.h"
#include "platform/datetime.h"
#include "tools/datagen.h"

namespace {

struct FakeSink : ParseSink {
  std::vector<StatusMsg> msgs;
  std::function<void(const StatusMsg&)> onMsg;
  void Notify(const StatusMsg& msg) override {
    msgs.push_back(msg);
    if (onMsg) onMsg(msg);
  }
  std::vector<int> codes() const {
    std::vector<int> c;
    for (const StatusMsg& m : msgs) c.push_back(m.code);
    return c;
  }
};

// One store per fixture: it is large, but only the pages a test writes are committed.
class Parse : public ::testing::Test {
 protected:
  std::unique_ptr<utPubParam> store = std::make_unique<utPubParam>();
  FakeSink sink;
  std::atomic<int> policy{0};
  std::atomic<bool> stop{false};

  ParseOutcome Run(const std::vector<std::uint8_t>& bytes) {
    EXPECT_TRUE(IsValidDataFile(bytes.data(), static_cast<std::int64_t>(bytes.size())));
    ParseHeaderFields(bytes.data(), *store);
    return ParseRecords(bytes.data(), static_cast<std::int64_t>(bytes.size()), *store, sink, policy, stop);
  }
  const tagDataRecord& rec(int i) const { return store->Records[i]; }
  std::vector<std::string> texts() const {
    std::vector<std::string> t;
    for (int i = 0; i < store->RecordCount; ++i) t.push_back(rec(i).TimeText);
    return t;
  }
};

RecordTime At(int h, int mi, int s = 0) { return RecordTime::At(2023, 5, 6, h, mi, s); }

}  // namespace

TEST(FileLayout, SizesAndValidity) {
  EXPECT_EQ(RecordSizeOf(0, 4), 18);
  EXPECT_EQ(RecordSizeOf(11, 4), 16);
  EXPECT_EQ(RecordSizeOf(11, 32), 16);
  EXPECT_EQ(HeaderSizeOf(11), 48);
  EXPECT_EQ(HeaderSizeOf(12), 40);
  EXPECT_EQ(RecordCountOf(0, 4, 40 + 18 * 2 + 9), 2) << "a trailing half record is not a record";
  EXPECT_EQ(RecordCountOf(0, 4, 10), 0);

  struct Case { int model, channels; std::int64_t size; bool valid; };
  const Case cases[] = {
      {0, 4, 40 + 18, true},  {0, 4, 40 + 17, false}, {0, 0, 400, false},     {0, 33, 40 + 105, false},
      {0, 32, 40 + 102, true}, {11, 4, 48 + 16, true}, {11, 4, 48 + 15, false}, {200, 1, 40 + 9, true},
      {0, 1, 39, false}};
  for (const Case& c : cases) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(c.size), 0);
    if (c.size > 33) {
      bytes[0] = static_cast<std::uint8_t>(c.channels);
      bytes[33] = static_cast<std::uint8_t>(c.model);
    }
    EXPECT_EQ(IsValidDataFile(bytes.data(), c.size), c.valid) << c.model << "/" << c.channels << "/" << c.size;
  }
  EXPECT_FALSE(IsValidDataFile(nullptr, 0));
}

TEST_F(Parse, HeaderFields) {
  struct Case { std::uint16_t device; const char* text; };
  for (const Case& c : {Case{7, "0007"}, Case{1234, "1234"}, Case{12345, "12345"}, Case{65535, "65535"}}) {
    DataFileBuilder b;
    b.header(3, 2, c.device, 0x34, 0x35).addRecord(At(1, 0));
    store->RecordCount = 99;
    ParseHeaderFields(b.bytes().data(), *store);
    EXPECT_STREQ(store->DataHead.DeviceNo, c.text);
    EXPECT_EQ(store->DataHead.ChannelCount, 2);
    EXPECT_EQ(store->DataHead.ModelCode, 3);
    EXPECT_EQ(store->DataHead.HeadByte34, 0x34);
    EXPECT_EQ(store->DataHead.HeadByte35, 0x35);
    EXPECT_EQ(store->RecordCount, 0);
  }
}

TEST(RecordTime, OutOfRangeFieldsAreReplaced) {
  struct Case { RecordTime t; const char* text; };
  const Case cases[] = {
      {{23, 5, 6, 7, 8, 9}, "2023-05-06 07:08:09"},   {{23, 13, 6, 24, 8, 9}, "2023-01-06 01:08:09"},
      {{23, 2, 30, 0, 0, 0}, "2023-02-01 00:00:00"},  {{24, 2, 29, 0, 0, 0}, "2024-02-29 00:00:00"},
      {{23, 2, 29, 0, 0, 0}, "2023-02-01 00:00:00"},  {{100, 5, 6, 7, 8, 9}, "2008-05-06 07:08:09"},
      {{255, 0, 0, 60, 60, 60}, "2008-01-01 01:01:01"}, {{99, 12, 31, 23, 59, 59}, "2099-12-31 23:59:59"},
      {{0, 1, 1, 0, 0, 0}, "2000-01-01 00:00:00"},    {{23, 4, 31, 0, 0, 0}, "2023-04-01 00:00:00"}};
  for (const Case& c : cases) {
    const std::uint8_t b[6] = {c.t.year, c.t.month, c.t.day, c.t.hour, c.t.minute, c.t.second};
    int y, mo, d, h, mi, s;
    DecodeTimeFields(b, y, mo, d, h, mi, s);
    EXPECT_EQ(FormatRecordTime(y, mo, d, h, mi, s), c.text);
  }
}

TEST_F(Parse, StoredTimeTextAndValueMatchTheReplacedFields) {
  DataFileBuilder b;
  b.header(0, 1).addRecord({23, 13, 6, 24, 8, 9}).addRecord({23, 2, 30, 0, 0, 0});
  Run(b.bytes());
  EXPECT_STREQ(rec(0).TimeText, "2023-01-06 01:08:09");
  EXPECT_DOUBLE_EQ(rec(0).Time, EncodeDateTime(2023, 1, 6, 1, 8, 9));
  EXPECT_STREQ(rec(1).TimeText, "2023-02-01 00:00:00");
}

TEST_F(Parse, ValueScalingAndAlarmFlags) {
  struct Case { std::int32_t raw; std::uint8_t flag; double value; };
  const Case cases[] = {{-200, 0x80, -2.0},  {1234, 0x40, 123.4}, {1234, 0x00, 1234.0}, {1234, 0xC0, 1.234},
                        {32767, 0x00, 32767}, {-32768, 0x40, -3276.8}, {5, 0x3F, 5.0}};
  DataFileBuilder b;
  std::vector<std::int32_t> raw;
  std::vector<std::uint8_t> flags;
  for (const Case& c : cases) {
    raw.push_back(c.raw);
    flags.push_back(c.flag);
  }
  b.header(0, static_cast<int>(raw.size())).addRecord(At(1, 0), raw, flags);
  ASSERT_EQ(b.bytes()[46], 0x38);  // -200 is stored as 0xFF38
  ASSERT_EQ(b.bytes()[47], 0xFF);
  Run(b.bytes());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    EXPECT_DOUBLE_EQ(rec(0).Channel[i].Value, cases[i].value) << i;
    for (int j = 0; j < 6; ++j) EXPECT_EQ(rec(0).Channel[i].Alarm[j], (cases[i].flag >> j) & 1) << i << "/" << j;
  }
  EXPECT_DOUBLE_EQ(store->MinValue, -3276.8);
  EXPECT_DOUBLE_EQ(store->MaxValue, 32767);
}

TEST_F(Parse, TrailingHalfRecordOrderAndClosingEntry) {
  DataFileBuilder b;
  b.header(0, 4).addRecord(At(10, 0), {10}).addRecord(At(10, 5), {20}).addBytes(std::vector<std::uint8_t>(9, 0x11));
  EXPECT_EQ(Run(b.bytes()), ParseOutcome::Completed);
  EXPECT_EQ(sink.codes(), (std::vector<int>{7, 5, 6}));
  EXPECT_EQ(sink.msgs[0].value, 2);
  ASSERT_EQ(store->RecordCount, 3);
  const tagDataRecord& closing = rec(2);
  EXPECT_EQ(closing.Marker, 1);
  EXPECT_STREQ(closing.TimeText, "2023-05-06 10:05:00");
  EXPECT_DOUBLE_EQ(closing.Time, rec(1).Time);
  EXPECT_DOUBLE_EQ(closing.Channel[0].Value, 20);
  EXPECT_EQ(store->DataHead.MarkerCount, 1);
  EXPECT_EQ(store->DataHead.EarliestIndex, -1);
  EXPECT_EQ(store->DataHead.LatestIndex, 1);
}

TEST_F(Parse, TimeOrderPolicies) {
  // 10:00, 10:05, 10:03, 10:04, 10:06 with values 1..5.
  DataFileBuilder b;
  b.header(0, 1);
  const int minutes[] = {0, 5, 3, 4, 6};
  for (int i = 0; i < 5; ++i) b.addRecord(At(10, minutes[i]), {i + 1});
  struct Case {
    int policy;
    std::vector<std::string> stored;  // ordinary records
    std::vector<int> disorder;
    double min, max;
  };
  const Case cases[] = {
      {0, {"10:00", "10:05", "10:03", "10:04", "10:06"}, {0, 0, 0, 0, 0}, 1, 5},
      {1, {"10:00", "10:05", "10:06"}, {0, 0, 0}, 1, 5},
      {2, {"10:00", "10:05", "10:03", "10:04", "10:06"}, {0, 0, 1, 1, 0}, 1, 5},
      {3, {"10:00", "10:05", "10:03", "10:04", "10:06"}, {0, 0, 1, 1, 0}, 1, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.policy);
    sink.msgs.clear();
    policy = 0;
    sink.onMsg = [&](const StatusMsg& m) {
      if (m.code == kStatusDisorder) policy = c.policy;  // answered by the user
    };
    Run(b.bytes());
    EXPECT_EQ(sink.codes(), (std::vector<int>{7, 5, 1102, 6}));
    const StatusMsg& d = sink.msgs[2];
    EXPECT_EQ(d.text, "2023-05-06 10:05:00~~2023-05-06 10:03:00");
    EXPECT_EQ(d.first, "2023-05-06 10:05:00");
    EXPECT_EQ(d.second, "2023-05-06 10:03:00");
    ASSERT_EQ(store->RecordCount, static_cast<int>(c.stored.size()) + 1);
    for (std::size_t i = 0; i < c.stored.size(); ++i) {
      EXPECT_EQ(std::string(rec(static_cast<int>(i)).TimeText).substr(11, 5), c.stored[i]);
      EXPECT_EQ(rec(static_cast<int>(i)).Disorder, c.disorder[i]);
    }
    EXPECT_EQ(rec(store->RecordCount - 1).Marker, 1);
    EXPECT_DOUBLE_EQ(store->MinValue, c.min);
    EXPECT_DOUBLE_EQ(store->MaxValue, c.max);
    EXPECT_EQ(store->DataHead.LatestIndex, static_cast<int>(c.stored.size()) - 1);
  }
  // Flagged records are out of the value range.
  DataFileBuilder v;
  v.header(0, 1).addRecord(At(10, 0), {50}).addRecord(At(10, 5), {60}).addRecord(At(10, 3), {-999}).addRecord(
      At(10, 4), {999});
  sink.onMsg = nullptr;
  policy = 2;
  Run(v.bytes());
  EXPECT_DOUBLE_EQ(store->MinValue, 50);
  EXPECT_DOUBLE_EQ(store->MaxValue, 60);
}

TEST_F(Parse, EarliestIndexFollowsTheEarliestAcceptedRecord) {
  DataFileBuilder b;
  b.header(0, 1).addRecord(At(10, 0)).addRecord(At(9, 0)).addRecord(At(11, 0)).addMarker(At(8, 0)).addRecord(At(8, 30));
  Run(b.bytes());
  // 9:00 goes back (kept as ordinary by policy 0), the marker moves the reference to
  // 8:00, so 8:30 is in order and earlier still.
  EXPECT_EQ(store->DataHead.EarliestIndex, 4);
  EXPECT_EQ(store->DataHead.LatestIndex, 2);
  EXPECT_EQ(sink.codes(), (std::vector<int>{7, 5, 1102, 6}));
}

TEST_F(Parse, MarkersFirstMiddleAndLast) {
  // A previous parse leaves values in the store: a leading marker must not show them.
  DataFileBuilder old;
  old.header(0, 2).addRecord(At(1, 0), {111, 222}, {0x01, 0x02});
  Run(old.bytes());

  DataFileBuilder b;
  b.header(0, 2)
      .addMarker(At(9, 0), {77, 88}, {0x3F, 0x3F})
      .addRecord(At(10, 0), {1, 2}, {0x01, 0})
      .addMarker(At(10, 1), {5, 6})
      .addRecord(At(11, 0), {3, 4})
      .addMarker(At(11, 5));
  sink.msgs.clear();
  Run(b.bytes());
  EXPECT_EQ(sink.codes(), (std::vector<int>{7, 5, 6}));
  ASSERT_EQ(store->RecordCount, 5) << "no closing entry after a final marker";
  const tagDataRecord& first = rec(0);
  EXPECT_EQ(first.Marker, 1);
  EXPECT_STREQ(first.TimeText, "2023-05-06 09:00:00") << "its own time when nothing is stored yet";
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(first.Channel[i].Value, 0.0);
    for (int j = 0; j < 6; ++j) EXPECT_EQ(first.Channel[i].Alarm[j], 0);
  }
  EXPECT_EQ(rec(2).Marker, 1);
  EXPECT_STREQ(rec(2).TimeText, "2023-05-06 10:00:00");
  EXPECT_DOUBLE_EQ(rec(2).Time, EncodeDateTime(2023, 5, 6, 10, 1, 0));
  EXPECT_EQ(rec(2).Channel[0].Value, 1) << "a marker carries the values decoded before it";
  EXPECT_EQ(rec(2).Channel[0].Alarm[0], 1);
  EXPECT_STREQ(rec(4).TimeText, "2023-05-06 11:00:00");
  EXPECT_EQ(store->DataHead.MarkerCount, 3);
  EXPECT_DOUBLE_EQ(store->MinValue, 1);
  EXPECT_DOUBLE_EQ(store->MaxValue, 4);

  const auto& pf = store->DataHead.PowerFailures;
  ASSERT_EQ(pf.size(), 4u);  // three markers and the closing entry's index
  EXPECT_DOUBLE_EQ(pf[1].PowerOff, rec(2).Time);
  EXPECT_DOUBLE_EQ(pf[1].PowerOn, rec(3).Time);
  EXPECT_DOUBLE_EQ(pf[3].PowerOff, rec(4).Time) << "no entry past the stored ones is read";
}

TEST_F(Parse, OnlyMarkersLeaveTheStartRange) {
  DataFileBuilder b;
  b.header(0, 1).addMarker(At(1, 0), {5}).addMarker(At(2, 0), {6});
  Run(b.bytes());
  EXPECT_EQ(store->RecordCount, 2);
  EXPECT_DOUBLE_EQ(store->MinValue, 100000.0);
  EXPECT_DOUBLE_EQ(store->MaxValue, -100000.0);
}

TEST_F(Parse, PowerTotalsModel) {
  DataFileBuilder b;
  b.header(11, 4)
      .addRecord(At(1, 0), {250000}, {0x41, 0x80})
      .addRecord(At(1, 5), {-7}, {0x00, 0x00})
      .addMarker(At(1, 6), {1});
  ASSERT_EQ(b.bytes().size(), 48u + 3 * 16);
  Run(b.bytes());
  ASSERT_EQ(store->RecordCount, 3);
  EXPECT_DOUBLE_EQ(rec(0).Channel[0].Value, 25000.0);
  EXPECT_EQ(rec(0).Channel[0].Alarm[0], 1);
  EXPECT_DOUBLE_EQ(rec(0).Channel[1].Value, 2500.0);
  // Channels 2 and 3 have no flag byte in a 16-byte record: unscaled, no alarms.
  EXPECT_DOUBLE_EQ(rec(0).Channel[2].Value, 250000.0);
  EXPECT_DOUBLE_EQ(rec(0).Channel[3].Value, 250000.0);
  for (int j = 0; j < 6; ++j) EXPECT_EQ(rec(0).Channel[3].Alarm[j], 0);
  EXPECT_EQ(rec(2).Marker, 1);
  EXPECT_DOUBLE_EQ(store->MinValue, -7);
  EXPECT_DOUBLE_EQ(store->MaxValue, 250000.0);

  DataFileBuilder big;  // every value above the start minimum
  big.header(11, 1).addRecord(At(1, 0), {300000}).addRecord(At(1, 1), {400000});
  Run(big.bytes());
  EXPECT_DOUBLE_EQ(store->MinValue, 300000.0);
  EXPECT_DOUBLE_EQ(store->MaxValue, 400000.0);
}

TEST_F(Parse, StopFlagEndsTheParseWithoutCompletion) {
  GenOptions o;
  o.records = 1000;
  const auto bytes = GenerateDataFile(o);
  sink.onMsg = [&](const StatusMsg& m) {
    if (m.code == kStatusFirstRecord) stop = true;
  };
  EXPECT_EQ(Run(bytes), ParseOutcome::Stopped);
  EXPECT_EQ(sink.codes(), (std::vector<int>{7, 5}));
  EXPECT_EQ(store->RecordCount, 1);
}

TEST_F(Parse, GeneratedRecordingDecodesToTheGeneratorsValues) {
  GenOptions o;
  o.channels = 32;
  o.records = 3000;
  o.decimals = 2;
  o.alarms = true;
  o.powerFailures = 2;
  const auto bytes = GenerateDataFile(o);
  Run(bytes);
  EXPECT_EQ(sink.codes(), (std::vector<int>{7, 5, 6}));
  ASSERT_EQ(store->RecordCount, 3001);
  EXPECT_EQ(store->DataHead.MarkerCount, 3);
  int alarms = 0;
  for (int k : {0, 1, 999, 2500}) {
    for (int c = 0; c < 32; ++c) {
      EXPECT_NEAR(rec(k).Channel[c].Value, GeneratedRaw(o, c, k) * 0.01, 1e-9);
      alarms += rec(k).Channel[c].Alarm[0] + rec(k).Channel[c].Alarm[1];
    }
  }
  EXPECT_GT(alarms, 0);
  EXPECT_LT(store->MinValue, -200);
  EXPECT_GT(store->MaxValue, 200);
}

TEST_F(Parse, FullStoreKeepsTheFirstRecordsAndTheClosingEntry) {
  struct Case { std::int64_t records; bool full; };
  for (const Case& c : {Case{kMaxRecords, false}, Case{kMaxRecords + 3, true}}) {
    SCOPED_TRACE(c.records);
    GenOptions o;
    o.channels = 1;
    o.records = c.records;
    o.intervalSeconds = 1;
    o.backwardsAt = {kMaxRecords + 1};  // beyond the limit: never reported
    sink.msgs.clear();
    Run(GenerateDataFile(o));
    EXPECT_EQ(sink.codes(), c.full ? std::vector<int>({7, 5, 3, 6}) : std::vector<int>({7, 5, 6}));
    ASSERT_EQ(store->RecordCount, kMaxRecords + 1);
    const tagDataRecord& lastFile = rec(kMaxRecords - 1);
    const tagDataRecord& closing = rec(kMaxRecords);
    EXPECT_EQ(lastFile.Marker, 0);
    EXPECT_DOUBLE_EQ(lastFile.Time, o.start + (kMaxRecords - 1) / 86400.0);
    EXPECT_EQ(closing.Marker, 1);
    EXPECT_STREQ(closing.TimeText, lastFile.TimeText);
    EXPECT_DOUBLE_EQ(closing.Time, lastFile.Time);
    EXPECT_EQ(store->DataHead.LatestIndex, kMaxRecords - 1);
    EXPECT_EQ(store->DataHead.MarkerCount, 1);
  }
}
