#include "platform/dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <wctype.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>
#include <string_view>
#include <utility>

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
  // ASCII folds the same in both locales; it is most of what names hold.
  if (wc < 0x80) return (wc >= L'a' && wc <= L'z') ? wc - (L'a' - L'A') : wc;
  return loc == nullptr ? wc : ::towupper_l(wc, loc);
}

// The entries' names folded once into one buffer, so that sorting
// compares ready keys (with the library's fast wide compare) instead of
// folding both names again at every comparison. Folded values stay below
// 0x110000, so comparing them as wchar_t keeps the order of code points.
class FoldedNames {
 public:
  explicit FoldedNames(const std::vector<DirEntry>& entries) : entries_(entries) {
    const locale_t loc = FoldLocale();
    std::size_t total = 0;
    for (const DirEntry& e : entries) total += e.name.size();
    keys_.reserve(total);
    starts_.reserve(entries.size() + 1);
    for (const DirEntry& e : entries) {
      starts_.push_back(keys_.size());
      for (const wchar_t c : e.name) keys_ += static_cast<wchar_t>(Fold(c, loc));
    }
    starts_.push_back(keys_.size());
  }

  // Upper-case comparison, as a case-insensitive file system orders names;
  // names equal but for case keep a fixed order by their code points.
  bool Less(std::size_t a, std::size_t b) const {
    const int order = Key(a).compare(Key(b));
    if (order != 0) return order < 0;
    const std::wstring& x = entries_[a].name;
    const std::wstring& y = entries_[b].name;
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), [](wchar_t p, wchar_t q) {
      return static_cast<std::uint32_t>(p) < static_cast<std::uint32_t>(q);
    });
  }

 private:
  std::wstring_view Key(std::size_t i) const {
    return std::wstring_view(keys_).substr(starts_[i], starts_[i + 1] - starts_[i]);
  }

  const std::vector<DirEntry>& entries_;
  std::wstring keys_;
  std::vector<std::size_t> starts_;
};

void SortByName(std::vector<DirEntry>& entries) {
  std::vector<std::size_t> order(entries.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  {
    const FoldedNames names(entries);
    std::sort(order.begin(), order.end(), [&names](std::size_t a, std::size_t b) { return names.Less(a, b); });
  }
  std::vector<DirEntry> sorted;
  sorted.reserve(entries.size());
  for (const std::size_t i : order) sorted.push_back(std::move(entries[i]));
  entries.swap(sorted);
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
  SortByName(out);
  return true;
}

}  // namespace platform
