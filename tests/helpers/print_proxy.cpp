// Print servers that misbehave, for the printing tests and benches. Listens on a free
// port of 127.0.0.1, prints "port=N" once it does, and runs until killed.
//   quno_print_proxy stall LIMIT [HOST:PORT]   (default 127.0.0.1:631)
//     A proxy in front of a print server that goes quiet in the middle of a request:
//     each connection is passed on both ways until its client has sent LIMIT bytes;
//     from then on nothing more moves on it (nothing is read from the client, nothing
//     of the server's answer reaches it) and it stays open.
//   quno_print_proxy stallall LIMIT [HOST:PORT]
//     The same with LIMIT counted over all connections: once the clients have sent
//     LIMIT bytes in all, every connection, new ones included, stays quiet.
//   quno_print_proxy nojobid [HOST:PORT]
//     A proxy in front of a print server that answers the creation of a job and its
//     document itself, with success and no job id; everything else is the server's.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>
#include <thread>

namespace {

sockaddr_in target{};

bool SendAll(int fd, const char* data, ssize_t n) {
  while (n > 0) {
    const ssize_t w = ::send(fd, data, static_cast<size_t>(n), MSG_NOSIGNAL);
    if (w <= 0) return false;
    data += w;
    n -= w;
  }
  return true;
}

std::atomic<long long> sentInAll{0};

// Passes one connection on; counted is its own count of the client's bytes, or the
// count over all connections.
void Relay(int client, long long limit, std::atomic<long long>* counted) {
  const int server = ::socket(AF_INET, SOCK_STREAM, 0);
  if (::connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
    ::close(server);
    ::close(client);
    return;
  }
  std::atomic<long long> own{0};
  std::atomic<long long>& fromClient = counted ? *counted : own;
  char buf[16384];
  for (;;) {
    if (fromClient >= limit) {
      // Stalled: hold both ends open and let nothing through until the process ends.
      ::pause();
      continue;
    }
    pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    if (::poll(fds, 2, 200) < 0) break;  // wakes to see a limit other connections reached
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      const long long room = limit - fromClient;
      if (room <= 0) continue;
      const ssize_t n = ::recv(client, buf, static_cast<size_t>(std::min<long long>(room, sizeof buf)), 0);
      if (n <= 0 || !SendAll(server, buf, n)) break;
      fromClient += n;
    }
    if (fromClient < limit && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      const ssize_t n = ::recv(server, buf, sizeof buf, 0);
      if (n <= 0 || !SendAll(client, buf, n)) break;
    }
  }
  ::close(server);
  ::close(client);
}

// Reads up to and including the next "\r\n"; false when the client went away.
bool ReadLine(int fd, std::string& line) {
  line.clear();
  char c;
  while (::recv(fd, &c, 1, 0) == 1) {
    line += c;
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) return true;
  }
  return false;
}

bool ReadBytes(int fd, std::string& out, std::size_t n) {
  char buf[16384];
  while (n > 0) {
    const ssize_t r = ::recv(fd, buf, std::min(n, sizeof buf), 0);
    if (r <= 0) return false;
    out.append(buf, static_cast<std::size_t>(r));
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

// One HTTP message: its start line and header lines (each with its "\r\n", without
// those that frame the body or ask for "100 Continue") and its body, unframed. False
// when the peer went away.
struct Message {
  std::string start;
  std::string headers;
  std::string body;
};

bool ReadMessage(int fd, Message& m, bool response) {
  std::string line;
  long long length = -1;
  bool chunked = false;
  m = Message();
  if (!ReadLine(fd, m.start)) return false;
  for (;;) {
    if (!ReadLine(fd, line)) return false;
    if (line == "\r\n") break;
    std::string lower(line);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char ch) { return std::tolower(ch); });
    if (lower.rfind("content-length:", 0) == 0) length = std::atoll(line.c_str() + 15);
    else if (lower.rfind("transfer-encoding:", 0) == 0) chunked = lower.find("chunked") != std::string::npos;
    else if (lower.rfind("expect:", 0) != 0) m.headers += line;
  }
  const int status = response ? std::atoi(m.start.c_str() + 9) : 0;
  if (status / 100 == 1 || status == 204 || status == 304) return true;
  if (!chunked) return length <= 0 || ReadBytes(fd, m.body, static_cast<std::size_t>(length));
  for (;;) {
    if (!ReadLine(fd, line)) return false;
    const std::size_t size = std::strtoul(line.c_str(), nullptr, 16);
    if (size == 0) return ReadLine(fd, line);
    if (!ReadBytes(fd, m.body, size) || !ReadLine(fd, line)) return false;
  }
}

