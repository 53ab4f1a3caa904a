#pragma once
// Files the program writes for the user (exports, PDF pages) and spool files: written
// into a new file of their own, so that a failure never harms what stood at the name.
//
// A target is checked before anything is opened for writing: a symbolic link is
// followed to the file it names (the link stays), and a target that exists and is not
// a regular file (a folder, a FIFO, a device, a socket) is refused, and so is a regular
// file that the user may not write (or, where the writer asks for it, one made
// read-only: see Keep). The bytes go to a new file beside the target, created
// exclusively; only when every write and the close succeeded is it flushed to disk,
// the target checked again and the new file renamed over it. On any failure only that
// new file is removed.
//
// A writer holds a lock on its new file until that file is renamed or removed; the
// kernel drops the lock when the writer dies. So a new file nobody holds is what a
// killed writer left, and the next writer of the same name removes it (a spool, the
// spool files of its folder).

#include <sys/types.h>

#include <QIODevice>
#include <string>
#include <string_view>

// A file-size limit then fails the write with EFBIG, like a full disk, instead of
// ending the process. Called by start-up and by every writer here (idempotent).
void IgnoreFileSizeSignal();

enum class TargetKind { Missing, Regular, Directory, Fifo, Device, Socket, Other };

struct FileTarget {
  std::string path;  // the file to replace: the target, or where its links lead
  TargetKind kind = TargetKind::Missing;
  mode_t mode = 0;   // permission bits of an existing regular file
  int error = 0;     // errno when the target could not be examined
};
// Examines path without opening it.
FileTarget ResolveTarget(const std::string& path);

// Opens path for reading only when it is a regular file (or a link to one), without
// ever waiting: a FIFO, a device, a folder or a socket is refused before anything
// could block. -1 with errno (EINVAL for a file of another kind, EISDIR for a folder).
int OpenRegularForReading(const std::string& path);

// Removes the new files that writers of target which have died left beside it: those
// named as a ReplacingFile names them for target that no live writer holds. Returns how
// many were removed.
int RemoveLeftovers(const std::string& target);

// Which earlier regular file at the target stays as it is instead of being replaced.
enum class Keep {
  Unwritable,  // one the user may not write
  // Also one whose mode has no write bit at all, whoever writes: the superuser may write
  // any file, yet a file made read-only to keep it is kept from it too.
  ReadOnly,
};

class ReplacingFile {
 public:
  ReplacingFile();
  ~ReplacingFile();  // an unfinished file is removed
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Creates the new file beside target. False when the target is not a regular file
  // (Refused(), Error() EISDIR/EINVAL...), is an earlier file that keep keeps (EACCES or
  // the system's reason), or the new file cannot be created.
  bool Begin(const std::string& target, Keep keep = Keep::Unwritable);
  // A spool file of its own in folder, removed by Abort or the destructor; nothing is
  // renamed.
  bool BeginSpool(const std::string& folder);

  bool Write(std::string_view bytes);  // every byte, or false; a failure sticks
  // Closes the file; for a target: flushes it to disk and renames it over the target,
  // unless what stands there now is kept (judged as in Begin; a file gone meanwhile
  // leaves the name to the new one). False, with the new file removed, when anything
  // failed now or before.
  bool Finish();
  void Abort();  // removes the new file

  bool Failed() const { return error_ != 0; }
  int Error() const { return error_; }
  void SetError(int error);  // e.g. ENOMEM from the caller; removed at Finish
  // The target exists and is no regular file: nothing was opened.
  bool Refused() const { return refused_; }
  const FileTarget& Target() const { return target_; }
  // A regular file stood at the target when Begin ran (it is left as it was unless
  // Finish succeeds).
  bool HadEarlierFile() const { return target_.kind == TargetKind::Regular; }
  const std::string& TempPath() const { return temp_; }

 private:
  bool Create(const std::string& folder, const std::string& stem);
  bool WritableOrMissing(const FileTarget& target);  // else the error is set
  void Close();
  void Unlock();

  FileTarget target_;
  std::string temp_;
  int fd_ = -1;
  int lockFd_ = -1;  // holds the lock on the new file until it is renamed or removed
  int error_ = 0;
  Keep keep_ = Keep::Unwritable;
  bool refused_ = false;
  bool spool_ = false;
};

// A ReplacingFile as a write-only device, for writers that take a QIODevice.
class ReplacingDevice : public QIODevice {
 public:
  ReplacingFile& File() { return file_; }
  bool isSequential() const override { return true; }

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 len) override;

 private:
  ReplacingFile file_;
};
