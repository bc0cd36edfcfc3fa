#include "platform/http_listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "platform/os_text.h"

namespace {

using platform::HttpContext;
using platform::HttpListener;
using namespace std::chrono_literals;

// Every wait on the server is bounded by this: a fault fails, never hangs.
constexpr auto kWait = 10s;

struct Response {
  int status = 0;
  std::string status_line;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;

  bool Has(const std::string& name) const { return headers.count(name) != 0; }
  std::string Header(const std::string& name) const {
    const auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
  }
};

// A plain blocking client socket on 127.0.0.1 whose every receive and send
// gives up after kWait.
class Client {
 public:
  explicit Client(std::uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval limit{static_cast<time_t>(std::chrono::seconds(kWait).count()), 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  ~Client() { ::close(fd_); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool Connected() const { return connected_; }

  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const auto sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }

  // The status line and headers of the next response; no body is read.
  std::optional<Response> ReadHead() {
    std::size_t end;
    while ((end = pending_.find("\r\n\r\n")) == std::string::npos) {
      if (!Fill()) return std::nullopt;
    }
    const std::string block = pending_.substr(0, end + 2);
    pending_.erase(0, end + 4);
    Response response;
    std::size_t line_end = block.find("\r\n");
    response.status_line = block.substr(0, line_end);
    if (response.status_line.rfind("HTTP/1.1 ", 0) != 0) return std::nullopt;
    response.status = std::atoi(response.status_line.c_str() + 9);
    for (std::size_t at = line_end + 2; at < block.size(); at = line_end + 2) {
      line_end = block.find("\r\n", at);
      const std::string line = block.substr(at, line_end - at);
      const auto colon = line.find(':');
      if (colon == std::string::npos) return std::nullopt;
      std::string name = line.substr(0, colon);
      std::transform(name.begin(), name.end(), name.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      const auto value_at = line.find_first_not_of(' ', colon + 1);
      response.headers[name] = value_at == std::string::npos ? "" : line.substr(value_at);
    }
    return response;
  }

  // The next whole response; every response must carry Content-Length. A
  // response to HEAD has none of the body it announces.
  std::optional<Response> Read(bool head = false) {
    auto response = ReadHead();
    if (!response || !response->Has("content-length")) return std::nullopt;
    if (head) return response;
    const auto length = std::stoull(response->Header("content-length"));
    while (pending_.size() < length) {
      if (!Fill()) return std::nullopt;
    }
    response->body = pending_.substr(0, length);
    pending_.erase(0, length);
    return response;
  }

  // Reads and drops `length` body bytes; returns how many arrived.
  std::uint64_t Discard(std::uint64_t length) {
    std::uint64_t got = std::min<std::uint64_t>(pending_.size(), length);
    pending_.erase(0, got);
    std::vector<char> chunk(1 << 20);
    while (got < length) {
      const auto n = ::recv(fd_, chunk.data(),
                            static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), length - got)), 0);
      if (n <= 0) break;
      got += static_cast<std::uint64_t>(n);
    }
    return got;
  }

  // True when the server ends the connection (end of stream or reset)
  // before anything else arrives; false on data or timeout.
  bool ClosedByPeer() {
    if (!pending_.empty()) return false;
    char byte;
    const auto n = ::recv(fd_, &byte, 1, 0);
    return n == 0 || (n < 0 && errno == ECONNRESET);
  }

 private:
  bool Fill() {
    char chunk[65536];
    const auto n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    pending_.append(chunk, static_cast<std::size_t>(n));
    return true;
  }

  int fd_ = -1;
  bool connected_ = false;
  std::string pending_;
};

std::string Utf8(const std::wstring& text) { return platform::OsText_Encode(text); }

// "METHOD RAW-URL" as the body: what the loop saw comes back to the client.
void Echo(HttpContext& context) {
  context.SetContentType(L"text/plain");
  context.SetBody(Utf8(context.Method() + L" " + context.RawUrl()));
  context.Close();
}

// A folder of its own under the temporary folder, removed with the object.
class TempFolder {
 public:
  TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/listener_test_XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A file of `size` bytes that occupies no disk: a hole from end to end.
bool MakeSparseFile(const std::string& path, std::uint64_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool sized = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
  ::close(fd);
  return sized;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A value in kB from /proc/self/status ("VmRSS", "VmHWM"); -1 when absent.
long StatusKb(const std::string& key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
  }
  return -1;
}

long OpenFileCount() {
  long count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

// A started listener on a port of the system's choice, with a request loop
// thread that answers every request through the current handler (Echo
// unless a test sets another). The loop records every raw URL it was given.
class HttpListenerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(listener_.AddPrefix(L"http://127.0.0.1:0/"));
    std::wstring reason;
    ASSERT_TRUE(listener_.Start(reason)) << Utf8(reason);
    port_ = listener_.Port();
    ASSERT_NE(port_, 0);
    loop_ = std::thread([this] {
      while (auto context = listener_.GetContext()) {
        std::function<void(HttpContext&)> handler;
        {
          std::lock_guard lock(mutex_);
          handler = handler_;
          seen_.push_back(context->RawUrl());
        }
        handler(*context);
      }
    });
  }

