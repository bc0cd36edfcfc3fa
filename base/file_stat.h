#pragma once
// File-system queries: whether a path names an existing folder or file, and
// its size, times and type. Paths may use '\' or '/'; a path holding a '/'
// is normalised before it reaches the system.
#include <cstdint>

#include "base/types.h"
#include "platform/fs.h"

// A snapshot of one path's file status, taken when it is constructed and
// never refreshed: a second look at the path needs a second object.
class F_Stat {
 public:
  explicit F_Stat(const wchar_t* file_name_);

  // The slots, in this order; none changes anything.
  virtual bool IsError() const;  // the status query failed
  virtual std::uint64_t GetSize() const;
  virtual std::int64_t GetATime() const;  // seconds since 1970-01-01 UTC
  virtual std::int64_t GetMTime() const;
  virtual std::int64_t GetCTime() const;
  virtual std::uint16_t GetMode() const;  // type bits 0xF000 and permissions
  virtual bool IsRegular() const;
  virtual bool IsDirectory() const;

  // Owns nothing; virtual only so a derived query is dropped whole.
  virtual ~F_Stat() = default;

  // True when `fileName` names a folder. A failed query leaves the mode 0,
  // so the answer is then false.
  static bool IsDirectory(const wchar_t* fileName);

 protected:
  platform::FileStatus st_;  // all zero when the query failed
  std::int32_t err_no_ = 0;  // 0, or the system's error number (ENOENT, ...)
};

// True when a folder exists at `folder_name`; one trailing separator is
// ignored. NOTE: a path that begins with two backslashes is only tested for
// existence, so it may name a file.
bool Folder_IsExist(const wchar_t* folder_name);

// True when something usable exists at `file_path`: a folder, a file of one
// byte or more, or an empty file unless `needSize` asks for content. A path
// that begins with two backslashes is only tested for existence.
bool File_IsExist(const wchar_t* file_path, bool needSize);

// The negations, of Folder_IsExist and of File_IsExist without needSize.
// A name holding a NUL character names nothing.
bool Folder_IsNothing(const wstring& foldName);
bool File_IsNothing(const wstring& fileName);
