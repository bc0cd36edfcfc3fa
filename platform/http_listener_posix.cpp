#include "platform/http_listener.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <utility>  // before Boost: 1.74's Asio uses std::exchange without it
#include <vector>

// GCC 12 under -fsanitize sees Beast's optional content length as maybe
// uninitialized; it is set before every read.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <boost/asio/buffer.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/status.hpp>
#pragma GCC diagnostic pop

#include "platform/os_text.h"

namespace platform {

namespace {

namespace asio = boost::asio;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;
using boost::system::error_code;

constexpr std::uint32_t kHeaderLimit = 16 * 1024;
constexpr std::uint64_t kBodyLimit = 1024 * 1024;
constexpr std::size_t kMaxConnections = 512;
constexpr auto kRequestSilence = std::chrono::seconds(30);
constexpr auto kIdleKeepAlive = std::chrono::seconds(60);
constexpr auto kReaderSilence = std::chrono::seconds(60);
// After an answer that ends the connection the client's remaining bytes are
// read and dropped for a short while: closing with unread data sends a reset,
// which can destroy the answer before the client has read it.
constexpr auto kLinger = std::chrono::seconds(2);
// Accepting again at once after EMFILE and the like would spin.
constexpr auto kAcceptRetry = std::chrono::milliseconds(100);
constexpr std::size_t kReadChunk = 64 * 1024;
// One connection sends at most this much from a file before the others get
// their turn on the I/O thread.
constexpr std::size_t kFileSlice = 4 * 1024 * 1024;
constexpr std::size_t kCopyChunk = 64 * 1024;
// A file up to this size goes out in the same send as its header: one
// packet instead of two, and no sendfile call, for the small files a page
// is mostly made of.
constexpr std::uint64_t kInlineFile = 64 * 1024;

// A request body is read and dropped, whatever its size up to the limit.
struct DiscardBody {
  struct value_type {};
  class reader {
   public:
    template <bool isRequest, class Fields>
    reader(http::header<isRequest, Fields>&, value_type&) {}
    void init(const boost::optional<std::uint64_t>&, error_code& ec) { ec = {}; }
    template <class ConstBufferSequence>
    std::size_t put(const ConstBufferSequence& buffers, error_code& ec) {
      ec = {};
      return asio::buffer_size(buffers);
    }
    void finish(error_code& ec) { ec = {}; }
  };
};

using RequestParser = http::request_parser<DiscardBody>;

// An open file descriptor, closed with its owner.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(int fd) : fd_(fd) {}
  FileHandle(FileHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileHandle& operator=(FileHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() { Reset(); }

  int Get() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// What the request loop (or the listener itself) answers.
struct Reply {
  int status = 200;
  std::string content_type;
  std::string body;
  FileHandle file;
  std::uint64_t file_size = 0;
};

std::string ReasonText(int status) {
  const auto known = http::int_to_status(static_cast<unsigned>(status));
  if (known == http::status::unknown) return "Unknown";
  const auto reason = http::obsolete_reason(known);
  return std::string(reason.data(), reason.size());
}

// The listener's own answers carry their reason as a short text body.
Reply ErrorReply(int status) {
  Reply reply;
  reply.status = status;
  reply.content_type = "text/plain; charset=utf-8";
  reply.body = std::to_string(status) + " " + ReasonText(status) + "\n";
  return reply;
}

// A header value must not break the header block.
std::string HeaderSafe(std::string text) {
  std::erase_if(text, [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && byte != '\t') || byte == 0x7F;
  });
  return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) {
             return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
           };
           return lower(x) == lower(y);
         });
}

std::string_view TrimSpace(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// How a request's Range header applies to a file of a known size.
enum class RangeFit { kWhole, kPart, kUnsatisfiable };

// Digits only, at least one; a value past 2^64 - 1 stays there, which is
// past any file's end.
bool ParseCount(std::string_view digits, std::uint64_t& value) {
  if (digits.empty()) return false;
  value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return false;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    value = value > (UINT64_MAX - digit) / 10 ? UINT64_MAX : value * 10 + digit;
  }
  return true;
}