  void TearDown() override {
    listener_.Stop();
    if (loop_.joinable()) loop_.join();
  }

  void SetHandler(std::function<void(HttpContext&)> handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
  }

  std::vector<std::wstring> Seen() {
    std::lock_guard lock(mutex_);
    return seen_;
  }

  std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }

  std::string Get(const std::string& target, const std::string& more_headers = "",
                  const std::string& method = "GET") const {
    return method + " " + target + " HTTP/1.1\r\nHost: " + Host() + "\r\n" + more_headers + "\r\n";
  }

  HttpListener listener_;
  std::uint16_t port_ = 0;

 private:
  std::thread loop_;
  std::mutex mutex_;
  std::function<void(HttpContext&)> handler_ = Echo;
  std::vector<std::wstring> seen_;
};

// --- Prefix and start -----------------------------------------------------------

TEST(HttpListenerPrefix, AcceptsOnlyTheLoopbackPrefixForm) {
  const struct {
    const wchar_t* prefix;
    bool accepted;
  } cases[] = {
      {L"http://127.0.0.1:0/", true},          {L"http://127.0.0.1:50123/", true},
      {L"http://127.0.0.1:65535/", true},      {L"", false},
      {L"http://127.0.0.1/", false},           {L"http://127.0.0.1:/", false},
      {L"http://127.0.0.1:65536/", false},     {L"http://127.0.0.1:50123", false},
      {L"http://127.0.0.1:50123/sub/", false}, {L"http://127.0.0.1:5x1/", false},
      {L"http://127.0.0.1:-1/", false},        {L"http://localhost:50123/", false},
      {L"https://127.0.0.1:50123/", false},    {L"http://0.0.0.0:50123/", false},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(Utf8(row.prefix));
    HttpListener listener;
    EXPECT_EQ(listener.AddPrefix(row.prefix), row.accepted);
  }
}

