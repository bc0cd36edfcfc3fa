#include "platform/fs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <utility>

#include "platform/os_text.h"

namespace platform {

namespace {

// The path as the system takes it; nullopt when it cannot name anything
// (an embedded NUL would silently cut it short).
std::optional<std::string> SystemPath(const std::wstring& path) {
  if (path.find(L'\0') != std::wstring::npos) return std::nullopt;
  return OsText_Encode(path);
}

}  // namespace

int Fs_Stat(const std::wstring& path, FileStatus& out) {
  out = FileStatus{};
  const auto name = SystemPath(path);
  if (!name) return ENOENT;
  struct stat st {};
  if (::stat(name->c_str(), &st) != 0) return errno != 0 ? errno : ENOENT;
  out.device = static_cast<std::uint64_t>(st.st_dev);
  out.inode = static_cast<std::uint64_t>(st.st_ino);
  out.mode = static_cast<std::uint16_t>(st.st_mode);
  out.links = static_cast<std::uint64_t>(st.st_nlink);
  out.owner = static_cast<std::uint32_t>(st.st_uid);
  out.group = static_cast<std::uint32_t>(st.st_gid);
  out.raw_device = static_cast<std::uint64_t>(st.st_rdev);
  out.size = static_cast<std::int64_t>(st.st_size);
  out.access_time = static_cast<std::int64_t>(st.st_atime);
  out.modify_time = static_cast<std::int64_t>(st.st_mtime);
  out.change_time = static_cast<std::int64_t>(st.st_ctime);
  return 0;
}

bool Fs_Exists(const std::wstring& path) {
  const auto name = SystemPath(path);
  return name && ::access(name->c_str(), F_OK) == 0;
}

bool Fs_IsRegularFile(const std::wstring& path) {
  FileStatus st;
  return Fs_Stat(path, st) == 0 && (st.mode & kModeTypeMask) == kModeRegular;
}

bool Fs_MakeFolder(const std::wstring& path) {
  const auto name = SystemPath(path);
  return name && ::mkdir(name->c_str(), 0700) == 0;
}

bool Fs_ReadWholeFile(const std::wstring& path, std::string& out) {
  const auto name = SystemPath(path);
  if (!name) return false;
  // NOTE: the type is checked before the open and again on the open file:
  // opening a FIFO for reading would block until a writer comes, and a
  // device may act on being opened. O_NONBLOCK covers the race between the
  // two checks; it changes nothing for a regular file.
  struct stat st {};
  if (::stat(name->c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const int fd = ::open(name->c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  std::string bytes;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok && st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[64 * 1024];
  while (ok) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (ok) out = std::move(bytes);
  return ok;
}

}  // namespace platform
