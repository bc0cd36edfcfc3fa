// Whole HTTP requests fed to a running listener: one in-process listener on
// a port of the system's choosing, a request loop on a thread of its own,
// one client connection per input. The input is what the client sends, with
// every "$P" replaced by the listener's port so that inputs can name the
// right Host. Invariants: the listener neither crashes nor stalls (each
// input must be answered and the connection closed within a few seconds of
// the client ending its side), and the bytes that come back are a clean run
// of answers: each with one Content-Length and exactly that much body, every
// request handed to the loop answered once and in order, the listener's own
// refusals only at the end.
#include "platform/http_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "fuzz_support.h"

namespace {

using namespace std::chrono_literals;

// Longer than any answer takes; shorter than the listener's own time-outs,
// so a wait that reaches it is a stall.
constexpr auto kInputLimit = 5s;
const std::string kFileBody = "file body\n";

struct Server {
  platform::HttpListener listener;
  std::string port;
  std::wstring file;
  std::mutex mutex;
  std::deque<std::wstring> methods;  // of the requests handed over, in order
};

// The request loop of the harness: files for "/file", a chosen status for
// "/status", otherwise a text body and the target itself as content type
// (outside text in a header).
void Answer_loop(Server& server) {
  while (auto context = server.listener.GetContext()) {
    const std::wstring url = context->RawUrl();
    {
      std::lock_guard lock(server.mutex);
      server.methods.push_back(context->Method());
    }
    if (url.rfind(L"/file", 0) == 0) {
      if (!context->SetBodyFile(server.file)) fuzz::Fail("the harness file cannot be served");
      context->SetContentType(L"text/plain");
    } else if (url.rfind(L"/status", 0) == 0) {
      context->SetStatus(403);
      context->SetBody("403\n");
    } else {
      context->SetContentType(url);
      context->SetBody("ok " + platform::OsText_Encode(url));
    }
    context->Close();
  }
}

Server& The_server() {
  // Lives for the whole run; never destroyed, so the loop never outlives it.
  static Server* server = [] {
    auto* s = new Server;
    const auto file = std::filesystem::temp_directory_path() / ("foldweb-fuzz-" + std::to_string(::getpid()));
    std::ofstream(file, std::ios::binary) << kFileBody;
    s->file = platform::OsText_Decode(file.string());
    std::wstring reason;
    if (!s->listener.AddPrefix(L"http://127.0.0.1:0/") || !s->listener.Start(reason)) {
      fuzz::Fail("the listener does not start", reason);
    }
    s->port = std::to_string(s->listener.Port());
    std::thread(Answer_loop, std::ref(*s)).detach();
    return s;
  }();
  return *server;
}

std::string With_port(std::string_view input, const std::string& port) {
  std::string out;
  for (std::size_t i = 0; i < input.size(); ++i) {
    if (input[i] == '$' && i + 1 < input.size() && input[i + 1] == 'P') {
      out += port;
      ++i;
    } else {
      out += input[i];
    }
  }
  return out;
}

std::wstring Wide(const std::string& bytes) { return platform::OsText_Decode(bytes); }

// Sends `request`, ends the sending side and reads until the server closes.
std::string Exchange(const std::string& request, std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) fuzz::Fail("no socket", Wide(std::strerror(errno)));
  // Closed with a reset once done: thousands of inputs a second would
  // otherwise leave as many client ports waiting out TIME_WAIT.
  const linger abortive{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    // libFuzzer's own timer signal may cut the call short; the connection
    // then completes by itself, and its outcome is the socket's error.
    int error = errno;
    if (error == EINTR) {
      pollfd p{fd, POLLOUT, 0};
      while (::poll(&p, 1, static_cast<int>(std::chrono::milliseconds(kInputLimit).count())) < 0 && errno == EINTR) {
      }
      socklen_t size = sizeof error;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
      if ((p.revents & POLLOUT) == 0 && error == 0) error = ETIMEDOUT;
    }
    if (error != 0) fuzz::Fail("cannot connect to the listener", Wide(std::strerror(error)));
  }
  const auto deadline = std::chrono::steady_clock::now() + kInputLimit;
  std::string answer;
  std::size_t sent = 0;
  bool shut = false;
  char chunk[65536];
  for (;;) {
    if (sent == request.size() && !shut) {
      ::shutdown(fd, SHUT_WR);
      shut = true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) fuzz::Fail("the listener neither answered nor closed in time");
    pollfd p{fd, static_cast<short>(POLLIN | (shut ? 0 : POLLOUT)), 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) < 0) continue;
    if ((p.revents & POLLOUT) != 0 && !shut) {
      const auto n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        sent += static_cast<std::size_t>(n);
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        sent = request.size();  // the server closed early: read what it said
      }
    }
    if ((p.revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      const auto n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
      if (n > 0) {
        answer.append(chunk, static_cast<std::size_t>(n));
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        break;  // closed (or reset after the server's refusal)
      }
    }
  }
  ::close(fd);
  return answer;
}

