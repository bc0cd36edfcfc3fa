#pragma once
// File-status queries.
#include <cstdint>
#include <string>

namespace platform {

// File type bits of FileStatus::mode.
inline constexpr std::uint16_t kModeTypeMask = 0xF000;
inline constexpr std::uint16_t kModeDirectory = 0x4000;
inline constexpr std::uint16_t kModeRegular = 0x8000;

struct FileStatus {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint16_t mode = 0;
  std::uint64_t links = 0;
  std::uint32_t owner = 0;
  std::uint32_t group = 0;
  std::uint64_t raw_device = 0;
  std::int64_t size = 0;
  std::int64_t access_time = 0;
  std::int64_t modify_time = 0;
  std::int64_t change_time = 0;
};

// Status of `path` after following symbolic links. Returns 0 and fills `out`,
// or returns the system's error number (ENOENT, ...) and leaves `out` zero.
// A path holding a NUL character names nothing (ENOENT).
int Fs_Stat(const std::wstring& path, FileStatus& out);

// True when something exists at `path` (a file, a folder or anything else).
bool Fs_Exists(const std::wstring& path);

// True when `path` is a regular file after following links: the request
// loop's "existing file". FIFOs, sockets and devices are not.
bool Fs_IsRegularFile(const std::wstring& path);

}  // namespace platform

namespace platform {

// Creates one folder with mode 0700. True when it was created.
bool Fs_MakeFolder(const std::wstring& path);

// Reads the whole of a regular file. False when it cannot be opened or read.
bool Fs_ReadWholeFile(const std::wstring& path, std::string& out);

}  // namespace platform
