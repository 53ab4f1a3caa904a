#include "platform/cupsqueue.h"

#include <cups/cups.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

QString LastError() { return QString::fromUtf8(cupsLastErrorString()); }

std::string QueueName(const std::string& queue) { return queue.substr(0, queue.find('/')); }

// A connection to the configured server whose waits all end: every quarter second
// without progress the library asks whether to go on waiting. With a Total limit the
// connection gives up that long after it was made or last armed, so a call that makes
// several requests (the printer list) ends by then too. With a Silence limit it gives up
// only once the server has taken none of what was sent and sent nothing for that long:
// a slow link drains a send buffer of several megabytes for many seconds after the last
// write, and that is the server at work, not silence. The library writes on a blocking
// socket once it may write at all, so a write into a peer that stopped reading is made to
// give up as often as a wait asks.
class Connection {
 public:
  enum class Limit { Total, Silence };
  Connection(std::chrono::milliseconds limit, Limit kind)
      : limit_(limit), silence_(kind == Limit::Silence), until_(Clock::now() + limit) {
    http_ = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                         static_cast<int>(limit.count()), nullptr);
    if (!http_) return;
    httpSetTimeout(http_, 0.25, &Connection::GoOn, this);
    const timeval quarter{0, 250000};
    setsockopt(httpGetFd(http_), SOL_SOCKET, SO_SNDTIMEO, &quarter, sizeof quarter);
  }
  ~Connection() {
    if (!http_) return;
    if (Lost()) Drop();
    else httpClose(http_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  http_t* get() const { return http_; }
  // The limit counts again from now.
  void Arm() { until_ = Clock::now() + limit_; }
  // Hangs up at once: what this machine still holds for the server (in the library's
  // buffer or the send queue) is discarded, not sent after the hang-up as a plain close
  // would. The library closes without writing first. Lost from then on.
  void Drop() {
    if (!http_) return;
    const linger reset{1, 0};
    setsockopt(httpGetFd(http_), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    httpClose(http_);
    http_ = nullptr;
  }
  // A wait ran out, or the connection broke: the server is not to be asked again on it.
  bool Lost() const { return expired_ || !http_ || httpError(http_) != 0; }
  // The peer took every byte written: none waits in the library's buffer or in this
  // machine's send queue. A reset discards that queue, so a reset connection never counts.
  bool AllTaken() const {
    if (!http_ || httpGetPending(http_) > 0) return false;
    const int fd = httpGetFd(http_);
    int unsent = -1;
    if (ioctl(fd, SIOCOUTQ, &unsent) != 0 || unsent != 0) return false;
    tcp_info info{};
    socklen_t len = sizeof info;
    return getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &len) != 0 || info.tcpi_state != TCP_CLOSE;
  }
  // Where the server records a job made over this connection as coming from: "localhost"
  // for a local socket or a loopback address, else the address as the server writes it
  // (one that looks names up, or sits behind a relay elsewhere, records another origin:
  // no job is then taken for ours, and one left so holds no document and prints nothing).
  // Empty when unknown.
  std::string Origin() const {
    http_addr_t local{};
    socklen_t len = sizeof local;
    if (!http_ || getsockname(httpGetFd(http_), &local.addr, &len) != 0) return {};
    if (httpAddrLocalhost(&local)) return "localhost";
    char text[256];
    return httpAddrString(&local, text, sizeof text) ? text : "";
  }

 private:
  // What the socket and the library show of the exchange: the bytes sent and not yet
  // taken by the peer, those arrived and not yet read, and the library's own buffer and
  // count of the message's body still to come.
  struct Look {
    int unsent = 0;
    int unread = 0;
    std::size_t ready = 0;
    std::size_t remaining = 0;
    bool operator==(const Look&) const = default;
  };
  // Anything that changed since the last look was the server's doing or a write it made
  // room for: a peer that takes nothing and says nothing leaves every count as it was.
  bool Moved() {
    Look now;
    const int fd = httpGetFd(http_);
    if (ioctl(fd, SIOCOUTQ, &now.unsent) != 0) now.unsent = 0;
    if (ioctl(fd, SIOCINQ, &now.unread) != 0) now.unread = 0;
    now.ready = httpGetReady(http_);
    now.remaining = httpGetRemaining(http_);
    const bool moved = !(now == last_);
    last_ = now;
    return moved;
  }
  static int GoOn(http_t*, void* self) {
    auto* c = static_cast<Connection*>(self);
    if (c->silence_ && c->Moved()) c->Arm();
    if (Clock::now() < c->until_) return 1;
    c->expired_ = true;
    return 0;
  }
  std::chrono::milliseconds limit_;
  bool silence_;
  Clock::time_point until_;
  Look last_;
  http_t* http_ = nullptr;
  bool expired_ = false;
};

// A job's connection gives up after this much silence, and its cancel after this much
// more: a server that stops taking the document fails the print less than eight seconds
// after the last byte it took, even when the cancel meets silence too.
constexpr std::chrono::milliseconds kJobSilence(5000);
constexpr std::chrono::milliseconds kCancelSilence(2500);

// The server's words for an answer that is not success: its message, else its status.
QString AnswerText(ipp_t* response) {
  if (ipp_attribute_t* m = ippFindAttribute(response, "status-message", IPP_TAG_TEXT))
    return QString::fromUtf8(ippGetString(m, 0, nullptr));
  return QString::fromUtf8(ippErrorString(ippGetStatusCode(response)));
}

bool Success(ipp_t* response) {
  return response && ippGetStatusCode(response) <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

// The text of a name or text attribute; null for one of another kind or without a value.
const char* TextOf(ipp_attribute_t* a) {
  switch (ippGetValueTag(a)) {
    case IPP_TAG_NAME:
    case IPP_TAG_NAMELANG:
    case IPP_TAG_TEXT:
    case IPP_TAG_TEXTLANG: return ippGetString(a, 0, nullptr);
    default: return nullptr;
  }
}

// This user's unfinished jobs on the queue, with the attributes asked for.
ipp_t* UnfinishedJobs(http_t* http, const char* uri, int count, const char* const* wanted) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddBoolean(request, IPP_TAG_OPERATION, "my-jobs", 1);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "not-completed");
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", count, nullptr, wanted);
  return cupsDoRequest(http, request, "/");  // frees the request
}

