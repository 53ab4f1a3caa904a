#pragma once
// The reader: the user-interface thread reads a data file whole and parses its
// header (LoadFile); the reader thread then decodes the records into the store and
// reports each step with WM_STATUSMSG. Between loads the thread is parked (idle).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/statusmsg.h"

// How LoadFile gets the memory for a file (as new[], null when there is none) and reads
// the file into it (as fread). Tests replace them to run out of memory or come up short; null
// restores the default.
using LoadAllocator = std::uint8_t* (*)(std::size_t bytes);
using LoadReader = std::size_t (*)(std::uint8_t* to, std::size_t bytes, std::FILE* from);
void SetLoadHooks(LoadAllocator allocate, LoadReader read);

class utReadData {
 public:
  explicit utReadData(bool createSuspended = true);
  virtual ~utReadData();  // stops a running parse, cancels a pending notification, joins
  utReadData(const utReadData&) = delete;
  utReadData& operator=(const utReadData&) = delete;

  void SetNotifyWindow(StatusReceiver* receiver, QObject* context);

  // User-interface thread, reader idle only. Sends code 1 (open failed, or no regular
  // file: nothing else is opened, so a FIFO never holds it up), 2 (out of memory), 1101
  // (not a valid data file) or 4 (header read) before it returns; true when a new
  // buffer is ready for Resume. A parse that runs out of memory sends 2 and ends with
  // no records (6).
  bool LoadFile(const std::string& path);
  void ParseHeader();
  // Sends a text (a path) with a code to the notify window; message is WM_STATUSMSG.
  void SendText(int message, const std::string& text, int code);

  // Lets the parked thread parse the buffer that LoadFile prepared.
  void Resume();
  // Parked, waiting for the next load (never while waiting in a notification).
  bool Idle() const;

  static void DecodeRecordTime(const std::uint8_t* bytes, int& year, int& month, int& day,
                               int& hour, int& minute, int& second);

  // 0 keep as ordinary, 1 discard, 2 or 3 keep and flag; kept from load to load.
  std::atomic<int> DisorderPolicy{0};

 private:
  struct Impl;
  std::unique_ptr<Impl> d;
};
