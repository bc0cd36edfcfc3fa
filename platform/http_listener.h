#pragma once
// The HTTP listener the request loop answers from: it accepts and parses on
// an I/O thread of its own and hands over complete requests one at a time,
// in arrival order. Each connection gets its answers in the order it asked.
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class HttpListener;

// One request handed to the request loop, and its response. The loop sets
// what it needs and calls Close(); a context dropped unclosed answers 500.
class HttpContext {
 public:
  ~HttpContext();
  HttpContext(const HttpContext&) = delete;
  HttpContext& operator=(const HttpContext&) = delete;

  // The request target exactly as sent (path and query, not decoded); an
  // absolute-form target gives its path and query. Bytes that are not UTF-8
  // are carried as OsText_Decode carries them.
  const std::wstring& RawUrl() const;
  const std::wstring& Method() const;

  // 200 unless set.
  void SetStatus(int status);
  // An empty type sends no Content-Type header.
  void SetContentType(const std::wstring& type);
  // The body, replacing any body set before.
  void SetBody(std::string bytes);
  // Makes the file at `path` the body, streamed from disk when the answer is
  // sent. Opens it now: false when it cannot be opened or is not a regular
  // file (a FIFO is never opened for reading), and the body is unchanged.
  bool SetBodyFile(const std::wstring& path);
  // Hands the answer to the connection. A client that has gone away is
  // forgotten. Later calls do nothing.
  void Close();

  struct Impl;
  explicit HttpContext(std::unique_ptr<Impl> impl);

 private:
  std::unique_ptr<Impl> impl_;
};

class HttpListener {
 public:
  HttpListener();
  ~HttpListener();  // stops the I/O thread and drops every connection
  HttpListener(const HttpListener&) = delete;
  HttpListener& operator=(const HttpListener&) = delete;

  // "http://127.0.0.1:PORT/". Port 0 lets the system choose (see Port()).
  // False when the text is not of that form.
  bool AddPrefix(const std::wstring& prefix);

  // Binds 127.0.0.1 and the prefix's port and starts the I/O thread. False
  // when that fails; `reason` then says what failed and why, e.g.
  // "cannot listen on 127.0.0.1:50123: Address already in use".
  bool Start(std::wstring& reason);

  // The bound port, once started.
  std::uint16_t Port() const;

  // Blocks until the next complete request arrives. Null once Stop() was
  // called.
  std::unique_ptr<HttpContext> GetContext();

  // Makes a waiting and every later GetContext return null.
  void Stop();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
