#include <gtest/gtest.h>

#include <limits>

#include "support/listrecords.h"
#include "reports/Utpage.h"

namespace {

std::vector<std::int32_t> Every(int from, int to, int step) {
  std::vector<std::int32_t> v;
  for (int i = from; i < to; i += step) v.push_back(i);
  return v;
}

}  // namespace

TEST(DataPages, WindowPagesStepsAndButtons) {
  TestRecords store(1300, 2);
  const ReportSource src = store.src();
  struct Case {
    int first, end, step, page;
    std::vector<std::int32_t> rows;
    bool prev, next;
  };
  const Case cases[] = {
      {0, 1000, 5, 1, Every(0, 750, 5), false, true},
      {0, 1000, 5, 2, Every(750, 1000, 5), true, false},
      {1000, 1200, 1, 1, Every(1000, 1150, 1), false, true},
      {1000, 1200, 1, 2, Every(1150, 1200, 1), true, false},
      {1000, 1200, 1, 3, {}, true, false},          // a page kept from a longer range
      {0, 1000, 0, 1, Every(0, 150, 1), false, true},  // step 0 pages as step 1
      {1000, 1200, 0, 0, Every(1000, 1150, 1), false, true},  // page 0 never shows records before the window
      {1200, 5000, 1, 1, Every(1200, 1300, 1), false, false},  // clamped to the records stored
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first << ".." << c.end << " step " << c.step << " page " << c.page);
    EXPECT_EQ(ShowDataPage(src, c.page, c.first, c.step, c.end), c.rows);
    const IndexRange list = ClampRange(c.first, c.end, src.count);
    const PageButtons b = SetPageButtons(c.page, list.first, list.end, c.step);
    EXPECT_EQ(b.previous, c.prev);
    EXPECT_EQ(b.next, c.next);
  }
  // Huge steps and pages stay in 64 bits.
  const std::int64_t big = std::numeric_limits<std::int32_t>::max();
  EXPECT_EQ(ShowDataPage(src, 1, 0, big, 10), std::vector<std::int32_t>{0});
  EXPECT_TRUE(ShowDataPage(src, big, 0, big, 10).empty());
  EXPECT_FALSE(NextPage(1, 0, 10, big).moved);
}

TEST(PageMoves, PreviousAndNextNeverLeaveTheRows) {
  EXPECT_FALSE(PrevPage(1, 1000, 1200, 1).moved);
  EXPECT_FALSE(PrevPage(0, 1000, 1200, 1).moved);
  // Step 0 counts as 1, so Next stops at the last page with rows.
  EXPECT_FALSE(NextPage(7, 0, 1000, 0).moved);
  EXPECT_TRUE(NextPage(6, 0, 1000, 0).moved);
  // Back from a stale page beyond the end lands on the last page with rows.
  const PageMove m = PrevPage(9, 0, 1000, 5);
  EXPECT_TRUE(m.moved);
  EXPECT_EQ(m.page, 2);
}

TEST(DataRows, TextsOfValuesAndMarkers) {
  TestRecords store(2, 3);
  store.value(0, 0, 3.14159);
  store.value(0, 1, 1234.5);
  store.value(0, 2, -0.5);
  store.marker(1);
  EXPECT_EQ(DataRowTexts(store[0], 3, "停电状态"),
            (QStringList{TestRecords::time(0), "3.14", "1234.50", "-0.50"}));
  EXPECT_EQ(DataRowTexts(store[1], 3, "停电状态"), QStringList{"停电状态"});
}

TEST(AlarmIndex, WhichRecordsAreAlarmRecords) {
  TestRecords store(8, 3);
  store[1].Channel[0].Alarm[0] = 1;
  store[1].Channel[2].Alarm[5] = 1;  // two channels: listed once
  store[2].Channel[1].Alarm[3] = 1;
  store.marker(3);                   // a marker with flags is never listed
  store[3].Channel[0].Alarm[0] = 1;
  store[4].Channel[3].Alarm[0] = 1;  // beyond the channel count: ignored
  store[6].Channel[2].Alarm[4] = 1;
  const ReportSource src = store.src();
  EXPECT_EQ(CollectAlarmIndex(src, 0, 8), (std::vector<std::int32_t>{1, 2, 6}));
  EXPECT_EQ(CollectAlarmIndex(src, -10, 100), (std::vector<std::int32_t>{1, 2, 6}));
  const AlarmTexts texts = LoadAlarmTexts();
  EXPECT_EQ(AlarmRowTexts(store[1], 3, texts),
            (QStringList{TestRecords::time(1), "上限报警,", "", "异常报警,"}));

  // The alarm pages never read past the list.
  std::vector<std::int32_t> index(600);
  for (int i = 0; i < 600; ++i) index[static_cast<std::size_t>(i)] = 1000 + i;
  EXPECT_EQ(ShowAlarmPage(index, 1, 0, 5, 600).back(), 1595);
  EXPECT_EQ(ShowAlarmPage(index, 4, 0, 1, 900).size(), 150u);
  EXPECT_TRUE(ShowAlarmPage(index, 5, 0, 1, 900).empty());
}

TEST(AlarmIndex, TheAlarmTabKeepsItsListInTheStore) {
  utPubParam* store = GetPubParam();
  std::memset(store->Records, 0, 10 * sizeof(tagDataRecord));
  store->RecordCount = 10;
  store->DataHead.ChannelCount = 2;
  store->Records[4].Channel[1].Alarm[2] = 1;
  store->Records[9].Channel[0].Alarm[1] = 1;
  EXPECT_EQ(BuildAlarmIndex(0, 10), 2);
  // A report's own list leaves the alarm tab's alone.
  EXPECT_EQ(CollectAlarmIndex(StoreSource(), 5, 10), std::vector<std::int32_t>{9});
  EXPECT_EQ(store->AlarmIndex, (std::vector<std::int32_t>{4, 9}));
  store->RecordCount = 0;
  store->AlarmIndex.clear();
}
