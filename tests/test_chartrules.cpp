// Curve and channel rules over a store filled by hand: value range, axes, colours,
// segments of the record window, the model set-up and channels that share a name.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>

#include "mainwindow/channelrules.h"
#include "mainwindow/chartrules.h"
#include "platform/chartwidget.h"
#include "platform/colors.h"

namespace {

// The store is the process-wide one; every test starts it afresh.
utPubParam& FreshStore(int channels, int model = 0) {
  utPubParam& s = *GetPubParam();
  s.DataHead = tagDataHead{};
  s.DataHead.ChannelCount = static_cast<std::uint8_t>(channels);
  s.DataHead.ModelCode = static_cast<std::uint8_t>(model);
  s.RecordCount = 0;
  for (int c = 0; c < kMaxChannels; ++c) {
    s.SysPar.ChannelName[c] = "ch" + std::to_string(c + 1);
    s.SysPar.ChannelShown[c] = 1;
    s.SysPar.ChannelColor[c] = 0x0000FF;
  }
  return s;
}

// Appends a record: minute m after 08:00, value base + channel.
void Add(utPubParam& s, int minute, double base, std::uint8_t marker = 0, int disorder = 0) {
  tagDataRecord& r = s.Records[s.RecordCount++];
  std::memset(&r, 0, sizeof r);
  r.Time = ToDateTimeValue(QDate(2024, 5, 6), QTime(8, 0)) + minute / 1440.0;
  char text[64] = {};
  std::snprintf(text, sizeof text, "2024-05-06 %02d:%02d:00", 8 + minute / 60, minute % 60);
  std::memcpy(r.TimeText, text, sizeof r.TimeText - 1);
  r.Marker = marker;
  r.Disorder = disorder;
  for (int c = 0; c < kMaxChannels; ++c) r.Channel[c].Value = base + c;
}

}  // namespace

TEST(AdjustYRange, Table) {
  const struct { double mn, mx; int up, down; } cases[] = {
      {12.3, 87.9, 180, 0},        // widened: DOWN halved, UP doubled
      {-20.0, 50.0, 120, -60},     // a negative DOWN widens outward, so -20 stays visible
      {-50.0, -45.0, -15, -120},   // all negative: still DOWN below UP
      {100000.0, -100000.0, 100, 0},  // no record accepted
      {2147483600.0, 2147483640.0, 2147483647, 1073741795},  // 64-bit, clamped to 32
  };
  for (const auto& c : cases) {
    std::int32_t up = 0, down = 0;
    AdjustYRange(c.mn, c.mx, up, down);
    EXPECT_EQ(up, c.up) << c.mn << ".." << c.mx;
    EXPECT_EQ(down, c.down) << c.mn << ".." << c.mx;
    EXPECT_LE(down, up);
  }
}

TEST(SetupAxes, MovesToRangesWhollyAboveOrBelow) {
  ChartWidget chart;
  const double day = ToDateTimeValue(QDate(2024, 5, 6), QTime(0, 0));
  SetupAxes(chart, 100, 0, day, day + 0.5);
  SetupAxes(chart, 3000, 2000, day + 10, day + 11);  // wholly above
  EXPECT_EQ(chart.LeftAxis().Minimum(), 2000);
  EXPECT_EQ(chart.LeftAxis().Maximum(), 3000);
  SetupAxes(chart, -50, -100, day - 5, day - 4);  // wholly below
  EXPECT_EQ(chart.LeftAxis().Minimum(), -100);
  EXPECT_EQ(chart.LeftAxis().Maximum(), -50);
  EXPECT_EQ(chart.BottomAxis().Minimum(), day - 5);
  // A zoomed chart is unzoomed first.
  chart.resize(600, 400);
  chart.ZoomToRect(chart.PlotRect().adjusted(50, 50, -50, -50));
  ASSERT_TRUE(chart.Zoomed());
  SetupAxes(chart, 10, 0, day, day + 1);
  EXPECT_FALSE(chart.Zoomed());
}

