#include "data/recordparse.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/datetime.h"

int HeaderSizeOf(int model) { return model == kModelPowerTotals ? 48 : 40; }

int RecordSizeOf(int model, int channels) { return model == kModelPowerTotals ? 16 : 3 * channels + 6; }

std::int64_t RecordCountOf(int model, int channels, std::int64_t fileSize) {
  const std::int64_t body = fileSize - HeaderSizeOf(model);
  const int r = RecordSizeOf(model, channels);
  return body <= 0 || r <= 0 ? 0 : body / r;
}

bool IsValidDataFile(const std::uint8_t* data, std::int64_t size) {
  if (data == nullptr || size < 40) return false;  // every header is at least 40 bytes
  const int channels = data[0];
  const int model = data[33];
  if (channels < 1 || channels > kMaxChannels) return false;
  return RecordCountOf(model, channels, size) >= 1;
}

void ParseHeaderFields(const std::uint8_t* data, utPubParam& store) {
  store.RecordCount = 0;
  tagDataHead& head = store.DataHead;
  head.ChannelCount = data[0];
  head.ModelCode = data[33];
  head.HeadByte34 = data[34];
  head.HeadByte35 = data[35];
  std::snprintf(head.DeviceNo, sizeof head.DeviceNo, "%4.4d", data[36] + 256 * data[37]);
}

void DecodeTimeFields(const std::uint8_t* b, int& year, int& month, int& day, int& hour, int& minute,
                      int& second) {
  // The year byte counts years within the century; 100 and up would read as 20100
  // and more, which is out of range.
  year = b[0] < 100 ? 2000 + b[0] : 2008;
  month = b[1] >= 1 && b[1] <= 12 ? b[1] : 1;
  day = b[2] >= 1 && b[2] <= DaysInMonth(year, month) ? b[2] : 1;
  hour = b[3] <= 23 ? b[3] : 1;
  minute = b[4] <= 59 ? b[4] : 1;
  second = b[5] <= 59 ? b[5] : 1;
}

namespace {

// "%04d-%02d-%02d %02d:%02d:%02d" of fields already in range, without printf's cost
// (this runs once per record).
void FormatTimeText(char* out, int y, int mo, int d, int h, int mi, int s) {
  auto two = [](char* p, int v) {
    p[0] = static_cast<char>('0' + v / 10);
    p[1] = static_cast<char>('0' + v % 10);
  };
  two(out, y / 100);
  two(out + 2, y % 100);
  out[4] = '-';
  two(out + 5, mo);
  out[7] = '-';
  two(out + 8, d);
  out[10] = ' ';
  two(out + 11, h);
  out[13] = ':';
  two(out + 14, mi);
  out[16] = ':';
  two(out + 17, s);
  out[19] = '\0';
}

constexpr double kScale[4] = {1.0, 0.1, 0.01, 0.001};

// The six alarm flags of each flag-byte value (bits 0..5).
struct AlarmTable {
  std::uint8_t flags[64][6];
  AlarmTable() {
    for (int v = 0; v < 64; ++v)
      for (int j = 0; j < 6; ++j) flags[v][j] = static_cast<std::uint8_t>((v >> j) & 1);
  }
};
const AlarmTable kAlarms;

class Parser {
 public:
  Parser(const std::uint8_t* data, std::int64_t size, utPubParam& store, ParseSink& sink,
         const std::atomic<int>& policy, const std::atomic<bool>& stop)
      : data_(data), size_(size), store_(store), sink_(sink), policy_(policy), stop_(stop) {}

  ParseOutcome Run();

 private:
  bool HandleRecord(std::int64_t k, const std::uint8_t* rec);
  void DecodeValues(const std::uint8_t* rec);
  int Store();
  const char* PreviousText(const char* own) const {
    return count_ > 0 ? store_.Records[count_ - 1].TimeText : own;
  }
  void Flush();
  void Send(int code, std::int64_t value = 0, const QString& text = {}, const QString& first = {},
            const QString& second = {});

