#pragma once
// Test support: catches what the code under test writes to a file
// descriptor (1 or 2) by pointing it at a temporary file meanwhile.
#include <cstdio>
#include <string>

#include <unistd.h>

class FdCapture {
 public:
  explicit FdCapture(int fd) : fd_(fd), file_(std::tmpfile()) {
    std::fflush(nullptr);
    saved_ = ::dup(fd_);
    ::dup2(::fileno(file_), fd_);
  }
  ~FdCapture() {
    Restore();
    std::fclose(file_);
  }
  FdCapture(const FdCapture&) = delete;
  FdCapture& operator=(const FdCapture&) = delete;

  // Everything written so far; ends the capture.
  std::string Take() {
    Restore();
    std::string out;
    std::rewind(file_);
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) out.append(buf, n);
    return out;
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    ::dup2(saved_, fd_);
    ::close(saved_);
    saved_ = -1;
  }

  int fd_;
  std::FILE* file_;
  int saved_ = -1;
};
