#pragma once
// Writes data files in the instruments' format, for tests, benchmarks and the demo.
// GenerateDataFile builds a whole recording from a few options; DataFileBuilder
// writes exact bytes, record by record, for tests that need a particular file.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/datetime.h"

// Bytes 0..5 of a record exactly as stored: year within the century, month, day,
// hour, minute, second. Any byte value may be written (invalid fields included).
struct RecordTime {
  std::uint8_t year = 23, month = 1, day = 1, hour = 0, minute = 0, second = 0;

  static RecordTime At(int fullYear, int month, int day, int hour, int minute, int second);
  static RecordTime FromDateTime(double t);  // years 2000..2099
};

// Header size and record size of a model and channel count (model 11: 48 / 16,
// others: 40 / 3 x channels + 6).
int DataHeaderSize(int model);
int DataRecordSize(int model, int channels);

class DataFileBuilder {
 public:
  // Starts the file with its header; channels is written as given (0, or above 32,
  // makes an invalid file on purpose).
  DataFileBuilder& header(int model, int channels, std::uint16_t deviceNo = 1, std::uint8_t id34 = 0,
                          std::uint8_t id35 = 0);
  // One ordinary record. raw[i] is channel i's raw value (signed 16 bits; model 11:
  // raw[0] is the record's signed 32-bit value); flags[i] is channel i's flag byte
  // (alarm bits 0..5, decimals in bits 6..7). Missing entries are 0.
  DataFileBuilder& addRecord(const RecordTime& t, const std::vector<std::int32_t>& raw = {},
                             const std::vector<std::uint8_t>& flags = {});
  // A power-failure marker: a record whose last byte is 0xFF.
  DataFileBuilder& addMarker(const RecordTime& t, const std::vector<std::int32_t>& raw = {},
                             const std::vector<std::uint8_t>& flags = {});
  DataFileBuilder& addBytes(const std::vector<std::uint8_t>& extra);

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  int model() const { return model_; }
  int channels() const { return channels_; }
  int headerSize() const { return DataHeaderSize(model_); }
  int recordSize() const { return DataRecordSize(model_, channels_); }
  bool write(const std::string& path) const;

 private:
  std::uint8_t* appendRecord(const RecordTime& t, const std::vector<std::int32_t>& raw,
                             const std::vector<std::uint8_t>& flags);

  int model_ = 0;
  int channels_ = 0;
  std::vector<std::uint8_t> bytes_;
};

struct GenOptions {
  int model = 0;
  int channels = 4;
  std::int64_t records = 100;  // records in the file, markers and out-of-order ones included
  int decimals = 1;            // 0..3, written into every flag byte
  double start = EncodeDateTime(2023, 1, 1, 0, 0, 0);
  int intervalSeconds = 5;
  bool alarms = false;         // set alarm bits where the curves run high or low
  int powerFailures = 0;       // markers spread evenly over the file
  std::vector<std::int64_t> backwardsAt{};  // records timed 2 intervals before the record before them
  bool invalidTimes = false;   // some records get out-of-range time fields
  int trailingBytes = 0;       // bytes after the last whole record
  std::uint16_t deviceNo = 1;
  std::uint8_t id34 = 0, id35 = 0;
  std::uint32_t seed = 1;
};

// Evenly spread indices for n events in a file of `records` records (never index 0).
std::vector<std::int64_t> SpreadIndices(std::int64_t records, int n);

// The value a generated file holds for channel c of record k before scaling, so tests
// can check decoded values against the generator.
std::int32_t GeneratedRaw(const GenOptions& opt, int channel, std::int64_t k);

std::vector<std::uint8_t> GenerateDataFile(const GenOptions& opt);
bool WriteDataFile(const std::string& path, const GenOptions& opt);
