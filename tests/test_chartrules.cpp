// Curve, channel and cursor rules over a store filled by hand: value range, axes, colours, segments,
// the model set-up, channels that share a name, the record under the cursor and the value panel.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <tuple>

#include "mainwindow/channelrules.h"
#include "mainwindow/chartrules.h"
#include "mainwindow/cursorrules.h"
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

// Appends a record t seconds after midnight of 2024-05-06, its values base + channel.
void Add(utPubParam& s, int t, double base, std::uint8_t marker = 0, int disorder = 0) {
  tagDataRecord& r = s.Records[s.RecordCount++];
  std::memset(&r, 0, sizeof r);
  r.Time = ToDateTimeValue(QDate(2024, 5, 6).addDays(t / 86400), QTime(0, 0).addSecs(t % 86400));
  char text[64] = {};
  std::snprintf(text, sizeof text, "2024-05-06 %02d:%02d:%02d", t / 3600, t / 60 % 60, t % 60);
  std::memcpy(r.TimeText, text, sizeof r.TimeText - 1);
  r.Marker = marker;
  r.Disorder = disorder;
  for (int c = 0; c < kMaxChannels; ++c) r.Channel[c].Value = base + c;
}

// A time of the day.
int Sec(int h, int m, int s) { return h * 3600 + m * 60 + s; }
double At(int h, int m, int s) { return ToDateTimeValue(QDate(2024, 5, 6), QTime(h, m, s)); }

// A store of two channels with records at the given times; record i holds 1.25 * i + c.
utPubParam& StoreWith(const std::vector<int>& seconds) {
  utPubParam& s = FreshStore(2);
  for (int t : seconds) Add(s, t, 1.25 * s.RecordCount);
  return s;
}

}  // namespace

