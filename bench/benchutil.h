#pragma once
// What the timing programs share: the median of repeated runs and the demo recording
// they load (680,000 records of 32 channels with alarms and five power failures).

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "data/pubparam.h"
#include "platform/fonts.h"
#include "tests/support/statuspump.h"  // PumpUntil: the event loop until a condition holds
#include "tools/datagen.h"

// The timing programs measure texts in the faces the program itself uses.
Q_COREAPP_STARTUP_FUNCTION(SetUpFontSubstitutes)

inline double Ms(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Median milliseconds of `runs` calls of body(i).
inline double Median(int runs, const std::function<void(int)>& body) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    body(i);
    times.push_back(Ms(std::chrono::steady_clock::now() - t0));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// Writes the demo recording of the given model to path.
inline bool WriteDemoFile(const std::string& path, int model) {
  GenOptions o;
  o.model = model;
  o.channels = kMaxChannels;
  o.records = kMaxRecords;
  o.alarms = true;
  o.powerFailures = 5;
  return WriteDataFile(path, o);
}
