#pragma once
// Decoding a data file held whole in memory: the header check, the header fields,
// the record times and the record parse that fills the store. Free functions over a
// buffer and its size, so they run (and are tested) without the reader thread.

#include <atomic>
#include <cstdint>

#include "data/pubparam.h"
#include "platform/statusmsg.h"

// Notification codes of a load.
enum StatusCode : int {
  kStatusOpenFailed = 1,
  kStatusOutOfMemory = 2,
  kStatusStoreFull = 3,
  kStatusHeaderRead = 4,
  kStatusFirstRecord = 5,
  kStatusParseDone = 6,
  kStatusRecordCount = 7,
  kStatusInvalidFile = 1101,
  kStatusDisorder = 1102,
};

// Disorder policy values.
enum DisorderPolicyValue : int { kKeepAsOrdinary = 0, kDiscard = 1, kKeepFlagged = 2, kKeepFlaggedClosed = 3 };

constexpr int kModelPowerTotals = 11;

int HeaderSizeOf(int model);                 // 48 for model 11, else 40
int RecordSizeOf(int model, int channels);   // 16 for model 11, else 3 x channels + 6
// Whole records after the header (0 when the file is shorter than its header).
std::int64_t RecordCountOf(int model, int channels, std::int64_t fileSize);

// A file the reader can decode: a channel count of 1..32 and at least the header and
// one whole record.
bool IsValidDataFile(const std::uint8_t* data, std::int64_t size);

// Copies channel count, model code, the two identifier bytes and the device number
// text into the header block and sets the record count to 0. Needs a valid file.
void ParseHeaderFields(const std::uint8_t* data, utPubParam& store);

// Bytes 0..5 of a record to fields; a field outside its range is replaced (year 2008,
// month, day, hour, minute, second 1), so the result is always a valid date and time.
void DecodeTimeFields(const std::uint8_t* bytes, int& year, int& month, int& day, int& hour, int& minute,
                      int& second);

// Where the parse reports. Notify returns once the receiver has handled the message
// (or at once when nobody listens any more).
class ParseSink {
 public:
  virtual ~ParseSink() = default;
  virtual void Notify(const StatusMsg& msg) = 0;
  // Called at most once a parse, from any of its threads, when filling the store runs
  // far below memory speed (its fresh pages are slow to come by).
  virtual void SlowStore() {}
};

enum class ParseOutcome { Completed, Stopped };

// Decodes every record of the buffer into the store and reports 7, 5, at most one
// 1102, at most one 3, and 6. The policy is read after the 1102 answer; stop is
// tested before each record and ends the parse without code 6. A long file whose
// records are all in order is decoded on up to `threads` threads (0: MemoryWorkers()),
// with the same result. With releaseDecoded, such a parse gives the pages of the buffer
// back as it has decoded them (they read as zeros afterwards), so that the file and the
// filled store are not held at once: the caller reads the buffer no more.
ParseOutcome ParseRecords(const std::uint8_t* data, std::int64_t size, utPubParam& store, ParseSink& sink,
                          const std::atomic<int>& policy, const std::atomic<bool>& stop, int threads = 0,
                          bool releaseDecoded = false);
