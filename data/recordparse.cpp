#include "data/recordparse.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <vector>

#include "platform/datetime.h"
#include "platform/largemem.h"
#include "platform/parallel.h"

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

// Channel values and alarm flags of a record into w (channels beyond the count untouched).
void DecodeChannelValues(const std::uint8_t* rec, int model, int channels, tagDataRecord& w) {
  for (int i = 0; i < channels; ++i) {
    std::int32_t raw;
    std::uint8_t flag;
    if (model == kModelPowerTotals) {
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
    tagChannelValue& ch = w.Channel[i];
    ch.Value = static_cast<double>(raw) * kScale[flag >> 6];
    std::memcpy(ch.Alarm, kAlarms.flags[flag & 0x3F], 6);
  }
}

// The value range of accepted records, seeded by the first accepted value.
struct ValueRange {
  bool any = false;
  double min = 100000.0, max = -100000.0;
  void Add(double value) {
    if (!any) {
      min = max = value;
      any = true;
    } else if (value < min) {
      min = value;
    } else if (value > max) {
      max = value;
    }
  }
  void Add(const ValueRange& other) {
    if (!other.any) return;
    Add(other.min);
    Add(other.max);
  }
};

double RecordTimeOf(const std::uint8_t* rec, int& y, int& mo, int& d, int& h, int& mi, int& s) {
  DecodeTimeFields(rec, y, mo, d, h, mi, s);
  return EncodeDateTime(y, mo, d, h, mi, s);
}

double RecordTimeOf(const std::uint8_t* rec) {
  int y, mo, d, h, mi, s;
  return RecordTimeOf(rec, y, mo, d, h, mi, s);
}

// Files from this many records are decoded on several threads.
constexpr std::int64_t kRecordsPerPart = 16384;
// The first write into each 2 MB of the store commits its page: a large page takes
// well under a millisecond at memory speed. Two slower ones in a row (not one, which
// may be the thread losing its core) mean fresh pages come at a cost here.
constexpr double kSlowPageMs = 2.0;

// Writes entries into the store, timing the first write into each 2 MB of it: two
// slow ones in a row tell the sink (once a parse, whichever thread finds them).
class StoreWriter {
 public:
  StoreWriter(tagDataRecord* records, std::atomic<bool>& slow, ParseSink& sink)
      : records_(records), slow_(slow), sink_(sink) {}
  void Put(std::int64_t k, const tagDataRecord& w) {
    const std::uintptr_t last = reinterpret_cast<std::uintptr_t>(&records_[k + 1]) - 1;
    if (last / kLargePage == page_) {
      records_[k] = w;
      return;
    }
    page_ = last / kLargePage;
    const auto t0 = std::chrono::steady_clock::now();
    records_[k] = w;
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    slowPages_ = ms > kSlowPageMs ? slowPages_ + 1 : 0;
    if (slowPages_ == 2 && !slow_.exchange(true)) sink_.SlowStore();
  }

 private:
  tagDataRecord* records_;
  std::atomic<bool>& slow_;
  ParseSink& sink_;
  std::uintptr_t page_ = 0;
  int slowPages_ = 0;
};

class Parser {
 public:
  Parser(const std::uint8_t* data, std::int64_t size, utPubParam& store, ParseSink& sink,
         const std::atomic<int>& policy, const std::atomic<bool>& stop)
      : data_(data), size_(size), store_(store), sink_(sink), policy_(policy), stop_(stop) {}

  ParseOutcome Run();
  int threads = 1;
  bool releaseDecoded = false;

 private:
  bool Marker(std::int64_t k) const { return records_[k * recordSize_ + recordSize_ - 1] == 0xFF; }
  bool InOrder(std::int64_t n, int parts) const;
  bool StoreInParallel(std::int64_t n, int parts);
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
  const std::uint8_t* records_ = nullptr;
  tagDataRecord work_{};
  std::int32_t count_ = 0;
  std::int32_t markerCount_ = 0;
  std::vector<std::int32_t> markerIndex_;
  double reference_ = 0.0, earliest_ = 0.0, latest_ = 0.0;
  std::int32_t earliestIndex_ = -1, latestIndex_ = -1;
  bool disorderReported_ = false;
  ValueRange range_;
  std::atomic<bool> slow_{false};
  StoreWriter writer_{store_.Records, slow_, sink_};
};

void Parser::Flush() {
  store_.RecordCount = count_;
  store_.DataHead.MarkerCount = markerCount_;
  store_.DataHead.EarliestIndex = earliestIndex_;
  store_.DataHead.LatestIndex = latestIndex_;
  store_.MinValue = range_.min;
  store_.MaxValue = range_.max;
}

void Parser::Send(int code, std::int64_t value, const QString& text, const QString& first, const QString& second) {
  Flush();  // the receiver sees the store exactly as the parse has left it
  sink_.Notify(StatusMsg{code, value, text, first, second});
}

int Parser::Store() {
  writer_.Put(count_, work_);
  return count_++;
}

void Parser::DecodeValues(const std::uint8_t* rec) {
  DecodeChannelValues(rec, model_, channels_, work_);
  if (work_.Disorder != 0) return;
  for (int i = 0; i < channels_; ++i) range_.Add(work_.Channel[i].Value);
}

// Without a record out of time order (and within the store's limit) record k of the
// file is stored at entry k, whatever the other records are: the parse can then be
// cut into parts decoded at once.
bool Parser::InOrder(std::int64_t n, int parts) const {
  std::atomic<bool> inOrder{true};
  RunParts(parts, [&](int p) {
    const std::int64_t a = 1 + (n - 1) * p / parts, b = 1 + (n - 1) * (p + 1) / parts;
    // With every record in order the reference is always the previous record's time.
    double previous = RecordTimeOf(records_ + (a - 1) * recordSize_);
    for (std::int64_t k = a; k < b; ++k) {
      if ((k & 1023) == 0 && !inOrder.load(std::memory_order_relaxed)) return;
      const double t = RecordTimeOf(records_ + k * recordSize_);
      if (t < previous && !Marker(k)) {
        inOrder = false;
        return;
      }
      previous = t;
    }
  });
  return inOrder.load();
}

// Records 1 .. n - 1 of a file that is in order, as HandleRecord stores them one by one;
// false when stopped.
bool Parser::StoreInParallel(std::int64_t n, int parts) {
  struct Part {
    ValueRange range;
    double earliest = 0.0, latest = 0.0;
    std::int32_t earliestIndex = -1, latestIndex = -1;
    std::vector<std::int32_t> markers;
    bool stopped = false;
  };
  std::vector<Part> part(static_cast<std::size_t>(parts));
  // A part gives back no byte of the record the next part starts from (nor after).
  std::vector<std::int64_t> keep(static_cast<std::size_t>(parts), n);
  for (int p = 0; p + 1 < parts; ++p) {
    std::int64_t j = 1 + (n - 1) * (p + 1) / parts - 1;
    while (j > 0 && Marker(j)) --j;
    keep[static_cast<std::size_t>(p)] = j;
  }
  RunParts(parts, [&](int p) {
    Part& out = part[static_cast<std::size_t>(p)];
    const std::int64_t a = 1 + (n - 1) * p / parts, b = 1 + (n - 1) * (p + 1) / parts;
    std::int64_t released = a;
    const auto release = [&](std::int64_t upTo) {
      upTo = std::min(upTo, keep[static_cast<std::size_t>(p)]);
      if (!releaseDecoded || upTo <= released) return;
      ReleasePages(records_ + released * recordSize_, records_ + upTo * recordSize_);
      released = upTo;
    };
    tagDataRecord w;
    std::memset(static_cast<void*>(&w), 0, sizeof w);
    // What the one-by-one parse carries into record a: the values of the last ordinary
    // record (zeros before the first), and the text of the entry before, which for a
    // run of markers is the text of the record ahead of the run.
    std::int64_t j = a - 1;
    while (j > 0 && Marker(j)) --j;
    if (!Marker(j)) DecodeChannelValues(records_ + j * recordSize_, model_, channels_, w);
    int y, mo, d, h, mi, s;
    RecordTimeOf(records_ + j * recordSize_, y, mo, d, h, mi, s);
    char previous[20];
    FormatTimeText(previous, y, mo, d, h, mi, s);
    out.earliest = earliest_;
    out.latest = latest_;

    StoreWriter writer(store_.Records, slow_, sink_);
    for (std::int64_t k = a; k < b; ++k) {
      if ((k & 1023) == 0 && stop_.load(std::memory_order_relaxed)) {
        out.stopped = true;
        return;
      }
      if ((k & 16383) == 0) release(k);
      const std::uint8_t* rec = records_ + k * recordSize_;
      const double t = RecordTimeOf(rec, y, mo, d, h, mi, s);
      w.Time = t;
      w.Disorder = 0;
      if (Marker(k)) {
        w.Marker = 1;
        std::memcpy(w.TimeText, previous, sizeof w.TimeText);
        out.markers.push_back(static_cast<std::int32_t>(k));
      } else {
        w.Marker = 0;
        FormatTimeText(w.TimeText, y, mo, d, h, mi, s);
        std::memcpy(previous, w.TimeText, sizeof previous);
        DecodeChannelValues(rec, model_, channels_, w);
        for (int i = 0; i < channels_; ++i) out.range.Add(w.Channel[i].Value);
        if (t < out.earliest) {
          out.earliest = t;
          out.earliestIndex = static_cast<std::int32_t>(k);
        }
        if (t > out.latest) {
          out.latest = t;
          out.latestIndex = static_cast<std::int32_t>(k);
        }
      }
      writer.Put(k, w);
    }
    release(b);
  });

  for (const Part& p : part) {
    if (p.stopped) return false;
    range_.Add(p.range);
    if (p.earliestIndex >= 0 && p.earliest < earliest_) {
      earliest_ = p.earliest;
      earliestIndex_ = p.earliestIndex;
    }
    if (p.latestIndex >= 0 && p.latest > latest_) {
      latest_ = p.latest;
      latestIndex_ = p.latestIndex;
    }
    markerIndex_.insert(markerIndex_.end(), p.markers.begin(), p.markers.end());
    markerCount_ += static_cast<std::int32_t>(p.markers.size());
  }
  count_ = static_cast<std::int32_t>(n);
  work_ = store_.Records[n - 1];  // what the closing entry copies
  return true;
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
  records_ = records;

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

  const int parts = static_cast<int>(std::min<std::int64_t>(threads, n / kRecordsPerPart));
  for (std::int64_t k = 0; k < n; ++k) {
    if (stop_.load(std::memory_order_relaxed)) {
      Flush();
      return ParseOutcome::Stopped;
    }
    if (!HandleRecord(k, records + k * recordSize_)) break;
    // Record 0 (and its code 5) one by one, the rest at once when nothing can interrupt it.
    if (k == 0 && parts > 1 && n <= kMaxRecords && InOrder(n, parts)) {
      if (!StoreInParallel(n, parts)) {
        Flush();
        return ParseOutcome::Stopped;
      }
      break;
    }
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
                          const std::atomic<int>& policy, const std::atomic<bool>& stop, int threads,
                          bool releaseDecoded) {
  Parser parser(data, size, store, sink, policy, stop);
  parser.threads = threads > 0 ? threads : MemoryWorkers();
  parser.releaseDecoded = releaseDecoded;
  return parser.Run();
}
