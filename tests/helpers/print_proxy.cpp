// Print servers that misbehave in front of the one at 127.0.0.1:631, for the printing
// tests. Listens on a free port of 127.0.0.1, prints "port=N", and runs until killed.
//   stall LIMIT     each connection is passed on both ways until its client has sent LIMIT
//                   bytes; from then on nothing moves on it (either way) and it stays open
//   stallall LIMIT  the same with LIMIT counted over all connections, new ones too
//   nojobid         a job's creation and document are answered here, with success and no
//                   job id; the rest is the server's
//   rate BYTES [AFTER]  the client's bytes are passed on at BYTES a second, the server's at
//                   once; with AFTER, once one connection has passed AFTER of its client's
//                   bytes (a document is on its way) new connections are refused
//   holdcreate MS [noname]  the server's answer to a job's creation is passed on MS ms
//                   late; with noname, the jobs in the answers to job lists have names
//                   without a value
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>

namespace {

sockaddr_in Loopback(uint16_t port) { return {AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}}; }

bool SendAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t w = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (w <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(w));
  }
  return true;
}

std::atomic<long long> sentInAll{0};
int listener = -1;
std::atomic<bool> refusing{false};

// counted: the count of the client's bytes over all connections, or null for its own.
// rate: the client's bytes a second, 0 for as fast as they come. refuseAfter: the bytes of
// this connection after which the listener stops taking connections, 0 for never.
void Relay(int client, int server, long long limit, std::atomic<long long>* counted, long long rate,
           long long refuseAfter) {
  std::atomic<long long> own{0};
  std::atomic<long long>& sent = counted ? *counted : own;
  char buf[16384];
  // Bytes the rate lets pass now: a tenth of a second's worth at most, so that an idle
  // connection gains no burst.
  double allowed = 0;
  auto last = std::chrono::steady_clock::now();
  for (;;) {
    if (sent >= limit) for (;;) ::pause();
    long long room = limit - sent;
    if (rate > 0) {
      const auto now = std::chrono::steady_clock::now();
      allowed = std::min(allowed + rate * std::chrono::duration<double>(now - last).count(), rate / 10.0 + 1);
      last = now;
      room = std::min(room, static_cast<long long>(allowed));
    }
    // A client that may send nothing now is not listened to until it may.
    pollfd fds[2] = {{room > 0 ? client : -1, POLLIN, 0}, {server, POLLIN, 0}};
    if (::poll(fds, 2, room > 0 ? 200 : 10) < 0) return;  // wakes to see a limit other connections reached
    if (fds[0].revents && room > 0) {
      const ssize_t n = ::recv(client, buf, static_cast<std::size_t>(std::min<long long>(room, sizeof buf)), 0);
      if (n <= 0 || !SendAll(server, {buf, static_cast<std::size_t>(n)})) return;
      sent += n;
      allowed -= static_cast<double>(n);
      // Connections waiting in the backlog are reset, new ones refused.
      if (refuseAfter > 0 && sent >= refuseAfter && !refusing.exchange(true)) ::shutdown(listener, SHUT_RDWR);
    }
    if (sent < limit && fds[1].revents) {
      const ssize_t n = ::recv(server, buf, sizeof buf, 0);
      if (n <= 0 || !SendAll(client, {buf, static_cast<std::size_t>(n)})) return;
    }
  }
}

// Up to and including the next "\r\n"; false when the peer went away.
bool ReadLine(int fd, std::string& line) {
  line.clear();
  for (char c; ::recv(fd, &c, 1, 0) == 1;)
    if ((line += c).ends_with("\r\n")) return true;
  return false;
}

bool ReadBytes(int fd, std::string& out, std::size_t n) {
  std::size_t at = out.size();
  out.resize(at + n);
  for (ssize_t r; at < out.size(); at += static_cast<std::size_t>(r))
    if ((r = ::recv(fd, out.data() + at, out.size() - at, 0)) <= 0) return false;
  return true;
}

// An HTTP message with its body unframed; the header lines that frame the body, or ask
// for "100 Continue" (so that none comes), are left out.
struct Message {
  std::string start, headers, body;
};

bool ReadMessage(int fd, Message& m) {
  std::string line;
  std::size_t length = 0;
  bool chunked = false;
  m = Message();
  if (!ReadLine(fd, m.start)) return false;
  for (;;) {
    if (!ReadLine(fd, line)) return false;
    if (line == "\r\n") break;
    if (::strncasecmp(line.c_str(), "content-length:", 15) == 0) length = std::strtoull(line.c_str() + 15, nullptr, 10);
    else if (::strncasecmp(line.c_str(), "transfer-encoding:", 18) == 0) chunked = ::strcasestr(line.c_str(), "chunked");
    else if (::strncasecmp(line.c_str(), "expect:", 7) != 0) m.headers += line;
  }
  if (!chunked) return ReadBytes(fd, m.body, length);
  for (std::size_t size; ReadLine(fd, line);) {
    if ((size = std::strtoul(line.c_str(), nullptr, 16)) == 0) return ReadLine(fd, line);
    if (!ReadBytes(fd, m.body, size) || !ReadLine(fd, line)) return false;
  }
  return false;
}

