#include "tools/datagen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

RecordTime RecordTime::At(int fullYear, int month, int day, int hour, int minute, int second) {
  RecordTime t;
  t.year = static_cast<std::uint8_t>(fullYear - 2000);
  t.month = static_cast<std::uint8_t>(month);
  t.day = static_cast<std::uint8_t>(day);
  t.hour = static_cast<std::uint8_t>(hour);
  t.minute = static_cast<std::uint8_t>(minute);
  t.second = static_cast<std::uint8_t>(second);
  return t;
}

RecordTime RecordTime::FromDateTime(double t) {
  int y, mo, d, h, mi, s;
  DecodeDateTime(t, y, mo, d, h, mi, s);
  return At(y, mo, d, h, mi, s);
}

int DataHeaderSize(int model) { return model == 11 ? 48 : 40; }
int DataRecordSize(int model, int channels) { return model == 11 ? 16 : 3 * channels + 6; }

DataFileBuilder& DataFileBuilder::header(int model, int channels, std::uint16_t deviceNo, std::uint8_t id34,
                                         std::uint8_t id35) {
  model_ = model;
  channels_ = channels;
  bytes_.assign(static_cast<std::size_t>(DataHeaderSize(model)), 0);
  bytes_[0] = static_cast<std::uint8_t>(channels);
  bytes_[33] = static_cast<std::uint8_t>(model);
  bytes_[34] = id34;
  bytes_[35] = id35;
  bytes_[36] = static_cast<std::uint8_t>(deviceNo & 0xFF);
  bytes_[37] = static_cast<std::uint8_t>(deviceNo >> 8);
  return *this;
}

std::uint8_t* DataFileBuilder::appendRecord(const RecordTime& t, const std::vector<std::int32_t>& raw,
                                            const std::vector<std::uint8_t>& flags) {
  const std::size_t at = bytes_.size();
  bytes_.resize(at + static_cast<std::size_t>(recordSize()), 0);
  std::uint8_t* r = bytes_.data() + at;
  r[0] = t.year;
  r[1] = t.month;
  r[2] = t.day;
  r[3] = t.hour;
  r[4] = t.minute;
  r[5] = t.second;
  auto rawAt = [&](std::size_t i) { return i < raw.size() ? raw[i] : 0; };
  auto flagAt = [&](std::size_t i) { return i < flags.size() ? flags[i] : std::uint8_t{0}; };
  if (model_ == 11) {
    const auto v = static_cast<std::uint32_t>(rawAt(0));
    for (int b = 0; b < 4; ++b) r[6 + b] = static_cast<std::uint8_t>(v >> (8 * b));
    r[10] = flagAt(0);
    r[13] = flagAt(1);
  } else {
    for (int i = 0; i < channels_; ++i) {
      const auto v = static_cast<std::uint16_t>(static_cast<std::int16_t>(rawAt(static_cast<std::size_t>(i))));
      r[6 + 3 * i] = static_cast<std::uint8_t>(v & 0xFF);
      r[7 + 3 * i] = static_cast<std::uint8_t>(v >> 8);
      r[8 + 3 * i] = flagAt(static_cast<std::size_t>(i));
    }
  }
  return r;
}

DataFileBuilder& DataFileBuilder::addRecord(const RecordTime& t, const std::vector<std::int32_t>& raw,
                                            const std::vector<std::uint8_t>& flags) {
  appendRecord(t, raw, flags);
  return *this;
}

DataFileBuilder& DataFileBuilder::addMarker(const RecordTime& t, const std::vector<std::int32_t>& raw,
                                            const std::vector<std::uint8_t>& flags) {
  std::uint8_t* r = appendRecord(t, raw, flags);
  r[recordSize() - 1] = 0xFF;
  return *this;
}

DataFileBuilder& DataFileBuilder::addBytes(const std::vector<std::uint8_t>& extra) {
  bytes_.insert(bytes_.end(), extra.begin(), extra.end());
  return *this;
}

bool DataFileBuilder::write(const std::string& path) const {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = bytes_.empty() || std::fwrite(bytes_.data(), 1, bytes_.size(), f) == bytes_.size();
  return std::fclose(f) == 0 && ok;
}

std::vector<std::int64_t> SpreadIndices(std::int64_t records, int n) {
  std::vector<std::int64_t> at;
  for (int j = 1; j <= n && records > 1; ++j) {
    const std::int64_t k = records * j / (n + 1);
    if (k > 0 && (at.empty() || k > at.back())) at.push_back(k);
  }
  return at;
}

