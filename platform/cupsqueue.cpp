#include "platform/cupsqueue.h"

#include <cups/cups.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

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
  const std::string name = QueueName(queue);
  // A connection that broke or went quiet leaves the library's error text at the system's
  // word for errno, often "Success": say what happened instead.
  const auto fail = [&r](const QString& why) {
    r.jobId = 0;
    const ipp_status_t status = cupsLastError();
    const bool lost = status <= IPP_STATUS_OK_EVENTS_COMPLETE || status == IPP_STATUS_ERROR_INTERNAL ||
                      status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
    r.reason = lost || why.isEmpty()
                   ? QStringLiteral("no answer from the print server %1").arg(QString::fromLocal8Bit(cupsServer()))
                   : why;
    return r;
  };
  std::FILE* file = std::fopen(pdfPath.c_str(), "rb");
  if (!file) {
    r.reason = QString::fromLocal8Bit(pdfPath.c_str()) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    return r;
  }
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, &std::fclose);
  http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 4000, nullptr);
  if (!http) return fail(LastError());
  const std::unique_ptr<http_t, void (*)(http_t*)> connection(http, &httpClose);
  // A document of any size: each wait (not the whole job) is bounded. Every request goes
  // over this connection: the library's own job calls look the queue up again over its
  // default connection, which waits a minute an answer.
  httpSetTimeout(http, 4.0, nullptr, nullptr);

  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                   "/printers/%s", name.c_str());
  const std::string resource = "/printers/" + name;
  ipp_t* request = ippNewRequest(IPP_OP_CREATE_JOB);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, title.c_str());
  cups_option_t* opts = nullptr;
  int count = 0;
  for (const auto& [key, value] : options) count = cupsAddOption(key.c_str(), value.c_str(), count, &opts);
  cupsEncodeOptions2(request, count, opts, IPP_TAG_OPERATION);
  cupsEncodeOptions2(request, count, opts, IPP_TAG_JOB);
  cupsFreeOptions(count, opts);
  ipp_t* response = cupsDoRequest(http, request, resource.c_str());  // frees the request
  if (response) {
    if (ipp_attribute_t* id = ippFindAttribute(response, "job-id", IPP_TAG_INTEGER)) r.jobId = ippGetInteger(id, 0);
    ippDelete(response);
  }
  if (r.jobId == 0 || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) return fail(LastError());

  // The document, then the server's answer to it; a job whose document was not taken
  // whole is cancelled.
  bool sent = cupsStartDocument(http, name.c_str(), r.jobId, title.c_str(), CUPS_FORMAT_PDF, 1) ==
              HTTP_STATUS_CONTINUE;
  char buffer[65536];
  for (std::size_t n; sent && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
    sent = cupsWriteRequestData(http, buffer, n) == HTTP_STATUS_CONTINUE;
  sent = sent && !std::ferror(file);
  const bool taken = cupsFinishDocument(http, name.c_str()) <= IPP_STATUS_OK_EVENTS_COMPLETE;
  if (sent && taken) return r;
  const QString why = LastError();
  cupsCancelJob2(http, name.c_str(), r.jobId, 0);
  return fail(why);
}