bool WriteMessage(int fd, const Message& m) {
  return SendAll(fd, m.start + m.headers + "Content-Length: " + std::to_string(m.body.size()) + "\r\n\r\n" + m.body);
}

std::string Attr(char tag, std::string_view name, std::string_view value) {
  std::string a(1, tag);
  for (std::string_view s : {name, value}) a.append({static_cast<char>(s.size() >> 8), static_cast<char>(s.size())}).append(s);
  return a;
}

// The IPP message with every job-name attribute's value replaced by the out-of-band
// "no-value"; the rest as it was.
std::string WithoutJobNames(const std::string& ipp) {
  std::string out = ipp.substr(0, 8);
  for (std::size_t at = 8; at < ipp.size();) {
    const char tag = ipp[at];
    if (static_cast<unsigned char>(tag) < 0x10) {  // a group or the end
      out += tag;
      if (tag == '\x03') return out + ipp.substr(at + 1);
      ++at;
      continue;
    }
    const auto length = [&](std::size_t i) -> std::size_t {
      return i + 1 < ipp.size() ? static_cast<unsigned char>(ipp[i]) << 8 | static_cast<unsigned char>(ipp[i + 1]) : 0;
    };
    const std::size_t nameLength = length(at + 1);
    const std::string name = ipp.substr(at + 3, nameLength);
    const std::size_t next = at + 5 + nameLength + length(at + 3 + nameLength);
    out += name == "job-name" ? Attr('\x13', name, "") : ipp.substr(at, next - at);
    at = next;
  }
  return out;
}

// Whole messages passed on; with holdMs < 0 a job's creation and document answered here
// without a job id, else the answer to a creation held that long.
void Messages(int client, int server, int holdMs, bool noName) {
  Message m;
  while (ReadMessage(client, m)) {
    const int op = m.body.size() < 8 ? 0 : static_cast<unsigned char>(m.body[2]) << 8 | static_cast<unsigned char>(m.body[3]);
    if (holdMs < 0 && (op == 0x0005 || op == 0x0006)) {  // Create-Job, Send-Document
      const std::string ipp = std::string("\x02\x00\x00\x00", 4) + m.body.substr(4, 4) + '\x01' +
                              Attr('\x47', "attributes-charset", "utf-8") +
                              Attr('\x48', "attributes-natural-language", "en") + '\x03';
      if (!WriteMessage(client, {"HTTP/1.1 200 OK\r\n", "Content-Type: application/ipp\r\n", ipp})) return;
      continue;
    }
    if (!WriteMessage(server, m) || !ReadMessage(server, m)) return;
    if (op == 0x0005 && holdMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
    if (op == 0x000A && noName && m.body.size() >= 8) m.body = WithoutJobNames(m.body);  // Get-Jobs
    if (!WriteMessage(client, m)) return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  const bool relay = (mode == "stall" || mode == "stallall" || mode == "rate") && argc > 2;
  if (!relay && mode != "nojobid" && !(mode == "holdcreate" && argc > 2)) {
    std::fprintf(stderr, "usage: quno_print_proxy stall|stallall LIMIT | nojobid | rate BYTES [AFTER] |"
                         " holdcreate MS [noname]\n");
    return 2;
  }
  std::signal(SIGPIPE, SIG_IGN);
  const long long number = argc > 2 ? std::atoll(argv[2]) : 0;
  const long long limit = mode == "rate" ? LLONG_MAX : number;
  const long long rate = mode == "rate" ? number : 0;
  const long long refuseAfter = mode == "rate" && argc > 3 ? std::atoll(argv[3]) : 0;
  const bool noName = mode == "holdcreate" && argc > 3 && std::string_view(argv[3]) == "noname";
  listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr = Loopback(0);
  socklen_t len = sizeof addr;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listener, 64) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    std::perror("listen");
    return 1;
  }
  std::printf("port=%d\n", ntohs(addr.sin_port));
  std::fflush(stdout);
  const sockaddr_in cups = Loopback(631);
  for (;;) {
    const int client = ::accept(listener, nullptr, nullptr);
    if (client < 0 && refusing)
      for (;;) ::pause();  // the connections already taken go on
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    if (client < 0 || ::connect(server, reinterpret_cast<const sockaddr*>(&cups), sizeof cups) != 0) {
      ::close(server);
      if (client >= 0) ::close(client);
      continue;
    }
    std::thread([=] {
      if (relay) Relay(client, server, limit, mode == "stallall" ? &sentInAll : nullptr, rate, refuseAfter);
      else Messages(client, server, mode == "nojobid" ? -1 : static_cast<int>(number), noName);
      ::close(server);
      ::close(client);
    }).detach();
  }
}