TEST(HttpListenerStart, PortTakenFailsWithTheAddressAndTheSystemsReason) {
  const int taken = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(taken, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(taken, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(taken, 1), 0);
  socklen_t length = sizeof address;
  ASSERT_EQ(::getsockname(taken, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const auto port = std::to_wstring(ntohs(address.sin_port));

  HttpListener listener;
  ASSERT_TRUE(listener.AddPrefix(L"http://127.0.0.1:" + port + L"/"));
  std::wstring reason;
  EXPECT_FALSE(listener.Start(reason));
  EXPECT_EQ(reason, L"cannot listen on 127.0.0.1:" + port + L": Address already in use");
  ::close(taken);
}

TEST(HttpListenerStart, WithoutPrefixFailsAndGetContextDoesNotWait) {
  HttpListener listener;
  std::wstring reason;
  EXPECT_FALSE(listener.Start(reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ(listener.GetContext(), nullptr);
}

// --- Order and connection handling ---------------------------------------------

TEST_F(HttpListenerTest, EachConnectionGetsItsPipelinedAnswersInOrder) {
  constexpr int kConnections = 4;
  constexpr int kRequests = 5;
  std::vector<std::unique_ptr<Client>> clients;
  for (int c = 0; c < kConnections; ++c) {
    clients.push_back(std::make_unique<Client>(port_));
    ASSERT_TRUE(clients.back()->Connected());
  }
  // Interleaved: request r of every connection goes out before request r + 1
  // of any, and each connection's requests stay queued in its own buffer.
  for (int r = 0; r < kRequests; ++r) {
    for (int c = 0; c < kConnections; ++c) {
      ASSERT_TRUE(clients[c]->Send(Get("/c" + std::to_string(c) + "/r" + std::to_string(r))));
    }
  }
  for (int c = 0; c < kConnections; ++c) {
    for (int r = 0; r < kRequests; ++r) {
      const auto response = clients[c]->Read();
      ASSERT_TRUE(response);
      EXPECT_EQ(response->status, 200);
      EXPECT_EQ(response->body, "GET /c" + std::to_string(c) + "/r" + std::to_string(r));
    }
  }
  EXPECT_EQ(Seen().size(), static_cast<std::size_t>(kConnections * kRequests));
}

TEST_F(HttpListenerTest, OnePipelinedWriteIsAnsweredInOrder) {
  Client client(port_);
  ASSERT_TRUE(client.Send(Get("/one") + Get("/two", "", "POST") + Get("/three")));
  for (const char* expected : {"GET /one", "POST /two", "GET /three"}) {
    const auto response = client.Read();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->body, expected);
  }
  EXPECT_EQ(Seen(), (std::vector<std::wstring>{L"/one", L"/two", L"/three"}));
}

TEST_F(HttpListenerTest, KeepAliveFollowsTheHttpVersionAndConnectionHeader) {
  const struct {
    const char* version;
    const char* connection;  // header line or ""
    bool stays_open;
    const char* answer_connection;  // expected Connection header, "" for none
  } cases[] = {
      {"HTTP/1.1", "", true, ""},
      {"HTTP/1.1", "Connection: close\r\n", false, "close"},
      {"HTTP/1.0", "", false, "close"},
      {"HTTP/1.0", "Connection: keep-alive\r\n", true, "keep-alive"},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(std::string(row.version) + " " + row.connection);
    Client client(port_);
    const std::string request =
        std::string("GET /ka ") + row.version + "\r\nHost: " + Host() + "\r\n" + row.connection + "\r\n";
    ASSERT_TRUE(client.Send(request));
    const auto first = client.Read();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->body, "GET /ka");
    EXPECT_EQ(first->Header("connection"), row.answer_connection);
    if (row.stays_open) {
      ASSERT_TRUE(client.Send(request));
      const auto second = client.Read();
      ASSERT_TRUE(second);
      EXPECT_EQ(second->body, "GET /ka");
    } else {
      EXPECT_TRUE(client.ClosedByPeer());
    }
  }
}

TEST_F(HttpListenerTest, HeadGetsTheHeadersAndNoBody) {
  TempFolder folder;
  const std::string path = folder.File("page.txt");
  WriteFile(path, "twelve bytes");
  SetHandler([&](HttpContext& context) {
    if (context.RawUrl() == L"/file") {
      EXPECT_TRUE(context.SetBodyFile(platform::OsText_Decode(path)));
      context.Close();
      return;
    }
    Echo(context);
  });
  Client client(port_);
  // The GET after each HEAD is read right after the HEAD's headers: any body
  // bytes sent for HEAD would spoil it.
  ASSERT_TRUE(
      client.Send(Get("/text", "", "HEAD") + Get("/after") + Get("/file", "", "HEAD") + Get("/after")));
  const auto text = client.Read(/*head=*/true);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->status, 200);
  EXPECT_EQ(text->Header("content-length"), std::to_string(std::string("HEAD /text").size()));
  EXPECT_EQ(text->Header("content-type"), "text/plain");
  auto after = client.Read();
  ASSERT_TRUE(after);
  EXPECT_EQ(after->body, "GET /after");

  const auto file = client.Read(/*head=*/true);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Header("content-length"), "12");
  after = client.Read();
  ASSERT_TRUE(after);
  EXPECT_EQ(after->body, "GET /after");
}

TEST_F(HttpListenerTest, StatusAndContentTypeAsSet) {
  const struct {
    int status;
    const wchar_t* type;
    const char* status_line;
  } cases[] = {
      {200, L"text/html", "HTTP/1.1 200 OK"},
      {403, L"text/plain", "HTTP/1.1 403 Forbidden"},
      {500, L"", "HTTP/1.1 500 Internal Server Error"},
  };
  Client client(port_);
  for (const auto& row : cases) {
    SCOPED_TRACE(row.status_line);
    SetHandler([&row](HttpContext& context) {
      context.SetStatus(row.status);
      context.SetContentType(row.type);
      context.SetBody("x");
      context.Close();
    });
    ASSERT_TRUE(client.Send(Get("/status")));
    const auto response = client.Read();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status_line, row.status_line);
    EXPECT_EQ(response->Has("content-type"), *row.type != 0);
    if (*row.type != 0) {
      EXPECT_EQ(response->Header("content-type"), Utf8(row.type));
    }
    EXPECT_EQ(response->body, "x");
  }
}

TEST_F(HttpListenerTest, RawUrlIsTheTargetAsSent) {
  const std::string port = std::to_string(port_);
  const struct {
    std::string target;
    std::wstring raw_url;
  } cases[] = {
      {"/", L"/"},
      {"/a%20b/c+d.html?x=%zz&y=%2F#", L"/a%20b/c+d.html?x=%zz&y=%2F#"},
      {"/\xC3\xA9t\xC3\xA9", L"/\u00E9t\u00E9"},
      {"/\xFF\xFE.txt", L"/\xDCFF\xDCFE.txt"},
      // Absolute form: its path and query.
      {"http://127.0.0.1:" + port + "/a/b?x=1", L"/a/b?x=1"},
      {"HTTP://LocalHost:" + port + "/c", L"/c"},
      {"http://127.0.0.1:" + port, L"/"},
      {"http://127.0.0.1:" + port + "?q=1", L"/?q=1"},
  };
  Client client(port_);
  for (const auto& row : cases) {
    SCOPED_TRACE(row.target);
    ASSERT_TRUE(client.Send(Get(row.target)));
    const auto response = client.Read();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, 200);
    ASSERT_FALSE(Seen().empty());
    EXPECT_EQ(Seen().back(), row.raw_url);
  }
}

