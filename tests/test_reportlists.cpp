#include <gtest/gtest.h>

#include "support/listrecords.h"
#include "reports/reportlists.h"

namespace {

template <class T>
std::vector<T> Field(const std::vector<ColumnSpec>& cols, T ColumnSpec::*field) {
  std::vector<T> v;
  for (const auto& c : cols) v.push_back(c.*field);
  return v;
}
std::vector<QString> Captions(const std::vector<ColumnSpec>& cols) { return Field(cols, &ColumnSpec::caption); }
std::vector<int> Widths(const std::vector<ColumnSpec>& cols) { return Field(cols, &ColumnSpec::width); }

}  // namespace

TEST(ListColumns, WidthsFollowTheShownFlagsByIndex) {
  TestRecords store(1, 3);
  store.shown[1] = 0;
  store.shown[2] = 7;  // any non-zero flag shows the channel
  const auto cols = BuildRecordListColumns(store.src());
  EXPECT_EQ(Captions(cols), (std::vector<QString>{"记录时间", "CH1", "CH2", "CH3"}));
  EXPECT_EQ(Widths(cols), (std::vector<int>{120, 60, 0, 60}));
  EXPECT_EQ(cols[2].channel, 1);
  EXPECT_EQ(Widths(BuildAlarmListColumns(store.src())), (std::vector<int>{120, 180, 0, 180}));
}

TEST(PowerFailList, RowsOfTheWindow) {
  TestRecords store(600, 1);
  store.marker(100);
  store.marker(300);
  store.marker(0);
  const ReportSource src = store.src();
  EXPECT_EQ(BuildPowerFailList(src, 1, 500),
            (std::vector<QString>{TestRecords::time(99), TestRecords::time(299), TestRecords::time(500)}));
  // A marker at record 0 has no record before it and gives record 0's time.
  EXPECT_EQ(BuildPowerFailList(src, 0, 50), (std::vector<QString>{store.src().timeText(0), TestRecords::time(50)}));
  // At the end of the data there is no record after the window.
  EXPECT_EQ(BuildPowerFailList(src, 200, 9000), std::vector<QString>{TestRecords::time(299)});
}

TEST(ColumnLayout, ChannelsFollowTheirColumnByIndex) {
  TestRecords store(1, 3);
  store.names[1] = "CH1";  // two channels of the same name
  auto cols = BuildAlarmListColumns(store.src());
  EXPECT_TRUE(SetColumnLayout(cols, store.src(), 3, 1, 0));
  EXPECT_EQ(Widths(cols), (std::vector<int>{120, 180, 0, 180}));
  EXPECT_FALSE(SetColumnLayout(cols, store.src(), 3, 1, 0));  // nothing left to change
  EXPECT_TRUE(SetColumnLayout(cols, store.src(), 3, 1, 1));
  EXPECT_EQ(Widths(cols), (std::vector<int>{120, 180, 180, 180}));
  // A model-11 data column hides with its channel although its caption is no name.
  store.model = 11;
  auto data = BuildRecordListColumns(store.src());
  SetColumnLayout(data, store.src(), 1, 2, 0);
  EXPECT_EQ(Widths(data)[3], 0);
  // Renaming: only the channel's own column.
  EXPECT_TRUE(SetColumnLayout(cols, store.src(), 3, 1, 4, "Pressure"));
  EXPECT_EQ(Captions(cols), (std::vector<QString>{"记录时间", "CH1", "Pressure", "CH3"}));
  EXPECT_FALSE(SetColumnLayout(cols, store.src(), 3, 9, 4, "X"));  // no such column
}

TEST(GoTo, TypedPagesAreCheckedAgainstTheCurrentStep) {
  struct Case {
    QString typed;
    std::int64_t current, first, end, step;
    GoToDecision::Kind kind;
    std::int64_t page;
    QString edit;
  };
  const Case cases[] = {
      {"0", 2, 0, 450, 1, GoToDecision::Invalid, 2, "0"},
      {"-3", 1, 0, 450, 1, GoToDecision::Invalid, 1, "-3"},  // the alarm list refuses it too
      {"5", 2, 0, 450, 1, GoToDecision::OutOfRange, 2, "2"},
      {"3", 1, 0, 450, 1, GoToDecision::Go, 3, "3"},
      {"3", 1, 0, 450, 2, GoToDecision::OutOfRange, 1, "1"},  // two pages at step 2
      {"2", 1, 0, 450, 0, GoToDecision::Go, 2, "2"},          // step 0 counts as 1
      {"99999999999999", 1, 0, 450, 1, GoToDecision::OutOfRange, 1, "1"},
      {"1", 1, 5, 5, 1, GoToDecision::OutOfRange, 1, "1"},    // an empty list has no page
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    const GoToDecision d = DecideGoTo(c.typed, c.current, c.first, c.end, c.step);
    EXPECT_EQ(d.kind, c.kind);
    EXPECT_EQ(d.page, c.page);
    EXPECT_EQ(d.editText, c.edit);
  }
  EXPECT_TRUE(PageEditKey(13).goTo);
  EXPECT_FALSE(PageEditKey('a').keep);
}
