#pragma once
// Old files are queued when they are found and removed when the process
// exits normally (Ctrl+C and SIGTERM included). A queued file that has been
// modified since it was queued is kept.
#include <cstdint>
#include <limits>
#include <map>
#include <vector>

#include "base/types.h"

// Queues the files of the folder of `fileName` that match its title, "*."
// and its extension ("/logs/.txt" gives "*.txt" in "/logs"), letter case
// aside, are not read-only, and were last modified `days` × 86400 seconds
// ago or earlier. They are removed at the normal exit of the process. True
// when nothing was queued.
bool Remove_File_later(const wchar_t* fileName, std::int32_t days);

// A removal list: carried out when it is destroyed (copies first, then
// removals). All operations return true.
class DelFF_E {
 public:
  DelFF_E();
  virtual ~DelFF_E();
  DelFF_E(const DelFF_E&) = delete;
  DelFF_E& operator=(const DelFF_E&) = delete;

  virtual bool Add(const wstring& delFile);
  // Queues a file or a folder; its modification time is noted now.
  virtual bool Add(const wchar_t* delFile);
  virtual bool Add(std::vector<wstring> delFiles);
  // Queues `srcName` to be copied to `dstName` (creating its folder) and then
  // removed; a file whose copy fails is kept.
  virtual bool AddMove(const wchar_t* srcName, const wchar_t* dstName);
  virtual bool Copy();
  // Removes each queued path once, every path before any path it lies in:
  // files, unless modified since they were queued, and folders that are
  // empty by then.
  virtual bool Remove();

 protected:
  std::vector<wstring> DelList;
  std::vector<wstring> MoveList;
  // Modification time (ns) of each queued path when it was first queued, or
  // kNoTime when it could not be read then.
  std::map<wstring, std::int64_t> QueuedTime;
  static constexpr std::int64_t kNoTime = std::numeric_limits<std::int64_t>::min();
};

// Attribute bits of one path (read-only 1, hidden 2, system 4), read once
// when constructed.
class F_Attribute {
 public:
  explicit F_Attribute(const wstring& fileName_);
  virtual ~F_Attribute() = default;

  // The attributes could not be read.
  virtual bool IsError() const;
  virtual std::uint32_t GetAttribute() const;
  virtual wstring GetFileName() const;
  // Non-zero when any bit of `flag` is set.
  virtual std::uint32_t Is___Flag(std::uint32_t flag) const;
  // Set the file's attributes to the bits read, less or plus `flag`; true
  // when the system did. The bits read are not updated.
  virtual bool ClearFlag(std::uint32_t flag);
  virtual bool Set__Flag(std::uint32_t flag);
  // Clear_Flag(7): read-only, hidden and system.
  virtual bool ClearForWrite();
  // ClearFlag only when a bit of `flag` is set; true otherwise.
  virtual bool Clear_Flag(std::uint32_t flag);

 protected:
  wstring AttrFile;  // set only when the read succeeded
  std::uint32_t AttrBits = 0xFFFFFFFFu;
};

// 1 for a read-only file, also one whose attributes cannot be read; else 0.
std::uint32_t FA_Is_ReadOnly(const wstring& file);
