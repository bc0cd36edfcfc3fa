#include "workdir/removal_list.h"

#include "base/file_stat.h"
#include "base/path.h"
#include "base/strings.h"
#include "index/folder_list.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/separator.h"
#include "workdir/file_output.h"

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

}  // namespace

bool Remove_File_later(const wchar_t* fileName, std::int32_t days) {
  const std::int64_t now = platform::Clock_Now();
  const wstring pattern = Path_GetTitle(fileName) + L"*." + Path_GetExt(fileName);
  const std::vector<wstring> found = EnumFiles(Path_GetDir(fileName).c_str(), pattern);
  // Carried out by its destruction at normal exit.
  static DelFF_E DFE;
  bool none = true;
  for (const wstring& file : found) {
    if (FA_Is_ReadOnly(file) != 0) continue;
    const F_Stat status(file.c_str());
    if (now - status.GetMTime() < std::int64_t{days} * kSecondsPerDay) continue;
    DFE.Add(file.c_str());
    none = false;
  }
  return none;
}

DelFF_E::DelFF_E() = default;

DelFF_E::~DelFF_E() {
  Copy();
  Remove();
}

bool DelFF_E::Add(const wstring& delFile) { return Add(delFile.c_str()); }

bool DelFF_E::Add(const wchar_t* delFile) {
  DelList.emplace_back(delFile);
  std::int64_t modified = kNoTime;
  if (!platform::Files_GetModifyTime(Path_DelLastSP(delFile), modified)) modified = kNoTime;
  QueuedTime.emplace(delFile, modified);
  return true;
}

bool DelFF_E::Add(std::vector<wstring> delFiles) {
  for (const wstring& file : delFiles) Add(file.c_str());
  return true;
}

bool DelFF_E::AddMove(const wchar_t* srcName, const wchar_t* dstName) {
  Add(srcName);
  MoveList.resize(DelList.size());
  MoveList.back() = dstName;
  return true;
}

bool DelFF_E::Copy() {
  for (std::size_t i = 0; i < DelList.size() && i < MoveList.size(); ++i) {
    const wstring& path = DelList[i];
    const wstring& destination = MoveList[i];
    if (path.empty() || destination.empty() || File_IsNothing(path)) continue;
    if (!File_Copy(path.c_str(), destination.c_str(), false)) DelList[i].clear();
  }
  MoveList.clear();
  return true;
}

bool DelFF_E::Remove() {
  // Descending order puts every path before the paths it begins with, so a
  // queued folder's contents go before the folder.
  DelList = Reverse(Sort(Unique(DelList)));
  for (wstring& entry : DelList) {
    if (entry.empty()) continue;
    const auto queued = QueuedTime.find(entry);
    const std::int64_t then = queued == QueuedTime.end() ? kNoTime : queued->second;
    const wstring path = Path_DelLastSP(entry);
    entry.clear();
    if (!File_IsExist(path.c_str(), false)) continue;
    if (F_Stat::IsDirectory(path.c_str())) {
      if (Folder_IsEmpty(path.c_str())) platform::Files_RemoveFolder(path);
      continue;
    }
    // NOTE: a file written again after it was queued holds new records
    // (an hourly log name recurs every year); it is no longer the old file.
    std::int64_t now = kNoTime;
    if (then == kNoTime || !platform::Files_GetModifyTime(path, now) || now != then) continue;
    platform::Files_Remove(path);
  }
  DelList.clear();
  QueuedTime.clear();
  return true;
}

F_Attribute::F_Attribute(const wstring& fileName_) {
  const wstring path = Path_DelLastSP(Path_Normalize(fileName_, platform::kPathSeparator));
  AttrBits = platform::Files_GetAttributes(path);
  if (AttrBits != platform::kAttributeInvalid) AttrFile = path;
}

bool F_Attribute::IsError() const { return AttrBits == platform::kAttributeInvalid; }

std::uint32_t F_Attribute::GetAttribute() const { return AttrBits; }

wstring F_Attribute::GetFileName() const { return AttrFile; }

std::uint32_t F_Attribute::Is___Flag(std::uint32_t flag) const { return AttrBits & flag; }

bool F_Attribute::ClearFlag(std::uint32_t flag) { return platform::Files_SetAttributes(AttrFile, AttrBits & ~flag); }

bool F_Attribute::Set__Flag(std::uint32_t flag) { return platform::Files_SetAttributes(AttrFile, AttrBits | flag); }

bool F_Attribute::ClearForWrite() { return Clear_Flag(7); }

bool F_Attribute::Clear_Flag(std::uint32_t flag) {
  if (Is___Flag(flag) != 0) return ClearFlag(flag);
  return true;
}

std::uint32_t FA_Is_ReadOnly(const wstring& file) { return F_Attribute(file).GetAttribute() & 1; }
