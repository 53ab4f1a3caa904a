#include "platform/cupsqueue.h"

#include <cups/cups.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

QString LastError() { return QString::fromUtf8(cupsLastErrorString()); }

std::string QueueName(const std::string& queue) { return queue.substr(0, queue.find('/')); }

// A connection to the configured server whose waits all end by a deadline: every
// quarter second without progress the library asks whether to go on waiting. A call
// that makes several requests (the printer list) therefore ends by the deadline too; a
// job re-arms it before each step, so a document of any size can go while each step is
// bounded. The library writes on a blocking socket once it may write at all, so a
// write into a peer that stopped reading is made to give up every second as well.
class Connection {
 public:
  explicit Connection(std::chrono::milliseconds budget) : until_(Clock::now() + budget) {
    http_ = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                         static_cast<int>(budget.count()), nullptr);
    if (!http_) return;
    httpSetTimeout(http_, 0.25, &Connection::GoOn, this);
    const timeval second{1, 0};
    setsockopt(httpGetFd(http_), SOL_SOCKET, SO_SNDTIMEO, &second, sizeof second);
  }
  ~Connection() {
    if (http_) httpClose(http_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  http_t* get() const { return http_; }
  // The next step's deadline: budget from now.
  void Arm(std::chrono::milliseconds budget) { until_ = Clock::now() + budget; }
  // A wait ran out, or the connection broke: the server is not to be asked again on it.
  bool Lost() const { return expired_ || !http_ || httpError(http_) != 0; }

 private:
  static int GoOn(http_t*, void* self) {
    auto* c = static_cast<Connection*>(self);
    if (Clock::now() < c->until_) return 1;
    c->expired_ = true;
    return 0;
  }
  Clock::time_point until_;
  http_t* http_ = nullptr;
  bool expired_ = false;
};

// Each step of a job, and the cancel of one that failed, ends this long after the
// server stopped answering.
constexpr std::chrono::milliseconds kStepBudget(4000);
constexpr std::chrono::milliseconds kCancelBudget(3000);

// The server's words for an answer that is not success: its message, else its status.
QString AnswerText(ipp_t* response) {
  if (ipp_attribute_t* m = ippFindAttribute(response, "status-message", IPP_TAG_TEXT))
    return QString::fromUtf8(ippGetString(m, 0, nullptr));
  return QString::fromUtf8(ippErrorString(ippGetStatusCode(response)));
}

bool Success(ipp_t* response) {
  return response && ippGetStatusCode(response) <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

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
  if (!Success(response)) {
    s.reason = qname + QStringLiteral(": ") + AnswerText(response);
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

PrintFailure QueueFailure(const QueueState& state) {
  if (!state.answered) return PrintFailure::NoAnswer;
  if (!state.exists) return PrintFailure::NoPrinter;
  return state.accepting ? PrintFailure::None : PrintFailure::QueueRejects;
}

JobResult SubmitPdfJob(const std::string& queue, const std::string& pdfPath, const std::string& title,
                       const JobOptions& options) {
  JobResult r;
  const std::string name = QueueName(queue);
  const QString silent = QStringLiteral("no answer from the print server %1").arg(QString::fromLocal8Bit(cupsServer()));
  std::FILE* file = std::fopen(pdfPath.c_str(), "rb");
  if (!file) {
    const int err = errno;
    r.failure = PrintFailure::FileNotWritten;
    r.reason = QString::fromLocal8Bit(pdfPath.c_str()) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(err));
    return r;
  }
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, &std::fclose);
  Connection c(kStepBudget);
  http_t* http = c.get();
  if (!http) {
    r.failure = PrintFailure::NoAnswer;
    r.reason = silent;
    return r;
  }
  // A step that got no answer: the connection was lost or the wait ran out; one that got
  // an answer other than success: the server's words.
  const auto refused = [&](ipp_t* response) {
    if (response) {
      r.failure = PrintFailure::ServerRefused;
      r.reason = AnswerText(response);
    } else if (!c.Lost() && cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
      r.failure = PrintFailure::ServerRefused;
      r.reason = LastError();
    } else {
      // A wait that ran out or a broken connection leaves the library's last status at
      // success and its text at the system's word for errno: say what happened instead.
      r.failure = PrintFailure::NoAnswer;
      r.reason = silent;
    }
  };

  // Every request goes over this connection: the library's own job calls look the queue
  // up again over its default connection, which waits a minute for an answer.
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
  ipp_attribute_t* id = response ? ippFindAttribute(response, "job-id", IPP_TAG_INTEGER) : nullptr;
  if (!Success(response)) {
    refused(response);
  } else if (id && ippGetInteger(id, 0) > 0) {
    r.jobId = ippGetInteger(id, 0);
  } else {
    r.failure = PrintFailure::ServerRefused;
    r.reason = QStringLiteral("the print server created no job");
  }
  ippDelete(response);
  if (r.jobId == 0) return r;

  // The document, then the server's answer to its end: only that answer, with success,
  // says the server has the whole document.
  c.Arm(kStepBudget);
  bool sent = cupsStartDocument(http, name.c_str(), r.jobId, title.c_str(), CUPS_FORMAT_PDF, 1) ==
              HTTP_STATUS_CONTINUE;
  char buffer[65536];
  for (std::size_t n; sent && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    c.Arm(kStepBudget);
    sent = cupsWriteRequestData(http, buffer, n) == HTTP_STATUS_CONTINUE;
  }
  const bool readFailed = std::ferror(file) != 0;
  response = nullptr;
  if (!readFailed && (sent || !c.Lost())) {
    // An early answer (an error the server sent before the end) is read here as well; a
    // document cut short by a read error is never ended, only cancelled.
    c.Arm(kStepBudget);
    response = cupsGetResponse(http, resource.c_str());
  }
  if (sent && !readFailed && Success(response)) {
    ippDelete(response);
    r.printed = true;
    return r;
  }
  if (readFailed) {
    r.failure = PrintFailure::FileNotWritten;
    r.reason = QString::fromLocal8Bit(pdfPath.c_str()) + QStringLiteral(": read error");
  } else {
    refused(Success(response) ? nullptr : response);
  }
  ippDelete(response);
  // The job is cancelled over a connection of its own: the first one may be stuck in
  // the middle of the document.
  Connection cancel(kCancelBudget);
  if (cancel.get()) cupsCancelJob2(cancel.get(), name.c_str(), r.jobId, 0);
  return r;
}
