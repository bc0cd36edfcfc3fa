#include "index/folder_list.h"

#include <cstdint>
#include <utility>

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

// A pattern made ready once, so a long listing does not lower-case and
// split it again for every entry.
class WildPattern {
 public:
  explicit WildPattern(const wstring& wildName_) : wild_(String_ToLower(wildName_)) {
    if (!MatchesAll() && wild_ != L"*.*") pieces_ = SkipEmpty(String_Split(wild_, L'*'));
  }

  bool Matches(const wstring& filePath) const {
    if (MatchesAll()) return true;
    const wstring name = String_ToLower(Path_GetName(filePath));
    if (wild_ == L"*.*") return name.find(L'.') != wstring::npos;
    // A pattern of stars alone has no piece to look for.
    if (pieces_.empty()) return true;
    std::size_t from = 0;
    for (const wstring& piece : pieces_) {
      const std::size_t at = name.find(piece, from);
      if (at == wstring::npos) return false;
      from = at + piece.size();
    }
    if (wild_.front() != L'*' && name.compare(0, pieces_.front().size(), pieces_.front()) != 0) return false;
    if (wild_.back() != L'*') {
      const wstring& last = pieces_.back();
      if (name.size() < last.size() || name.compare(name.size() - last.size(), last.size(), last) != 0) {
        return false;
      }
    }
    return true;
  }

 private:
  bool MatchesAll() const { return wild_.empty() || wild_ == L"*"; }

  wstring wild_;  // lower-cased
  std::vector<wstring> pieces_;
};

}  // namespace

std::vector<wstring> EnumFiles_MSC(const wstring& path, bool skipDot) {
  std::vector<wstring> found;
  const wstring folder = Path_AddLastSP(path, platform::kPathSeparator);
  std::vector<platform::DirEntry> entries;
  if (!platform::Dir_Read(folder, entries)) return found;
  found.reserve(entries.size());
  for (const platform::DirEntry& e : entries) {
    if (skipDot && IsDotEntry(e.name)) continue;
    wstring full;
    full.reserve(folder.size() + e.name.size() + 1);
    full += folder;
    full += e.name;
    if (e.is_folder) full += platform::kPathSeparator;
    found.push_back(std::move(full));
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
  return WildPattern(wildName_).Matches(filePath);
}

std::vector<wstring> ExtractFiles(const std::vector<wstring>& foundFiles, const wstring& wildName) {
  MessageCon progress(L"Extract files ...", static_cast<std::uint32_t>(foundFiles.size()));
  const WildPattern pattern(wildName);
  std::vector<wstring> kept;
  for (const wstring& entry : foundFiles) {
    progress.SetBarInc();
    if (Path_LastIsSP(entry)) continue;
    if (pattern.Matches(entry)) kept.push_back(entry);
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