// --- What the listener answers itself ------------------------------------------

TEST_F(HttpListenerTest, HostMustNameThisServer) {
  const std::string port = std::to_string(port_);
  const std::string other_port = std::to_string(port_ == 65535 ? 1 : port_ + 1);
  const struct {
    std::string target;
    std::string host_lines;
    int status;
  } cases[] = {
      {"/h1", "Host: 127.0.0.1:" + port + "\r\n", 200},
      {"/h2", "Host: localhost:" + port + "\r\n", 200},
      {"/h3", "Host: LOCALHOST:" + port + "\r\n", 200},
      {"/h4", "", 400},
      {"/h5", "Host: \r\n", 400},
      {"/h6", "Host: evil.example:" + port + "\r\n", 400},
      {"/h7", "Host: 127.0.0.1\r\n", 400},
      {"/h8", "Host: localhost\r\n", 400},
      {"/h9", "Host: 127.0.0.1:" + other_port + "\r\n", 400},
      {"/h10", "Host: 127.0.0.1:" + port + "0\r\n", 400},
      {"/h11", "Host: 127.0.0.2:" + port + "\r\n", 400},
      {"/h12", "Host: localhost.:" + port + "\r\n", 400},
      {"/h13", "Host: 127.0.0.1:" + port + "\r\nHost: evil.example\r\n", 400},
      {"/h14", "Host: [::1]:" + port + "\r\n", 400},
      {"http://evil.example:" + port + "/h15", "Host: 127.0.0.1:" + port + "\r\n", 400},
  };
  std::vector<std::wstring> answered;
  for (const auto& row : cases) {
    SCOPED_TRACE(row.target + " " + row.host_lines);
    Client client(port_);
    ASSERT_TRUE(client.Send("GET " + row.target + " HTTP/1.1\r\n" + row.host_lines + "\r\n"));
    const auto response = client.Read();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, row.status);
    if (row.status == 200) {
      answered.push_back(platform::OsText_Decode(row.target));
    } else {
      EXPECT_TRUE(client.ClosedByPeer());
    }
  }
  EXPECT_EQ(Seen(), answered);
}

TEST_F(HttpListenerTest, MalformedRequestsAre400AndClosed) {
  const std::string host = "Host: " + Host() + "\r\n";
  const std::string cases[] = {
      "garbage\r\n\r\n",
      "GET /\r\n\r\n",
      "GET / HTTP/1.1 extra\r\n" + host + "\r\n",
      "GET relative HTTP/1.1\r\n" + host + "\r\n",
      "GET * HTTP/1.1\r\n" + host + "\r\n",
      "GET ftp://127.0.0.1/x HTTP/1.1\r\n" + host + "\r\n",
      "GET / HTTP/1.1\r\n" + host + "Bad Header\r\n\r\n",
      "POST / HTTP/1.1\r\n" + host + "Content-Length: 12x\r\n\r\n",
      "POST / HTTP/1.1\r\n" + host + "Content-Length: 1\r\nContent-Length: 2\r\n\r\n",
      "POST / HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\nzz\r\n",
  };
  for (const auto& request : cases) {
    SCOPED_TRACE(request);
    Client client(port_);
    ASSERT_TRUE(client.Send(request));
    const auto response = client.Read();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status_line, "HTTP/1.1 400 Bad Request");
    EXPECT_TRUE(client.ClosedByPeer());
  }
  EXPECT_TRUE(Seen().empty());
}

TEST_F(HttpListenerTest, HeaderBlockOver16KiBIs431) {
  const struct {
    std::size_t padding;
    int status;
  } cases[] = {
      {15 * 1024, 200},
      {17 * 1024, 431},
      {64 * 1024, 431},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.padding);
    Client client(port_);
    ASSERT_TRUE(client.Send(Get("/big-header", "X-Pad: " + std::string(row.padding, 'p') + "\r\n")));
    const auto response = client.Read();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, row.status);
    if (row.status == 431) {
      EXPECT_EQ(response->status_line, "HTTP/1.1 431 Request Header Fields Too Large");
      EXPECT_TRUE(client.ClosedByPeer());
    }
  }
  EXPECT_EQ(Seen().size(), 1u);
}