  const std::uint8_t* data_;
  std::int64_t size_;
  utPubParam& store_;
  ParseSink& sink_;
  const std::atomic<int>& policy_;
  const std::atomic<bool>& stop_;

  int model_ = 0, channels_ = 0, recordSize_ = 0;
  tagDataRecord work_{};
  std::int32_t count_ = 0;
  std::int32_t markerCount_ = 0;
  std::vector<std::int32_t> markerIndex_;
  double reference_ = 0.0, earliest_ = 0.0, latest_ = 0.0;
  std::int32_t earliestIndex_ = -1, latestIndex_ = -1;
  bool disorderReported_ = false;
  bool anyValue_ = false;
  double min_ = 100000.0, max_ = -100000.0;
};

void Parser::Flush() {
  store_.RecordCount = count_;
  store_.DataHead.MarkerCount = markerCount_;
  store_.DataHead.EarliestIndex = earliestIndex_;
  store_.DataHead.LatestIndex = latestIndex_;
  store_.MinValue = min_;
  store_.MaxValue = max_;
}

void Parser::Send(int code, std::int64_t value, const QString& text, const QString& first, const QString& second) {
  Flush();  // the receiver sees the store exactly as the parse has left it
  sink_.Notify(StatusMsg{code, value, text, first, second});
}

int Parser::Store() {
  store_.Records[count_] = work_;
  return count_++;
}

void Parser::DecodeValues(const std::uint8_t* rec) {
  const bool accepted = work_.Disorder == 0;
  for (int i = 0; i < channels_; ++i) {
    std::int32_t raw;
    std::uint8_t flag;
    if (model_ == kModelPowerTotals) {
      raw = static_cast<std::int32_t>(static_cast<std::uint32_t>(rec[6]) | static_cast<std::uint32_t>(rec[7]) << 8 |
                                      static_cast<std::uint32_t>(rec[8]) << 16 |
                                      static_cast<std::uint32_t>(rec[9]) << 24);
      // A 16-byte record has flag bytes for channels 0 and 1 only.
      flag = i < 2 ? rec[10 + 3 * i] : 0;
    } else {
      const std::uint8_t* p = rec + 6 + 3 * i;
      raw = static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | p[1] << 8));
      flag = p[2];
    }
    tagChannelValue& ch = work_.Channel[i];
    const double value = static_cast<double>(raw) * kScale[flag >> 6];
    ch.Value = value;
    std::memcpy(ch.Alarm, kAlarms.flags[flag & 0x3F], 6);
    if (!accepted) continue;
    if (!anyValue_) {
      min_ = max_ = value;
      anyValue_ = true;
    } else if (value < min_) {
      min_ = value;
    } else if (value > max_) {
      max_ = value;
    }
  }
}

