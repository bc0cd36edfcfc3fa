#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <system_error>

#include "platform/os_text.h"

namespace platform {

namespace {

// The path as the system takes it; nullopt when it cannot name anything
// (an embedded NUL would silently cut it short).
std::optional<std::string> SystemPath(const std::wstring& path) {
  if (path.empty() || path.find(L'\0') != std::wstring::npos) return std::nullopt;
  return OsText_Encode(path);
}

bool IsTransient(int error) {
  switch (error) {
    case ETXTBSY:
    case EINTR:
    case EAGAIN:
    case EBUSY:
    case EMFILE:
    case ENFILE:
    case ENOMEM:
      return true;
    default:
      return false;
  }
}

struct OpenMode {
  int flags = 0;
  const char* stdio = nullptr;  // the mode fdopen is given
};

// fopen's mode letters: r, w or a first, then any of "+", "b", "t", "x".
std::optional<OpenMode> ParseMode(const std::wstring& mode) {
  if (mode.empty()) return std::nullopt;
  bool plus = false;
  bool exclusive = false;
  for (std::size_t i = 1; i < mode.size(); ++i) {
    switch (mode[i]) {
      case L'+': plus = true; break;
      case L'b':
      case L't': break;
      case L'x': exclusive = true; break;
      default: return std::nullopt;
    }
  }
  OpenMode out;
  switch (mode[0]) {
    case L'r':
      if (exclusive) return std::nullopt;
      out.flags = plus ? O_RDWR : O_RDONLY;
      out.stdio = plus ? "r+" : "r";
      break;
    case L'w':
      out.flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
      out.stdio = plus ? "w+" : "w";
      break;
    case L'a':
      out.flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
      out.stdio = plus ? "a+" : "a";
      break;
    default:
      return std::nullopt;
  }
  if (exclusive) out.flags |= O_EXCL;
  return out;
}

}  // namespace

std::FILE* Files_Open(const std::wstring& path, const std::wstring& mode, OpenFailure& why) {
  why = OpenFailure::Lasting;
  const auto name = SystemPath(path);
  const auto parsed = ParseMode(mode);
  if (!name || !parsed) return nullptr;
  // NOTE: opening a FIFO would wait for its other end, for good; opened
  // without waiting, a FIFO nobody reads fails at once (ENXIO). Reads and
  // writes wait as usual afterwards.
  // A link planted where a page or log is written must not carry the write elsewhere.
  const int no_follow = mode[0] == L'r' ? 0 : O_NOFOLLOW;
  const int fd = ::open(name->c_str(), parsed->flags | no_follow | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
  if (fd < 0) {
    why = IsTransient(errno) ? OpenFailure::Transient : OpenFailure::Lasting;
    return nullptr;
  }
  const int status_flags = ::fcntl(fd, F_GETFL);
  if (status_flags != -1) ::fcntl(fd, F_SETFL, status_flags & ~O_NONBLOCK);
  std::FILE* stream = ::fdopen(fd, parsed->stdio);
  if (stream == nullptr) {
    why = IsTransient(errno) ? OpenFailure::Transient : OpenFailure::Lasting;
    ::close(fd);
    return nullptr;
  }
  why = OpenFailure::None;
  return stream;
}

bool Files_IsPrivateFolder(const std::wstring& path) {
  const auto name = SystemPath(path);
  if (!name) return false;
  struct stat st {};
  if (::lstat(name->c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool Files_Remove(const std::wstring& path) {
  const auto name = SystemPath(path);
  return name && ::unlink(name->c_str()) == 0;
}

bool Files_RemoveFolder(const std::wstring& path) {
  const auto name = SystemPath(path);
  return name && ::rmdir(name->c_str()) == 0;
}

bool Files_Copy(const std::wstring& src, const std::wstring& dst, bool fail_if_exists) {
  const auto from = SystemPath(src);
  const auto to = SystemPath(dst);
  if (!from || !to) return false;
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::copy_options options = fail_if_exists ? fs::copy_options::none : fs::copy_options::overwrite_existing;
  return fs::copy_file(fs::path(*from), fs::path(*to), options, error) && !error;
}

std::uint32_t Files_GetAttributes(const std::wstring& path) {
  const auto name = SystemPath(path);
  if (!name) return kAttributeInvalid;
  struct stat st {};
  if (::stat(name->c_str(), &st) != 0) return kAttributeInvalid;
  std::uint32_t bits = 0;
  if ((st.st_mode & S_IWUSR) == 0) bits |= kAttributeReadOnly;
  std::wstring last = path;
  if (last.size() > 1 && last.back() == L'/') last.pop_back();
  last = last.substr(last.find_last_of(L'/') + 1);
  if (!last.empty() && last[0] == L'.' && last != L"." && last != L"..") bits |= kAttributeHidden;
  if (S_ISDIR(st.st_mode)) bits |= kAttributeDirectory;
  return bits == 0 ? kAttributeNormal : bits;
}

bool Files_SetAttributes(const std::wstring& path, std::uint32_t bits) {
  const auto name = SystemPath(path);
  if (!name) return false;
  struct stat st {};
  if (::stat(name->c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  mode = (bits & kAttributeReadOnly) != 0 ? (mode & ~S_IWUSR) : (mode | S_IWUSR);
  return ::chmod(name->c_str(), mode) == 0;
}

bool Files_GetModifyTime(const std::wstring& path, std::int64_t& nanoseconds) {
  const auto name = SystemPath(path);
  if (!name) return false;
  struct stat st {};
  if (::stat(name->c_str(), &st) != 0) return false;
  nanoseconds = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

}  // namespace platform
