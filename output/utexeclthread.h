#pragma once
// The export thread: writes the file of one export (output/exportfile.h) off the
// user-interface thread and reports to the main window with WM_STATUSMSG: code 9 once
// every byte is written and the file has replaced the target, or kStatusExportFailed
// with a message naming the file and the reason. The file is written beside the target
// and renamed over it only when whole (platform/safefile.h): a failed export leaves
// what stood at the name as it was, and a target that is no regular file is refused.
//
// One object per export. The setters and Resume are called on the user-interface
// thread; Resume takes the settings it needs from the store there, while the records
// and the record count are read by the thread (the main window refuses to open another
// file while an export runs). Deleting the object stops a running export: it waits
// about a second for the thread, which then removes its unfinished file; a thread held
// up longer by the system is left to do that on its own.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QObject;
class StatusReceiver;

constexpr int kStatusExportDone = 9;
constexpr int kStatusExportFailed = 10;

class utExeclthread {
 public:
  explicit utExeclthread(bool createSuspended = true);
  virtual ~utExeclthread();
  utExeclthread(const utExeclthread&) = delete;
  utExeclthread& operator=(const utExeclthread&) = delete;

  void SetFileName(const std::string& path);
  void SetNotifyWindow(StatusReceiver* receiver, QObject* context);
  void SetStartIndex(std::int64_t index);
  void SetEndIndex(std::int64_t index);  // exclusive
  void SetInterval(std::int64_t step);   // below 1 counts as 1
  void SetReportType(int reportType);
  // The alarm records to write; without it the store's alarm index list is copied at
  // Resume.
  void SetAlarmIndex(std::vector<std::int32_t> alarmIndex);

  // Starts the export (once; later calls do nothing).
  void Resume();
  // Started and not yet ended. An export has ended once its last notification has
  // been handled (or cancelled).
  bool Running() const;
  // Waits until the export has ended; false on timeout.
  bool WaitEnded(std::chrono::milliseconds timeout) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d;
};

// Tests: runs on the export thread once the first piece of a file has been written and
// before the file is finished, so that a test can hold an export at a known point. Taken
// by each export at Resume; empty for none.
void SetExportPieceHook(std::function<void()> hook);
