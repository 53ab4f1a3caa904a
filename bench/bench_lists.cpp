// Timing of the report lists on a full store: 680,000 records of 32 channels with
// alarms and power failures. Prints one line of figures (milliseconds, median of runs).

#include <QApplication>
#include <QDateEdit>
#include <QDateTime>
#include <QTimeEdit>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "data/pubparam.h"
#include "reports/Utpage.h"
#include "mainwindow/reportmodel.h"
#include "reports/statistics.h"
#include "mainwindow/utLogInfo.h"
#include "ui_frmLogInfo.h"

namespace {

void FillStore(utPubParam& store) {
  const int n = kMaxRecords;
  store.DataHead.ChannelCount = 32;
  store.DataHead.ModelCode = 3;
  for (int k = 0; k < kMaxChannels; ++k) {
    store.SysPar.ChannelName[k] = "CH" + std::to_string(k + 1);
    store.SysPar.ChannelShown[k] = 1;
  }
  const QDateTime base(QDate(2024, 1, 1), QTime(0, 0, 0));
  std::uint32_t seed = 12345;
  auto rnd = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (int i = 0; i < n; ++i) {
    tagDataRecord& r = store.Records[i];
    std::memset(&r, 0, sizeof r);
    const QByteArray t = base.addSecs(i * 10LL).toString("yyyy-MM-dd HH:mm:ss").toLatin1();
    std::memcpy(r.TimeText, t.constData(), 19);
    r.Time = 45292.0 + i * 10.0 / 86400.0;
    for (int k = 0; k < 32; ++k) r.Channel[k].Value = (rnd() % 200000) / 100.0 - 1000.0;
    if (rnd() % 50 == 0) r.Channel[rnd() % 32].Alarm[rnd() % 6] = 1;  // about 2% alarm records
    if (i > 0 && i % 100000 == 0) {  // a power failure now and then
      std::memcpy(&r, &store.Records[i - 1], sizeof r);
      r.Marker = 1;
    }
  }
  store.RecordCount = n;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double TimeMs(const std::function<void()>& f, int runs) {
  std::vector<double> t;
  for (int i = 0; i < runs; ++i) {
    const auto a = std::chrono::steady_clock::now();
    f();
    t.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - a).count());
  }
  return Median(t);
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  utPubParam& store = *GetPubParam();
  FillStore(store);
  const ReportSource src = StoreSource();
  const int end = store.RecordCount;

  // One data page as the list shows it: the rows' indices and every cell text.
  volatile qsizetype sink = 0;
  const double page = TimeMs([&] {
    const auto rows = ShowDataPage(src, 2000, 0, 1, end);
    const QString pf = PowerFailText();
    for (auto r : rows) sink = sink + DataRowTexts(store.Records[r], src.channelCount, pf).size();
  }, 21);

  std::int32_t alarms = 0;
  const double alarmIndex = TimeMs([&] { alarms = BuildAlarmIndex(0, end); }, 7);
  const double average = TimeMs([&] { sink = sink + BuildAverageRow(src, 0, end).rows.size(); }, 7);
  const double peaks = TimeMs([&] { sink = sink + BuildPeakStatistics(src, 0, end).rows.size(); }, 7);
  const double energy = TimeMs([&] { sink = sink + BuildEnergyTotal(src, 0, end).rows.size(); }, 7);

  // The log window's query of the whole recording, up to its first paint.
  TfrmLogInfo* w = ShowLogInfo();
  Ui::frmLogInfo* ui = w->UiForm();
  ui->dtp1->setDate(QDate(2000, 1, 1));
  ui->dtp2->setTime(QTime(0, 0, 0));
  ui->dtp4->setDate(QDate(2099, 12, 31));
  ui->dtp3->setTime(QTime(23, 59, 59));
  int rows = 0;
  const double logQuery = TimeMs([&] {
    w->btn1Click();
    w->repaint();
    w->grab();  // renders the visible rows
    rows = w->Model()->rowCount();
  }, 5);

  std::printf(
      "bench_lists records=%d channels=32 alarm_records=%d log_rows=%d | data_page_150=%.3f ms (<=2) "
      "alarm_index=%.2f ms (<=30) average=%.2f ms (<=60) peaks=%.2f ms (<=60) energy=%.2f ms "
      "log_query_first_paint=%.1f ms (<=300)\n",
      end, alarms, rows, page, alarmIndex, average, peaks, energy, logQuery);
  return 0;
}
