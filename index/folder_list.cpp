#include "index/folder_list.h"

#include <cstdint>

#include "base/file_stat.h"
#include "base/path.h"
#include "base/progress.h"
#include "base/strings.h"
#include "platform/dir.h"
#include "platform/separator.h"

namespace {

bool IsDotEntry(const wstring& name) { return name == L"." || name == L".."; }

// The folder a path stands for: itself without one trailing separator, or
// its folder part when that is no existing folder.
wstring FolderOf(const wchar_t* path_) {
  wstring folder = Path_DelLastSP(path_);
  if (F_Stat::IsDirectory(folder.c_str())) return folder;
  return Path_GetDir(folder);
}

}  // namespace

std::vector<wstring> EnumFiles_MSC(const wstring& path, bool skipDot) {
  std::vector<wstring> found;
  const wstring folder = Path_AddLastSP(path, platform::kPathSeparator);
  std::vector<platform::DirEntry> entries;
  if (!platform::Dir_Read(folder, entries)) return found;
  for (const platform::DirEntry& e : entries) {
    if (skipDot && IsDotEntry(e.name)) continue;
    wstring name = e.name;
    if (e.is_folder) name += platform::kPathSeparator;
    found.push_back(folder + name);
  }
  return found;
}

bool Folder_IsEmpty_MSC(const wstring& path) {
  std::vector<platform::DirEntry> entries;
  if (!platform::Dir_Read(Path_AddLastSP(path, platform::kPathSeparator), entries)) return true;
  for (const platform::DirEntry& e : entries) {
    if (!IsDotEntry(e.name)) return false;
  }
  return true;
}

std::vector<wstring> EnumFiles(const wchar_t* path_, bool skipDot) {
  return EnumFiles_MSC(FolderOf(path_), skipDot);
}

bool Folder_IsEmpty(const wchar_t* path_) { return Folder_IsEmpty_MSC(FolderOf(path_)); }

bool ExtractFiles_match(const wstring& filePath, const wstring& wildName_) {
  const wstring name = String_ToLower(Path_GetName(filePath));
  const wstring wild = String_ToLower(wildName_);
  if (wild.empty() || wild == L"*") return true;
  if (wild == L"*.*") return name.find(L'.') != wstring::npos;

  const std::vector<wstring> pieces = SkipEmpty(String_Split(wild, L'*'));
  // A pattern of stars alone has no piece to look for.
  if (pieces.empty()) return true;
  std::size_t from = 0;
  for (const wstring& piece : pieces) {
    const std::size_t at = name.find(piece, from);
    if (at == wstring::npos) return false;
    from = at + piece.size();
  }
  if (wild.front() != L'*' && name.compare(0, pieces.front().size(), pieces.front()) != 0) return false;
  if (wild.back() != L'*') {
    const wstring& last = pieces.back();
    if (name.size() < last.size() || name.compare(name.size() - last.size(), last.size(), last) != 0) {
      return false;
    }
  }
  return true;
}

std::vector<wstring> ExtractFiles(const std::vector<wstring>& foundFiles, const wstring& wildName) {
  MessageCon progress(L"Extract files ...", static_cast<std::uint32_t>(foundFiles.size()));
  std::vector<wstring> kept;
  for (const wstring& entry : foundFiles) {
    progress.SetBarInc();
    if (Path_LastIsSP(entry)) continue;
    if (ExtractFiles_match(entry, wildName)) kept.push_back(entry);
  }
  progress.Reset();
  return kept;
}

std::vector<wstring> ExtractFolders(const std::vector<wstring>& foundFiles) {
  std::vector<wstring> kept;
  for (const wstring& entry : foundFiles) {
    if (Path_LastIsSP(entry)) kept.push_back(entry);
  }
  return kept;
}

std::vector<wstring> EnumFiles(const wchar_t* path, const wstring& wildName) {
  return ExtractFiles(EnumFiles(path, true), wildName);
}

std::vector<wstring> EnumFiles(const wchar_t* path, const wchar_t* wildName) {
  return EnumFiles(path, wstring(wildName));
}

std::vector<wstring> EnumFolders(const wchar_t* path) { return ExtractFolders(EnumFiles(path, true)); }