TEST(Colours, InverseAndChannelsOnTheBackground) {
  EXPECT_NE(InvertColorRGB(clBtnFace), InvertColorRGB(clBtnFace & 0xFFFFFF));  // resolved first
  EXPECT_EQ(ChannelColourOnBackground(0x000000, 0), 0xFFFFFF);
  EXPECT_EQ(ChannelColourOnBackground(0x000000, 1), 0xFFFFFE);
  EXPECT_EQ(ChannelColourOnBackground(0xFFFFFF, 2), 2);
  for (TColor bk : {0x000000, 0xFFFFFF, 0x800000, 0x7FFFFF, 0x808080, 0x00FFFF}) {
    for (int c = 0; c < kMaxChannels; ++c) {
      const TColor out = ChannelColourOnBackground(bk, c);
      EXPECT_LE(out, 0xFFFFFF);
      EXPECT_NE(out, bk) << std::hex << bk << " channel " << c;
    }
  }
}

TEST(Segments, MarkersDisorderWindowAndFullStore) {
  ChartWidget chart;
  std::vector<ChartSeries*> curves;
  {
    // Two power failures and the closing entry (marker count 3), 4 channels.
    utPubParam& s = FreshStore(4);
    Add(s, 0, 10), Add(s, 1, 11), Add(s, 2, 12), Add(s, 2, 12, 1);
    Add(s, 10, 20), Add(s, 11, 21, 0, 1), Add(s, 12, 22), Add(s, 12, 22, 1);
    Add(s, 20, 30), Add(s, 21, 31), Add(s, 21, 31, 1);
    s.DataHead.MarkerCount = 3;
    CreateSeries(chart, curves, s, 0x000000);
    ASSERT_EQ(curves.size(), 4u);
    int end = 999;  // beyond the count: cut to it
    EXPECT_EQ(FillSeries(chart, curves, s, 0, end), 7);
    EXPECT_EQ(end, s.RecordCount);
    const ChartTimeline& t = curves[3]->Timeline();
    ASSERT_EQ(t.SegmentCount(), 3);
    // The disordered record is skipped and does not end segment 1.
    EXPECT_EQ(t.SegmentEnd(1) - t.segmentStart[1], 2);
    EXPECT_EQ(curves[3]->YValue(t.segmentStart[2]), 33.0f);  // after the second marker
  
    // A window starting after the first marker puts its first records in segment 0.
    end = 11;
    FillSeries(chart, curves, s, 4, end);
    EXPECT_EQ(curves[0]->SegmentCount(), 2);
    EXPECT_EQ(curves[0]->YValue(0), 20.0f);
    end = 3;  // empty window
    EXPECT_EQ(FillSeries(chart, curves, s, 5, end), 0);
    EXPECT_EQ(curves[0]->Count(), 0);
  }
  {
    // A full store holds no closing entry and no marker at all.
    utPubParam& s = FreshStore(2);
    for (int i = 0; i < kMaxRecords; ++i) Add(s, i, i % 100);
    s.DataHead.MarkerCount = 0;
    CreateSeries(chart, curves, s, 0x000000);
    int end = kMaxRecords;
    EXPECT_EQ(FillSeries(chart, curves, s, 0, end), kMaxRecords);
    EXPECT_EQ(curves[1]->SegmentCount(), 1);
    EXPECT_EQ(curves[1]->Count(), kMaxRecords);
    s.RecordCount = 0;
  }
  ClearSeries(chart, curves);
}