TEST_F(HttpListenerTest, RequestBodyIsDroppedUpTo1MiB) {
  const std::string body(1024 * 1024, 'b');
  Client client(port_);
  ASSERT_TRUE(client.Send(Get("/upload", "Content-Length: " + std::to_string(body.size()) + "\r\n", "POST") +
                          body + Get("/next")));
  for (const char* expected : {"POST /upload", "GET /next"}) {
    const auto response = client.Read();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, 200);
    EXPECT_EQ(response->body, expected);
  }
}

TEST_F(HttpListenerTest, BodyOver1MiBIs413) {
  constexpr std::size_t kOver = 1024 * 1024 + 1;
  std::string chunked;
  for (std::size_t sent = 0; sent < kOver; sent += 65536) {
    chunked += "10000\r\n" + std::string(65536, 'c') + "\r\n";
  }
  chunked += "0\r\n\r\n";
  const std::string cases[] = {
      // The announced length alone is refused, before any body arrives.
      Get("/len", "Content-Length: " + std::to_string(kOver) + "\r\n", "POST"),
      Get("/chunks", "Transfer-Encoding: chunked\r\n", "POST") + chunked,
  };
  for (const auto& request : cases) {
    SCOPED_TRACE(request.substr(0, 12));
    Client client(port_);
    ASSERT_TRUE(client.Send(request));
    const auto response = client.Read();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status_line, "HTTP/1.1 413 Payload Too Large");
    EXPECT_TRUE(client.ClosedByPeer());
  }
  EXPECT_TRUE(Seen().empty());
}

TEST_F(HttpListenerTest, ExpectContinueGetsTheGoAheadBeforeTheBody) {
  Client client(port_);
  ASSERT_TRUE(client.Send(Get("/post", "Content-Length: 5\r\nExpect: 100-continue\r\n", "POST")));
  const auto go_ahead = client.ReadHead();
  ASSERT_TRUE(go_ahead);
  EXPECT_EQ(go_ahead->status_line, "HTTP/1.1 100 Continue");
  ASSERT_TRUE(client.Send("hello"));
  const auto response = client.Read();
  ASSERT_TRUE(response);
  EXPECT_EQ(response->body, "POST /post");
}

TEST_F(HttpListenerTest, DroppedContextAnswers500AndTheConnectionGoesOn) {
  SetHandler([](HttpContext& context) {
    if (context.RawUrl() == L"/drop") return;
    Echo(context);
  });
  Client client(port_);
  ASSERT_TRUE(client.Send(Get("/drop") + Get("/after")));
  const auto dropped = client.Read();
  ASSERT_TRUE(dropped);
  EXPECT_EQ(dropped->status_line, "HTTP/1.1 500 Internal Server Error");
  const auto after = client.Read();
  ASSERT_TRUE(after);
  EXPECT_EQ(after->body, "GET /after");
}

// --- Clients that misbehave -----------------------------------------------------

TEST_F(HttpListenerTest, SilentClientsDoNotDelayOthers) {
  Client silent(port_);
  Client half(port_);
  ASSERT_TRUE(silent.Connected());
  ASSERT_TRUE(half.Send("GET /half HTTP/1.1\r\nHo"));
  Client prompt(port_);
  ASSERT_TRUE(prompt.Send(Get("/prompt")));
  const auto response = prompt.Read();
  ASSERT_TRUE(response);
  EXPECT_EQ(response->body, "GET /prompt");
}

TEST_F(HttpListenerTest, ClientGoneBeforeItsAnswerDoesNotDisturbTheNext) {
  TempFolder folder;
  const std::string big = folder.File("big.bin");
  ASSERT_TRUE(MakeSparseFile(big, 64ull << 20));
  const long files_before = OpenFileCount();
  for (const bool file_body : {false, true}) {
    SCOPED_TRACE(file_body ? "file body" : "text body");
    std::promise<void> arrived;
    std::promise<void> gone;
    auto gone_future = gone.get_future();
    SetHandler([&](HttpContext& context) {
      if (context.RawUrl() != L"/wait") return Echo(context);
      arrived.set_value();
      gone_future.wait_for(kWait);
      if (file_body) {
        EXPECT_TRUE(context.SetBodyFile(platform::OsText_Decode(big)));
      } else {
        context.SetBody(std::string(8 << 20, 'x'));
      }
      context.Close();
      context.Close();  // a second close does nothing
    });
    {
      Client leaving(port_);
      ASSERT_TRUE(leaving.Send(Get("/wait")));
      ASSERT_EQ(arrived.get_future().wait_for(kWait), std::future_status::ready);
    }
    gone.set_value();
    Client next(port_);
    ASSERT_TRUE(next.Send(Get("/next")));
    const auto response = next.Read();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->body, "GET /next");
  }
  // The answers' files and sockets are all closed once the server has seen
  // both clients go.
  const auto until = std::chrono::steady_clock::now() + kWait;
  while (OpenFileCount() > files_before && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_LE(OpenFileCount(), files_before);
}

