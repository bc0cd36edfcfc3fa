#include "base/file_stat.h"

#include "base/path.h"
#include "platform/separator.h"

namespace {

// NOTE: here "/" is the root folder, which normalising and dropping a
// trailing separator would reduce to the empty text, naming nothing.
bool IsRootFolder(const wstring& path) {
  return !path.empty() && path.find_first_not_of(platform::kPathSeparator) == wstring::npos;
}

// The name as it reaches the system: normalised when it holds a '/'.
// NOTE: a name holding a NUL goes as it is, for the system to refuse;
// normalising might drop what follows the NUL and name something else.
wstring QueryName(const wstring& path) {
  if (IsRootFolder(path)) return wstring(1, platform::kPathSeparator);
  if (path.find(L'/') == wstring::npos || path.find(L'\0') != wstring::npos) return path;
  return Path_Normalize(path, platform::kPathSeparator);
}

bool IsUncPath(const wstring& path) { return path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\'; }

bool FolderExists(const wstring& folder) {
  const wstring name = IsRootFolder(folder) ? folder : QueryName(Path_DelLastSP(folder));
  if (IsUncPath(name)) return platform::Fs_Exists(name);
  platform::FileStatus st;
  return platform::Fs_Stat(name, st) == 0 && (st.mode & platform::kModeTypeMask) == platform::kModeDirectory;
}

bool FileExists(const wstring& path, bool needSize) {
  const wstring name = QueryName(path);
  if (IsUncPath(name)) return platform::Fs_Exists(name);
  platform::FileStatus st;
  if (platform::Fs_Stat(name, st) != 0) return false;
  if (st.size > 0) return true;
  return (st.mode & platform::kModeTypeMask) == platform::kModeDirectory || !needSize;
}

}  // namespace

F_Stat::F_Stat(const wchar_t* file_name_) { err_no_ = platform::Fs_Stat(QueryName(file_name_), st_); }

bool F_Stat::IsError() const { return err_no_ != 0; }

std::uint64_t F_Stat::GetSize() const { return static_cast<std::uint64_t>(st_.size); }

std::int64_t F_Stat::GetATime() const { return st_.access_time; }

std::int64_t F_Stat::GetMTime() const { return st_.modify_time; }

std::int64_t F_Stat::GetCTime() const { return st_.change_time; }

std::uint16_t F_Stat::GetMode() const { return st_.mode; }

bool F_Stat::IsRegular() const { return (GetMode() & platform::kModeTypeMask) == platform::kModeRegular; }

bool F_Stat::IsDirectory() const { return (GetMode() & platform::kModeTypeMask) == platform::kModeDirectory; }

bool F_Stat::IsDirectory(const wchar_t* fileName) { return F_Stat(fileName).IsDirectory(); }

bool Folder_IsExist(const wchar_t* folder_name) { return FolderExists(folder_name); }

bool File_IsExist(const wchar_t* file_path, bool needSize) { return FileExists(file_path, needSize); }

bool Folder_IsNothing(const wstring& foldName) { return !FolderExists(foldName); }

bool File_IsNothing(const wstring& fileName) { return !FileExists(fileName, false); }