// What tells the job made by this print's creation from any other job of this user with
// the same title (another print of the same user, from this machine or another): the
// server's clock and this user's newest unfinished job just before the creation, and
// where the server sees the creation come from. Known only when all three are.
struct CreationMark {
  bool known = false;
  int upTime = 0;     // the server's clock, in the unit of a job's creation time
  int newestJob = 0;  // jobs up to this id were there before
  std::string origin;
};

// Asked over the job's connection just before the creation; the connection is lost when
// the server does not answer.
CreationMark MarkCreation(const Connection& c, const char* uri) {
  CreationMark mark;
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-up-time");
  ipp_t* printer = cupsDoRequest(c.get(), request, "/");  // frees the request
  ipp_attribute_t* up = ippFindAttribute(printer, "printer-up-time", IPP_TAG_INTEGER);
  const bool clockKnown = up != nullptr;
  if (clockKnown) mark.upTime = ippGetInteger(up, 0);
  ippDelete(printer);
  if (!clockKnown || c.Lost()) return mark;
  static const char* const kWanted[] = {"job-id"};
  ipp_t* jobs = UnfinishedJobs(c.get(), uri, 1, kWanted);
  for (ipp_attribute_t* a = ippFindAttribute(jobs, "job-id", IPP_TAG_INTEGER); a;
       a = ippFindNextAttribute(jobs, "job-id", IPP_TAG_INTEGER))
    mark.newestJob = std::max(mark.newestJob, ippGetInteger(a, 0));
  mark.origin = c.Origin();
  mark.known = Success(jobs) && !c.Lost() && !mark.origin.empty();
  ippDelete(jobs);
  return mark;
}

// The jobs that a creation whose answer never came may have made: this user's jobs named
// title, held and without a document (a created job waits so for its first document),
// made from where this print connected, no earlier than the mark and newer than every
// job seen there. A job the answer does not describe in full is left alone.
std::vector<int> JobsOfCreation(http_t* http, const char* uri, const std::string& title, const CreationMark& mark) {
  static const char* const kWanted[] = {"job-id", "job-name", "job-state", "number-of-documents",
                                        "time-at-creation", "job-originating-host-name"};
  ipp_t* response = UnfinishedJobs(http, uri, 6, kWanted);
  std::vector<int> ids;
  struct Seen {
    int id = 0, documents = -1, created = -1;
    bool held = false, named = false, fromUs = false;
  } job;
  // One job's attributes run up to the next separator.
  const auto take = [&] {
    if (job.id > mark.newestJob && job.held && job.documents == 0 && job.named && job.fromUs &&
        job.created >= mark.upTime)
      ids.push_back(job.id);
    job = Seen();
  };
  const auto number = [](ipp_attribute_t* a, ipp_tag_t tag) {
    return ippGetValueTag(a) == tag ? ippGetInteger(a, 0) : -1;
  };
  const auto equals = [](ipp_attribute_t* a, const std::string& text) {
    const char* value = TextOf(a);
    return value && text == value;
  };
  for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
    const char* name = ippGetName(a);
    if (!name) take();
    if (!name || ippGetGroupTag(a) != IPP_TAG_JOB) continue;
    if (std::strcmp(name, "job-id") == 0) job.id = number(a, IPP_TAG_INTEGER);
    else if (std::strcmp(name, "job-state") == 0) job.held = number(a, IPP_TAG_ENUM) == IPP_JSTATE_HELD;
    else if (std::strcmp(name, "number-of-documents") == 0) job.documents = number(a, IPP_TAG_INTEGER);
    else if (std::strcmp(name, "time-at-creation") == 0) job.created = number(a, IPP_TAG_INTEGER);
    else if (std::strcmp(name, "job-name") == 0) job.named = equals(a, title);
    else if (std::strcmp(name, "job-originating-host-name") == 0) job.fromUs = equals(a, mark.origin);
  }
  take();
  ippDelete(response);
  return ids;
}

