#include "workdir/temp_folder.h"

#include <vector>

#include "base/file_stat.h"
#include "base/path.h"
#include "base/process_time.h"
#include "base/strings.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "platform/separator.h"

namespace {

constexpr wchar_t kSep = platform::kPathSeparator;
constexpr std::int32_t kCommonDocuments = 46;

// NOTE: this platform has no system temporary path of its own; the
// environment and the per-user folder decide.
wstring System_temp_path() { return GetLngPathName(wstring()); }

// A path as two spellings of it can be compared: uniform separators, none at
// the end.
wstring Comparable(const wstring& path) { return Path_DelLastSP(Path_Normalize(path, kSep)); }

bool Is_server_or_share(const wstring& prefix) {
  if (prefix.size() < 2 || prefix[0] != kSep || prefix[1] != kSep) return false;
  const wstring rest = prefix.substr(2);
  const std::size_t first = rest.find(kSep);
  return first == wstring::npos || rest.find(kSep, first + 1) == wstring::npos;
}

}  // namespace

wstring GetTmpPath(wstring& own_below) {
  wstring path = System_temp_path();
  if (String_FindNoCase(path, L"Windows", 0) != kStringNotFound) {
    path = Path_AddLastSP(SH_GetFolderPath(kCommonDocuments), kSep) + L"Temp";
    path = Path_AddLastSP(path, kSep) + L"Temp";
  }
  if (path.empty()) {
    for (const wchar_t* name : {L"TMP", L"TMPDIR", L"TEMP"}) {
      path = TGetEnv(name);
      if (!path.empty()) break;
    }
  }
  if (!path.empty()) {
    own_below = path;
    return path;
  }
  wstring user = TGetEnv(L"USER");
  if (user.empty()) user = TGetEnv(L"USERNAME");
  if (user.empty()) user = L"___";
  const wstring base = Folder_IsExist(L"/tmp") ? wstring(L"/tmp/") : GetCWD();
  path = (Path_LastIsSP(base) ? base : base + kSep) + user;
  Folder_Create(path);
  own_below = base;
  return path;
}

wstring GetTmpPath() {
  wstring own_below;
  return GetTmpPath(own_below);
}

bool Folder_Create(const wstring& folderName) {
  if (Folder_IsExist(folderName.c_str())) return true;
  const std::vector<wstring> pieces = String_Split(Path_DelLastSP(Path_Normalize(folderName, kSep)), kSep);
  wstring prefix;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) prefix += kSep;
    prefix += pieces[i];
    if (prefix.empty() || prefix == wstring(1, kSep) || Folder_IsExist(prefix.c_str()) ||
        String_GetLast_TC(prefix) == L':' || Is_server_or_share(prefix)) {
      continue;
    }
    // NOTE: another process may make the same level between the test and
    // the creation; the level is there all the same.
    if (!platform::Fs_MakeFolder(prefix) && !Folder_IsExist(prefix.c_str())) return false;
  }
  return true;
}

namespace {

enum class Missing_levels { Make, Refuse };

// Walks the levels of `folder` below `top`, top down; each must be private,
// and a level that is not is first made when asked to.
bool Private_levels(const wstring& top, const wstring& folder, Missing_levels missing) {
  const wstring base = Comparable(top);
  const wstring path = Comparable(folder);
  if (path.compare(0, base.size(), base) != 0) return false;
  const wstring rest = path.substr(base.size());
  if (rest.empty()) return true;
  // A relative path below an empty top would be checked at the wrong place.
  if (rest[0] != kSep) return false;
  wstring level = base;
  for (const wstring& piece : String_Split(rest.substr(1), kSep)) {
    level += kSep;
    level += piece;
    if (piece.empty() || platform::Files_IsPrivateFolder(level)) continue;
    // NOTE: making fails when anything at all is in the way, so nothing
    // is ever made inside a level that is not the user's own.
    if (missing == Missing_levels::Refuse || !platform::Fs_MakeFolder(level) ||
        !platform::Files_IsPrivateFolder(level)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool Folder_CreatePrivate(const wstring& top, const wstring& folder) {
  if (!Folder_Create(top)) return false;
  return Private_levels(top, folder, Missing_levels::Make);
}

bool Folder_IsPrivate(const wstring& top, const wstring& folder) {
  return Private_levels(top, folder, Missing_levels::Refuse);
}
