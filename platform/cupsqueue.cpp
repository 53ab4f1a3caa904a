#include "platform/cupsqueue.h"

#include <cups/cups.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

QString LastError() { return QString::fromUtf8(cupsLastErrorString()); }

std::string QueueName(const std::string& queue) { return queue.substr(0, queue.find('/')); }

// A connection to the configured server whose waits all end by one deadline: every
// quarter second without an answer the library asks whether to go on waiting. A call
// that makes several requests (the printer list) therefore ends by the deadline too.
class Connection {
 public:
  explicit Connection(std::chrono::milliseconds budget) : until_(Clock::now() + budget) {
    http_ = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                         static_cast<int>(budget.count()), nullptr);
    if (http_) httpSetTimeout(http_, 0.25, &Connection::GoOn, this);
  }
  ~Connection() {
    if (http_) httpClose(http_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  http_t* get() const { return http_; }

 private:
  static int GoOn(http_t*, void* self) {
    return Clock::now() < static_cast<Connection*>(self)->until_ ? 1 : 0;
  }
  Clock::time_point until_;
  http_t* http_ = nullptr;
};

}  // namespace

PrinterList ListPrinters() {
  PrinterList out;
  Connection c(std::chrono::milliseconds(2000));
  if (!c.get()) return out;
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(c.get(), &dests);
  for (int i = 0; i < count; ++i) {
    QString name = QString::fromLocal8Bit(dests[i].name);
    if (dests[i].instance) name += QLatin1Char('/') + QString::fromLocal8Bit(dests[i].instance);
    if (dests[i].is_default && out.defaultName.isEmpty()) out.defaultName = name;
    out.names.push_back(name);
  }
  cupsFreeDests(count, dests);
  return out;
}

QueueState CheckQueue(const std::string& queue) {
  QueueState s;
  const std::string name = QueueName(queue);
  const QString qname = QString::fromLocal8Bit(name.c_str());
  const QString silent = QStringLiteral("%1: no answer from the print server %2").arg(qname, QString::fromLocal8Bit(cupsServer()));
  Connection c(std::chrono::milliseconds(3000));
  if (!c.get()) {
    s.reason = silent;
    return s;
  }
  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                   "/printers/%s", name.c_str());
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  static const char* const kWanted[] = {"printer-is-accepting-jobs"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 1, nullptr, kWanted);
  ipp_t* response = cupsDoRequest(c.get(), request, "/");  // frees the request
  if (!response) {
    s.reason = silent;
    return s;
  }
  s.answered = true;
  if (cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
    s.reason = qname + QStringLiteral(": ") + LastError();
  } else {
    s.exists = true;
    ipp_attribute_t* a = ippFindAttribute(response, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
    s.accepting = a && ippGetBoolean(a, 0);
    if (!s.accepting)
      s.reason = QStringLiteral("Destination \"%1\" is not accepting jobs.").arg(qname);
  }
  ippDelete(response);
  return s;
}

JobResult SubmitPdfJob(const std::string& queue, const std::string& pdfPath, const std::string& title,
                       const JobOptions& options) {
  JobResult r;
  http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 4000, nullptr);
  if (!http) {
    r.reason = LastError();
    return r;
  }
  // A document of any size: each wait (not the whole job) is bounded.
  httpSetTimeout(http, 4.0, nullptr, nullptr);
  cups_option_t* opts = nullptr;
  int count = 0;
  for (const auto& [key, value] : options) count = cupsAddOption(key.c_str(), value.c_str(), count, &opts);
  // Creates the job, sends the document and checks the server's answer to both; a job
  // whose document was not taken whole is cancelled and gives 0.
  r.jobId = cupsPrintFile2(http, QueueName(queue).c_str(), pdfPath.c_str(), title.c_str(), count, opts);
  if (r.jobId == 0) r.reason = LastError();
  cupsFreeOptions(count, opts);
  httpClose(http);
  return r;
}