TEST(ModelSetup, TwentyChannelRecorderPowerMeterAndOthers) {
  utPubParam& s = FreshStore(20, 3);
  s.DataHead.HeadByte34 = 12;
  s.DataHead.HeadByte35 = 3;
  std::memcpy(s.DataHead.DeviceNo, "0042", 5);
  ModelSetup m = BuildModelSetup(s, DefaultLangText);
  ASSERT_EQ(m.labels.size(), 20u);
  EXPECT_EQ(m.labels[19], "ch20");
  EXPECT_FALSE(m.swatchVisible[20]);
  EXPECT_EQ(m.deviceText, QString::fromUtf8("中型彩色记录仪12030042"));
  s.SysPar.ChannelShown[5] = 0;
  s.SysPar.ChannelColor[7] = 0xFFFFFF;
  ApplyModelSetup(s, m, 0xFFFFFF);
  EXPECT_EQ(s.SysPar.ChannelShown[5], 1);
  EXPECT_EQ(s.SysPar.ChannelColor[7], 7);

  // Model 11: language keys Error33 + c, and the tab caption's key Error34.
  utPubParam& p = FreshStore(3, 11);
  std::map<std::string, QString> lang = {{"Error34", "kWh-2"}};
  const LangLookup lookup = [&](const std::string& sec, const std::string& key, const QString& def) {
    return sec == "utPubParam" && lang.count(key) ? lang[key] : def;
  };
  m = BuildModelSetup(p, lookup);
  EXPECT_EQ(m.labels[0], QString::fromUtf8("电量报表"));
  EXPECT_EQ(m.labels[1], "kWh-2");
  EXPECT_EQ(m.ts6Caption, "kWh-2");
  ApplyModelSetup(p, m, 0);
  EXPECT_EQ(p.SysPar.ChannelName[0], "电量报表");

  // Model 12 and unknown models show the channel names.
  m = BuildModelSetup(FreshStore(2, 12), DefaultLangText);
  EXPECT_EQ(m.labels[1], "ch2");
  m = BuildModelSetup(FreshStore(2, 200), DefaultLangText);
  EXPECT_EQ(m.labels[0], "ch1");
}

TEST(Channels, DuplicateNamesActByIndex) {
  // A power meter without a language file: every channel has the same name.
  utPubParam& s = FreshStore(20, 10);
  ApplyModelSetup(s, BuildModelSetup(s, DefaultLangText), 0);
  ASSERT_EQ(s.SysPar.ChannelName[0], s.SysPar.ChannelName[17]);
  const int ch = ChannelOfListItem(s, 1, 1);  // item 1 of lv2
  EXPECT_EQ(ch, 17);
  EXPECT_TRUE(SetChannelShown(s, ch, false));
  EXPECT_EQ(s.SysPar.ChannelShown[0], 1);
  EXPECT_EQ(s.SysPar.ChannelShown[17], 0);

  s.SysPar.ChannelShown[2] = 0;
  const std::vector<LegendRow> rows = BuildChannelSummary(s, DefaultLangText);
  ASSERT_EQ(rows.size(), 18u);
  EXPECT_EQ(rows[2].channel, 3);
  EXPECT_EQ(rows.back().channel, 19);

  // A rename to another channel's name keeps both apart; long names are kept whole.
  utPubParam& r = FreshStore(4);
  const QString longName = QString::fromUtf8("一个比三十一个字节更长的通道名称文字");
  EXPECT_TRUE(RenameChannel(r, 2, "ch1"));
  EXPECT_TRUE(RenameChannel(r, 3, longName));
  EXPECT_FALSE(RenameChannel(r, 1, ""));
  const auto legend = BuildChannelSummary(r, DefaultLangText);
  EXPECT_EQ(legend[2].channel, 2);
  EXPECT_EQ(legend[3].label, longName);
}

TEST(Channels, MarkerButtonsSwatchesAndLimitKeys) {
  utPubParam& s = FreshStore(3);
  EXPECT_EQ(DecideFlagButtons(s, 2), FlagButtonsAction::DisableAndClear);
  s.SysPar.ChannelShown[0] = s.SysPar.ChannelShown[2] = 0;
  EXPECT_EQ(DecideFlagButtons(s, 2), FlagButtonsAction::Enable);
  EXPECT_EQ(DecideFlagButtons(s, 1), FlagButtonsAction::Keep);
  s.SysPar.ChannelShown[1] = 0;
  EXPECT_EQ(DecideFlagButtons(s, 2), FlagButtonsAction::Keep);

  EXPECT_EQ(SwatchChannel(7, 16, 4), 6);
  EXPECT_EQ(SwatchChannel(21, 16, 4), -1);
  for (char k : {'-', '.', 'a'}) EXPECT_FALSE(YLimitKeyPasses(k)) << k;
}