TEST_F(HttpListenerTest, TwoHundredParallelConnectionsAreAllAnswered) {
  constexpr int kConnections = 200;
  std::vector<std::unique_ptr<Client>> clients;
  for (int c = 0; c < kConnections; ++c) {
    clients.push_back(std::make_unique<Client>(port_));
    ASSERT_TRUE(clients.back()->Connected());
  }
  for (int c = 0; c < kConnections; ++c) {
    ASSERT_TRUE(clients[c]->Send(Get("/p" + std::to_string(c))));
  }
  for (int c = 0; c < kConnections; ++c) {
    const auto response = clients[c]->Read();
    ASSERT_TRUE(response) << c;
    EXPECT_EQ(response->body, "GET /p" + std::to_string(c));
  }
}

TEST_F(HttpListenerTest, ConnectionsOver512AreRefused) {
  rlimit files{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
  constexpr rlim_t kNeeded = 1200;  // both ends of 513 connections and some
  if (files.rlim_cur < kNeeded) {
    if (files.rlim_max < kNeeded) GTEST_SKIP() << "too few file descriptors allowed";
    files.rlim_cur = kNeeded;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &files), 0);
  }
  std::vector<std::unique_ptr<Client>> clients;
  for (int c = 0; c < 512; ++c) {
    clients.push_back(std::make_unique<Client>(port_));
    ASSERT_TRUE(clients.back()->Connected());
  }
  Client extra(port_);
  EXPECT_TRUE(extra.ClosedByPeer());
  // The ones already open are still served.
  for (const int c : {0, 511}) {
    ASSERT_TRUE(clients[c]->Send(Get("/still")));
    const auto response = clients[c]->Read();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->body, "GET /still");
  }
}

// --- File bodies ----------------------------------------------------------------

TEST_F(HttpListenerTest, SetBodyFileTakesOnlyRegularFilesWithoutBlocking) {
  TempFolder folder;
  const std::string regular = folder.File("r\xC3\xA9gular.txt");
  WriteFile(regular, "file bytes");
  const std::string fifo = folder.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::string path;
    bool opened;
    const char* body;
  } cases[] = {
      {regular, true, "file bytes"}, {folder.File("missing.txt"), false, "unchanged"},
      {fifo, false, "unchanged"},    {folder.Path(), false, "unchanged"},
      {"", false, "unchanged"},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.path);
    std::atomic<bool> result = !row.opened;
    SetHandler([&](HttpContext& context) {
      context.SetBody("unchanged");
      result = context.SetBodyFile(platform::OsText_Decode(row.path));
      context.Close();
    });
    Client client(port_);
    ASSERT_TRUE(client.Send(Get("/f")));
    const auto response = client.Read();
    // Had the loop blocked on the FIFO, a writer opening it sets it free.
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (writer >= 0) ::close(writer);
    ASSERT_TRUE(response);
    EXPECT_EQ(result, row.opened);
    EXPECT_EQ(response->body, row.body);
  }
}

// Small files leave with their header in one send, larger ones are
// streamed after it: every size either side of the switch arrives whole and
// in order on one connection.
TEST_F(HttpListenerTest, FileBodiesOfEverySizeArriveWholeAndInOrder) {
  TempFolder folder;
  const std::size_t sizes[] = {0, 1, 4096, 64 * 1024 - 1, 64 * 1024, 64 * 1024 + 1, 3 << 20};
  std::map<std::wstring, std::string> files;
  for (const std::size_t size : sizes) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 7 + size) % 26);
    const std::string path = folder.File("f" + std::to_string(size));
    WriteFile(path, bytes);
    files[L"/" + std::to_wstring(size)] = bytes;
  }
  SetHandler([&](HttpContext& context) {
    const auto found = files.find(context.RawUrl());
    if (found == files.end()) return Echo(context);
    EXPECT_TRUE(context.SetBodyFile(platform::OsText_Decode(folder.Path()) + L"/f" + found->first.substr(1)));
    context.SetContentType(L"application/octet-stream");
    context.Close();
  });
  Client client(port_);
  std::string requests;
  for (const std::size_t size : sizes) requests += Get("/" + std::to_string(size)) + Get("/after");
  ASSERT_TRUE(client.Send(requests));
  for (const std::size_t size : sizes) {
    SCOPED_TRACE(size);
    const auto file = client.Read();
    ASSERT_TRUE(file);
    EXPECT_EQ(file->status, 200);
    EXPECT_EQ(file->Header("content-type"), "application/octet-stream");
    EXPECT_TRUE(file->body == files[L"/" + std::to_wstring(size)]);
    const auto after = client.Read();
    ASSERT_TRUE(after);
    EXPECT_EQ(after->body, "GET /after");
  }
}