bool WriteMessage(int fd, const Message& m) {
  const std::string head = m.start + m.headers + "Content-Length: " + std::to_string(m.body.size()) + "\r\n\r\n";
  return SendAll(fd, head.data(), static_cast<ssize_t>(head.size())) &&
         SendAll(fd, m.body.data(), static_cast<ssize_t>(m.body.size()));
}

void Attr(std::string& out, char tag, const std::string& name, const std::string& value) {
  out += tag;
  out += static_cast<char>(name.size() >> 8);
  out += static_cast<char>(name.size());
  out += name;
  out += static_cast<char>(value.size() >> 8);
  out += static_cast<char>(value.size());
  out += value;
}

// Passes every request on to the server except those that make a job and send its
// document: these it answers itself with successful-ok and no job id.
void CreateNoJob(int client) {
  const int server = ::socket(AF_INET, SOCK_STREAM, 0);
  Message m;
  if (::connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
    while (ReadMessage(client, m, false)) {
      const int op = m.body.size() >= 8 ? (static_cast<unsigned char>(m.body[2]) << 8) | static_cast<unsigned char>(m.body[3]) : 0;
      if (op == 0x0005 || op == 0x0006) {  // Create-Job, Send-Document
        std::string ipp{'\x02', '\x00', '\x00', '\x00'};
        ipp.append(m.body, 4, 4);  // request-id
        ipp += '\x01';             // operation attributes
        Attr(ipp, '\x47', "attributes-charset", "utf-8");
        Attr(ipp, '\x48', "attributes-natural-language", "en");
        ipp += '\x03';
        if (!WriteMessage(client, {"HTTP/1.1 200 OK\r\n", "Content-Type: application/ipp\r\n", ipp})) break;
        continue;
      }
      if (!WriteMessage(server, m)) break;
      do {
        if (!ReadMessage(server, m, true)) goto done;
      } while (m.start.find(" 100 ") != std::string::npos);
      if (!WriteMessage(client, m)) break;
    }
  }
done:
  ::close(server);
  ::close(client);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  const bool stall = mode == "stall" || mode == "stallall";
  if ((!stall || argc < 3) && mode != "nojobid") {
    std::fprintf(stderr, "usage: quno_print_proxy stall|stallall LIMIT [HOST:PORT] | nojobid\n");
    return 2;
  }
  std::signal(SIGPIPE, SIG_IGN);
  const long long limit = stall ? std::atoll(argv[2]) : 0;
  const int toArg = stall ? 3 : 2;
  const std::string to = argc > toArg ? argv[toArg] : "127.0.0.1:631";
  const auto colon = to.rfind(':');
  target.sin_family = AF_INET;
  target.sin_port = htons(static_cast<uint16_t>(std::atoi(to.substr(colon + 1).c_str())));
  if (colon == std::string::npos || ::inet_pton(AF_INET, to.substr(0, colon).c_str(), &target.sin_addr) != 1) {
    std::fprintf(stderr, "bad address %s\n", to.c_str());
    return 2;
  }
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listener, 64) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    std::perror("listen");
    return 1;
  }
  std::printf("port=%d\n", ntohs(addr.sin_port));
  std::fflush(stdout);
  for (;;) {
    const int client = ::accept(listener, nullptr, nullptr);
    if (client < 0) continue;
    if (stall) std::thread(Relay, client, limit, mode == "stallall" ? &sentInAll : nullptr).detach();
    else std::thread(CreateNoJob, client).detach();
  }
}
