#include "platform/http_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/os_text.h"

// Request smuggling: a request whose body length two readers could take two
// ways (a Content-Length beside a Transfer-Encoding, a Transfer-Encoding that
// does not end in chunked, one sent with HTTP/1.0) must be refused with 400
// and the connection closed, so the bytes after it (here a second request,
// GET /smuggled) never reach the loop as a request of their own.
namespace {

using platform::HttpListener;

// A plain client: sends everything, ends its side, reads until the server
// closes. Every receive gives up after 10 s.
std::string Exchange(std::uint16_t port, const std::string& bytes) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  timeval limit{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string answer;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    ::shutdown(fd, SHUT_WR);
    char chunk[4096];
    for (;;) {
      const auto n = ::recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      answer.append(chunk, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return answer;
}

class HttpListenerFramingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(listener_.AddPrefix(L"http://127.0.0.1:0/"));
    std::wstring reason;
    ASSERT_TRUE(listener_.Start(reason));
    loop_ = std::thread([this] {
      while (auto context = listener_.GetContext()) {
        {
          std::lock_guard lock(mutex_);
          seen_.push_back(platform::OsText_Encode(context->RawUrl()));
        }
        context->SetBody("answered");
        context->Close();
      }
    });
  }
  void TearDown() override {
    listener_.Stop();
    loop_.join();
  }

  std::vector<std::string> Seen() {
    std::lock_guard lock(mutex_);
    return seen_;
  }

  // The request with these framing headers and body, then the smuggled one.
  std::string Smuggling(const std::string& version, const std::string& headers, const std::string& body) const {
    const std::string host = "Host: 127.0.0.1:" + std::to_string(listener_.Port()) + "\r\n";
    return "POST /first " + version + "\r\n" + host + headers + "\r\n" + body + "GET /smuggled HTTP/1.1\r\n" +
           host + "\r\n";
  }

  void ExpectRefused(const std::vector<std::pair<std::string, std::string>>& rows, const std::string& version) {
    for (const auto& [headers, body] : rows) {
      SCOPED_TRACE(version + " " + headers);
      const std::string answer = Exchange(listener_.Port(), Smuggling(version, headers, body));
      EXPECT_EQ(answer.rfind("HTTP/1.1 400 ", 0), 0u) << answer;
      EXPECT_EQ(answer.find("answered"), std::string::npos) << answer;
    }
    EXPECT_EQ(Seen(), std::vector<std::string>());
  }

  HttpListener listener_;

 private:
  std::thread loop_;
  std::mutex mutex_;
  std::vector<std::string> seen_;
};

TEST_F(HttpListenerFramingTest, LengthBesideChunkedIsRefused) {
  ExpectRefused({
                    {"Content-Length: 5\r\nTransfer-Encoding: chunked\r\n", "0\r\n\r\n"},
                    {"Transfer-Encoding: chunked\r\nContent-Length: 40\r\n", "0\r\n\r\n"},
                    {"Content-Length: 0\r\nTransfer-Encoding:\tchunked\r\n", ""},
                    {"Content-Length: 0\r\nTransfer-Encoding: CHUNKED\r\n", ""},
                    {"Transfer-Encoding: chunked\r\nTransfer-Encoding: gzip\r\n", "0\r\n\r\n"},
                    {"Content-Length: 0\r\nContent-Length: 44\r\n", ""},
                    {"Content-Length: +0\r\n", ""},
                    {"Transfer-Encoding : chunked\r\nContent-Length: 0\r\n", ""},
                },
                "HTTP/1.1");
}

TEST_F(HttpListenerFramingTest, TransferCodingsThatAreNotChunkedLastAreRefused) {
  ExpectRefused({
                    {"Transfer-Encoding: xchunked\r\nContent-Length: 0\r\n", ""},
                    {"Transfer-Encoding: identity\r\nContent-Length: 0\r\n", ""},
                    {"Transfer-Encoding: identity\r\n", ""},
                    {"Transfer-Encoding: chunked, gzip\r\n", ""},
                    {"Transfer-Encoding: gzip\r\n", ""},
                },
                "HTTP/1.1");
  ExpectRefused({{"Transfer-Encoding: chunked\r\nConnection: keep-alive\r\n", "0\r\n\r\n"}}, "HTTP/1.0");
}

TEST_F(HttpListenerFramingTest, PlainFramingsStillWork) {
  // One request with a length, one chunked, then the second request: both
  // are the client's own, so both are answered in order.
  for (const auto& [headers, body] : std::vector<std::pair<std::string, std::string>>{
           {"Content-Length: 5\r\n", "hello"},
           {"Transfer-Encoding: chunked\r\n", "5\r\nhello\r\n0\r\n\r\n"},
           {"Transfer-Encoding: gzip, chunked\r\n", "0\r\n\r\n"},
       }) {
    SCOPED_TRACE(headers);
    const std::string answer = Exchange(listener_.Port(), Smuggling("HTTP/1.1", headers, body));
    EXPECT_EQ(answer.rfind("HTTP/1.1 200 ", 0), 0u) << answer;
  }
  EXPECT_EQ(Seen(), (std::vector<std::string>{"/first", "/smuggled", "/first", "/smuggled", "/first", "/smuggled"}));
}

}  // namespace
