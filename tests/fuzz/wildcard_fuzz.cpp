// The wildcard match of the folder listing. Input: a path, a NUL byte, a
// pattern. Invariants: no crash on any text; a name always matches itself
// (when it holds no '*'), "*" and the empty pattern match everything; and
// where no quote character can bind pieces together the answer is the usual
// wildcard match ('*' any run, letter case aside), except for the documented
// pattern without '*', which matches the names that begin and end with it.
#include "index/folder_list.h"

#include <vector>

#include "base/path.h"
#include "base/strings.h"
#include "fuzz_support.h"

namespace {

// The usual match of `pattern` ('*' any run of characters) against `name`.
bool Glob(const wstring& name, const wstring& pattern) {
  std::size_t n = 0, p = 0, star = wstring::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == L'*') {
      star = p++;
      mark = n;
    } else if (p < pattern.size() && pattern[p] == name[n]) {
      ++p;
      ++n;
    } else if (star != wstring::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

bool Expected(const wstring& path, const wstring& pattern) {
  const wstring name = String_ToLower(Path_GetName(path));
  const wstring wild = String_ToLower(pattern);
  if (wild.empty()) return true;
  if (wild.find(L'*') == wstring::npos) {
    return name.size() >= wild.size() && name.compare(0, wild.size(), wild) == 0 &&
           name.compare(name.size() - wild.size(), wild.size(), wild) == 0;
  }
  return Glob(name, wild);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const wstring input = fuzz::Text(data, size);
  const std::size_t cut = input.find(L'\0');
  const wstring path = input.substr(0, cut);
  const wstring pattern = cut == wstring::npos ? wstring() : input.substr(cut + 1);

  const bool got = ExtractFiles_match(path, pattern);
  fuzz::Check(ExtractFiles_match(path, L"*") && ExtractFiles_match(path, L""), "'*' or '' does not match", path);
  const wstring name = Path_GetName(path);
  if (name.find(L'*') == wstring::npos) {
    fuzz::Check(ExtractFiles_match(path, name), "a name does not match itself", path);
  }
  const wstring seen = pattern.substr(0, pattern.find(L'\0'));
  if (seen.find_first_of(L"\"'") == wstring::npos && pattern.find(L'\0') == wstring::npos) {
    fuzz::Check(got == Expected(path, pattern), "not the usual wildcard match", path + L" | " + pattern);
  }
  return 0;
}