// Served whole with its length announced, straight from the file: the
// process's memory stays flat. A reader that stalls on the same file holds
// up nobody else.
TEST_F(HttpListenerTest, FileOfSeveralGigabytesIsStreamed) {
  TempFolder folder;
  const std::string big = folder.File("big.bin");
  constexpr std::uint64_t kSize = 4ull << 30;
  ASSERT_TRUE(MakeSparseFile(big, kSize));
  SetHandler([&](HttpContext& context) {
    if (context.RawUrl() != L"/big") return Echo(context);
    EXPECT_TRUE(context.SetBodyFile(platform::OsText_Decode(big)));
    context.Close();
  });

  Client stalled(port_);
  ASSERT_TRUE(stalled.Send(Get("/big")));
  Client other(port_);
  ASSERT_TRUE(other.Send(Get("/other")));
  const auto other_response = other.Read();
  ASSERT_TRUE(other_response);
  EXPECT_EQ(other_response->body, "GET /other");

  // Writing 5 to clear_refs starts the peak (VmHWM) afresh from here.
  const bool peak_reset = static_cast<bool>(std::ofstream("/proc/self/clear_refs") << "5" << std::flush);
  const long rss_before = StatusKb("VmRSS");
  ASSERT_GT(rss_before, 0);

  Client reader(port_);
  ASSERT_TRUE(reader.Send(Get("/big")));
  const auto head = reader.ReadHead();
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 200);
  ASSERT_EQ(head->Header("content-length"), std::to_string(kSize));
  EXPECT_EQ(reader.Discard(kSize), kSize);

  const long growth = (peak_reset ? StatusKb("VmHWM") : StatusKb("VmRSS")) - rss_before;
  EXPECT_LT(growth, 50 * 1024) << "kB";
  // The same connection goes on after the body.
  ASSERT_TRUE(reader.Send(Get("/after")));
  const auto after = reader.Read();
  ASSERT_TRUE(after);
  EXPECT_EQ(after->body, "GET /after");
}

// --- Byte ranges ----------------------------------------------------------------

// One range of a file answer comes as 206 with its place in the file; what
// cannot be met is 416 with the file's size; whatever is not one plain
// range of a GET for a file gets the whole answer. Every answer arrives on
// the same connection, so each one's length was exact.
TEST_F(HttpListenerTest, RangesOfFileAnswers) {
  TempFolder folder;
  std::string bytes(200 * 1024, '\0');  // past the size sent with the header
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + (i * 13 + i / 251) % 26);
  WriteFile(folder.File("big"), bytes);
  WriteFile(folder.File("small"), bytes.substr(0, 100));
  WriteFile(folder.File("empty"), "");
  constexpr std::uint64_t kHuge = 5ull << 30;  // offsets past 32 bits
  ASSERT_TRUE(MakeSparseFile(folder.File("huge"), kHuge));
  SetHandler([&](HttpContext& context) {
    const std::wstring url = context.RawUrl();
    if (url == L"/page") {  // an answer from memory, as an index page is
      context.SetBody("page");
    } else {
      EXPECT_TRUE(context.SetBodyFile(platform::OsText_Decode(folder.Path()) + url));
      if (url == L"/small") context.SetStatus(404);  // not a file answer to cut
    }
    context.Close();
  });
  const std::string big = std::to_string(bytes.size());
  const std::string tail = std::to_string(kHuge - 10) + "-" + std::to_string(kHuge - 1) + "/" + std::to_string(kHuge);
  const struct {
    std::string target, headers;
    int status;
    std::string content_range;  // empty: none
    std::uint64_t first, length;  // of the body within the file
  } cases[] = {
      {"/big", "Range: bytes=0-0\r\n", 206, "bytes 0-0/" + big, 0, 1},
      {"/big", "Range: bytes=10-19\r\n", 206, "bytes 10-19/" + big, 10, 10},
      {"/big", "range: BYTES=100000-\r\n", 206, "bytes 100000-204799/" + big, 100000, 104800},
      {"/big", "Range: bytes=-5\r\n", 206, "bytes 204795-204799/" + big, 204795, 5},
      {"/big", "Range: bytes=-999999\r\n", 206, "bytes 0-204799/" + big, 0, 204800},
      {"/big", "Range: bytes=204799-99999999999999999999999\r\n", 206, "bytes 204799-204799/" + big, 204799, 1},
      {"/big", "Range: bytes=204800-\r\n", 416, "bytes */" + big, 0, 0},
      {"/big", "Range: bytes=99999999999999999999999-\r\n", 416, "bytes */" + big, 0, 0},
      {"/big", "Range: bytes=-0\r\n", 416, "bytes */" + big, 0, 0},
      {"/empty", "Range: bytes=0-\r\n", 416, "bytes */0", 0, 0},
      {"/huge", "Range: bytes=-10\r\n", 206, "bytes " + tail, kHuge - 10, 10},
      // The whole file, 200, for anything else.
      {"/big", "", 200, "", 0, 204800},
      {"/big", "Range: bytes=0-1,5-6\r\n", 200, "", 0, 204800},
      {"/big", "Range: bytes=0-1\r\nRange: bytes=5-6\r\n", 200, "", 0, 204800},
      {"/big", "Range: bytes=9-3\r\n", 200, "", 0, 204800},
      {"/big", "Range: bytes=-\r\n", 200, "", 0, 204800},
      {"/big", "Range: bytes=x-3\r\n", 200, "", 0, 204800},
      {"/big", "Range: bytes=+1-3\r\n", 200, "", 0, 204800},
      {"/big", "Range: items=0-3\r\n", 200, "", 0, 204800},
      {"/big", "Range: bytes=0-3\r\nIf-Range: \"x\"\r\n", 200, "", 0, 204800},
  };
  Client client(port_);
  for (const auto& row : cases) {
    SCOPED_TRACE(row.target + " " + row.headers);
    ASSERT_TRUE(client.Send(Get(row.target, row.headers)));
    const auto response = client.Read();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, row.status);
    EXPECT_EQ(response->Header("content-range"), row.content_range);
    EXPECT_EQ(response->Header("accept-ranges"), "bytes");
    if (row.status == 416) continue;
    const std::string expected = row.target == "/huge" ? std::string(row.length, '\0')
                                                       : bytes.substr(row.first, row.length);
    EXPECT_TRUE(response->body == expected) << response->body.size();
  }
  // Not a GET, not a file answer, or not a 200: nothing is cut. Only a
  // file answer tells that it could be.
  for (const auto& [request, status, length, announced] :
       std::vector<std::tuple<std::string, int, std::size_t, bool>>{
           {Get("/big", "Range: bytes=0-3\r\n", "HEAD"), 200, 204800, true},
           {Get("/big", "Range: bytes=0-3\r\nContent-Length: 0\r\n", "POST"), 200, 204800, true},
           {Get("/page", "Range: bytes=0-1\r\n"), 200, 4, false},
           {Get("/small", "Range: bytes=0-1\r\n"), 404, 100, false},
       }) {
    SCOPED_TRACE(request);
    ASSERT_TRUE(client.Send(request));
    const auto response = client.Read(request.rfind("HEAD", 0) == 0);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, status);
    EXPECT_EQ(response->Header("content-length"), std::to_string(length));
    EXPECT_FALSE(response->Has("content-range"));
    EXPECT_EQ(response->Has("accept-ranges"), announced);
  }
}