TEST(AdjustYRange, Table) {
  const struct { double mn, mx; int up, down; } cases[] = {
      {-20.0, 50.0, 120, -60},     // a negative DOWN widens outward, so -20 stays visible
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
}

TEST(Colours, InverseAndChannelsOnTheBackground) {
  EXPECT_NE(InvertColorRGB(clBtnFace), InvertColorRGB(clBtnFace & 0xFFFFFF));  // resolved first
  for (TColor bk : {0x000000, 0xFFFFFF, 0x7FFFFF}) {
    for (int c = 0; c < kMaxChannels; ++c) {
      const TColor out = ChannelColourOnBackground(bk, c);
      EXPECT_LE(out, 0xFFFFFF);
      EXPECT_NE(out, bk) << std::hex << bk << " channel " << c;
    }
  }
}

TEST(Segments, AFullStoreFilledInPartsAgreesWithBruteForce) {
  // Random values, single markers and runs of them (one near the middle), records flagged out of
  // order (their times going back), a time going back unflagged and no closing entry (a full
  // store): long enough for every level of the summary and for a fill in parts.
  utPubParam& s = FreshStore(3);
  std::mt19937 rng(20);
  for (int i = 0; i < kMaxRecords; ++i) {
    const int u = static_cast<int>(rng() % 1000);
    const bool marker = u < 2 || (i >= 244800 && i < 244805) || (i >= 339990 && i <= 339992);
    const bool disorder = !marker && i != 100000 && u < 15;
    Add(s, disorder || i == 100000 ? 10 * i - 3000 : 10 * i, 0, marker ? 1 : 0, disorder ? 1 : 0);
    for (int c = 0; c < 3; ++c) s.Records[i].Channel[c].Value = static_cast<int>(rng() % 20001) / 10.0 + 5.0;
  }
  ChartWidget chart;
  std::vector<ChartSeries*> curves;
  const double t0 = s.Records[0].Time, span = s.Records[kMaxRecords - 1].Time - t0;
  for (const int first : {12345, 0}) {
    SCOPED_TRACE(first);
    CreateSeries(chart, curves, s, 0x000000);
    int end = kMaxRecords + 50;  // beyond the count: cut to it
    const int drawn = FillSeries(chart, curves, s, first, end);
    EXPECT_EQ(end, s.RecordCount);
    // The same points added one by one, and the records drawn.
    ChartWidget reference;
    std::vector<int> points;
    for (int c = 0; c < 3; ++c) {
      ChartSeries& one = *reference.AddSeries();
      one.SetColor(curves[static_cast<std::size_t>(c)]->Color());
      for (int i = first; i < end; ++i) {
        const tagDataRecord& r = s.Records[i];
        if (r.Marker != 0) {
          one.BreakSegment();
        } else if (r.Disorder == 0) {
          one.AddXY(r.Time, r.Channel[c].Value);
          if (c == 0) points.push_back(i);
        }
      }
      const ChartSeries& curve = *curves[static_cast<std::size_t>(c)];
      const ChartSegments& a = curve.Source()->Segments();
      const ChartSegments& b = one.Source()->Segments();
      ASSERT_EQ(drawn, one.Count());
      EXPECT_EQ(std::tie(a.start, a.minX, a.maxX), std::tie(b.start, b.minX, b.maxX));
      EXPECT_GT(a.Count(), 1000);  // a curve broken at every marker
      EXPECT_FALSE(a.ascending);
      for (int i = 0; i < drawn; ++i) {
        ASSERT_EQ(curve.XValue(i), one.XValue(i)) << i;
        ASSERT_EQ(curve.YValue(i), one.YValue(i)) << i;
      }
      EXPECT_EQ(curve.MinMaxPair(100, drawn - 100), one.MinMaxPair(100, drawn - 100));
    }
    if (first != 0) continue;  // the pictures and ranges once, over the whole store
    const struct { int width; double from, to; } views[] = {
        {900, 0, 1}, {400, 0, 1},  // many points a column: edges snapped to blocks
        {900, 0.2, 0.5}, {700, 0.4, 0.41},  // columns from the summary and the records
        {700, 0.3595, 0.3605},  // across the run of markers, a line through few points
    };
    for (const auto& v : views) {
      SCOPED_TRACE(v.from);
      for (ChartWidget* w : {&chart, &reference}) {
        w->resize(v.width, 400);
        SetupAxes(*w, 2100, 0, t0 + span * v.from, t0 + span * v.to);
      }
      EXPECT_TRUE(chart.ToImage() == reference.ToImage()) << v.width;
    }

    // Ranges of points, for several curves at once, against the records themselves.
    const ChartSource& src = *curves[0]->Source();
    const int n = static_cast<int>(points.size());
    const int order[] = {2, 0, 1};
    for (int k = 0; k < 120; ++k) {
      const int len = 1 + static_cast<int>(rng() % (k % 3 == 0 ? 100000u : 3000u));
      const int a = static_cast<int>(rng() % static_cast<unsigned>(n - len)), z = a + len;
      float lo[3], hi[3];
      src.MinMax(order, a, z, lo, hi);
      for (int j = 0; j < 3; ++j) {
        float want = FLT_MAX, wantHi = -FLT_MAX;
        for (int p = a; p < z; ++p) {
          const float value = static_cast<float>(s.Records[points[static_cast<std::size_t>(p)]].Channel[order[j]].Value);
          want = std::min(want, value);
          wantHi = std::max(wantHi, value);
        }
        ASSERT_EQ(lo[j], want) << a << ".." << z;
        ASSERT_EQ(hi[j], wantHi) << a << ".." << z;
      }
    }
  }
  ClearSeries(chart, curves);
  s.RecordCount = 0;
}

TEST(ModelSetup, PowerTotalsTakeTheirLabelsFromTheLanguage) {
  // Model 11: language keys Error33 + c, and the tab caption's key Error34.
  utPubParam& p = FreshStore(3, 11);
  std::map<std::string, QString> lang = {{"Error34", "kWh-2"}};
  const LangLookup lookup = [&](const std::string& sec, const std::string& key, const QString& def) {
    return sec == "utPubParam" && lang.count(key) ? lang[key] : def;
  };
  const ModelSetup m = BuildModelSetup(p, lookup);
  EXPECT_EQ(m.labels[0], QString::fromUtf8("电量报表"));
  EXPECT_EQ(m.labels[1], "kWh-2");
  EXPECT_EQ(m.ts6Caption, "kWh-2");

  // The device text runs the model label into the identifier label.
  utPubParam& r = FreshStore(20, 3);
  r.DataHead.HeadByte34 = 12;
  r.DataHead.HeadByte35 = 3;
  std::strcpy(r.DataHead.DeviceNo, "0042");
  EXPECT_EQ(BuildModelSetup(r, DefaultLangText).deviceText, QString::fromUtf8("中型彩色记录仪12030042"));
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
  // The legend follows a rename of a power meter's channel.
  EXPECT_TRUE(RenameChannel(s, 5, "F6"));
  EXPECT_EQ(BuildChannelSummary(s)[5].label, "F6");

  // Legend texts are not cut at 31 bytes.
  const QString longName = QString::fromUtf8("一个比三十一个字节更长的通道名称文字");
  utPubParam& r = FreshStore(4);
  EXPECT_TRUE(RenameChannel(r, 3, longName));
  EXPECT_EQ(BuildChannelSummary(r)[3].label, longName);
}

TEST(CursorSearch, Table) {
  const struct { const char* name; std::vector<int> records; double click; int interval, expect; } cases[] = {
      {"within tolerance", {Sec(7, 59, 40), Sec(7, 59, 58), Sec(8, 0, 30)}, At(8, 0, 4), 10, 1},
      {"one record", {Sec(8, 0, 0)}, At(8, 0, 1), 1, 0},
      {"nothing within 30 s", {Sec(7, 0, 0), Sec(9, 0, 0)}, At(8, 0, 0), 5, -1},
  };
  for (const auto& c : cases) {
    utPubParam& s = StoreWith(c.records);
    const CursorHit hit = FindCursorRecord(s, true, c.click, c.interval, DefaultLangText);
    EXPECT_EQ(hit.record, c.expect) << c.name;
    EXPECT_EQ(hit.message, c.expect < 0 ? QString::fromUtf8("无数据") : QString()) << c.name;
  }
  // An empty store: a stale record at index -1 would be read by a naive search.
  utPubParam& s = StoreWith({});
  int status = 0;
  EXPECT_EQ(FindRecordByTime(s, "2024-05-06 08:00:00", 10, status), -1);
  EXPECT_EQ(status, 2);
}

TEST(CursorSearch, SegmentsAndTheValuePanel) {
  utPubParam& s = StoreWith({Sec(8, 0, 0), Sec(8, 0, 10), Sec(9, 0, 0), Sec(9, 0, 10)});
  ChartSeries series(nullptr);
  for (int i = 0; i < 4; ++i) {
    if (i == 2) series.BreakSegment();
    series.AddXY(s.Records[i].Time, 0);
  }
  const std::vector<ChartSeries*> curves = {&series};
  EXPECT_FALSE(CursorInSegment(curves, At(8, 30, 0)));
  EXPECT_TRUE(CursorInSegment(curves, At(9, 0, 5)));

  // The gap's "停电" rows: see the main form's cursor test.
  const std::vector<LegendRow> rows = {{0, "a"}, {1, "b"}};
  const CursorHit hit = FindCursorRecord(s, true, At(9, 0, 9), 2, DefaultLangText);
  ASSERT_EQ(hit.record, 3);
  s.SysPar.ChannelShown[1] = 0;  // the legend is stale: that row keeps its text
  const auto texts = ValuePanelTexts(s, rows, hit);
  EXPECT_EQ(texts[0].value_or(""), "3.8");  // "%0.1f" of 3.75
  EXPECT_FALSE(texts[1].has_value());
}