namespace {

std::uint32_t Hash(std::uint32_t seed, std::uint32_t a, std::uint64_t b) {
  std::uint64_t x = (static_cast<std::uint64_t>(seed) << 40) ^ (static_cast<std::uint64_t>(a) << 32) ^ b;
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  x ^= x >> 33;
  return static_cast<std::uint32_t>(x);
}

// Position of channel c's curve at record k, in -1..1.
double Wave(int c, std::int64_t k) {
  const double period = 2000.0 + 250.0 * c;
  return std::sin(2.0 * std::numbers::pi * static_cast<double>(k) / period + 0.7 * c);
}

std::uint8_t AlarmBits(double wave) {
  std::uint8_t bits = 0;
  if (wave > 0.92) bits |= 0x01;   // upper limit
  if (wave < -0.92) bits |= 0x02;  // lower limit
  if (wave > 0.995) bits |= 0x10;  // over-range at the very top
  return bits;
}

}  // namespace

std::int32_t GeneratedRaw(const GenOptions& opt, int channel, std::int64_t k) {
  const int noise = static_cast<int>(Hash(opt.seed, static_cast<std::uint32_t>(channel), static_cast<std::uint64_t>(k)) % 41) - 20;
  if (opt.model == 11) return 150000 + static_cast<std::int32_t>(k) * 7 + (noise + 20) / 10;  // a rising total
  const int n = std::max(opt.channels, 1);
  const double centre = n == 1 ? 0.0 : -24000.0 + 48000.0 * channel / (n - 1);
  const double amplitude = 1500.0 + 300.0 * (channel % 3);
  const double v = centre + amplitude * Wave(channel, k) + noise;
  return static_cast<std::int32_t>(std::clamp(std::lround(v), -32768L, 32767L));
}

std::vector<std::uint8_t> GenerateDataFile(const GenOptions& opt) {
  DataFileBuilder b;
  b.header(opt.model, opt.channels, opt.deviceNo, opt.id34, opt.id35);
  const int stored = opt.model == 11 ? 2 : std::clamp(opt.channels, 0, 255);
  const auto decimalBits = static_cast<std::uint8_t>((std::clamp(opt.decimals, 0, 3)) << 6);
  const std::vector<std::int64_t> markers = SpreadIndices(opt.records, opt.powerFailures);
  std::vector<std::int64_t> backwards = opt.backwardsAt;
  std::sort(backwards.begin(), backwards.end());

  const double step = opt.intervalSeconds / 86400.0;
  const double outage = 1.0 / 24.0;  // each power failure leaves an hour without records
  double shift = 0.0;
  double previous = opt.start;
  std::size_t nextMarker = 0, nextBack = 0;
  std::vector<std::int32_t> raw(static_cast<std::size_t>(std::max(stored, 1)));
  std::vector<std::uint8_t> flags(static_cast<std::size_t>(std::max(stored, 1)));
  for (std::int64_t k = 0; k < opt.records; ++k) {
    double t = opt.start + static_cast<double>(k) * step + shift;
    const bool isMarker = nextMarker < markers.size() && markers[nextMarker] == k;
    while (nextBack < backwards.size() && backwards[nextBack] < k) ++nextBack;
    if (nextBack < backwards.size() && backwards[nextBack] == k && k > 0) {
      t = previous - 2 * step;  // earlier than the record before it, whatever that was
      ++nextBack;
    }
    previous = t;
    RecordTime rt = RecordTime::FromDateTime(t);
    if (opt.invalidTimes && k % 53 == 17) {
      switch ((k / 53) % 6) {
        case 0: rt.month = 13; break;
        case 1: rt.hour = 24; break;
        case 2: rt.month = 2; rt.day = 30; break;
        case 3: rt.minute = 60; break;
        case 4: rt.second = 61; break;
        default: rt.year = 150; break;
      }
    }
    if (!isMarker) {  // a marker repeats the values of the record before it
      for (int c = 0; c < stored; ++c) {
        raw[static_cast<std::size_t>(c)] = GeneratedRaw(opt, c, k);
        flags[static_cast<std::size_t>(c)] =
            static_cast<std::uint8_t>(decimalBits | (opt.alarms && opt.model != 11 ? AlarmBits(Wave(c, k)) : 0));
      }
    }
    if (isMarker) {
      b.addMarker(rt, raw, flags);
      ++nextMarker;
      shift += outage;
    } else {
      b.addRecord(rt, raw, flags);
    }
  }
  b.addBytes(std::vector<std::uint8_t>(static_cast<std::size_t>(std::max(opt.trailingBytes, 0)), 0x5A));
  return b.bytes();
}

bool WriteDataFile(const std::string& path, const GenOptions& opt) {
  const std::vector<std::uint8_t> bytes = GenerateDataFile(opt);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}