// --- Lifetime -------------------------------------------------------------------

// Listeners come and go with connections half-way, requests nobody took and
// contexts that outlive them; Stop wakes a waiting GetContext.
TEST(HttpListenerLifetime, StopAndDestroyWithWorkInFlight) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    std::unique_ptr<HttpContext> kept;
    std::unique_ptr<HttpContext> dropped;
    {
      HttpListener listener;
      ASSERT_TRUE(listener.AddPrefix(L"http://127.0.0.1:0/"));
      std::wstring reason;
      ASSERT_TRUE(listener.Start(reason)) << Utf8(reason);
      const std::string request =
          "GET /x HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(listener.Port()) + "\r\n\r\n";
      Client half(listener.Port());
      ASSERT_TRUE(half.Send("GET /half HTTP/1.1\r\n"));
      Client first(listener.Port());
      Client second(listener.Port());
      Client unclaimed(listener.Port());
      ASSERT_TRUE(first.Send(request));
      ASSERT_TRUE(second.Send(request));

      auto taken = std::async(std::launch::async, [&listener] {
        auto one = listener.GetContext();
        auto two = listener.GetContext();
        return std::make_pair(std::move(one), std::move(two));
      });
      ASSERT_EQ(taken.wait_for(kWait), std::future_status::ready);
      auto contexts = taken.get();
      kept = std::move(contexts.first);
      dropped = std::move(contexts.second);
      ASSERT_TRUE(kept);
      ASSERT_TRUE(dropped);
      ASSERT_TRUE(unclaimed.Send(request));

      auto waiting = std::async(std::launch::async, [&listener] { return listener.GetContext(); });
      if (round % 2 == 0) {
        listener.Stop();
        ASSERT_EQ(waiting.wait_for(kWait), std::future_status::ready);
      } else {
        // The unclaimed request may still arrive first; either way the next
        // call after Stop gives null.
        ASSERT_EQ(waiting.wait_for(kWait), std::future_status::ready);
        listener.Stop();
      }
      EXPECT_EQ(listener.GetContext(), nullptr);
      waiting.get();
    }
    kept->SetBody("late");
    kept->Close();
    dropped.reset();
    kept.reset();
  }
}

}  // namespace