// One byte range: "bytes=A-B", "bytes=A-" or "bytes=-N", fitted to `size`
// as [first, last]. Anything else, a list of ranges included, gets the
// whole file: a browser seeking in media asks for one range, and several
// would need a multipart body.
RangeFit FitRange(std::string_view value, std::uint64_t size, std::uint64_t& first, std::uint64_t& last) {
  constexpr std::string_view kUnit = "bytes=";
  value = TrimSpace(value);
  if (value.size() < kUnit.size() || !EqualsNoCase(value.substr(0, kUnit.size()), kUnit)) {
    return RangeFit::kWhole;
  }
  const auto spec = TrimSpace(value.substr(kUnit.size()));
  const auto dash = spec.find('-');
  if (dash == std::string_view::npos || spec.find(',') != std::string_view::npos) return RangeFit::kWhole;
  const auto from = spec.substr(0, dash);
  const auto to = spec.substr(dash + 1);
  std::uint64_t a = 0;
  std::uint64_t b = 0;
  if (from.empty()) {  // the last N bytes
    if (!ParseCount(to, b)) return RangeFit::kWhole;
    if (b == 0 || size == 0) return RangeFit::kUnsatisfiable;
    first = size - std::min(b, size);
    last = size - 1;
    return RangeFit::kPart;
  }
  if (!ParseCount(from, a)) return RangeFit::kWhole;
  if (to.empty()) {
    b = UINT64_MAX;
  } else if (!ParseCount(to, b) || b < a) {
    return RangeFit::kWhole;
  }
  if (a >= size) return RangeFit::kUnsatisfiable;
  first = a;
  last = std::min(b, size - 1);
  return RangeFit::kPart;
}

// True when `authority` names this server: 127.0.0.1 or localhost (any
// case) and exactly our port. Anything else may be a page of another site
// reaching us through a rebound DNS name.
bool IsOwnAuthority(std::string_view authority, const std::string& port_text) {
  const auto colon = authority.rfind(':');
  if (colon == std::string_view::npos) return false;
  const auto host = authority.substr(0, colon);
  const auto port = authority.substr(colon + 1);
  return port == port_text && (host == "127.0.0.1" || EqualsNoCase(host, "localhost"));
}

// The raw URL of a request target: an origin-form target unchanged, an
// absolute-form one ("http://host:port/path?q") reduced to its path and
// query once its authority proved to be ours. Empty when the target is
// refused.
std::string TargetPath(std::string_view target, const std::string& port_text) {
  if (!target.empty() && target.front() == '/') return std::string(target);
  constexpr std::string_view kScheme = "http://";
  if (target.size() < kScheme.size() || !EqualsNoCase(target.substr(0, kScheme.size()), kScheme)) {
    return {};
  }
  target.remove_prefix(kScheme.size());
  const auto end = target.find_first_of("/?#");
  const auto authority = target.substr(0, end);
  if (!IsOwnAuthority(authority, port_text)) return {};
  if (end == std::string_view::npos) return "/";
  const auto rest = target.substr(end);
  if (rest.front() == '/') return std::string(rest);
  return "/" + std::string(rest);
}

class Session;

// What the I/O thread and the request loop share. Contexts keep it alive,
// so a context that outlives its listener still has an I/O context to post
// its answer to.
struct Core : std::enable_shared_from_this<Core> {
  // The request loop's side: complete requests in arrival order.
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<std::unique_ptr<HttpContext>> queue;
  bool stopped = false;
  bool running = false;

  // The I/O thread's side. Requests completed in one turn of the I/O
  // context wait here and go to the loop together: one wake-up of the loop
  // thread for the lot rather than one per request, which on a busy core
  // halves the thread switches.
  std::vector<std::unique_ptr<HttpContext>> pending;
  bool flush_posted = false;
  std::unordered_set<Session*> sessions;
  std::uint16_t port = 0;
  std::string port_text;

  // Declared after the rest so it goes first: the handlers it destroys may
  // still hold sessions, which unregister from `sessions`.
  asio::io_context io{1};
  tcp::acceptor acceptor{io};
  asio::steady_timer accept_retry{io};

  void Push(std::unique_ptr<HttpContext> context);
  void Flush();
  void Accept();
  void ShutDown();
};

}  // namespace