// A part of the harness file: " bytes A-B/SIZE" must name exactly the
// bytes that came.
void Check_part(const std::string& content_range, const std::string& body, const std::string& head) {
  unsigned long long first = 0;
  unsigned long long last = 0;
  unsigned long long size = 0;
  const bool parsed = std::sscanf(content_range.c_str(), " bytes %llu-%llu/%llu", &first, &last, &size) == 3;
  fuzz::Check(parsed && first <= last && last < size && size == kFileBody.size(), "a wrong Content-Range",
              Wide(head));
  fuzz::Check(body == kFileBody.substr(first, last - first + 1), "a part that is not the range it names", Wide(head));
}

// Walks the answers. `methods` are those of the requests the loop answered.
void Check_answers(const std::string& stream, std::deque<std::wstring> methods) {
  std::size_t at = 0;
  while (at < stream.size()) {
    const std::size_t head_end = stream.find("\r\n\r\n", at);
    fuzz::Check(head_end != std::string::npos, "an answer's header block is cut short", Wide(stream.substr(at)));
    const std::string head = stream.substr(at, head_end + 2 - at);
    at = head_end + 4;
    fuzz::Check(head.rfind("HTTP/1.1 ", 0) == 0 && head.size() > 12, "not a status line", Wide(head));
    const int status = std::stoi(head.substr(9, 3));
    if (status == 100) continue;
    int lengths = 0;
    std::uint64_t length = 0;
    std::string content_range;
    for (std::size_t line = head.find("\r\n") + 2; line < head.size();) {
      const std::size_t end = head.find("\r\n", line);
      const std::string field = head.substr(line, end - line);
      line = end + 2;
      const std::size_t colon = field.find(':');
      fuzz::Check(colon != std::string::npos && colon > 0, "a header line without a name", Wide(head));
      for (const char c : field) {
        fuzz::Check(static_cast<unsigned char>(c) >= 0x20 || c == '\t', "a control character in a header", Wide(head));
      }
      if (field.compare(0, colon, "Content-Length") == 0) {
        ++lengths;
        length = std::stoull(field.substr(colon + 1));
      } else if (field.compare(0, colon, "Content-Range") == 0) {
        content_range = field.substr(colon + 1);
      }
    }
    fuzz::Check(lengths == 1, "not exactly one Content-Length", Wide(head));
    if (status == 200 || status == 403 || status == 206 || status == 416) {
      fuzz::Check(!methods.empty(), "an answer for a request the loop never saw", Wide(head));
      const bool head_only = methods.front() == L"HEAD";
      methods.pop_front();
      if (head_only) continue;
      fuzz::Check(stream.size() - at >= length, "a body shorter than its Content-Length", Wide(head));
      if (status == 206) Check_part(content_range, stream.substr(at, length), head);
      at += length;
      continue;
    }
    // The listener's own refusal ends the connection.
    fuzz::Check(status == 400 || status == 413 || status == 431, "an unexpected status", Wide(head));
    fuzz::Check(stream.size() - at == length || stream.size() == at, "bytes after a refusal", Wide(stream.substr(at)));
    at = stream.size();
  }
  fuzz::Check(methods.empty(), "a request handed to the loop was not answered");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Server& server = The_server();
  const std::string request = With_port(std::string_view(reinterpret_cast<const char*>(data), size), server.port);
  const std::string answer = Exchange(request, server.listener.Port());
  std::deque<std::wstring> methods;
  {
    std::lock_guard lock(server.mutex);
    methods.swap(server.methods);
  }
  Check_answers(answer, std::move(methods));
  return 0;
}