// Cancels the job, or with no job id the jobs an unanswered creation made (none when the
// mark is not known). Over a connection of its own: the job's may be stuck in the middle
// of the document. True when the server cancelled the job with that id.
bool CancelUnprinted(const std::string& queue, const char* uri, int jobId, const std::string& title,
                     const CreationMark& mark) {
  Connection c(kCancelSilence, Connection::Limit::Silence);
  if (!c.get()) return false;
  if (jobId > 0) return cupsCancelJob2(c.get(), queue.c_str(), jobId, 0) == 1;
  if (mark.known)
    for (int id : JobsOfCreation(c.get(), uri, title, mark))
      if (!c.Lost()) cupsCancelJob2(c.get(), queue.c_str(), id, 0);
  return false;
}

}  // namespace

PrinterList ListPrinters() {
  PrinterList out;
  Connection c(std::chrono::milliseconds(2000), Connection::Limit::Total);
  if (!c.get()) return out;
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(c.get(), &dests);
  out.answered = !c.Lost();
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
  Connection c(std::chrono::milliseconds(3000), Connection::Limit::Total);
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
  Connection c(kJobSilence, Connection::Limit::Silence);
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
  // Taken before the creation, to find the job it made should its answer never come.
  const CreationMark mark = MarkCreation(c, uri);
  if (c.Lost()) {
    refused(nullptr);
    return r;
  }
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
  // A refusal made no job; a creation that got no answer, or one without an id, may have.
  const bool mayHaveMade = !response || Success(response);
  ippDelete(response);
  if (r.jobId == 0) {
    if (mayHaveMade) {
      c.Drop();  // a creation still on its way is dropped, not made after the search
      CancelUnprinted(name, uri, 0, title, mark);
    }
    return r;
  }

  // The document, then the server's answer to its end: only that answer, with success,
  // says the server has the whole document. Its length is given up front, so that a last
  // write that went through means every byte of it was handed to the system.
  struct stat info {};
  const bool sized = fstat(fileno(file), &info) == 0;
  request = ippNewRequest(IPP_OP_SEND_DOCUMENT);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", r.jobId);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "document-name", nullptr, title.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, CUPS_FORMAT_PDF);
  ippAddBoolean(request, IPP_TAG_OPERATION, "last-document", 1);
  c.Arm();
  bool sent = sized && cupsSendRequest(http, request, resource.c_str(),
                                       ippLength(request) + static_cast<std::size_t>(info.st_size)) ==
                           HTTP_STATUS_CONTINUE;
  ippDelete(request);
  char buffer[65536];
  off_t written = 0;
  for (std::size_t n; sent && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0; written += static_cast<off_t>(n)) {
    c.Arm();  // the last piece went: room the server made
    sent = cupsWriteRequestData(http, buffer, n) == HTTP_STATUS_CONTINUE;
  }
  const bool readFailed = !sized || std::ferror(file) != 0 || (sent && written != info.st_size);
  // Nothing of it was lost on the way out of the library (a write that gave up loses what
  // the library held).
  const bool handedOver = sent && !readFailed && !c.Lost();
  response = nullptr;
  if (!readFailed && (sent || !c.Lost())) {
    // An early answer (an error the server sent before the end) is read here as well; a
    // document cut short by a read error is never ended, only cancelled.
    c.Arm();
    response = cupsGetResponse(http, resource.c_str());
  }
  if (handedOver && Success(response)) {
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
  // Given up: whatever of the document is still on this machine must not reach the
  // server after the failure was told. What already left it cannot be called back; if no
  // cancel reaches the server either, the job may still print, and the user is told so.
  const bool left = r.failure == PrintFailure::NoAnswer && handedOver && c.AllTaken();
  c.Drop();
  if (!CancelUnprinted(name, uri, r.jobId, title, mark) && left) {
    r.failure = PrintFailure::LeftOnServer;
    r.reason += QStringLiteral("; job %1 is left on the server and may still print").arg(r.jobId);
  }
  return r;
}