struct HttpContext::Impl {
  std::shared_ptr<Core> core;
  std::shared_ptr<Session> session;
  std::wstring raw_url;
  std::wstring method;
  Reply reply;
  bool closed = false;
};

namespace {

// One connection, driven on the I/O thread only. It reads one request,
// hands it to the loop, writes the answer and only then reads the next, so
// answers go out in the order asked; pipelined bytes wait in its buffer.
class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(Core& core, tcp::socket socket) : core_(core), socket_(std::move(socket)), timer_(core.io) {
    core_.sessions.insert(this);
  }
  ~Session() { core_.sessions.erase(this); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void Start() {
    error_code ec;
    socket_.set_option(tcp::no_delay(true), ec);
    socket_.native_non_blocking(true, ec);
    if (ec) return CloseNow();
    StartRequest();
  }

  // Ends the connection at once; pending operations complete as aborted.
  void CloseNow() {
    error_code ec;
    socket_.close(ec);
    Disarm();
    out_ = Outgoing{};
  }

  // The loop's answer to the request this connection handed over.
  void Answer(Reply reply) {
    if (!socket_.is_open()) return;
    Send(std::move(reply));
  }

 private:
  // The answer being written: header and text body first, then the file.
  struct Outgoing {
    std::string head;
    std::string body;
    std::size_t sent = 0;  // of head + body
    FileHandle file;
    off_t file_offset = 0;
    std::uint64_t file_left = 0;
    bool copy_file = false;  // sendfile refused this file: read and write
    bool then_close = false;
  };

  // --- Timeouts -----------------------------------------------------------

  void Arm(std::chrono::steady_clock::duration limit) {
    const auto generation = ++timer_generation_;
    timer_.expires_after(limit);
    timer_.async_wait([self = shared_from_this(), generation](const error_code& ec) {
      if (ec || generation != self->timer_generation_) return;
      self->CloseNow();
    });
  }

  void Disarm() {
    ++timer_generation_;
    timer_.cancel();
  }

  // --- Reading a request --------------------------------------------------

  void StartRequest() {
    parser_.emplace();
    parser_->header_limit(kHeaderLimit);
    parser_->body_limit(kBodyLimit);
    header_checked_ = false;
    Parse();
  }

  void ReadMore() {
    Arm(buffer_.size() == 0 && !parser_->got_some() ? kIdleKeepAlive : kRequestSilence);
    socket_.async_read_some(
        buffer_.prepare(kReadChunk),
        [self = shared_from_this()](const error_code& ec, std::size_t n) { self->OnRead(ec, n); });
  }

  void OnRead(const error_code& ec, std::size_t n) {
    if (!socket_.is_open()) return;
    buffer_.commit(n);
    if (ec) return CloseNow();  // end of stream mid-request: nobody left to answer
    Parse();
  }

  void Parse() {
    while (!parser_->is_done()) {
      if (buffer_.size() == 0) return ReadMore();
      error_code ec;
      const auto used = parser_->put(buffer_.data(), ec);
      buffer_.consume(used);
      if (ec == http::error::need_more) return ReadMore();
      if (ec == http::error::header_limit) return Refuse(431);
      if (ec == http::error::body_limit) return Refuse(413);
      if (ec) return Refuse(400);
      if (parser_->is_header_done() && !header_checked_) {
        header_checked_ = true;
        if (!CheckHeader()) return Refuse(400);
        if (WantsContinue()) return SendContinue();
      }
    }
    HandOver();
  }

  // Host and target; fills in the raw URL. False answers 400.
  bool CheckHeader() {
    const auto& request = parser_->get();
    const auto hosts = request.equal_range(http::field::host);
    if (hosts.first == hosts.second || std::next(hosts.first) != hosts.second) return false;
    const auto host = hosts.first->value();
    if (!IsOwnAuthority(TrimSpace(std::string_view(host.data(), host.size())), core_.port_text)) {
      return false;
    }
    // A Transfer-Encoding beside a Content-Length, one whose last coding is
    // not chunked, or one in HTTP/1.0 leaves the body's end open to two
    // readings; a proxy in front could take the rest as a request of its own.
    if (request.find(http::field::transfer_encoding) != request.end() &&
        (request.find(http::field::content_length) != request.end() || request.version() < 11 ||
         !parser_->chunked())) {
      return false;
    }
    const auto target = request.target();
    raw_url_ = TargetPath(std::string_view(target.data(), target.size()), core_.port_text);
    return !raw_url_.empty();
  }

  bool WantsContinue() const {
    const auto& request = parser_->get();
    if (parser_->is_done() || request.version() < 11) return false;
    const auto expect = request[http::field::expect];
    return EqualsNoCase(TrimSpace(std::string_view(expect.data(), expect.size())), "100-continue");
  }

  void SendContinue() {
    static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
    Arm(kReaderSilence);
    asio::async_write(socket_, asio::buffer(kContinue.data(), kContinue.size()),
                      [self = shared_from_this()](const error_code& ec, std::size_t) {
                        if (!self->socket_.is_open()) return;
                        if (ec) return self->CloseNow();
                        self->Parse();
                      });
  }

  void HandOver() {
    Disarm();
    const auto& request = parser_->get();
    head_only_ = request.method() == http::verb::head;
    keep_alive_ = request.keep_alive();
    version_ = request.version();
    // Only a GET has ranges; an If-Range can never match, as no answer
    // carries a validator, so it asks for the whole file.
    range_.reset();
    const auto ranges = request.equal_range(http::field::range);
    if (request.method() == http::verb::get && ranges.first != ranges.second &&
        std::next(ranges.first) == ranges.second && request.find(http::field::if_range) == request.end()) {
      range_.emplace(ranges.first->value().data(), ranges.first->value().size());
    }
    const auto method = request.method_string();

    auto impl = std::make_unique<HttpContext::Impl>();
    impl->core = core_.shared_from_this();
    impl->session = shared_from_this();
    impl->raw_url = OsText_Decode(raw_url_);
    impl->method = OsText_Decode(std::string_view(method.data(), method.size()));
    core_.Push(std::make_unique<HttpContext>(std::move(impl)));
  }

  // The listener's own answer to a request it will not hand over.
  void Refuse(int status) {
    head_only_ = parser_->is_header_done() && parser_->get().method() == http::verb::head;
    range_.reset();
    keep_alive_ = false;
    version_ = 11;
    Send(ErrorReply(status));
  }

  // --- Writing the answer -------------------------------------------------

  void Send(Reply reply) {
    if (reply.status < 200 || reply.status > 599) reply = ErrorReply(500);
    // A file answer tells that parts of it may be asked for, and gives the
    // part asked for when there is one: that is what lets media seek.
    std::string range_lines;
    std::uint64_t offset = 0;
    if (reply.file.IsOpen() && reply.status == 200) {
      range_lines = "Accept-Ranges: bytes\r\n";
      std::uint64_t first = 0;
      std::uint64_t last = 0;
      const auto fit = range_ ? FitRange(*range_, reply.file_size, first, last) : RangeFit::kWhole;
      if (fit == RangeFit::kPart) {
        reply.status = 206;
        offset = first;
        range_lines += "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                       std::to_string(reply.file_size) + "\r\n";
        reply.file_size = last - first + 1;
      } else if (fit == RangeFit::kUnsatisfiable) {
        range_lines += "Content-Range: bytes */" + std::to_string(reply.file_size) + "\r\n";
        reply = ErrorReply(416);
      }
    }
    const bool has_file = reply.file.IsOpen();
    const std::uint64_t length = has_file ? reply.file_size : reply.body.size();

    out_ = Outgoing{};
    out_.then_close = !keep_alive_;
    out_.head = "HTTP/1.1 " + std::to_string(reply.status) + " " + ReasonText(reply.status) +
                "\r\nServer: foldweb\r\n";
    if (!reply.content_type.empty()) {
      out_.head += "Content-Type: " + HeaderSafe(std::move(reply.content_type)) + "\r\n";
    }
    out_.head += "Content-Length: " + std::to_string(length) + "\r\n" + range_lines;
    if (!keep_alive_) {
      out_.head += "Connection: close\r\n";
    } else if (version_ < 11) {
      out_.head += "Connection: keep-alive\r\n";
    }
    out_.head += "\r\n";
    if (!head_only_) {
      if (has_file) {
        out_.file = std::move(reply.file);
        out_.file_offset = static_cast<off_t>(offset);
        out_.file_left = length;
        if (length <= kInlineFile) ReadInline();
      } else {
        out_.body = std::move(reply.body);
      }
    }
    WriteBuffers();
  }

  // Reads a small file whole into the text body. A file that shrank or
  // cannot be read stays on the streaming path, which ends the connection
  // when the promised length cannot be kept.
  void ReadInline() {
    std::string bytes(static_cast<std::size_t>(out_.file_left), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::pread(out_.file.Get(), bytes.data() + got, bytes.size() - got,
                                out_.file_offset + static_cast<off_t>(got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      got += static_cast<std::size_t>(n);
    }
    out_.body = std::move(bytes);
    out_.file.Reset();
    out_.file_left = 0;
  }

  void WriteBuffers() {
    const std::size_t total = out_.head.size() + out_.body.size();
    if (out_.sent == total) return SendFile();
    std::array<asio::const_buffer, 2> pieces;
    if (out_.sent < out_.head.size()) {
      pieces[0] = asio::buffer(out_.head) + out_.sent;
      pieces[1] = asio::buffer(out_.body);
    } else {
      pieces[0] = asio::buffer(out_.body) + (out_.sent - out_.head.size());
    }
    Arm(kReaderSilence);
    // With a file to follow, the header waits for the file's first bytes
    // and leaves in the same packet.
    const auto flags = out_.file_left > 0 ? MSG_MORE : 0;
    socket_.async_send(pieces, flags, [self = shared_from_this()](const error_code& ec, std::size_t n) {
      if (!self->socket_.is_open()) return;
      if (ec) return self->CloseNow();
      self->out_.sent += n;
      self->WriteBuffers();
    });
  }

  // Streams the file body straight from the file to the socket, a slice at
  // a time, waiting for the socket to take more when it is full.
  void SendFile() {
    if (out_.file_left == 0) return Finish();
    if (out_.copy_file) return CopyFile();
    std::size_t budget = kFileSlice;
    while (out_.file_left > 0 && budget > 0) {
      const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(out_.file_left, budget));
      const auto sent = ::sendfile(socket_.native_handle(), out_.file.Get(), &out_.file_offset, chunk);
      if (sent > 0) {
        out_.file_left -= static_cast<std::uint64_t>(sent);
        budget -= static_cast<std::size_t>(sent);
        continue;
      }
      if (sent < 0 && errno == EINTR) continue;
      if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        Arm(kReaderSilence);
        socket_.async_wait(tcp::socket::wait_write, [self = shared_from_this()](const error_code& ec) {
          if (!self->socket_.is_open()) return;
          if (ec) return self->CloseNow();
          self->SendFile();
        });
        return;
      }
      if (sent < 0 && (errno == EINVAL || errno == ENOSYS)) {
        out_.copy_file = true;
        return CopyFile();
      }
      // The file shrank (0) or the connection broke: the promised length
      // cannot be kept, so the connection ends.
      return CloseNow();
    }
    if (out_.file_left == 0) return Finish();
    Arm(kReaderSilence);  // the reader took a whole slice: it is not silent
    asio::post(core_.io, [self = shared_from_this()] {
      if (self->socket_.is_open()) self->SendFile();
    });
  }

  // For files sendfile cannot read: a bounded buffer at a time.
  void CopyFile() {
    out_.body.resize(static_cast<std::size_t>(std::min<std::uint64_t>(out_.file_left, kCopyChunk)));
    ssize_t got;
    do {
      got = ::pread(out_.file.Get(), out_.body.data(), out_.body.size(), out_.file_offset);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) return CloseNow();
    out_.body.resize(static_cast<std::size_t>(got));
    out_.file_offset += got;
    out_.file_left -= static_cast<std::uint64_t>(got);
    out_.head.clear();
    out_.sent = 0;
    WriteBuffers();
  }

  void Finish() {
    const bool close = out_.then_close;
    out_ = Outgoing{};
    if (close) return Linger();
    StartRequest();
  }

  // Sends our end of the stream and drops what the client still sends until
  // it closes too, or the linger time is up.
  void Linger() {
    error_code ec;
    socket_.shutdown(tcp::socket::shutdown_send, ec);
    if (ec) return CloseNow();
    Arm(kLinger);
    Drain();
  }

  void Drain() {
    buffer_.clear();
    socket_.async_read_some(buffer_.prepare(kReadChunk),
                            [self = shared_from_this()](const error_code& ec, std::size_t) {
                              if (!self->socket_.is_open()) return;
                              if (ec) return self->CloseNow();
                              self->Drain();
                            });
  }

  Core& core_;
  tcp::socket socket_;
  asio::steady_timer timer_;
  unsigned timer_generation_ = 0;
  boost::beast::flat_buffer buffer_;
  std::optional<RequestParser> parser_;
  bool header_checked_ = false;
  std::string raw_url_;
  bool head_only_ = false;
  std::optional<std::string> range_;  // the Range value of a GET, when it is to be honoured
  bool keep_alive_ = false;
  unsigned version_ = 11;
  Outgoing out_;
};

void Core::Push(std::unique_ptr<HttpContext> context) {
  pending.push_back(std::move(context));
  if (flush_posted) return;
  flush_posted = true;
  // Runs after the handlers already due in this turn.
  asio::post(io, [this] { Flush(); });
}

void Core::Flush() {
  flush_posted = false;
  std::vector<std::unique_ptr<HttpContext>> refused;
  bool handed = false;
  {
    std::lock_guard lock(mutex);
    if (stopped) {
      refused.swap(pending);
    } else {
      for (auto& context : pending) queue.push_back(std::move(context));
      pending.clear();
      handed = true;
    }
  }
  // Woken after the lock is let go, the loop thread does not run straight
  // into it on a shared core.
  if (handed) ready.notify_one();
  // Nobody will ask for them any more: dropping them answers 500.
  refused.clear();
}

void Core::Accept() {
  acceptor.async_accept([this](const error_code& ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted || !acceptor.is_open()) return;
    if (ec) {
      accept_retry.expires_after(kAcceptRetry);
      accept_retry.async_wait([this](const error_code& wait_ec) {
        if (!wait_ec) Accept();
      });
      return;
    }
    // Over the limit the new connection is closed unanswered; the ones
    // already open carry on.
    if (sessions.size() < kMaxConnections) {
      std::make_shared<Session>(*this, std::move(socket))->Start();
    }
    Accept();
  });
}

