#include "platform/dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <wctype.h>

#include <algorithm>
#include <cstdint>

#include "platform/os_text.h"

namespace platform {

namespace {

// The order must not depend on the user's locale (a folder reads the same
// for everyone), so letters are folded by the fixed C.UTF-8 tables; the
// plain C locale, which folds ASCII only, stands in where that is missing.
locale_t FoldLocale() {
  static const locale_t loc = [] {
    locale_t l = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    if (l == nullptr) {
      l = ::newlocale(LC_CTYPE_MASK, "C", nullptr);
    }
    return l;
  }();
  return loc;
}

std::uint32_t Fold(wchar_t c, locale_t loc) {
  const auto wc = static_cast<wint_t>(c);
  return loc == nullptr ? wc : ::towupper_l(wc, loc);
}

// Upper-case comparison, as a case-insensitive file system orders names;
// names equal but for case keep a fixed order by their code points.
bool NameLess(const DirEntry& a, const DirEntry& b) {
  const locale_t loc = FoldLocale();
  const std::size_t n = std::min(a.name.size(), b.name.size());
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t x = Fold(a.name[i], loc);
    const std::uint32_t y = Fold(b.name[i], loc);
    if (x != y) return x < y;
  }
  if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
  return std::lexicographical_compare(
      a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
      [](wchar_t x, wchar_t y) { return static_cast<std::uint32_t>(x) < static_cast<std::uint32_t>(y); });
}

bool IsFolder(DIR* dir, const dirent* ent) {
  if (ent->d_type == DT_DIR) return true;
  if (ent->d_type != DT_LNK && ent->d_type != DT_UNKNOWN) return false;
  // A link counts as what it points to; one that points nowhere is a file.
  struct stat st {};
  if (::fstatat(::dirfd(dir), ent->d_name, &st, 0) != 0) return false;
  return S_ISDIR(st.st_mode);
}

}  // namespace

bool Dir_Read(const std::wstring& path, std::vector<DirEntry>& out) {
  out.clear();
  // An embedded NUL would silently cut the path short.
  if (path.find(L'\0') != std::wstring::npos) return false;
  const std::string name = OsText_Encode(path);
  DIR* dir = ::opendir(name.c_str());
  if (dir == nullptr) return false;
  while (const dirent* ent = ::readdir(dir)) {
    out.push_back(DirEntry{OsText_Decode(ent->d_name), IsFolder(dir, ent)});
  }
  ::closedir(dir);
  std::sort(out.begin(), out.end(), NameLess);
  return true;
}

}  // namespace platform
