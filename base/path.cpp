#include "base/path.h"

#include "base/strings.h"
#include "platform/separator.h"

namespace {

bool IsSP(wchar_t c) { return c == L'\\' || c == L'/'; }

// The separator Path_GetName and Path_GetDir take a path apart at: the last
// '\', or the last '/' only when the path holds no '\'.
std::size_t LastSeparator(const wstring& path) {
  const std::size_t back = path.rfind(L'\\');
  return back != wstring::npos ? back : path.rfind(L'/');
}

// The name cannot have a title or extension: empty, one space, or a '?'.
bool IsNoName(const wstring& name) {
  return name.empty() || name == L" " || name.find(L'?') != wstring::npos;
}

}  // namespace

wchar_t String_GetLast_TC(const wstring& str) {
  return str.empty() ? L'\0' : str.back();
}

bool Path_LastIsSP(const wstring& fold) {
  return !fold.empty() && IsSP(String_GetLast_TC(fold));
}

wstring Path_AddLastSP(const wstring& folder, wchar_t sp) {
  if (folder.empty() || Path_LastIsSP(folder)) return folder;
  return folder + sp;
}

wstring Path_DelLastSP(const wstring& folder) {
  if (!Path_LastIsSP(folder)) return folder;
  return folder.substr(0, folder.size() - 1);
}

wstring Path_DelLastSP(const wchar_t* folder) { return Path_DelLastSP(wstring(folder)); }

wstring Path_Normalize(const wstring& path_, wchar_t sp) {
  // The passes lean on String_Split: it drops a final empty piece (so one
  // trailing separator goes) and leaves quoted pieces whole.
  const wstring backslashed = String_Join(String_Split(path_, L'\\'), L'\\');
  const wstring unified = String_Join(String_Split(backslashed, L'/'), L'\\');
  const std::vector<wstring> pieces = String_Split(unified, L'\\');
  std::vector<wstring> kept;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    // The first two are kept even when empty, so a leading "\\" (UNC) and
    // the doubled separator of "C:\\a" survive.
    if (i < 2 || !pieces[i].empty()) kept.push_back(pieces[i]);
  }
  return String_Join(kept, sp);
}

wstring Path_GetName(const wstring& pathName_) {
  const std::size_t sep = LastSeparator(pathName_);
  return sep == wstring::npos ? pathName_ : pathName_.substr(sep + 1);
}

wstring Path_GetName(const wchar_t* pathName_) { return Path_GetName(wstring(pathName_)); }

wstring Path_GetTitle(const wstring& pathName_) {
  const wstring name = Path_GetName(pathName_);
  if (IsNoName(name)) return wstring();
  return name.substr(0, name.rfind(L'.'));
}

wstring Path_GetTitle(const wchar_t* pathName_) { return Path_GetTitle(wstring(pathName_)); }

wstring Path_GetExt(const wstring& pathName_) {
  const wstring name = Path_GetName(pathName_);
  if (IsNoName(name)) return wstring();
  const std::size_t dot = name.rfind(L'.');
  return dot == wstring::npos ? wstring() : name.substr(dot + 1);
}

wstring Path_GetExt(const wchar_t* pathName_) { return Path_GetExt(wstring(pathName_)); }

wstring Path_GetExtLow(const wstring& pathName_) { return String_ToLower(Path_GetExt(pathName_)); }

wstring Path_GetExtLow(const wchar_t* pathName_) { return Path_GetExtLow(wstring(pathName_)); }

wstring Path_GetDir(const wstring& pathName_) {
  const std::size_t sep = LastSeparator(pathName_);
  // NOTE: the folder part of a bare name is the system's own separator.
  if (sep == wstring::npos) return wstring(1, platform::kPathSeparator);
  return pathName_.substr(0, sep);
}

wstring Path_GetDir(const wchar_t* pathName_) { return Path_GetDir(wstring(pathName_)); }