void Core::ShutDown() {
  error_code ec;
  acceptor.close(ec);
  accept_retry.cancel();
  for (Session* session : sessions) session->CloseNow();
  io.stop();
}

bool ParsePrefix(const std::wstring& prefix, std::uint16_t& port) {
  static const std::wstring kStart = L"http://127.0.0.1:";
  if (prefix.size() < kStart.size() + 2 || prefix.compare(0, kStart.size(), kStart) != 0 ||
      prefix.back() != L'/') {
    return false;
  }
  const auto digits = prefix.substr(kStart.size(), prefix.size() - kStart.size() - 1);
  if (digits.size() > 5) return false;
  unsigned value = 0;
  for (const wchar_t c : digits) {
    if (c < L'0' || c > L'9') return false;
    value = value * 10 + static_cast<unsigned>(c - L'0');
  }
  if (value > 65535) return false;
  port = static_cast<std::uint16_t>(value);
  return true;
}

}  // namespace

// --- HttpContext --------------------------------------------------------------

HttpContext::HttpContext(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

HttpContext::~HttpContext() {
  if (impl_ && !impl_->closed) {
    impl_->reply = ErrorReply(500);
    Close();
  }
}

const std::wstring& HttpContext::RawUrl() const { return impl_->raw_url; }

const std::wstring& HttpContext::Method() const { return impl_->method; }

void HttpContext::SetStatus(int status) {
  if (!impl_->closed) impl_->reply.status = status;
}

void HttpContext::SetContentType(const std::wstring& type) {
  if (!impl_->closed) impl_->reply.content_type = OsText_Encode(type);
}

void HttpContext::SetBody(std::string bytes) {
  if (impl_->closed) return;
  impl_->reply.body = std::move(bytes);
  impl_->reply.file.Reset();
  impl_->reply.file_size = 0;
}

bool HttpContext::SetBodyFile(const std::wstring& path) {
  if (impl_->closed) return false;
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  FileHandle file(::open(OsText_Encode(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!file.IsOpen()) return false;
  struct stat status;
  if (::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  impl_->reply.file = std::move(file);
  impl_->reply.file_size = static_cast<std::uint64_t>(status.st_size);
  impl_->reply.body.clear();
  return true;
}

void HttpContext::Close() {
  if (impl_->closed) return;
  impl_->closed = true;
  // The session is only ever released on the I/O side (or with the I/O
  // context itself), never here.
  asio::post(impl_->core->io,
             [session = std::move(impl_->session), reply = std::move(impl_->reply)]() mutable {
               session->Answer(std::move(reply));
             });
}

// --- HttpListener -------------------------------------------------------------

struct HttpListener::Impl {
  std::shared_ptr<Core> core = std::make_shared<Core>();
  std::thread io_thread;
  bool has_prefix = false;
  std::uint16_t wanted_port = 0;
};

HttpListener::HttpListener() : impl_(std::make_unique<Impl>()) {}

HttpListener::~HttpListener() {
  Stop();
  Core& core = *impl_->core;
  if (impl_->io_thread.joinable()) {
    asio::post(core.io, [&core] { core.ShutDown(); });
    impl_->io_thread.join();
  }
  // Requests nobody took: each answers 500 into the stopped I/O context,
  // which drops it. They hold the core, so they must go before it can.
  std::deque<std::unique_ptr<HttpContext>> unclaimed;
  {
    std::lock_guard lock(core.mutex);
    unclaimed.swap(core.queue);
  }
  unclaimed.clear();
  // The I/O thread is gone: its side may be touched here.
  std::vector<std::unique_ptr<HttpContext>> unsent;
  unsent.swap(core.pending);
  unsent.clear();
}

bool HttpListener::AddPrefix(const std::wstring& prefix) {
  std::uint16_t port = 0;
  if (impl_->core->running || !ParsePrefix(prefix, port)) return false;
  impl_->wanted_port = port;
  impl_->has_prefix = true;
  return true;
}

bool HttpListener::Start(std::wstring& reason) {
  Core& core = *impl_->core;
  if (core.running) {
    reason = L"the listener is already running";
    return false;
  }
  if (!impl_->has_prefix) {
    reason = L"no prefix was added to listen on";
    return false;
  }
  const std::string address = "127.0.0.1:" + std::to_string(impl_->wanted_port);
  const tcp::endpoint endpoint(asio::ip::make_address_v4("127.0.0.1"), impl_->wanted_port);
  error_code ec;
  core.acceptor.open(endpoint.protocol(), ec);
  // Lets a restarted server take its port back from connections still in
  // TIME_WAIT; a port another socket listens on stays refused.
  if (!ec) core.acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
  if (!ec) core.acceptor.bind(endpoint, ec);
  if (!ec) core.acceptor.listen(asio::socket_base::max_listen_connections, ec);
  tcp::endpoint bound;
  if (!ec) bound = core.acceptor.local_endpoint(ec);
  if (ec) {
    error_code ignored;
    core.acceptor.close(ignored);
    reason = OsText_Decode("cannot listen on " + address + ": " + ec.message());
    return false;
  }
  core.port = bound.port();
  core.port_text = std::to_string(core.port);
  {
    std::lock_guard lock(core.mutex);
    core.running = true;
  }
  core.Accept();
  impl_->io_thread = std::thread([&core] {
    // sendfile has no MSG_NOSIGNAL: a client gone away must give EPIPE on
    // this thread, not end the process.
    sigset_t pipe;
    ::sigemptyset(&pipe);
    ::sigaddset(&pipe, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    core.io.run();
  });
  return true;
}

std::uint16_t HttpListener::Port() const { return impl_->core->port; }

std::unique_ptr<HttpContext> HttpListener::GetContext() {
  Core& core = *impl_->core;
  std::unique_lock lock(core.mutex);
  core.ready.wait(lock, [&core] { return core.stopped || !core.running || !core.queue.empty(); });
  if (core.stopped || !core.running) return nullptr;
  auto context = std::move(core.queue.front());
  core.queue.pop_front();
  return context;
}

void HttpListener::Stop() {
  Core& core = *impl_->core;
  std::lock_guard lock(core.mutex);
  core.stopped = true;
  core.ready.notify_all();
}

}  // namespace platform
