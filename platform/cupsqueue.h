#pragma once
// The print system (CUPS), asked through connections of our own whose every wait is
// bounded: a server that accepts connections and never answers costs a few seconds,
// never a frozen window. The print system's default connection (which the toolkit's
// printer classes use) waits far longer, so the printer list, the queue check and the
// job itself go through here.

#include <QString>
#include <QStringList>
#include <string>
#include <utility>
#include <vector>

// Why a print failed, in kinds a user can act on; the detail stays in the reason texts.
enum class PrintFailure {
  None,
  NoPrinter,       // no printer chosen, or the server does not know it
  QueueRejects,    // the queue does not accept jobs
  NoAnswer,        // the server did not answer in time, or the connection broke
  ServerRefused,   // the server answered with an error, or created no job
  NoSpace,         // the PDF or spool file did not fit (full disk, size limit)
  FileNotWritten,  // the PDF or spool file could not be written for another reason
  DocumentFailed,  // the document or a page could not be drawn
  LeftOnServer,    // no answer after the whole document left, and no cancel reached the
                   // server: the job may still print
};

struct PrinterList {
  QStringList names;   // "queue" or "queue/instance", in the print system's order
  QString defaultName; // empty when there is none
  bool answered = false;  // the server answered: an empty list means it has no printers
};
// The installed printers; empty, not answered, when the server cannot be asked within
// about two seconds.
PrinterList ListPrinters();

struct QueueState {
  bool answered = false;   // the server answered in time
  bool exists = false;
  bool accepting = false;  // takes new jobs
  QString reason;          // why it cannot print, in the print system's words
};
// Whether queue (its instance part ignored) exists and accepts jobs; bounded to a few seconds.
QueueState CheckQueue(const std::string& queue);
// Why a queue in that state cannot print; None when it can.
PrintFailure QueueFailure(const QueueState& state);

struct JobResult {
  int jobId = 0;  // the job the server created; kept when it failed later, for the record
  bool printed = false;  // the server answered the end of the document with success
  PrintFailure failure = PrintFailure::None;
  QString reason;
};
using JobOptions = std::vector<std::pair<std::string, std::string>>;
// Creates a job named title on queue and sends the PDF file as its document. Printed
// only when the server created the job (with a job id) and answered the end of the
// document with success; a job that was created but not counted as printed is cancelled
// where the server still answers, also one whose creation was never answered (found by
// what the server recorded of its making, never another job of the same user and title).
// A connection given up is dropped, so that nothing still queued here reaches the server;
// when the whole document had left before and the cancel does not reach the server
// either, the failure is LeftOnServer with the job id. A server that keeps taking the
// document, however slowly, is waited for; one that takes nothing and answers nothing
// fails the job within eight seconds, the cancel included.
JobResult SubmitPdfJob(const std::string& queue, const std::string& pdfPath, const std::string& title,
                       const JobOptions& options);
