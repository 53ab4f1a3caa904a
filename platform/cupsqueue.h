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

struct PrinterList {
  QStringList names;   // "queue" or "queue/instance", in the print system's order
  QString defaultName; // empty when there is none
};
// The installed printers; empty when the server cannot be asked within about two seconds.
PrinterList ListPrinters();

struct QueueState {
  bool answered = false;   // the server answered in time
  bool exists = false;
  bool accepting = false;  // takes new jobs
  QString reason;          // why it cannot print, in the print system's words
};
// Whether queue (its instance part ignored) exists and accepts jobs; bounded to a few seconds.
QueueState CheckQueue(const std::string& queue);

struct JobResult {
  int jobId = 0;  // 0: no job was created
  QString reason;
};
using JobOptions = std::vector<std::pair<std::string, std::string>>;
// Creates a job named title on queue and sends the PDF file as its document. Succeeds
// only when the server created the job and took the whole document; a job that was
// created but not completed is cancelled. Every wait is bounded.
JobResult SubmitPdfJob(const std::string& queue, const std::string& pdfPath, const std::string& title,
                       const JobOptions& options);