// False when the parse must end here (the store is full).
bool Parser::HandleRecord(std::int64_t k, const std::uint8_t* rec) {
  const bool marker = rec[recordSize_ - 1] == 0xFF;
  if (!marker && count_ >= kMaxRecords) {
    // Keep the first records of the file rather than starting over at entry 0; the
    // rest of the file is left out and the closing entry takes the spare slot.
    Send(kStatusStoreFull);
    return false;
  }
  int y, mo, d, h, mi, s;
  DecodeTimeFields(rec, y, mo, d, h, mi, s);
  const double t = EncodeDateTime(y, mo, d, h, mi, s);
  work_.Time = t;

  if (marker) {
    work_.Marker = 1;
    work_.Disorder = 0;
    reference_ = t;
    char own[20];
    FormatTimeText(own, y, mo, d, h, mi, s);
    std::memcpy(work_.TimeText, PreviousText(own), sizeof work_.TimeText);
    if (count_ < kMaxRecords) {  // a marker that finds the store full is left out
      markerIndex_.push_back(Store());
      ++markerCount_;
    }
    if (k == 0) Send(kStatusFirstRecord);
    return true;
  }

  FormatTimeText(work_.TimeText, y, mo, d, h, mi, s);  // this record's own text from here on
  if (t >= reference_) {
    work_.Disorder = 0;
    reference_ = t;
  } else {
    if (!disorderReported_) {
      char previous[20];
      std::memcpy(previous, PreviousText(work_.TimeText), sizeof previous);
      const QString first = QString::fromLatin1(previous);
      const QString second = QString::fromLatin1(work_.TimeText);
      Send(kStatusDisorder, 0, first + QStringLiteral("~~") + second, first, second);
      disorderReported_ = true;
    }
    const int policy = policy_.load();
    if (policy == kDiscard) return true;
    work_.Disorder = policy == kKeepFlagged || policy == kKeepFlaggedClosed ? 1 : 0;
  }
  work_.Marker = 0;
  DecodeValues(rec);
  const int index = Store();
  if (work_.Disorder == 0) {
    if (t < earliest_) {
      earliest_ = t;
      earliestIndex_ = index;
    }
    if (t > latest_) {
      latest_ = t;
      latestIndex_ = index;
    }
  }
  if (k == 0) Send(kStatusFirstRecord);
  return true;
}

ParseOutcome Parser::Run() {
  model_ = store_.DataHead.ModelCode;
  const int headerChannels = store_.DataHead.ChannelCount;
  channels_ = headerChannels < kMaxChannels ? headerChannels : kMaxChannels;
  recordSize_ = RecordSizeOf(model_, headerChannels);
  const std::int64_t n = RecordCountOf(model_, headerChannels, size_);
  const std::uint8_t* records = data_ + HeaderSizeOf(model_);

  count_ = 0;
  store_.DataHead.PowerFailures.clear();
  Send(kStatusRecordCount, n);

  if (n > 0) {
    int y, mo, d, h, mi, s;
    DecodeTimeFields(records, y, mo, d, h, mi, s);
    reference_ = earliest_ = latest_ = EncodeDateTime(y, mo, d, h, mi, s);
  }
  // Zeroed, so a marker ahead of the first ordinary record carries no values or alarms.
  std::memset(static_cast<void*>(&work_), 0, sizeof work_);

  for (std::int64_t k = 0; k < n; ++k) {
    if (stop_.load(std::memory_order_relaxed)) {
      Flush();
      return ParseOutcome::Stopped;
    }
    if (!HandleRecord(k, records + k * recordSize_)) break;
  }

  if (n > 0) {
    markerIndex_.push_back(count_);
    const bool lastIsMarker = count_ > 0 && store_.Records[count_ - 1].Marker == 1;
    if (!lastIsMarker) {
      tagDataRecord closing = work_;
      closing.Marker = 1;
      std::memcpy(closing.TimeText, PreviousText(work_.TimeText), sizeof closing.TimeText);
      work_ = closing;
      Store();  // the array keeps one slot beyond the record limit for this entry
      ++markerCount_;
    }
  }

  // Power off at a marker, power on at the entry after it; an index past the stored
  // entries takes the last stored time instead of reading a stale or missing entry.
  auto timeAt = [&](std::int64_t i) {
    if (count_ == 0) return 0.0;
    return store_.Records[i < count_ ? i : count_ - 1].Time;
  };
  for (std::int32_t m : markerIndex_) store_.DataHead.PowerFailures.push_back(pwrTime{timeAt(m), timeAt(m + 1)});
  Send(kStatusParseDone);
  return ParseOutcome::Completed;
}

}  // namespace

ParseOutcome ParseRecords(const std::uint8_t* data, std::int64_t size, utPubParam& store, ParseSink& sink,
                          const std::atomic<int>& policy, const std::atomic<bool>& stop) {
  Parser parser(data, size, store, sink, policy, stop);
  return parser.Run();
}
